#include "platform/x11/x11_hot_keys.h"

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <QCoreApplication>

#include "platform/keyboard.h"
#include "platform/logging.h"
#include "platform/x11/x11_connection.h"

namespace numarika {
namespace {

using x11::Reply;

// Keysyms (X11/keysymdef.h).
constexpr xcb_keysym_t kKeysymPrint = 0xff61;
constexpr xcb_keysym_t kKeysymNumLock = 0xff7f;

// The modifier bits of a key event's state (Shift, Lock, Control, Mod1..Mod5); the rest
// are mouse buttons.
constexpr std::uint16_t kModifierBits = 0x00FF;

struct KeySymbolsDeleter {
    void operator()(xcb_key_symbols_t* p) const { xcb_key_symbols_free(p); }
};
using KeySymbols = std::unique_ptr<xcb_key_symbols_t, KeySymbolsDeleter>;

// Every keycode that the keyboard map gives `keysym` (Print often has two).
QList<std::uint8_t> keycodesOf(xcb_key_symbols_t* symbols, xcb_keysym_t keysym) {
    QList<std::uint8_t> result;
    Reply<xcb_keycode_t> codes(xcb_key_symbols_get_keycode(symbols, keysym));
    if (!codes) return result;
    for (const xcb_keycode_t* c = codes.get(); *c != XCB_NO_SYMBOL; ++c)
        if (!result.contains(*c)) result.append(*c);
    return result;
}

// The modifier bit that NumLock sets, read from the server's modifier map; Mod2 where the
// map does not tell (it is Mod2 on practically every keyboard).
std::uint16_t numLockMask(xcb_connection_t* c, xcb_key_symbols_t* symbols) {
    const QList<std::uint8_t> numLockCodes = keycodesOf(symbols, kKeysymNumLock);
    Reply<xcb_get_modifier_mapping_reply_t> reply(
        xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr));
    if (!reply || numLockCodes.isEmpty()) return XCB_MOD_MASK_2;
    const int perModifier = reply->keycodes_per_modifier;
    const xcb_keycode_t* map = xcb_get_modifier_mapping_keycodes(reply.get());
    const int length = xcb_get_modifier_mapping_keycodes_length(reply.get());
    for (int modifier = 0; modifier < 8; ++modifier) {
        for (int k = 0; k < perModifier; ++k) {
            const int index = modifier * perModifier + k;
            if (index < length && map[index] != 0 && numLockCodes.contains(map[index]))
                return static_cast<std::uint16_t>(1u << modifier);
        }
    }
    return XCB_MOD_MASK_2;
}

// Whether an event announces a change of the keyboard map; `xkbEvent` is the first event
// code of the XKEYBOARD extension (0 without it).
bool changesKeyMap(const xcb_generic_event_t* event, std::uint8_t xkbEvent) {
    const std::uint8_t type = x11::eventType(event);
    if (type == XCB_MAPPING_NOTIFY) return true;
    // XKB events share one code and tell their kind in the next byte: a new keyboard (0) or
    // a changed map (1). State changes (2 and up) leave the map alone.
    return xkbEvent != 0 && type == xkbEvent && event->pad0 <= 1;
}

}  // namespace

X11HotKeys::X11HotKeys() : X11HotKeys(x11::connection(), x11::defaultScreenNumber()) {
    if (!connection_) {
        qCInfo(lcPlatform) << "no X connection: the Print Screen key cannot be grabbed";
        return;
    }
    QCoreApplication* app = QCoreApplication::instance();
    app->installNativeEventFilter(this);
    filterInstalled_ = true;
    // Qt follows the keyboard through XKB, whose events then come instead of the core ones.
    static const char kXkb[] = "XKEYBOARD";
    Reply<xcb_query_extension_reply_t> xkb(xcb_query_extension_reply(
        connection_, xcb_query_extension(connection_, sizeof kXkb - 1, kXkb), nullptr));
    if (xkb && xkb->present) xkbEvent_ = xkb->first_event;
    // Qt closes its connection when the application goes; forget it then, so that a late
    // destruction of this object does not talk to a closed connection.
    appGone_ = QObject::connect(app, &QObject::destroyed, [this] {
        connection_ = nullptr;
        filterInstalled_ = false;
        grabs_.clear();
    });
}

X11HotKeys::X11HotKeys(xcb_connection_t* connection, int screen) {
    if (!connection || xcb_connection_has_error(connection)) return;
    root_ = x11::rootOf(connection, screen);
    if (root_ != 0) connection_ = connection;
}

X11HotKeys::~X11HotKeys() {
    QObject::disconnect(appGone_);
    if (filterInstalled_) {
        if (QCoreApplication* app = QCoreApplication::instance())
            app->removeNativeEventFilter(this);
    }
    if (!connection_) return;
    for (const Grab& g : grabs_) ungrab(g);
    x11::sync(connection_);
}

bool X11HotKeys::registerHotKey(std::int32_t id, std::uint32_t modifiers,
                                std::uint32_t virtualKey) {
    if (!connection_ || xcb_connection_has_error(connection_)) return false;
    // The program registers one key only; there is no general key translation.
    if (virtualKey != kPrintScreenKey || modifiers != 0) {
        qCInfo(lcPlatform) << "hot key" << virtualKey << "with modifiers" << modifiers
                           << "refused: only plain Print Screen is offered";
        return false;
    }
    for (const Grab& g : grabs_)
        if (g.virtualKey == virtualKey || g.id == id) return false;
    std::optional<Grab> taken = grab(id, virtualKey);
    if (!taken) return false;
    grabs_.append(*taken);
    return true;
}

std::optional<X11HotKeys::Grab> X11HotKeys::grab(std::int32_t id, std::uint32_t virtualKey) {
    const std::optional<KeyMap> map = keyMap();
    if (!map) {
        qCInfo(lcPlatform) << "Print Screen refused: the keyboard map has no Print key";
        return std::nullopt;
    }
    // Grabs match modifiers exactly: without these the key would be lost whenever NumLock or
    // CapsLock is on.
    const QList<std::uint16_t> masks{0, map->numLock, XCB_MOD_MASK_LOCK,
                                     static_cast<std::uint16_t>(map->numLock | XCB_MOD_MASK_LOCK)};
    struct Pending {
        std::uint8_t keycode;
        std::uint16_t mask;
        xcb_void_cookie_t cookie;
    };
    QList<Pending> pending;
    for (std::uint8_t keycode : map->printKeycodes)
        for (std::uint16_t mask : masks)
            pending.append({keycode, mask,
                            xcb_grab_key_checked(connection_, 0, root_, mask, keycode,
                                                 XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)});
    // Every grab is answered at once (one round trip for all): a BadAccess means another
    // client holds the key.
    bool refused = false;
    Grab taken{id, virtualKey, {}, {}};
    for (const Pending& p : pending) {
        if (x11::requestError(connection_, p.cookie)) {
            refused = true;
        } else {
            // Remember each success to undo it below should another combination be refused.
            taken.keycodes.append(p.keycode);
            taken.masks.append(p.mask);
        }
    }
    if (refused) {
        for (qsizetype i = 0; i < taken.keycodes.size(); ++i)
            xcb_ungrab_key(connection_, taken.keycodes[i], root_, taken.masks[i]);
        xcb_flush(connection_);
        qCInfo(lcPlatform) << "Print Screen refused: another program holds the key";
        return std::nullopt;
    }
    // What is kept describes the whole grab: every keycode in every lock state.
    taken.keycodes = map->printKeycodes;
    taken.masks = masks;
    return taken;
}

std::optional<X11HotKeys::KeyMap> X11HotKeys::keyMap() {
    if (keyMap_) return keyMap_;
    KeySymbols symbols(xcb_key_symbols_alloc(connection_));
    if (!symbols) return std::nullopt;
    KeyMap map;
    map.printKeycodes = keycodesOf(symbols.get(), kKeysymPrint);
    if (map.printKeycodes.isEmpty()) return std::nullopt;
    map.numLock = numLockMask(connection_, symbols.get());
    // Two round trips less for every later registration (the scan registers the key again
    // each time), as long as the events tell us when the map changes.
    if (filterInstalled_) keyMap_ = map;
    return map;
}

bool X11HotKeys::unregisterHotKey(std::int32_t id) {
    for (qsizetype i = 0; i < grabs_.size(); ++i) {
        if (grabs_[i].id != id) continue;
        if (connection_) {
            ungrab(grabs_[i]);
            // Wait for the server, so that another client may grab the key as soon as we
            // return.
            x11::sync(connection_);
        }
        grabs_.removeAt(i);
        return true;
    }
    return false;
}

void X11HotKeys::ungrab(const Grab& grab) {
    for (std::uint8_t keycode : grab.keycodes)
        for (std::uint16_t mask : grab.masks) xcb_ungrab_key(connection_, keycode, root_, mask);
}

void X11HotKeys::followKeyMap() {
    followPending_ = false;
    if (!connection_ || grabs_.isEmpty()) return;
    const QList<Grab> held = grabs_;
    grabs_.clear();
    for (const Grab& old : held) {
        ungrab(old);
        if (std::optional<Grab> moved = grab(old.id, old.virtualKey)) {
            grabs_.append(*moved);
            continue;
        }
        qCInfo(lcPlatform) << "Print Screen lost after a keyboard map change";
        notifyLost(old.id);
    }
    xcb_flush(connection_);
}

bool X11HotKeys::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (!connection_ || eventType != "xcb_generic_event_t") return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if (changesKeyMap(event, xkbEvent_)) {
        // Also while nothing is registered: the next registration must not use an old map.
        keyMap_.reset();
        // A change comes as several events; the grabs move once, after them.
        if (!grabs_.isEmpty() && !followPending_) {
            followPending_ = true;
            QMetaObject::invokeMethod(
                &queued_, [this] { followKeyMap(); }, Qt::QueuedConnection);
        }
        return false;
    }
    if (grabs_.isEmpty()) return false;
    if (x11::eventType(event) != XCB_KEY_PRESS) return false;
    const auto* press = reinterpret_cast<const xcb_key_press_event_t*>(event);
    if (press->event != root_) return false;
    for (const Grab& g : grabs_) {
        if (!g.keycodes.contains(press->detail)) continue;
        // Only the lock states we grabbed; a grab never activates for other modifiers, but
        // a press that reaches the root by other means must not count.
        const std::uint16_t state = press->state & kModifierBits;
        if (!g.masks.contains(state)) continue;
        const std::int32_t id = g.id;
        // Delivered from the event loop, not from inside Qt's event handling.
        QMetaObject::invokeMethod(
            &queued_, [this, id] { notifyActivated(id); }, Qt::QueuedConnection);
        return true;
    }
    return false;
}

QList<std::uint8_t> X11HotKeys::grabbedKeycodes() const {
    return grabs_.isEmpty() ? QList<std::uint8_t>{} : grabs_.first().keycodes;
}

QList<std::uint16_t> X11HotKeys::grabbedModifierMasks() const {
    return grabs_.isEmpty() ? QList<std::uint16_t>{} : grabs_.first().masks;
}

}  // namespace numarika
