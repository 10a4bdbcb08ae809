#include "main_window/scan_service.h"

#include <QAction>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QEvent>
#include <QTimer>
#include <QWindow>
#include <functional>
#include <utility>

#include "main_window/main.h"
#include "platform/platform.h"
#include "platform/window_control.h"

namespace numarika {
namespace {

// Tells the service at the window's first exposure, then goes away.
class FirstExposure final : public QObject {
  public:
    FirstExposure(QObject* parent, std::function<void()> shown)
        : QObject(parent), shown_(std::move(shown)) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Expose) return false;
        watched->removeEventFilter(this);
        QTimer::singleShot(0, parent(), std::move(shown_));
        deleteLater();
        return false;
    }

  private:
    std::function<void()> shown_;
};

}  // namespace

ScanService::ScanService() = default;

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

bool ScanService::anotherCopyRuns() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()) return false;
    const QString owner = bus.interface()->serviceOwner(kBusName).value();
    return !owner.isEmpty() && owner != bus.baseService();
}

void ScanService::serve(main& window) {
    window_ = &window;
    window.winId();
    QWindow* handle = window.windowHandle();
    if (!handle) return;
    handle->installEventFilter(new FirstExposure(this, [this] {
        ready_ = true;
        if (queued_) scanNow();
    }));
}

void ScanService::Scan() { requestScan(); }

void ScanService::ScanWithPlatformData(const QVariantMap& platformData) {
    QString token = platformData.value(kActivationTokenKey).toString();
    if (token.isEmpty()) token = platformData.value(kStartupIdKey).toString();
    requestScan(token);
}

void ScanService::requestScan(const QString& token) {
    if (!token.isEmpty()) token_ = token;
    // Requests made before a scan begins are all answered by it.
    if (std::exchange(queued_, true)) return;
    if (ready_) QTimer::singleShot(0, this, &ScanService::scanNow);
}

void ScanService::scanNow() {
    if (!window_ || !queued_) return;
    // Like the Print Screen key, which a scan holds off while it runs, a request that comes in
    // the middle of a scan waits for its end: one scan's picture never shows the window the
    // other one brings back.
    if (window_->scanning()) {
        if (!afterRunning_)
            afterRunning_ = connect(window_, &main::scanEnded, this, [this] {
                disconnect(afterRunning_);
                QTimer::singleShot(0, this, &ScanService::scanNow);
            });
        return;
    }
    queued_ = false;
    const QString token = std::exchange(token_, {});
    WindowControl& windows = *services().windows;
    windows.useActivationToken(token);
    const bool staysOnScreen = window_->m_apri->isChecked();
    window_->m_n_cap_Click();
    // The scan brings a window it took off the screen forward again, presenting the token;
    // one that stayed there is brought forward here. With the keyboard, the window may set
    // the clipboard where the compositor wants that (GNOME), and the user sees the picture.
    if (!token.isEmpty() && staysOnScreen && window_ && window_->isVisible())
        windows.activateByTitle(window_->windowTitle());
}

QString desktopActivationToken() {
    const QString token = qEnvironmentVariable("XDG_ACTIVATION_TOKEN");
    return token.isEmpty() ? qEnvironmentVariable("DESKTOP_STARTUP_ID") : token;
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
            // The desktop started this command with a token for bringing a window forward;
            // the running copy's window is the one to use it.
            QVariantMap platformData;
            const QString token = qEnvironmentVariable("XDG_ACTIVATION_TOKEN");
            const QString startupId = qEnvironmentVariable("DESKTOP_STARTUP_ID");
            if (!token.isEmpty()) platformData.insert(kActivationTokenKey, token);
            if (!startupId.isEmpty()) platformData.insert(kStartupIdKey, startupId);
            QDBusMessage call = QDBusMessage::createMethodCall(
                kBusName, kBusPath, kBusName, QStringLiteral("ScanWithPlatformData"));
            call.setArguments({platformData});
            const QDBusMessage reply = bus.call(call, QDBus::Block, 5000);
            delivered = reply.type() == QDBusMessage::ReplyMessage;
        }
    }
    QDBusConnection::disconnectFromBus(kName);
    return delivered;
}

}  // namespace numarika
