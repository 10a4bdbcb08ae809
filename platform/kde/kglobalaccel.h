#pragma once
// KDE Plasma's register of global shortcuts (org.kde.kglobalaccel, served by KWin). The
// portal's answer names the key a program asked for even when another program (Spectacle
// with Print) holds it; only kglobalaccel knows which key a shortcut really got.

#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <functional>

namespace numarika {

class KGlobalAccel {
  public:
    // Whether the desktop keeps its global shortcuts in kglobalaccel (KDE Plasma).
    static bool offered(const QDBusConnection& bus);

    // Asks which key `shortcut` of the first of `components` that kglobalaccel knows holds.
    // `done` runs once on the UI thread, unless `context` goes first: with true when it holds
    // a key, false with the reason when it holds none or the question found no answer.
    using Done = std::function<void(bool hasKey, const QString& why)>;
    static void askHasKey(const QDBusConnection& bus, const QStringList& components,
                          const QString& shortcut, QObject* context, Done done);
};

}  // namespace numarika
