#pragma once
// The one place that knows every back end: it puts together the platform of the desktop the
// program runs on. Only the program's entry point uses it.

#include <memory>
#include <optional>

namespace numarika {

struct Platform;

// The entry point's first call. In a process started as one of the desktop's helpers (the
// X11 clipboard's keeper) it runs that helper and gives its exit code; otherwise nothing.
std::optional<int> desktopHelperEntry(int argc, char* argv[]);

// The services of the desktop the program runs on, chosen by Qt's platform: X11 (xcb, with
// the desktop portal for the screen under Xwayland), Wayland, or Qt's own services alone.
std::unique_ptr<Platform> makeDesktopPlatform();

}  // namespace numarika
