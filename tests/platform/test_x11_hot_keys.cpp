// The Print Screen hot key against a real X server: the grabs it takes, the presses it
// delivers, and how it behaves beside another client that wants the same key. Needs an X
// display (tests/e2e/test_hotkey_platform.sh runs it under Xvfb); on Qt's offscreen platform
// only the clean refusal is checked.

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>

#include "platform/keyboard.h"
#include "platform/x11/x11_hot_keys.h"
#include "platform/x11/xcb_reply.h"

using namespace numarika;

namespace {

constexpr std::int32_t kId = -16383;  // a sign-extended string atom, as the program uses
constexpr std::uint8_t kBadAccess = 10;
constexpr std::uint32_t kPrint = kPrintScreenKey;

// The identifiers of the presses and of the registrations lost, as they arrive.
QList<std::int32_t> g_presses;
QList<std::int32_t> g_lost;

void listen(HotKeys& keys) {
    keys.setHandlers([](std::int32_t id) { g_presses.append(id); },
                     [](std::int32_t id) { g_lost.append(id); });
}

// Another X client: a connection of its own, as a second program would have.
class OtherClient {
  public:
    OtherClient() : c_(xcb_connect(nullptr, &screen_)) {
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c_));
        for (int i = 0; i < screen_ && it.rem > 0; ++i) xcb_screen_next(&it);
        root_ = it.data->root;
    }
    ~OtherClient() { xcb_disconnect(c_); }
    OtherClient(const OtherClient&) = delete;
    OtherClient& operator=(const OtherClient&) = delete;

    xcb_connection_t* connection() const { return c_; }
    int screen() const { return screen_; }

    // 0 when the grab was taken, else the X error code.
    std::uint8_t grab(std::uint8_t keycode, std::uint16_t mask) {
        x11::Reply<xcb_generic_error_t> error(
            xcb_request_check(c_, xcb_grab_key_checked(c_, 0, root_, mask, keycode,
                                                       XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)));
        return error ? error->error_code : 0;
    }
    void ungrab(std::uint8_t keycode, std::uint16_t mask) {
        xcb_ungrab_key(c_, keycode, root_, mask);
        sync();
    }
    void ungrabAll() {
        xcb_ungrab_key(c_, XCB_GRAB_ANY, root_, XCB_MOD_MASK_ANY);
        sync();
    }

    // Every keycode that the keyboard map gives Print, looked up independently of the code
    // under test.
    QList<std::uint8_t> printKeycodes() {
        QList<std::uint8_t> result;
        xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(c_);
        xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, 0xff61);
        for (xcb_keycode_t* k = codes; k && *k != XCB_NO_SYMBOL; ++k)
            if (!result.contains(*k)) result.append(*k);
        std::free(codes);
        xcb_key_symbols_free(symbols);
        std::sort(result.begin(), result.end());
        return result;
    }

    // A keycode of the keyboard that has no symbol at all.
    std::optional<std::uint8_t> unmappedKeycode() {
        const xcb_setup_t* setup = xcb_get_setup(c_);
        xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(c_);
        std::optional<std::uint8_t> found;
        for (int code = setup->min_keycode; code <= setup->max_keycode && !found; ++code) {
            bool empty = true;
            for (int column = 0; column < 4; ++column)
                if (xcb_key_symbols_get_keysym(symbols, static_cast<xcb_keycode_t>(code), column))
                    empty = false;
            if (empty) found = static_cast<std::uint8_t>(code);
        }
        xcb_key_symbols_free(symbols);
        return found;
    }

  private:
    void sync() { std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr)); }

    int screen_ = 0;
    xcb_connection_t* c_;
    xcb_window_t root_ = 0;
};

const QList<std::uint16_t> kLockCombinations{0, XCB_MOD_MASK_2, XCB_MOD_MASK_LOCK,
                                             XCB_MOD_MASK_2 | XCB_MOD_MASK_LOCK};

bool onX() {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 && x11->connection();
}

void xdotool(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("xdotool"), args);
    QVERIFY2(p.waitForFinished(10000), "xdotool did not finish");
    QCOMPARE(p.exitCode(), 0);
}

void xmodmap(const QString& expression) {
    QProcess p;
    p.start(QStringLiteral("xmodmap"), {QStringLiteral("-e"), expression});
    QVERIFY2(p.waitForFinished(10000), "xmodmap did not finish");
    QCOMPARE(p.exitCode(), 0);
}

}  // namespace

class TestX11HotKeys : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        g_presses.clear();
        g_lost.clear();
    }

    void withoutAnXServerEverythingIsRefused() {
        X11HotKeys none(nullptr, 0);
        QVERIFY(!none.hasConnection());
        QVERIFY(!none.registerHotKey(kId, 0, kPrint));
        QVERIFY(!none.unregisterHotKey(kId));
        QVERIFY(!none.nativeEventFilter("xcb_generic_event_t", nullptr, nullptr));

        if (onX()) return;
        // Qt's offscreen platform answers the X11 interface but has no connection.
        X11HotKeys app;
        QVERIFY(!app.hasConnection());
        QVERIFY(!app.registerHotKey(kId, 0, kPrint));
        QVERIFY(!app.unregisterHotKey(kId));
    }

    void grabsEveryPrintKeycodeInEveryLockState() {
        if (!onX()) QSKIP("needs an X display");
        OtherClient other;
        const QList<std::uint8_t> codes = other.printKeycodes();
        QVERIFY(!codes.isEmpty());
        {
            X11HotKeys keys;
            QVERIFY(keys.registerHotKey(kId, 0, kPrint));
            QList<std::uint8_t> grabbed = keys.grabbedKeycodes();
            std::sort(grabbed.begin(), grabbed.end());
            QCOMPARE(grabbed, codes);
            // What the server says: every combination is taken, and taken from us.
            for (std::uint8_t code : codes)
                for (std::uint16_t mask : kLockCombinations)
                    QCOMPARE(other.grab(code, mask), kBadAccess);
            // Other modifiers stay free (Shift+Print is not ours).
            QCOMPARE(other.grab(codes.first(), XCB_MOD_MASK_SHIFT), 0);
            QCOMPARE(other.grab(codes.first(), XCB_MOD_MASK_1), 0);
            other.ungrabAll();

            QVERIFY(keys.unregisterHotKey(kId));
            QVERIFY(!keys.unregisterHotKey(kId));  // nothing left to release
            for (std::uint8_t code : codes)
                for (std::uint16_t mask : kLockCombinations) QCOMPARE(other.grab(code, mask), 0);
            other.ungrabAll();

            // Destroying a registered hot key releases it too.
            QVERIFY(keys.registerHotKey(kId, 0, kPrint));
        }
        for (std::uint8_t code : codes)
            for (std::uint16_t mask : kLockCombinations) QCOMPARE(other.grab(code, mask), 0);
        other.ungrabAll();
    }

    void onlyPlainPrintScreenOnceAtATime() {
        if (!onX()) QSKIP("needs an X display");
        X11HotKeys keys;
        QVERIFY(!keys.registerHotKey(kId, 0, 0x41));         // 'A'
        QVERIFY(!keys.registerHotKey(kId, 0x0001, kPrint));  // Alt+Print
        QVERIFY(keys.grabbedKeycodes().isEmpty());
        QVERIFY(keys.registerHotKey(kId, 0, kPrint));
        QVERIFY(!keys.registerHotKey(kId + 1, 0, kPrint));  // already held
        QVERIFY(!keys.unregisterHotKey(kId + 1));
        QVERIFY(keys.unregisterHotKey(kId));
    }

    void aPressFromAnotherProcessArrivesAsHotKeyMessage() {
        if (!onX()) QSKIP("needs an X display");
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            QFAIL("xdotool is not installed");
        X11HotKeys keys;
        listen(keys);
        QVERIFY(keys.registerHotKey(kId, 0, kPrint));

        xdotool({QStringLiteral("key"), QStringLiteral("Print")});
        QTRY_COMPARE_WITH_TIMEOUT(g_presses.size(), 1, 5000);

        // With NumLock on the key still arrives.
        xdotool({QStringLiteral("key"), QStringLiteral("Num_Lock")});
        xdotool({QStringLiteral("key"), QStringLiteral("Print")});
        QTRY_COMPARE_WITH_TIMEOUT(g_presses.size(), 2, 5000);
        xdotool({QStringLiteral("key"), QStringLiteral("Num_Lock")});

        // Shift+Print is not the hot key. The plain press after it marks the end: events
        // arrive in order, so once it is here the shifted one would have been too.
        xdotool({QStringLiteral("key"), QStringLiteral("shift+Print"), QStringLiteral("Print")});
        QTRY_COMPARE_WITH_TIMEOUT(g_presses.size(), 3, 5000);
        QCoreApplication::processEvents();
        QCOMPARE(g_presses.size(), 3);

        // Released: presses are no longer ours.
        QVERIFY(keys.unregisterHotKey(kId));
        QVERIFY(keys.registerHotKey(kId, 0, kPrint));
        xdotool({QStringLiteral("key"), QStringLiteral("Print")});
        QTRY_COMPARE_WITH_TIMEOUT(g_presses.size(), 4, 5000);
        for (std::int32_t id : g_presses) QCOMPARE(id, kId);
    }

    void anotherClientHoldingTheKeyIsARefusalAtOnce() {
        if (!onX()) QSKIP("needs an X display");
        OtherClient other;
        // Another copy of the program, on its own connection.
        X11HotKeys first(other.connection(), other.screen());
        QVERIFY(first.registerHotKey(kId, 0, kPrint));

        X11HotKeys second;
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!second.registerHotKey(kId, 0, kPrint));
        QVERIFY(timer.elapsed() < 2000);
        QVERIFY(second.grabbedKeycodes().isEmpty());

        // Once the first lets go, the key is free for the second.
        QVERIFY(first.unregisterHotKey(kId));
        QVERIFY(second.registerHotKey(kId, 0, kPrint));
        QVERIFY(!first.registerHotKey(kId, 0, kPrint));
        QVERIFY(second.unregisterHotKey(kId));
    }

    void aRefusalLeavesNoPartialGrabs() {
        if (!onX()) QSKIP("needs an X display");
        OtherClient other;
        const QList<std::uint8_t> codes = other.printKeycodes();
        // The other client holds only the last combination; everything before it would be
        // granted to us.
        const std::uint16_t last = XCB_MOD_MASK_2 | XCB_MOD_MASK_LOCK;
        QCOMPARE(other.grab(codes.last(), last), 0);
        {
            X11HotKeys keys;
            QVERIFY(!keys.registerHotKey(kId, 0, kPrint));
            other.ungrab(codes.last(), last);
            // Nothing of ours is left behind: a third client gets every combination.
            OtherClient third;
            for (std::uint8_t code : codes)
                for (std::uint16_t mask : kLockCombinations) QCOMPARE(third.grab(code, mask), 0);
            third.ungrabAll();
            // And the refused one may try again later.
            QVERIFY(keys.registerHotKey(kId, 0, kPrint));
        }
    }

    // The key's place in the keyboard map is kept between registrations (the scan registers
    // again every time) and followed when the map changes.
    void aChangedKeyboardMapIsFollowed() {
        if (!onX()) QSKIP("needs an X display");
        if (QStandardPaths::findExecutable(QStringLiteral("xmodmap")).isEmpty())
            QFAIL("xmodmap is not installed");
        OtherClient other;
        const std::optional<std::uint8_t> spare = other.unmappedKeycode();
        QVERIFY(spare);
        const QList<std::uint8_t> before = other.printKeycodes();
        QList<std::uint8_t> after = before + QList<std::uint8_t>{*spare};
        std::sort(after.begin(), after.end());

        X11HotKeys keys;
        listen(keys);
        const auto grabbed = [&keys] {
            QList<std::uint8_t> codes = keys.grabbedKeycodes();
            std::sort(codes.begin(), codes.end());
            return codes;
        };
        QVERIFY(keys.registerHotKey(kId, 0, kPrint));
        QCOMPARE(grabbed(), before);

        // Print on one more key, as a keyboard layout may have it: the grabs follow the map
        // as soon as its change arrives, without a new registration.
        xmodmap(QStringLiteral("keycode %1 = Print").arg(*spare));
        QCOMPARE(other.printKeycodes(), after);
        QTRY_COMPARE_WITH_TIMEOUT(grabbed(), after, 5000);
        QCOMPARE(other.grab(*spare, 0), kBadAccess);  // the server agrees: it is ours

        xmodmap(QStringLiteral("keycode %1 =").arg(*spare));
        QTRY_COMPARE_WITH_TIMEOUT(grabbed(), before, 5000);
        QCOMPARE(other.grab(*spare, 0), 0);
        // Print moves onto the key another program now holds: the key is lost, and said so.
        xmodmap(QStringLiteral("keycode %1 = Print").arg(*spare));
        QTRY_COMPARE_WITH_TIMEOUT(g_lost, QList<std::int32_t>{kId}, 5000);
        QVERIFY(keys.grabbedKeycodes().isEmpty());
        other.ungrabAll();
        xmodmap(QStringLiteral("keycode %1 =").arg(*spare));
        // A registration after the change uses the new map, once its event has arrived.
        const auto registeredAgain = [&] {
            keys.unregisterHotKey(kId);
            return keys.registerHotKey(kId, 0, kPrint) ? grabbed() : QList<std::uint8_t>{};
        };
        QTRY_COMPARE_WITH_TIMEOUT(registeredAgain(), before, 5000);
        QVERIFY(keys.unregisterHotKey(kId));
        QVERIFY(g_presses.isEmpty());
    }
};

QTEST_MAIN(TestX11HotKeys)
#include "test_x11_hot_keys.moc"
