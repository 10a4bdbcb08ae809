#pragma once

#include <QList>
#include <QPointer>

#include "platform/window_control.h"

namespace numarika {

// Window state through Qt alone: what every desktop offers. The X11 and Wayland window
// controls build on it.
class QtWindowControl : public WindowControl {
  public:
    WindowState windowState(QWidget& window) override;
    void setWindowState(QWidget& window, WindowState state) override;
    void setTopMost(QWidget& window, bool topMost) override;
    // Our own windows only: a desktop without a window list tells nothing of the others.
    bool activateByTitle(const QString& caption) override;
    void doEvents() override;
    // Centred once, before it is shown, by the frame Qt knows then.
    void centreOnScreen(QWidget& window) override;

    // Moves a top-level window so that its frame, as far as the window system has told it,
    // stands centred on the window's screen.
    static void moveFrameToCentre(QWidget& window);

  protected:
    // Our visible top-level window with this caption; null when there is none.
    static QWidget* visibleWindowTitled(const QString& caption);
    // Windows taken off the screen by hiding them stand for minimised ones.
    bool hiddenByUs(const QWidget& window) const;
    void markHidden(QWidget& window);
    void forgetHidden(const QWidget& window);

  private:
    QList<QPointer<QWidget>> hidden_;
};

}  // namespace numarika
