#pragma once
// The Print Screen key where the desktop offers global shortcuts through its portal
// (org.freedesktop.portal.GlobalShortcuts: KDE Plasma, GNOME 48 and later, Hyprland). The
// program binds one shortcut, "scan", with Print as its preferred trigger; the desktop may
// let the user choose another key. The session is made at the first registration and kept:
// registering and unregistering afterwards only decide whether an activation counts, so the
// scan's unregister/register costs no round trip to the portal while the shortcut holds a key.
//
// The shortcut is offered when the session is made as well as when it is bound (KDE Plasma up
// to 6.1 reads it only from the session's options), and the answer is checked: a binding
// without the shortcut or its key is a refusal, heard as a lost registration. On KDE Plasma
// the portal's answer names the key asked for even when another program holds it, so
// its own register is asked which key the shortcut really got. Later changes (the shortcut
// withdrawn, the session closed by the desktop) are followed.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "platform/hot_keys.h"

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

  private slots:
    void handleActivated(const QDBusObjectPath& session, const QString& shortcutId,
                         qulonglong timestamp, const QVariantMap& options);
    void handleShortcutsChanged(const QDBusMessage& message);
    void handleSessionClosed();

  private:
    void createSession();
    void bindShortcut();
    void checkAnswer(const QVariantMap& results);
    void confirm();
    void fail(const QString& why);
    void forgetSession();

    QDBusConnection bus_;
    int timeoutMs_;
    KeyCheck keyCheck_;
    std::optional<bool> offered_;
    QString session_;       // the session's object path once made
    bool binding_ = false;  // the session is being made, the shortcut bound or its key checked
    bool bound_ = false;    // the shortcut holds a key
    std::optional<std::int32_t> id_;  // the registration that counts now
};

}  // namespace numarika
