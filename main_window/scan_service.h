#pragma once
// `numarika --scan` asks the copy already running in this desktop session to scan, over the
// session bus, so that a key binding of the desktop's own (sway's `bindsym Print exec
// numarika --scan`, a GNOME or KDE custom shortcut) scans as Print Screen and the menu do.

#include <QObject>
#include <QPointer>
#include <QString>

#include "main_window/main.h"

namespace numarika {

// The program's name on the session bus is its application id.
inline const QString kBusName = kApplicationId;
inline const QString kBusPath = QStringLiteral("/com/example/numarika");

class ScanService final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.example.numarika")
  public:
    explicit ScanService(main& window);
    ~ScanService() override;
    // Takes the program's name on the session bus; false when there is no bus or another
    // copy holds the name (that copy then takes the requests).
    bool publish();

  public slots:
    // Scans as the menu command does, from the event loop: the caller is answered at once
    // and does not wait for the scan.
    void Scan();

  private:
    QPointer<main> window_;
    bool published_ = false;
};

// Asks the running copy to scan; false when none runs in this session (or there is no bus).
bool askRunningCopyToScan();

// Scans once `window` is on the screen: `numarika --scan` when no copy ran yet.
void scanWhenShown(main& window);

}  // namespace numarika
