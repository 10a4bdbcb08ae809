#pragma once
// The services the program takes from the desktop, one small interface each. The desktop
// build fills them with X11 and Qt implementations; the tests fill them with scripted ones.

#include <memory>

#include "platform/atom_table.h"
#include "platform/window_procedures.h"

namespace numarika {

class HotKeys;
class Dialogs;
class Shell;
class Clipboard;
class Keyboard;
class WindowControl;
class CursorService;
class Printer;

struct Platform {
    Platform();
    ~Platform();
    Platform(const Platform&) = delete;
    Platform& operator=(const Platform&) = delete;

    WindowProcedures windowProcedures;
    AtomTable atoms;
    std::unique_ptr<HotKeys> hotKeys;
    std::unique_ptr<Dialogs> dialogs;
    std::unique_ptr<Shell> shell;
    std::unique_ptr<Clipboard> clipboard;
    std::unique_ptr<Keyboard> keyboard;
    std::unique_ptr<WindowControl> windows;
    std::unique_ptr<CursorService> cursor;
    std::unique_ptr<Printer> printer;
};

// The platform in force. Installing a new one releases the old one.
Platform& services();
void installPlatform(std::unique_ptr<Platform> platform);

// X11 and Qt services of the running desktop.
std::unique_ptr<Platform> makeDesktopPlatform();

}  // namespace numarika
