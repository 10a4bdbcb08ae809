#include "platform/clipboard.h"
#include "platform/cursor.h"
#include "platform/hot_keys.h"
#include "platform/keyboard.h"
#include "platform/platform.h"
#include "platform/printer.h"
#include "platform/qt_clipboard.h"
#include "platform/qt_dialogs.h"
#include "platform/qt_printer.h"
#include "platform/qt_shell.h"
#include "platform/window_control.h"
#include "platform/x11_cursor.h"
#include "platform/x11_hot_keys.h"
#include "platform/x11_keyboard.h"
#include "platform/x11_window_control.h"

namespace numarika {

std::unique_ptr<Platform> makeDesktopPlatform() {
    auto p = std::make_unique<Platform>();
    p->dialogs = std::make_unique<QtDialogs>();
    p->shell = std::make_unique<QtShell>();
    p->clipboard = std::make_unique<QtClipboard>();
    p->keyboard = std::make_unique<X11Keyboard>(*p->clipboard);
    p->windows = std::make_unique<X11WindowControl>();
    p->cursor = std::make_unique<X11CursorService>();
    p->printer = std::make_unique<QtPrinter>();
    p->hotKeys = std::make_unique<X11HotKeys>();
    return p;
}

}  // namespace numarika
