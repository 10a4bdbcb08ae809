#pragma once
// The Print Screen key where the desktop offers global shortcuts through its portal
// (org.freedesktop.portal.GlobalShortcuts: KDE Plasma, GNOME 48 and later, Hyprland). The
// program binds one shortcut, "scan", with Print as its preferred trigger; the desktop may
// let the user choose another key. The session is made at the first registration and kept:
// registering and unregistering afterwards only decide whether an activation counts, so the
// scan's unregister/register costs no round trip to the portal.

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <optional>

#include "platform/hot_keys.h"

namespace numarika {

class PortalGlobalShortcuts final : public QObject, public HotKeys {
    Q_OBJECT
  public:
    static constexpr int kTimeoutMs = 15000;
    inline static const QString kShortcutId = QStringLiteral("scan");

    explicit PortalGlobalShortcuts(QDBusConnection bus = QDBusConnection::sessionBus());
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

  private:
    void createSession();
    void bindShortcut();
    void fail(const QString& why);

    QDBusConnection bus_;
    std::optional<bool> offered_;
    QString session_;       // the session's object path once made
    bool binding_ = false;  // the session is being made or the shortcut bound
    bool bound_ = false;
    std::optional<std::int32_t> id_;  // the registration that counts now
};

}  // namespace numarika
