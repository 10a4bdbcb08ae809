#pragma once

#include <QString>
#include <QWidget>

namespace numarika {

enum class WindowState { Normal = 0, Minimized = 1, Maximized = 2 };

// Window state, stacking and event dispatch for the top-level windows.
class WindowControl {
  public:
    virtual ~WindowControl() = default;
    virtual WindowState windowState(QWidget& window) = 0;
    // Minimized takes the window (and any window-manager frame) off the screen before it
    // returns, within a bounded wait, so that a screen grab right after does not show it.
    virtual void setWindowState(QWidget& window, WindowState state) = 0;
    // Top-most placement on or off; on also shows the window.
    virtual void setTopMost(QWidget& window, bool topMost) = 0;
    // Brings the window with this caption to the foreground; false when there is none.
    virtual bool activateByTitle(const QString& caption) = 0;
    // A token the desktop gave to the command that asked us to act (xdg-activation's
    // XDG_ACTIVATION_TOKEN, a startup id): the next activation of our window presents it, so
    // that the desktop lets the window come forward and take the keyboard. Where activation
    // needs no token, it is not needed.
    virtual void useActivationToken(const QString& token) { static_cast<void>(token); }
    // Dispatches every event that is waiting for the UI thread, and waits for work the desktop
    // was asked to do meanwhile (a screen picture on its way), each within its own time-out.
    virtual void doEvents() = 0;
    // Places a top-level window centred on its screen, frame included, where the desktop lets
    // a program place its windows. Call before the window is first shown.
    virtual void centreOnScreen(QWidget& window) = 0;
    // Screen pixels per unit of the widget's geometry where it is shown: Qt's own device
    // pixels, unless the desktop scales the window once more on its way to the screen.
    virtual double screenPixelsPerUnit(const QWidget& widget) { return widget.devicePixelRatioF(); }
};

}  // namespace numarika
