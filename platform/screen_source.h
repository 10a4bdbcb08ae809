#pragma once
// Where a picture of the whole desktop comes from: the X server's root window; where a Wayland
// compositor owns the screen, the compositor's own copy (wlr-screencopy) or the desktop portal.

#include <QImage>
#include <functional>
#include <optional>

namespace numarika {

class ScreenSource {
  public:
    using Done = std::function<void(std::optional<QImage> picture)>;
    virtual ~ScreenSource() = default;
    // Asks for the screen as it is now, with the mouse pointer drawn in where `withPointer`
    // asks and the source can (else without). `done` runs exactly once, later, on the UI
    // thread, with the picture or nothing when none could be had; never after this object is
    // gone.
    virtual void requestScreen(bool withPointer, Done done) = 0;
};

}  // namespace numarika
