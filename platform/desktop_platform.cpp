#include <QGuiApplication>

#include "platform/logging.h"
#include "platform/null_services.h"
#include "platform/platform.h"
#include "platform/portal_global_shortcuts.h"
#include "platform/portal_screenshot.h"
#include "platform/print_screen_keyboard.h"
#include "platform/qt_clipboard.h"
#include "platform/qt_dialogs.h"
#include "platform/qt_printer.h"
#include "platform/qt_shell.h"
#include "platform/wayland/wlr_screen_source.h"
#include "platform/wayland_window_control.h"
#include "platform/x11_connection.h"
#include "platform/x11_cursor.h"
#include "platform/x11_hot_keys.h"
#include "platform/x11_screen_grab.h"
#include "platform/x11_window_control.h"

namespace numarika {
namespace {

// What every desktop Qt runs on offers: dialogs, the printer, web addresses, the clipboard.
std::unique_ptr<Platform> qtServices() {
    auto p = std::make_unique<Platform>();
    p->dialogs = std::make_unique<QtDialogs>();
    p->shell = std::make_unique<QtShell>();
    p->clipboard = std::make_unique<QtClipboard>();
    p->printer = std::make_unique<QtPrinter>();
    return p;
}

// The global key through the desktop portal where it offers one; `fallback` otherwise.
std::unique_ptr<HotKeys> portalHotKeysOr(std::unique_ptr<HotKeys> fallback) {
    auto portal = std::make_unique<PortalGlobalShortcuts>();
    if (portal->offered()) return portal;
    return fallback;
}

void addX11Services(Platform& p) {
    p.windows = std::make_unique<X11WindowControl>();
    p.cursor = std::make_unique<X11CursorService>();
    if (x11::isXwayland(x11::connection())) {
        // A Wayland compositor owns the screen: the root window holds no picture, and our key
        // grab works only while one of our windows has the focus.
        qCInfo(lcPlatform) << "Xwayland: the screen comes from the desktop portal";
        p.keyboard =
            std::make_unique<PrintScreenKeyboard>(p, std::make_unique<PortalScreenSource>());
        p.hotKeys = portalHotKeysOr(std::make_unique<X11HotKeys>());
        return;
    }
    p.hotKeys = std::make_unique<X11HotKeys>();
    p.keyboard = std::make_unique<PrintScreenKeyboard>(p, std::make_unique<X11ScreenSource>());
}

void addWaylandServices(Platform& p) {
    // The screen copied by ourselves where the compositor lets us (wlroots desktops), through
    // the desktop portal elsewhere, or where the user wants the portal's picture.
    std::unique_ptr<ScreenSource> screen;
    if (qEnvironmentVariable("NUMARIKA_SCREEN") == QLatin1String("portal"))
        qCInfo(lcPlatform) << "NUMARIKA_SCREEN=portal: the screen comes from the desktop portal";
    else
        screen = WlrScreenSource::connect();
    p.windows = std::make_unique<WaylandWindowControl>(/*nextFrame=*/screen != nullptr);
    if (!screen) screen = std::make_unique<PortalScreenSource>();
    p.keyboard = std::make_unique<PrintScreenKeyboard>(p, std::move(screen));
    p.hotKeys = portalHotKeysOr(std::make_unique<NullHotKeys>());
    // The pointer stays unknown outside our windows: the refusing cursor service stays.
}

}  // namespace

std::unique_ptr<Platform> makeDesktopPlatform() {
    std::unique_ptr<Platform> p = qtServices();
    const QString qpa = QGuiApplication::platformName();
    if (qpa == QLatin1String("xcb") && x11::connection()) {
        addX11Services(*p);
    } else if (qpa == QLatin1String("wayland")) {
        addWaylandServices(*p);
    } else {
        qCInfo(lcPlatform) << "Qt platform" << qpa
                           << "offers no global key, screen picture or pointer";
    }
    return p;
}

}  // namespace numarika
