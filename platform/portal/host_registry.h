#pragma once
// The program's application id, told to the desktop portal. A program that is not sandboxed
// has no id the portal could learn by itself; newer portal frontends (1.21 and later) refuse
// it global shortcuts then, and desktops file its permissions under an empty name. The
// frontend takes the id only before the program's first other call to it, and forgets it
// when it restarts.

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <functional>

class QDBusServiceWatcher;

namespace numarika {

inline const QString kApplicationId = QStringLiteral("com.example.numarika");

// Registers kApplicationId through org.freedesktop.host.portal.Registry where the frontend
// offers it (1.19 and later); true when the connection carries the id now. Qt 6.11 registers
// the connection itself, from the desktop file name (ours is the id): the frontend's "already
// associated" then is the id taken. Where it is not offered nothing changes. Bounded by a
// short wait: it runs before any other portal call.
bool registerWithPortal(const QDBusConnection& bus);

// Registers again whenever the portal frontend comes back (a restart, a crash), before
// anything else talks to the new one, then runs `restarted` (on the UI thread): sessions and
// requests of the old frontend are gone with it.
class PortalRestartWatch final : public QObject {
    Q_OBJECT
  public:
    PortalRestartWatch(const QDBusConnection& bus, QObject* parent,
                       std::function<void()> restarted = nullptr);

  private:
    QDBusConnection bus_;
    QDBusServiceWatcher* watcher_;
    std::function<void()> restarted_;
};

}  // namespace numarika
