#include "platform/portal/portal_global_shortcuts.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>

#include "platform/keyboard.h"
#include "platform/logging.h"
#include "platform/portal/host_registry.h"
#include "platform/portal/parent_window.h"
#include "platform/portal/portal_request.h"

namespace numarika {
namespace {

const QString kInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kSessionToken = QStringLiteral("numarika");

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
namespace {

const QString kSessionInterface = QStringLiteral("org.freedesktop.portal.Session");

QList<Shortcut> offeredShortcuts() {
    return {{PortalGlobalShortcuts::kShortcutId,
             {{QStringLiteral("description"), QStringLiteral("画面をスキャン (Scan the screen)")},
              {QStringLiteral("preferred_trigger"), QStringLiteral("Print")}}}};
}

// Whether a list of shortcuts from the portal holds ours with a key to press.
bool holdsKey(const QVariant& shortcuts) {
    QList<Shortcut> list;
    if (shortcuts.canConvert<QDBusArgument>())
        list = qdbus_cast<QList<Shortcut>>(shortcuts.value<QDBusArgument>());
    else
        list = shortcuts.value<QList<Shortcut>>();
    for (const Shortcut& shortcut : list) {
        if (shortcut.id == PortalGlobalShortcuts::kShortcutId &&
            !shortcut.properties.value(QStringLiteral("trigger_description")).toString().isEmpty())
            return true;
    }
    return false;
}

}  // namespace

QStringList PortalGlobalShortcuts::componentNames() { return {kApplicationId, kSessionToken}; }

PortalGlobalShortcuts::PortalGlobalShortcuts(QDBusConnection bus, int timeoutMs, KeyCheck keyCheck)
    : bus_(std::move(bus)), timeoutMs_(timeoutMs), keyCheck_(std::move(keyCheck)) {
    qDBusRegisterMetaType<Shortcut>();
    qDBusRegisterMetaType<QList<Shortcut>>();
}

PortalGlobalShortcuts::~PortalGlobalShortcuts() {
    if (session_.isEmpty() || !bus_.isConnected()) return;
    const QString session = session_;
    forgetSession();
    // The desktop forgets the binding with the session.
    bus_.call(QDBusMessage::createMethodCall(kPortalService, session, kSessionInterface,
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
    // Bound already: nothing to ask. Refused before: asked again, as a key held by another
    // program is on X11 (the user may have given it to us meanwhile).
    if (!bound_ && !binding_) {
        if (session_.isEmpty())
            createSession();
        else
            bindShortcut();
    }
    return true;
}

bool PortalGlobalShortcuts::unregisterHotKey(std::int32_t id) {
    if (!id_ || *id_ != id) return false;
    id_.reset();
    return true;
}

void PortalGlobalShortcuts::createSession() {
    binding_ = true;
    const QVariantMap options{
        {QStringLiteral("session_handle_token"), kSessionToken},
        {QStringLiteral("shortcuts"), QVariant::fromValue(offeredShortcuts())}};
    PortalRequest::start(
        bus_, kInterface, QStringLiteral("CreateSession"), {}, options, timeoutMs_, this,
        [this](const PortalAnswer& answer) {
            const QString session =
                answer.results.value(QStringLiteral("session_handle")).toString();
            if (!answer.ok() || session.isEmpty()) {
                fail(QStringLiteral("no session: ") + answer.error);
                return;
            }
            session_ = session;
            bus_.connect(kPortalService, kPortalPath, kInterface, QStringLiteral("Activated"), this,
                         SLOT(handleActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
            bus_.connect(kPortalService, kPortalPath, kInterface,
                         QStringLiteral("ShortcutsChanged"), this,
                         SLOT(handleShortcutsChanged(QDBusMessage)));
            bus_.connect(kPortalService, session_, kSessionInterface, QStringLiteral("Closed"),
                         this, SLOT(handleSessionClosed()));
            bindShortcut();
        });
}

void PortalGlobalShortcuts::bindShortcut() {
    binding_ = true;
    PortalRequest::start(bus_, kInterface, QStringLiteral("BindShortcuts"),
                         {QVariant::fromValue(QDBusObjectPath(session_)),
                          QVariant::fromValue(offeredShortcuts()), portalParentWindow()},
                         {}, timeoutMs_, this, [this](const PortalAnswer& answer) {
                             if (session_.isEmpty()) return;  // closed meanwhile: failed then
                             if (!answer.ok()) {
                                 fail(QStringLiteral("binding refused: ") + answer.error);
                                 return;
                             }
                             checkAnswer(answer.results);
                         });
}

void PortalGlobalShortcuts::checkAnswer(const QVariantMap& results) {
    if (!holdsKey(results.value(QStringLiteral("shortcuts")))) {
        fail(QStringLiteral("the portal bound no key to the shortcut"));
        return;
    }
    if (!keyCheck_) {
        confirm();
        return;
    }
    keyCheck_(this, [this](bool hasKey, const QString& why) {
        if (hasKey)
            confirm();
        else
            fail(why);
    });
}

void PortalGlobalShortcuts::confirm() {
    binding_ = false;
    bound_ = true;
    qCInfo(lcPlatform) << "global shortcut for Print Screen bound";
}

void PortalGlobalShortcuts::fail(const QString& why) {
    binding_ = false;
    bound_ = false;
    qCInfo(lcPlatform).noquote() << "global shortcut for Print Screen lost:" << why;
    if (id_) {
        const std::int32_t id = *id_;
        id_.reset();
        notifyLost(id);
    }
}

void PortalGlobalShortcuts::forgetSession() {
    bus_.disconnect(kPortalService, kPortalPath, kInterface, QStringLiteral("Activated"), this,
                    SLOT(handleActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
    bus_.disconnect(kPortalService, kPortalPath, kInterface, QStringLiteral("ShortcutsChanged"),
                    this, SLOT(handleShortcutsChanged(QDBusMessage)));
    bus_.disconnect(kPortalService, session_, kSessionInterface, QStringLiteral("Closed"), this,
                    SLOT(handleSessionClosed()));
    session_.clear();
}

void PortalGlobalShortcuts::handleActivated(const QDBusObjectPath& session,
                                            const QString& shortcutId, qulonglong,
                                            const QVariantMap&) {
    if (session.path() != session_ || shortcutId != kShortcutId || !id_) return;
    notifyActivated(*id_);
}

void PortalGlobalShortcuts::handleShortcutsChanged(const QDBusMessage& message) {
    const QVariantList arguments = message.arguments();
    if (arguments.size() < 2 || !bound_ ||
        arguments.at(0).value<QDBusObjectPath>().path() != session_)
        return;
    // The user took the key away in the desktop's settings.
    if (!holdsKey(arguments.at(1))) fail(QStringLiteral("the desktop withdrew the key"));
}

void PortalGlobalShortcuts::handleSessionClosed() {
    forgetSession();
    fail(QStringLiteral("the desktop closed the session"));
}

}  // namespace numarika
