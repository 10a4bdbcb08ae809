#pragma once
// `numarika --scan` asks the copy already running in this desktop session to scan, over the
// session bus, so that a key binding of the desktop's own (sway's `bindsym Print exec
// numarika --scan`, a GNOME or KDE custom shortcut) scans as Print Screen and the menu do.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantMap>

#include "main_window/main.h"

namespace numarika {

// The program's name on the session bus is its application id.
inline const QString kBusName = kApplicationId;
inline const QString kBusPath = QStringLiteral("/com/example/numarika");

// The desktop's activation token, as org.freedesktop.Application's platform data names it.
inline const QString kActivationTokenKey = QStringLiteral("activation-token");
inline const QString kStartupIdKey = QStringLiteral("desktop-startup-id");

class ScanService final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.example.numarika")
  public:
    ScanService();
    ~ScanService() override;
    // Takes the program's name on the session bus; false when there is no bus or another
    // copy holds the name (that copy then takes the requests). Taken before anything can
    // show a message, so that a request never finds the program deaf and starts a second copy.
    bool publish();
    // Whether another process holds the program's name on the bus.
    static bool anotherCopyRuns();

    // Requests are carried out by `window` from its first showing on; those that came before
    // (while the start-up was still showing its messages) are carried out then, once. Call
    // before the window is first shown.
    void serve(main& window);
    // A scan as the menu command's, from the event loop; `token` brings the window forward
    // after it (see WindowControl::useActivationToken).
    void requestScan(const QString& token = {});

  public slots:
    // The caller is answered at once and does not wait for the scan.
    void Scan();
    // The same, with the desktop's platform data (org.freedesktop.Application's keys
    // "activation-token", "desktop-startup-id") from the command the desktop started.
    void ScanWithPlatformData(const QVariantMap& platformData);

  private:
    void scanNow();

    QPointer<main> window_;
    bool ready_ = false;   // the window has been shown
    bool queued_ = false;  // a request waits for its scan
    QString token_;
    QMetaObject::Connection afterRunning_;  // a request waiting for the running scan's end
    bool published_ = false;
};

// The token the desktop gave this process for bringing a window forward: XDG_ACTIVATION_TOKEN,
// else the startup id (GNOME 43 gives only DESKTOP_STARTUP_ID, which its compositor also takes).
QString desktopActivationToken();

// Asks the running copy to scan, handing it the desktop's activation token from this
// process's environment; false when none runs in this session (or there is no bus).
bool askRunningCopyToScan();

}  // namespace numarika
