#include "platform/portal/host_registry.h"

#include <QDBusMessage>
#include <QDBusServiceWatcher>

#include "platform/logging.h"
#include "platform/portal/portal_request.h"

namespace numarika {

bool registerWithPortal(const QDBusConnection& bus) {
    if (!bus.isConnected()) return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        kPortalService, kPortalPath, QStringLiteral("org.freedesktop.host.portal.Registry"),
        QStringLiteral("Register"));
    call.setArguments({kApplicationId, QVariantMap()});
    // The frontend answers at once or is not there; start-up must not wait for a missing one.
    const QDBusMessage reply = bus.call(call, QDBus::Block, 3000);
    if (reply.type() == QDBusMessage::ReplyMessage) {
        qCInfo(lcPlatform).noquote()
            << "application id registered with the portal:" << kApplicationId;
        return true;
    }
    // Qt 6.11 told it first, with the same id (the desktop file name, see program.cpp).
    if (reply.errorMessage().contains(QLatin1String("already associated"))) {
        qCInfo(lcPlatform).noquote()
            << "application id registered with the portal already (by Qt):" << kApplicationId;
        return true;
    }
    qCInfo(lcPlatform).noquote() << "application id not registered with the portal:"
                                 << reply.errorName() << reply.errorMessage();
    return false;
}

PortalRestartWatch::PortalRestartWatch(const QDBusConnection& bus, QObject* parent,
                                       std::function<void()> restarted)
    : QObject(parent),
      bus_(bus),
      watcher_(new QDBusServiceWatcher(kPortalService, bus,
                                       QDBusServiceWatcher::WatchForOwnerChange, this)),
      restarted_(std::move(restarted)) {
    connect(watcher_, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) {
                if (newOwner.isEmpty()) {
                    qCInfo(lcPlatform) << "the desktop portal went away";
                    return;
                }
                qCInfo(lcPlatform) << "the desktop portal (re)started: telling it our id again";
                registerWithPortal(bus_);
                if (restarted_) restarted_();
            });
}

}  // namespace numarika
