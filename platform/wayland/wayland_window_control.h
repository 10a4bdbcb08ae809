#pragma once
// Window state on a Wayland desktop. A Wayland program cannot place its windows, keep them
// above others or learn whether the compositor minimised them, so the minimised state of a
// scan is a hidden window: hidden, and the picture asked for only once the compositor has
// handled the unmapping and shown a frame without the window.

#include <QElapsedTimer>

#include "platform/qt/qt_window_control.h"

namespace numarika {

class WaylandWindowControl final : public QtWindowControl {
  public:
    // nextFrame: the screen's pictures are copies of the compositor's next frame (wlr-screencopy),
    // drawn after it has handled the unmapping; otherwise one frame is awaited after it, for
    // desktops whose picture is the frame last shown.
    // closeAnimationMs: how long the compositor goes on drawing a window that has gone, as it
    // fades it out (GNOME Shell and KWin animate every closing window); no client can see the
    // animation's end, so its length is waited for.
    explicit WaylandWindowControl(bool nextFrame = false, int closeAnimationMs = 0)
        : nextFrame_(nextFrame), closeAnimationMs_(closeAnimationMs) {}
    // Minimised hides the window and returns once the compositor can no longer show it;
    // Normal shows it again.
    void setWindowState(QWidget& window, WindowState state) override;
    // Nothing keeps a Wayland window above others; on shows a hidden window as on X11.
    void setTopMost(QWidget& window, bool topMost) override;
    // The compositor places windows.
    void centreOnScreen(QWidget& window) override;
    // Qt's Wayland plugin presents XDG_ACTIVATION_TOKEN at its next activation request and
    // then forgets it: the token is left there for it.
    void useActivationToken(const QString& token) override;
    // A fractional scale of the output, which the compositor reaches by shrinking the buffer
    // Qt draws at the next integer scale.
    double screenPixelsPerUnit(const QWidget& widget) override;

  private:
    static constexpr qint64 kSettleMs = 200;
    QElapsedTimer shownAgain_;  // since the window came back from the last scan
    bool nextFrame_;
    int closeAnimationMs_;
};

// How long the desktop fades out a closing window, where it is known to: GNOME Shell (150 ms)
// and KWin's default effects (about as long), named by XDG_CURRENT_DESKTOP; 0 elsewhere.
int desktopCloseAnimationMs();

// Waits until the compositor has handled every request this program sent it (one round trip
// on Qt's own Wayland connection). False when there is no Wayland connection to ask.
bool waylandRoundTrip();

}  // namespace numarika
