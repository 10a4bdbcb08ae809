#pragma once
// The system-wide hot key on X11: a passive grab of the key on the root window. The X server
// then sends every press of it to us, whichever window has the focus, and refuses the grab
// (BadAccess) while another client holds the same key, which is how we learn that another
// program already uses Print Screen.

#include <QAbstractNativeEventFilter>
#include <QList>
#include <QMetaObject>
#include <cstdint>
#include <memory>
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

    // Only Print Screen (VK_SNAPSHOT) without modifiers can be registered; any other request
    // is refused. A key that is already registered (by us or another client) is refused too.
    bool registerHotKey(Hwnd hwnd, Int32 id, std::uint32_t modifiers,
                        std::uint32_t virtualKey) override;
    bool unregisterHotKey(Hwnd hwnd, Int32 id) override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    bool hasConnection() const { return connection_ != nullptr; }
    // The keycodes and modifier masks grabbed for the registration, for diagnostics.
    QList<std::uint8_t> grabbedKeycodes() const;
    QList<std::uint16_t> grabbedModifierMasks() const;

  private:
    struct Grab {
        Hwnd hwnd;
        Int32 id;
        std::uint32_t virtualKey;
        QList<std::uint8_t> keycodes;
        QList<std::uint16_t> masks;
    };

    // What the keyboard map says about the key: its keycodes and the NumLock modifier.
    struct KeyMap {
        QList<std::uint8_t> printKeycodes;
        std::uint16_t numLock = 0;
    };

    void ungrab(const QList<std::uint8_t>& keycodes, const QList<std::uint16_t>& masks);
    // The key's place in the keyboard map; kept between registrations while the map does not
    // change, which only a connection whose events we see can tell.
    std::optional<KeyMap> keyMap();

    xcb_connection_t* connection_ = nullptr;
    std::uint32_t root_ = 0;
    bool filterInstalled_ = false;
    QMetaObject::Connection appGone_;
    QList<Grab> grabs_;
    std::optional<KeyMap> keyMap_;
    std::uint8_t xkbEvent_ = 0;  // the first event code of the XKEYBOARD extension, 0 without
};

}  // namespace numarika
