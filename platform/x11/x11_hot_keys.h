#pragma once
// The system-wide hot key on X11: a passive grab of the key on the root window. The X server
// then sends every press of it to us, whichever window has the focus, and refuses the grab
// (BadAccess) while another client holds the same key, which is how we learn that another
// program already uses Print Screen. When the keyboard map changes (a layout switch; Xwayland
// on every new virtual keyboard), the grabs move to the key's new keycodes at once.

#include <QAbstractNativeEventFilter>
#include <QList>
#include <QMetaObject>
#include <QObject>
#include <cstdint>
#include <optional>

#include "platform/hot_keys.h"

struct xcb_connection_t;

namespace numarika {

class X11HotKeys final : public HotKeys, public QAbstractNativeEventFilter {
  public:
    // Uses the application's own X connection, so that the key events arrive through Qt's
    // event queue on the UI thread. Without an X connection (Qt's offscreen platform) every
    // registration is refused.
    X11HotKeys();
    // Uses `connection` and the root window of `screen`; nullptr refuses everything. The
    // connection must outlive this object. Events are only seen when it is Qt's connection.
    X11HotKeys(xcb_connection_t* connection, int screen);
    ~X11HotKeys() override;
    X11HotKeys(const X11HotKeys&) = delete;
    X11HotKeys& operator=(const X11HotKeys&) = delete;

    // Only Print Screen without modifiers can be registered; any other request is refused.
    // A key that is already registered (by us or another client) is refused too.
    bool registerHotKey(std::int32_t id, std::uint32_t modifiers,
                        std::uint32_t virtualKey) override;
    bool unregisterHotKey(std::int32_t id) override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    bool hasConnection() const { return connection_ != nullptr; }
    // The keycodes and modifier masks grabbed for the registration, for diagnostics.
    QList<std::uint8_t> grabbedKeycodes() const;
    QList<std::uint16_t> grabbedModifierMasks() const;

  private:
    struct Grab {
        std::int32_t id;
        std::uint32_t virtualKey;
        QList<std::uint8_t> keycodes;
        QList<std::uint16_t> masks;
    };

    // What the keyboard map says about the key: its keycodes and the NumLock modifier.
    struct KeyMap {
        QList<std::uint8_t> printKeycodes;
        std::uint16_t numLock = 0;
    };

    // Grabs the key as the map has it now; nothing when refused (no partial grab is left).
    std::optional<Grab> grab(std::int32_t id, std::uint32_t virtualKey);
    void ungrab(const Grab& grab);
    // The key's place in the keyboard map; kept between registrations while the map does not
    // change, which only a connection whose events we see can tell.
    std::optional<KeyMap> keyMap();
    // The map changed: every grab moves to the new keycodes, or is lost (and said so).
    void followKeyMap();

    xcb_connection_t* connection_ = nullptr;
    std::uint32_t root_ = 0;
    bool filterInstalled_ = false;
    bool followPending_ = false;
    QMetaObject::Connection appGone_;
    QList<Grab> grabs_;
    std::optional<KeyMap> keyMap_;
    std::uint8_t xkbEvent_ = 0;  // the first event code of the XKEYBOARD extension, 0 without
    QObject queued_;             // work queued from the event filter dies with this object
};

}  // namespace numarika
