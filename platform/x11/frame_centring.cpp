#include "platform/x11/frame_centring.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include "platform/qt/qt_window_control.h"
#include "platform/x11/x11_connection.h"

namespace numarika {
namespace {

// Once the window exists on the screen its frame is asked of the window system each time
// (the widget keeps an older copy of it).
QMargins frameMargins(const QWidget& window) {
    const QWindow* handle = window.windowHandle();
    return handle && handle->handle() ? handle->frameMargins() : QMargins();
}

// Centres the window once more when its frame has its final size, then goes away. A window
// manager announces the frame in _NET_FRAME_EXTENTS on our window, before or after the
// window is first exposed, depending on how busy it is: both are watched.
class CentreWhenFramed final : public QObject, public QAbstractNativeEventFilter {
  public:
    explicit CentreWhenFramed(QWidget& window) : QObject(&window), window_(&window) {
        id_ = static_cast<xcb_window_t>(window.winId());
        if (xcb_connection_t* c = x11::connection()) {
            frameExtents_ = x11::atom(c, "_NET_FRAME_EXTENTS");
            if (frameExtents_ != XCB_ATOM_NONE) {
                QCoreApplication::instance()->installNativeEventFilter(this);
                watchingX_ = true;
            }
        }
        if (QWindow* handle = window.windowHandle()) handle->installEventFilter(this);
    }

    ~CentreWhenFramed() override {
        if (watchingX_ && QCoreApplication::instance())
            QCoreApplication::instance()->removeNativeEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Expose && !exposed_) {
            exposed_ = true;
            watched->removeEventFilter(this);
            centreIfFramed();
        }
        return false;
    }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (eventType != "xcb_generic_event_t") return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if (x11::eventType(event) != XCB_PROPERTY_NOTIFY) return false;
        const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
        if (notify->window != id_ || notify->atom != frameExtents_) return false;
        // Qt learns the new frame from this very event: look once it has.
        QMetaObject::invokeMethod(this, &CentreWhenFramed::centreIfFramed, Qt::QueuedConnection);
        return false;
    }

  private:
    void centreIfFramed() {
        if (!window_ || done_) return;
        if (frameMargins(*window_).isNull()) {
            // No frame (yet). Without X there will be none; with X a window manager may
            // still announce one.
            if (!watchingX_) finish();
            return;
        }
        QtWindowControl::moveFrameToCentre(*window_);
        finish();
    }

    void finish() {
        done_ = true;
        if (watchingX_) {
            QCoreApplication::instance()->removeNativeEventFilter(this);
            watchingX_ = false;
        }
        deleteLater();
    }

    QPointer<QWidget> window_;
    xcb_window_t id_ = 0;
    xcb_atom_t frameExtents_ = XCB_ATOM_NONE;
    bool watchingX_ = false;
    bool exposed_ = false;
    bool done_ = false;
};
}  // namespace

void centreFrameOnScreen(QWidget& window) {
    if (!window.isWindow()) return;
    QtWindowControl::moveFrameToCentre(window);
    window.winId();  // the native window, to watch its frame
    new CentreWhenFramed(window);
}

}  // namespace numarika
