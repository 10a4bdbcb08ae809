#include <QGuiApplication>

#include "platform/logging.h"
#include "platform/platform.h"
#include "platform/print_screen_keyboard.h"
#include "platform/qt_clipboard.h"
#include "platform/qt_dialogs.h"
#include "platform/qt_printer.h"
#include "platform/qt_shell.h"
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

void addX11Services(Platform& p) {
    p.windows = std::make_unique<X11WindowControl>();
    p.cursor = std::make_unique<X11CursorService>();
    p.hotKeys = std::make_unique<X11HotKeys>();
    p.keyboard = std::make_unique<PrintScreenKeyboard>(p, std::make_unique<X11ScreenSource>());
}

}  // namespace

std::unique_ptr<Platform> makeDesktopPlatform() {
    std::unique_ptr<Platform> p = qtServices();
    const QString qpa = QGuiApplication::platformName();
    if (qpa == QLatin1String("xcb") && x11::connection()) {
        addX11Services(*p);
    } else {
        qCInfo(lcPlatform) << "Qt platform" << qpa
                           << "offers no global key, screen picture or pointer";
    }
    return p;
}

}  // namespace numarika
