#pragma once
// The screen picture on KDE Plasma from KWin's own screenshot interface
// (org.kde.KWin.ScreenShot2): the pixels come through a pipe, without a file, with the pointer
// only when asked and without the portal's round trip. KWin opens it only to programs whose
// installed desktop entry lists it in X-KDE-DBUS-Restricted-Interfaces; where KWin refuses (a build
// that is not installed), the source it was given takes over for the rest of the run.

#include <QDBusConnection>
#include <QObject>
#include <memory>

#include "platform/screen_source.h"

namespace numarika {

class KWinScreenSource final : public ScreenSource {
  public:
    static constexpr int kTimeoutMs = 10000;

    // Whether KWin's screenshot interface is on the bus at all.
    static bool offered(const QDBusConnection& bus);

    KWinScreenSource(QDBusConnection bus, std::unique_ptr<ScreenSource> fallback);
    ~KWinScreenSource() override;
    void requestScreen(bool withPointer, Done done) override;

  private:
    void fallBack(const QString& why, bool withPointer, Done done);

    QDBusConnection bus_;
    std::unique_ptr<ScreenSource> fallback_;
    bool refused_ = false;
    QObject requests_;  // requests in flight end with this object
};

}  // namespace numarika
