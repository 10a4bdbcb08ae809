#include "platform/desktop/desktop_platform.h"

#include <QGuiApplication>

#include "platform/kde/kglobalaccel.h"
#include "platform/kde/kwin_screenshot.h"
#include "platform/logging.h"
#include "platform/null_services.h"
#include "platform/platform.h"
#include "platform/portal/host_registry.h"
#include "platform/portal/parent_window.h"
#include "platform/portal/portal_global_shortcuts.h"
#include "platform/portal/portal_screenshot.h"
#include "platform/print_screen_keyboard.h"
#include "platform/qt/qt_clipboard.h"
#include "platform/qt/qt_dialogs.h"
#include "platform/qt/qt_printer.h"
#include "platform/qt/qt_shell.h"
#include "platform/qt/qt_window_control.h"
#include "platform/wayland/ext_screen_source.h"
#include "platform/wayland/wayland_data_control.h"
#include "platform/wayland/wayland_window_control.h"
#include "platform/wayland/wlr_screen_source.h"
#include "platform/wayland/xdg_foreign.h"
#include "platform/x11/clipboard_keeper.h"
#include "platform/x11/x11_hot_keys.h"
#include "platform/x11/x11_services.h"
#include "platform/x11/x11_window_control.h"

namespace numarika {
namespace {

// What every desktop Qt runs on offers: dialogs, the printer, web addresses, the window's
// state. The clipboard, too, is Qt's, with what each desktop adds to it.
std::unique_ptr<Platform> qtServices() {
    auto p = std::make_unique<Platform>();
    p->dialogs = std::make_unique<QtDialogs>();
    p->shell = std::make_unique<QtShell>();
    p->printer = std::make_unique<QtPrinter>();
    p->windows = std::make_unique<QtWindowControl>();
    return p;
}

// How long a portal request may wait for the desktop's answer. NUMARIKA_PORTAL_TIMEOUT_MS
// shortens it, so that a portal that never answers can be tried without waiting minutes.
int portalTimeoutMs(int usual) {
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue("NUMARIKA_PORTAL_TIMEOUT_MS", &ok);
    return ok && ms > 0 ? ms : usual;
}

// The screen where a compositor owns it: KWin's own screenshot on KDE Plasma, the desktop
// portal elsewhere and where KWin refuses. NUMARIKA_SCREEN=portal takes the portal's picture
// everywhere.
bool portalScreenWanted() {
    return qEnvironmentVariable("NUMARIKA_SCREEN") == QLatin1String("portal");
}

std::unique_ptr<ScreenSource> compositorScreenSource() {
    const QDBusConnection bus = QDBusConnection::sessionBus();
    auto portal =
        std::make_unique<PortalScreenSource>(bus, portalTimeoutMs(PortalScreenSource::kTimeoutMs));
    if (portalScreenWanted()) {
        qCInfo(lcPlatform) << "NUMARIKA_SCREEN=portal: the screen comes from the desktop portal";
        return portal;
    }
    if (!KWinScreenSource::offered(bus)) return portal;
    return std::make_unique<KWinScreenSource>(bus, std::move(portal));
}

// The global key through the desktop portal where it offers one; `fallback` otherwise.
std::unique_ptr<HotKeys> portalHotKeysOr(std::unique_ptr<HotKeys> fallback) {
    const QDBusConnection bus = QDBusConnection::sessionBus();
    PortalGlobalShortcuts::KeyCheck keyCheck;
    // KDE Plasma's portal names the key asked for even when another program holds it.
    if (KGlobalAccel::offered(bus))
        keyCheck = [bus](QObject* context, PortalGlobalShortcuts::Done done) {
            KGlobalAccel::askHasKey(bus, PortalGlobalShortcuts::componentNames(),
                                    PortalGlobalShortcuts::kShortcutId, context,
                                    [done = std::move(done)](bool hasKey, const QString& why) {
                                        done(hasKey, QStringLiteral("kglobalaccel: ") + why);
                                    });
        };
    auto portal = std::make_unique<PortalGlobalShortcuts>(
        bus, portalTimeoutMs(PortalGlobalShortcuts::kTimeoutMs), std::move(keyCheck));
    if (portal->offered()) return portal;
    return fallback;
}

void addX11Services(Platform& p) {
    // A picture of ours still on the clipboard at the end is left to a keeper where needed.
    p.clipboard = std::make_unique<QtClipboard>(nullptr, &keepClipboardAfterExit);
    p.windows = std::make_unique<X11WindowControl>();
    p.cursor = x11::makeCursorService();
    if (x11::onXwayland()) {
        // A Wayland compositor owns the screen: the root window holds no picture, and our key
        // grab works only while one of our windows has the focus.
        qCInfo(lcPlatform) << "Xwayland: the screen comes from the compositor";
        registerWithPortal(QDBusConnection::sessionBus());
        p.keyboard = std::make_unique<PrintScreenKeyboard>(p, compositorScreenSource());
        p.hotKeys = portalHotKeysOr(std::make_unique<X11HotKeys>());
        return;
    }
    p.hotKeys = std::make_unique<X11HotKeys>();
    p.keyboard = std::make_unique<PrintScreenKeyboard>(p, x11::makeScreenSource());
}

void addWaylandServices(Platform& p) {
    // Set without a key press in our window where the compositor allows it.
    p.clipboard = std::make_unique<QtClipboard>(WaylandDataControl::connect());
    setWaylandWindowHandles(&waylandWindowHandle);
    // Before any other call to the portal, which ties the program to its id at the first.
    registerWithPortal(QDBusConnection::sessionBus());
    // The screen copied by ourselves where the compositor lets us (wlroots desktops, COSMIC),
    // through the protocol of wayland-protocols before wlroots' own; through KWin or the desktop
    // portal elsewhere.
    std::unique_ptr<ScreenSource> screen;
    if (!portalScreenWanted()) {
        screen = ExtScreenSource::connect();
        if (!screen) screen = WlrScreenSource::connect();
    }
    p.windows = std::make_unique<WaylandWindowControl>(/*nextFrame=*/screen != nullptr,
                                                       desktopCloseAnimationMs());
    if (!screen) screen = compositorScreenSource();
    p.keyboard = std::make_unique<PrintScreenKeyboard>(p, std::move(screen));
    p.hotKeys = portalHotKeysOr(std::make_unique<NullHotKeys>());
    // The pointer stays unknown outside our windows: the refusing cursor service stays.
}

}  // namespace

std::optional<int> desktopHelperEntry(int argc, char* argv[]) {
    return clipboardKeeperEntry(argc, argv);
}

std::unique_ptr<Platform> makeDesktopPlatform() {
    std::unique_ptr<Platform> p = qtServices();
    const QString qpa = QGuiApplication::platformName();
    if (qpa == QLatin1String("xcb") && x11::qtConnected()) {
        addX11Services(*p);
    } else if (qpa == QLatin1String("wayland")) {
        addWaylandServices(*p);
    } else {
        p->clipboard = std::make_unique<QtClipboard>();
        qCInfo(lcPlatform) << "Qt platform" << qpa
                           << "offers no global key, screen picture or pointer";
    }
    return p;
}

}  // namespace numarika
