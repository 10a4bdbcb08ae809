#pragma once
// The Print Screen key where the desktop offers global shortcuts through its portal
// (org.freedesktop.portal.GlobalShortcuts: KDE Plasma, GNOME 48 and later, Hyprland). The
// program binds one shortcut, "scan", with Print as its preferred trigger; the desktop may
// let the user choose another key. The session is made at the first registration and kept:
// registering and unregistering afterwards only decide whether an activation counts, so the
// scan's unregister/register costs no round trip to the portal while the shortcut holds a key.
//
// The shortcut is offered when the session is made as well as when it is bound: KDE Plasma
// up to 6.0 reads it only from the session's options, 6.1 and later only from the binding
// (6.7.4 registers nothing at the session). The binding is made once per session (GNOME fails
// a second one) and may wait for the user: GNOME 48 and later, and Plasma 6.7 for a new id,
// ask in a dialog of their own; deciding() holds off the scan meanwhile, which would close
// GNOME's dialog with our window. A binding answered as failed, or without our shortcut, is
// checked with ListShortcuts before it counts as refused (GNOME 48.0 reports some successes
// as failures). On KDE Plasma the portal's answer names the key asked for even when another
// program holds it, so its own register is asked which key the shortcut really got. A
// shortcut listed without a trigger_description is bound: Hyprland never describes one (its
// user binds the key in hyprland.conf).
//
// A refusal is told once (a refused registration that stays, see HotKeys): registering again
// at every scan asks the desktop nothing new. The key may still come later, given by the user
// in the desktop's settings: ShortcutsChanged with a trigger, or an Activated of the shortcut
// judged keyless, and the presses count from then on. Later losses (the key withdrawn, the
// session closed) are followed, and a restarted portal gets a new session, quietly when its
// answer is the same as before.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "platform/hot_keys.h"
#include "platform/portal/host_registry.h"

namespace numarika {

class PortalGlobalShortcuts final : public QObject, public HotKeys {
    Q_OBJECT
  public:
    // The desktop may ask the user first (a dialog to choose the key): a person's time.
    static constexpr int kTimeoutMs = 120000;
    inline static const QString kShortcutId = QStringLiteral("scan");
    // The names the desktop may file the shortcut under: the application id, or without one
    // the session's token (KDE Plasma 5.27).
    static QStringList componentNames();

    // Asks the desktop's own register which key the shortcut really holds, where the portal's
    // answer is not the truth (KDE Plasma's kglobalaccel). `done` runs once on the UI
    // thread unless `context` goes first: true with a key, false with the reason without.
    using Done = std::function<void(bool hasKey, const QString& why)>;
    using KeyCheck = std::function<void(QObject* context, Done done)>;

    explicit PortalGlobalShortcuts(QDBusConnection bus = QDBusConnection::sessionBus(),
                                   int timeoutMs = kTimeoutMs, KeyCheck keyCheck = nullptr);
    ~PortalGlobalShortcuts() override;

    // Whether the desktop's portal offers global shortcuts at all (asked once).
    bool offered();

    // Refused at once where the portal offers no shortcuts; otherwise accepted, and should
    // the portal refuse the binding later, the registration is lost (see HotKeys).
    bool registerHotKey(std::int32_t id, std::uint32_t modifiers,
                        std::uint32_t virtualKey) override;
    bool unregisterHotKey(std::int32_t id) override;
    bool deciding() const override { return binding_; }
    // ConfigureShortcuts (version 2 of the portal: 1.21 and later, KDE Plasma 6.5 and later).
    bool configure() override;

  private slots:
    void handleActivated(const QDBusObjectPath& session, const QString& shortcutId,
                         qulonglong timestamp, const QVariantMap& options);
    void handleShortcutsChanged(const QDBusMessage& message);
    void handleSessionClosed();

  private:
    void createSession();
    void bindShortcut();
    void listShortcuts(const QString& bindError);
    void judge(const QVariant& shortcuts, const QString& whyNot);
    void checkKey(bool quietly);
    void confirm(const QString& how);
    void fail(const QString& why);
    void forgetSession();
    void portalRestarted();
    // Whether an answer started in generation `generation` still concerns this session.
    bool current(unsigned generation) const { return generation == generation_; }

    QDBusConnection bus_;
    int timeoutMs_;
    KeyCheck keyCheck_;
    std::optional<bool> offered_;
    uint version_ = 1;         // of the portal's interface
    QString session_;          // the session's object path once made
    unsigned generation_ = 0;  // counts sessions, so that answers for an old one are dropped
    bool binding_ = false;     // the session is being made, the shortcut bound or its key checked
    bool bound_ = false;       // the shortcut is bound (with a key, as far as the desktop tells)
    bool described_ = false;   // the desktop told the key (trigger_description)
    bool refused_ = false;     // the desktop gave no key: told, not asked again
    bool untold_ = false;      // refused while nothing was registered: told at the next one
    std::optional<std::int32_t> id_;  // the registration that counts now
    PortalRestartWatch restarts_;
};

}  // namespace numarika
