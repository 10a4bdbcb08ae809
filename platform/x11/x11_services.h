#pragma once
// The services of the X11 wing as the composition root takes them: free of X11 headers, so
// that the one place that knows every wing need not know xcb.

#include <memory>

namespace numarika {

class CursorService;
class ScreenSource;

namespace x11 {

// Whether Qt runs on an X server it is connected to.
bool qtConnected();
// Whether that server is Xwayland, where a Wayland compositor owns the screen.
bool onXwayland();
// The root window's picture.
std::unique_ptr<ScreenSource> makeScreenSource();
// The pointer's place and shape.
std::unique_ptr<CursorService> makeCursorService();

}  // namespace x11
}  // namespace numarika
