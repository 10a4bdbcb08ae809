#include "main_window/window_placement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QObject>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace numarika {
namespace {

void moveFrameToCentre(QWidget& window) {
    const QScreen* screen = window.screen();
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->geometry();
    const QSize frame = window.frameGeometry().size();
    window.move(area.x() + (area.width() - frame.width()) / 2,
                area.y() + (area.height() - frame.height()) / 2);
}

// Centres the window again at its first exposure, when the frame has its final size, then
// goes away.
class CentreWhenFramed final : public QObject {
  public:
    CentreWhenFramed(QWidget& window) : QObject(&window), window_(&window) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Expose && window_) {
            watched->removeEventFilter(this);
            if (window_->frameGeometry().size() != window_->size()) moveFrameToCentre(*window_);
            deleteLater();
        }
        return false;
    }

  private:
    QPointer<QWidget> window_;
};

}  // namespace

void centreOnScreen(QWidget& window) {
    if (!window.isWindow()) return;
    moveFrameToCentre(window);
    window.winId();  // the native window, to watch its first exposure
    if (QWindow* handle = window.windowHandle())
        handle->installEventFilter(new CentreWhenFramed(window));
}

}  // namespace numarika
