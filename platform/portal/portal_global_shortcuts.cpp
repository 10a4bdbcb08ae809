#include "platform/portal/portal_global_shortcuts.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>

#include "platform/keyboard.h"
#include "platform/logging.h"
#include "platform/portal/portal_request.h"

namespace numarika {
namespace {

const QString kInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

// One element of BindShortcuts' a(sa{sv}).
struct Shortcut {
    QString id;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& argument, const Shortcut& shortcut) {
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, Shortcut& shortcut) {
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

}  // namespace
}  // namespace numarika

Q_DECLARE_METATYPE(numarika::Shortcut)

namespace numarika {

PortalGlobalShortcuts::PortalGlobalShortcuts(QDBusConnection bus) : bus_(std::move(bus)) {
    qDBusRegisterMetaType<Shortcut>();
    qDBusRegisterMetaType<QList<Shortcut>>();
}

PortalGlobalShortcuts::~PortalGlobalShortcuts() {
    if (session_.isEmpty() || !bus_.isConnected()) return;
    bus_.disconnect(kPortalService, kPortalPath, kInterface, QStringLiteral("Activated"), this,
                    SLOT(handleActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
    // The desktop forgets the binding with the session.
    bus_.call(QDBusMessage::createMethodCall(kPortalService, session_,
                                             QStringLiteral("org.freedesktop.portal.Session"),
                                             QStringLiteral("Close")),
              QDBus::NoBlock);
}

bool PortalGlobalShortcuts::offered() {
    if (offered_) return *offered_;
    offered_ = false;
    if (!bus_.isConnected()) {
        qCInfo(lcPlatform) << "no session bus: no global shortcuts";
        return false;
    }
    QDBusMessage get = QDBusMessage::createMethodCall(
        kPortalService, kPortalPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get.setArguments({kInterface, QStringLiteral("version")});
    // The portal answers at once or not at all; a desktop without it must not hold up start-up.
    const QDBusMessage reply = bus_.call(get, QDBus::Block, 3000);
    offered_ = reply.type() == QDBusMessage::ReplyMessage;
    if (!*offered_)
        qCInfo(lcPlatform).noquote()
            << "the desktop portal offers no global shortcuts:" << reply.errorMessage();
    return *offered_;
}

bool PortalGlobalShortcuts::registerHotKey(std::int32_t id, std::uint32_t modifiers,
                                           std::uint32_t virtualKey) {
    if (virtualKey != kPrintScreenKey || modifiers != 0) return false;
    if (id_) return false;  // the one shortcut is taken
    if (!offered()) return false;
    id_ = id;
    if (!bound_ && !binding_) createSession();
    return true;
}

bool PortalGlobalShortcuts::unregisterHotKey(std::int32_t id) {
    if (!id_ || *id_ != id) return false;
    id_.reset();
    return true;
}

void PortalGlobalShortcuts::createSession() {
    binding_ = true;
    const QVariantMap options{{QStringLiteral("session_handle_token"), QStringLiteral("numarika")}};
    PortalRequest::start(
        bus_, kInterface, QStringLiteral("CreateSession"), {}, options, kTimeoutMs, this,
        [this](const PortalAnswer& answer) {
            session_ = answer.results.value(QStringLiteral("session_handle")).toString();
            if (!answer.ok() || session_.isEmpty()) {
                fail(QStringLiteral("no session: ") + answer.error);
                return;
            }
            bus_.connect(kPortalService, kPortalPath, kInterface, QStringLiteral("Activated"), this,
                         SLOT(handleActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
            bindShortcut();
        });
}

void PortalGlobalShortcuts::bindShortcut() {
    const QList<Shortcut> shortcuts{
        {kShortcutId,
         {{QStringLiteral("description"), QStringLiteral("画面をスキャン (Scan the screen)")},
          {QStringLiteral("preferred_trigger"), QStringLiteral("Print")}}}};
    PortalRequest::start(
        bus_, kInterface, QStringLiteral("BindShortcuts"),
        {QVariant::fromValue(QDBusObjectPath(session_)), QVariant::fromValue(shortcuts), QString()},
        {}, kTimeoutMs, this, [this](const PortalAnswer& answer) {
            binding_ = false;
            if (!answer.ok()) {
                fail(QStringLiteral("binding refused: ") + answer.error);
                return;
            }
            bound_ = true;
        });
}

void PortalGlobalShortcuts::fail(const QString& why) {
    binding_ = false;
    qCInfo(lcPlatform).noquote() << "global shortcut for Print Screen lost:" << why;
    if (id_) {
        const std::int32_t id = *id_;
        id_.reset();
        notifyLost(id);
    }
}

void PortalGlobalShortcuts::handleActivated(const QDBusObjectPath& session,
                                            const QString& shortcutId, qulonglong,
                                            const QVariantMap&) {
    if (session.path() != session_ || shortcutId != kShortcutId || !id_) return;
    notifyActivated(*id_);
}

}  // namespace numarika
