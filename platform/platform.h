#pragma once
// The services the program takes from the desktop, one small interface each. A platform is
// always complete: every service is there, and where a desktop lacks one, a refusing one
// stands in (see null_services.h), so callers never check. The desktop (platform/desktop/) chooses
// X11, Wayland or Qt-only services once at start-up; the tests fill them with scripted ones.

#include <memory>

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
    // Every service starts as its refusing stand-in.
    Platform();
    ~Platform();
    Platform(const Platform&) = delete;
    Platform& operator=(const Platform&) = delete;

    // Whether every slot holds a service.
    bool complete() const;

    // Declared before the keyboard: the keyboard puts its pictures there and goes first.
    std::unique_ptr<Clipboard> clipboard;
    std::unique_ptr<HotKeys> hotKeys;
    std::unique_ptr<Dialogs> dialogs;
    std::unique_ptr<Shell> shell;
    std::unique_ptr<Keyboard> keyboard;
    std::unique_ptr<WindowControl> windows;
    std::unique_ptr<CursorService> cursor;
    std::unique_ptr<Printer> printer;
};

// The platform in force: the refusing services until one is installed.
Platform& services();
// Installs a complete platform and releases the old one; an incomplete one is not installed
// (false). nullptr goes back to the refusing services.
bool installPlatform(std::unique_ptr<Platform> platform);

}  // namespace numarika
