#pragma once
// The program's application id, told to the desktop portal. A program that is not sandboxed
// has no id the portal could learn by itself; newer portal frontends (1.21 and later) refuse
// it global shortcuts then, and desktops file its permissions under an empty name. The
// frontend takes the id only before the program's first other call to it.

#include <QDBusConnection>
#include <QString>

namespace numarika {

inline const QString kApplicationId = QStringLiteral("com.example.numarika");

// Registers kApplicationId through org.freedesktop.host.portal.Registry where the frontend
// offers it (1.19 and later); true when it was taken. Where it is not offered nothing
// changes. Bounded by a short wait: it runs once at start-up, before any other portal call.
bool registerWithPortal(const QDBusConnection& bus);

}  // namespace numarika
