#include "platform/portal/portal_global_shortcuts.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <utility>

#include "platform/keyboard.h"
#include "platform/logging.h"
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

QList<Shortcut> shortcutList(const QVariant& shortcuts) {
    if (shortcuts.canConvert<QDBusArgument>())
        return qdbus_cast<QList<Shortcut>>(shortcuts.value<QDBusArgument>());
    return shortcuts.value<QList<Shortcut>>();
}

// Our shortcut in a list from the portal, if it is there.
std::optional<Shortcut> ours(const QVariant& shortcuts) {
    for (const Shortcut& shortcut : shortcutList(shortcuts)) {
        if (shortcut.id == PortalGlobalShortcuts::kShortcutId) return shortcut;
    }
    return std::nullopt;
}

QString triggerOf(const Shortcut& shortcut) {
    return shortcut.properties.value(QStringLiteral("trigger_description")).toString();
}

}  // namespace

QStringList PortalGlobalShortcuts::componentNames() { return {kApplicationId, kSessionToken}; }

PortalGlobalShortcuts::PortalGlobalShortcuts(QDBusConnection bus, int timeoutMs, KeyCheck keyCheck)
    : bus_(std::move(bus)),
      timeoutMs_(timeoutMs),
      keyCheck_(std::move(keyCheck)),
      restarts_(bus_, nullptr, [this] { portalRestarted(); }) {
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
    if (!*offered_) {
        qCInfo(lcPlatform).noquote()
            << "the desktop portal offers no global shortcuts:" << reply.errorMessage();
        return false;
    }
    if (!reply.arguments().isEmpty())
        version_ = reply.arguments().constFirst().value<QDBusVariant>().variant().toUInt();
    qCInfo(lcPlatform) << "the desktop portal offers global shortcuts, version" << version_;
    return true;
}

bool PortalGlobalShortcuts::registerHotKey(std::int32_t id, std::uint32_t modifiers,
                                           std::uint32_t virtualKey) {
    if (virtualKey != kPrintScreenKey || modifiers != 0) return false;
    if (id_) return false;  // the one shortcut is taken
    if (!offered()) return false;
    id_ = id;
    if (bound_ || binding_) return true;
    if (refused_) {
        // Told once already. A refusal that came while nothing was registered (in a scan's
        // middle) is told now, after the registration has been accepted.
        if (std::exchange(untold_, false))
            QMetaObject::invokeMethod(
                this,
                [this, id] {
                    if (id_ && *id_ == id && refused_) notifyRefused(id);
                },
                Qt::QueuedConnection);
        // Where the desktop keeps a register of its own, the user may have given the key
        // there meanwhile: asking it costs no dialog.
        else if (keyCheck_ && !session_.isEmpty())
            checkKey(/*quietly=*/true);
        return true;
    }
    if (session_.isEmpty())
        createSession();
    else
        listShortcuts({});
    return true;
}

bool PortalGlobalShortcuts::unregisterHotKey(std::int32_t id) {
    if (!id_ || *id_ != id) return false;
    id_.reset();
    return true;
}

bool PortalGlobalShortcuts::configure() {
    if (version_ < 2 || session_.isEmpty() || !bus_.isConnected()) return false;
    QDBusMessage call = QDBusMessage::createMethodCall(kPortalService, kPortalPath, kInterface,
                                                       QStringLiteral("ConfigureShortcuts"));
    call.setArguments(
        {QVariant::fromValue(QDBusObjectPath(session_)), portalParentWindow(), QVariantMap()});
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, 10000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [watcher] {
        watcher->deleteLater();
        if (watcher->isError())
            qCInfo(lcPlatform).noquote()
                << "the desktop's shortcut settings did not open:" << watcher->error().name()
                << watcher->error().message();
    });
    qCInfo(lcPlatform) << "opening the desktop's settings of the global shortcut";
    return true;
}

void PortalGlobalShortcuts::createSession() {
    binding_ = true;
    const unsigned generation = ++generation_;
    // Plasma up to 6.0 binds what the session is made with; later ones ignore it here.
    const QVariantMap options{
        {QStringLiteral("session_handle_token"), kSessionToken},
        {QStringLiteral("shortcuts"), QVariant::fromValue(offeredShortcuts())}};
    PortalRequest::start(
        bus_, kInterface, QStringLiteral("CreateSession"), {}, options, timeoutMs_, this,
        [this, generation](const PortalAnswer& answer) {
            if (!current(generation)) return;
            const QString session =
                answer.results.value(QStringLiteral("session_handle")).toString();
            if (!answer.ok() || session.isEmpty()) {
                fail(QStringLiteral("no session: code %1 %2").arg(answer.code).arg(answer.error));
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

// Made once per session: GNOME refuses a second binding.
void PortalGlobalShortcuts::bindShortcut() {
    binding_ = true;
    const unsigned generation = generation_;
    PortalRequest::start(
        bus_, kInterface, QStringLiteral("BindShortcuts"),
        {QVariant::fromValue(QDBusObjectPath(session_)), QVariant::fromValue(offeredShortcuts()),
         portalParentWindow()},
        {}, timeoutMs_, this, [this, generation](const PortalAnswer& answer) {
            if (!current(generation)) return;
            const QVariant shortcuts = answer.results.value(QStringLiteral("shortcuts"));
            if (answer.ok() && ours(shortcuts)) {
                judge(shortcuts, {});
                return;
            }
            listShortcuts(answer.ok() ? QStringLiteral("the portal bound no shortcut")
                                      : QStringLiteral("binding refused: code %1 %2")
                                            .arg(answer.code)
                                            .arg(answer.error));
        });
}

// What the session holds, after a binding that says it failed: GNOME 48.0 answers some
// successful ones so.
void PortalGlobalShortcuts::listShortcuts(const QString& bindError) {
    binding_ = true;
    const unsigned generation = generation_;
    PortalRequest::start(
        bus_, kInterface, QStringLiteral("ListShortcuts"),
        {QVariant::fromValue(QDBusObjectPath(session_))}, {}, timeoutMs_, this,
        [this, generation, bindError](const PortalAnswer& answer) {
            if (!current(generation)) return;
            if (!answer.ok()) {
                fail(bindError.isEmpty() ? QStringLiteral("no list of the shortcuts: code %1 %2")
                                               .arg(answer.code)
                                               .arg(answer.error)
                                         : bindError);
                return;
            }
            if (!bindError.isEmpty() && ours(answer.results.value(QStringLiteral("shortcuts"))))
                qCInfo(lcPlatform).noquote()
                    << "the binding was answered as failed, yet holds the shortcut:" << bindError;
            judge(answer.results.value(QStringLiteral("shortcuts")),
                  bindError.isEmpty() ? QStringLiteral("the portal bound no shortcut") : bindError);
        });
}

void PortalGlobalShortcuts::judge(const QVariant& shortcuts, const QString& whyNot) {
    const std::optional<Shortcut> shortcut = ours(shortcuts);
    if (!shortcut) {
        fail(whyNot);
        return;
    }
    described_ = !triggerOf(*shortcut).isEmpty();
    if (keyCheck_) {
        checkKey(/*quietly=*/false);
        return;
    }
    // Hyprland describes no trigger: its user binds the key in hyprland.conf.
    confirm(described_ ? QStringLiteral("to ") + triggerOf(*shortcut)
                       : QStringLiteral("(the desktop tells no key: one is bound in its own "
                                        "settings, e.g. hyprland.conf)"));
}

// `quietly`: a refusal told before is not told again, nor is the decision waited for.
void PortalGlobalShortcuts::checkKey(bool quietly) {
    if (!quietly) binding_ = true;
    const unsigned generation = generation_;
    keyCheck_(this, [this, generation, quietly](bool hasKey, const QString& why) {
        if (!current(generation)) return;
        if (hasKey)
            confirm(quietly ? QStringLiteral("(given a key in the desktop's settings)")
                            : QString());
        else if (!quietly)
            fail(why);
    });
}

void PortalGlobalShortcuts::confirm(const QString& how) {
    binding_ = false;
    bound_ = true;
    refused_ = untold_ = false;
    qCInfo(lcPlatform).noquote() << ("global shortcut for Print Screen bound" +
                                     (how.isEmpty() ? QString() : ' ' + how));
    notifyDecided();
}

void PortalGlobalShortcuts::fail(const QString& why) {
    binding_ = false;
    bound_ = false;
    // The same refusal again (a restarted portal answering as the old one did) is no news.
    const bool news = !refused_;
    refused_ = true;
    qCInfo(lcPlatform).noquote() << "global shortcut for Print Screen lost:" << why;
    if (news) {
        if (id_)
            notifyRefused(*id_);
        else
            untold_ = true;
    }
    notifyDecided();
}

void PortalGlobalShortcuts::forgetSession() {
    ++generation_;
    bus_.disconnect(kPortalService, kPortalPath, kInterface, QStringLiteral("Activated"), this,
                    SLOT(handleActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
    bus_.disconnect(kPortalService, kPortalPath, kInterface, QStringLiteral("ShortcutsChanged"),
                    this, SLOT(handleShortcutsChanged(QDBusMessage)));
    bus_.disconnect(kPortalService, session_, kSessionInterface, QStringLiteral("Closed"), this,
                    SLOT(handleSessionClosed()));
    session_.clear();
}

void PortalGlobalShortcuts::portalRestarted() {
    if (session_.isEmpty() && !binding_) return;  // nothing asked of the old one
    forgetSession();
    bound_ = false;
    binding_ = false;
    offered_.reset();
    // The old one's binding died with it: bound anew, quietly if the answer is the same.
    if (offered()) {
        createSession();
        return;
    }
    notifyDecided();
    if (id_) {
        const std::int32_t id = *id_;
        id_.reset();
        notifyLost(id);
    }
}

void PortalGlobalShortcuts::handleActivated(const QDBusObjectPath& session,
                                            const QString& shortcutId, qulonglong,
                                            const QVariantMap&) {
    if (session.path() != session_ || shortcutId != kShortcutId) return;
    // A press of a shortcut judged keyless: the user gave it a key in the desktop's settings.
    if (!bound_ && !binding_) confirm(QStringLiteral("(its key pressed, given later)"));
    if (id_) notifyActivated(*id_);
}

void PortalGlobalShortcuts::handleShortcutsChanged(const QDBusMessage& message) {
    const QVariantList arguments = message.arguments();
    if (arguments.size() < 2 || binding_ ||
        arguments.at(0).value<QDBusObjectPath>().path() != session_)
        return;
    const std::optional<Shortcut> shortcut = ours(arguments.at(1));
    const bool described = shortcut && !triggerOf(*shortcut).isEmpty();
    if (bound_) {
        // The user took the key away in the desktop's settings.
        if (!shortcut || (described_ && !described))
            fail(QStringLiteral("the desktop withdrew the key"));
        else
            described_ = described;
        return;
    }
    // Refused before: the user gave it a key in the desktop's settings.
    if (described) {
        described_ = true;
        if (keyCheck_)
            checkKey(/*quietly=*/true);
        else
            confirm(QStringLiteral("to ") + triggerOf(*shortcut) +
                    QStringLiteral(" (given in the desktop's settings)"));
    }
}

void PortalGlobalShortcuts::handleSessionClosed() {
    forgetSession();
    binding_ = false;
    bound_ = false;
    // A new session at the next registration: this one's refusal does not hold for it.
    refused_ = untold_ = false;
    qCInfo(lcPlatform) << "global shortcut for Print Screen lost: the desktop closed the session";
    notifyDecided();
    if (id_) {
        const std::int32_t id = *id_;
        id_.reset();
        notifyLost(id);
    }
}

}  // namespace numarika
