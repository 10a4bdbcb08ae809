#pragma once
// Window state, stacking and activation of our top-level windows on X11.
//
// Taking a window off the screen is the delicate part: under a window manager iconifying is
// asynchronous, and the manager's frame (title bar) disappears some time after the window
// itself; on a bare X server nothing iconifies at all, although Qt reports the window as
// minimised. A screen grab that must not show the window therefore waits for the X server's
// word that the window and its frame are unmapped, and unmaps the window itself (hide) when
// no window manager does it in time.

#include "platform/qt_window_control.h"

namespace numarika {

class X11WindowControl final : public QtWindowControl {
  public:
    // How long a window manager may take to iconify before we unmap the window ourselves.
    static constexpr int kIconifyWaitMs = 1000;
    static constexpr int kUnmapWaitMs = 500;

    // Minimised returns once the window and its frame are off the screen (bounded by the
    // waits above). Normal brings a window back from minimised or maximised and shows it.
    void setWindowState(QWidget& window, WindowState state) override;
    // The window manager's "above" state (_NET_WM_STATE_ABOVE); without a window manager,
    // on raises the window. On also shows a hidden window, but a minimised one stays
    // minimised.
    void setTopMost(QWidget& window, bool topMost) override;
    // Our own windows first, then any other program's top-level window with that caption.
    bool activateByTitle(const QString& caption) override;

  private:
    void takeOffScreen(QWidget& window);
};

}  // namespace numarika
