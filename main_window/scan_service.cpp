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
    // Like the Print Screen key, which a scan holds off while it runs, a request that comes in
    // the middle of a scan waits for its end: one scan's picture never shows the window the
    // other one brings back.
    QTimer::singleShot(0, this, [this] {
        if (!window_) return;
        if (!window_->scanning()) {
            window_->m_n_cap_Click();
        } else if (!pending_) {
            pending_ = connect(window_, &main::scanEnded, this, [this] {
                disconnect(pending_);
                Scan();
            });
        }
    });
}

bool askRunningCopyToScan() {
    // A connection of its own, closed before the asking ends: when no copy runs, this process
    // goes on to become the program, and Qt's shared session connection, once made under the
    // short-lived application object of the asking, would deliver no more signals after it.
    static const QString kName = QStringLiteral("numarika-scan-request");
    bool delivered = false;
    {
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, kName);
        if (bus.isConnected() && bus.interface()->isServiceRegistered(kBusName)) {
            const QDBusMessage reply =
                bus.call(QDBusMessage::createMethodCall(kBusName, kBusPath, kBusName,
                                                        QStringLiteral("Scan")),
                         QDBus::Block, 5000);
            delivered = reply.type() == QDBusMessage::ReplyMessage;
        }
    }
    QDBusConnection::disconnectFromBus(kName);
    return delivered;
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
