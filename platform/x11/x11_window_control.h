#pragma once
// Window state, stacking and activation of our top-level windows on X11.
//
// Taking a window off the screen is the delicate part: under a window manager iconifying is
// asynchronous, and the manager's frame (title bar) disappears some time after the window
// itself, after an animation with some; on a bare X server nothing iconifies at all, although
// Qt reports the window as minimised, and tiling window managers ignore the request. So the
// window is iconified only where the window manager says it will do it, and withdrawn (hide)
// everywhere else; then a screen grab that must not show the window waits for the X server's
// word that the frame is unmapped and that what it covered has been painted again
// (OffScreenWatch), within one bound.
//
// Without a window manager nobody keeps our dialogs above the window they belong to: raising
// the main window raises them again above it.

#include "platform/qt/qt_window_control.h"

namespace numarika {

class X11WindowControl final : public QtWindowControl {
  public:
    // How long a window manager that said it iconifies may take before we withdraw the window.
    static constexpr int kIconifyWaitMs = 350;
    // How long the window may take, in all, to leave the screen and be painted over.
    static constexpr int kOffScreenWaitMs = 500;

    // Minimised returns once the window and its frame are off the screen and what they covered
    // has been painted again (bounded by the waits above). Normal brings a window back from
    // minimised or maximised and shows it.
    void setWindowState(QWidget& window, WindowState state) override;
    // The window manager's "above" state (_NET_WM_STATE_ABOVE); without a window manager,
    // on raises the window, and our dialogs that belong to it above it. On also shows a hidden
    // window, but a minimised one stays minimised.
    void setTopMost(QWidget& window, bool topMost) override;
    // Our own windows first (without a window manager, their dialogs raised above them), then
    // any other program's top-level window with that caption.
    bool activateByTitle(const QString& caption) override;
    // Centred once more, frame and all, when the window manager announces the frame (see
    // frame_centring.h).
    void centreOnScreen(QWidget& window) override;

  private:
    void takeOffScreen(QWidget& window);
};

}  // namespace numarika
