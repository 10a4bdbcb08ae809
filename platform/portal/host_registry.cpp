#include "platform/portal/host_registry.h"

#include <QDBusMessage>

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
    qCInfo(lcPlatform).noquote() << "application id not registered with the portal:"
                                 << reply.errorName() << reply.errorMessage();
    return false;
}

}  // namespace numarika
