#include "main_window/scan_service.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QEvent>
#include <QTimer>
#include <QWindow>

#include "main_window/main.h"

namespace numarika {

ScanService::ScanService(main& window) : window_(&window) {}

ScanService::~ScanService() {
    if (!published_) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterService(kBusName);
    bus.unregisterObject(kBusPath);
}

bool ScanService::publish() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    if (!bus.registerObject(kBusPath, this, QDBusConnection::ExportAllSlots)) return false;
    // Queued behind a copy that holds the name already, we would serve nobody: do not queue.
    if (!bus.registerService(kBusName)) {
        bus.unregisterObject(kBusPath);
        return false;
    }
    published_ = true;
    return true;
}

void ScanService::Scan() {
    QTimer::singleShot(0, this, [this] {
        if (window_) window_->m_n_cap_Click();
    });
}

bool askRunningCopyToScan() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(kBusName)) return false;
    const QDBusMessage reply = bus.call(
        QDBusMessage::createMethodCall(kBusName, kBusPath, kBusName, QStringLiteral("Scan")),
        QDBus::Block, 5000);
    return reply.type() == QDBusMessage::ReplyMessage;
}

namespace {

// Runs the scan at the window's first exposure, then goes away.
class ScanAtExposure final : public QObject {
  public:
    explicit ScanAtExposure(main& window) : QObject(&window), window_(window) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Expose) return false;
        watched->removeEventFilter(this);
        QTimer::singleShot(0, &window_, [w = &window_] { w->m_n_cap_Click(); });
        deleteLater();
        return false;
    }

  private:
    main& window_;
};

}  // namespace

void scanWhenShown(main& window) {
    window.winId();
    if (QWindow* handle = window.windowHandle())
        handle->installEventFilter(new ScanAtExposure(window));
}

}  // namespace numarika
