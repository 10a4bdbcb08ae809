#pragma once
// The screen picture where a Wayland compositor owns the screen: the desktop portal's
// Screenshot, asked for without a dialog. Every monitor, at the screen's own pixels (no
// scaling of ours). The portal hands the picture over as a file, which we remove where the
// portal wrote it for this request, wherever that was.

#include <QDBusConnection>
#include <QDateTime>
#include <QObject>
#include <QStringList>
#include <memory>

#include "platform/screen_source.h"

namespace numarika {

class PortalRestartWatch;

class PortalScreenSource final : public ScreenSource {
  public:
    // The longest wait for the portal's answer: a desktop that asks the user for permission
    // first takes as long as the user does, and a person may take a while to decide.
    static constexpr int kTimeoutMs = 120000;

    explicit PortalScreenSource(QDBusConnection bus = QDBusConnection::sessionBus(),
                                int timeoutMs = kTimeoutMs);
    ~PortalScreenSource() override;
    void requestScreen(bool withPointer, Done done) override;

    // The picture in the file the portal named; the file is removed when it is ours to remove
    // (a regular file of ours, made since `asked`).
    static std::optional<QImage> takePicture(const QString& path, const QDateTime& asked);
    // takePicture on a worker: a screen's PNG takes a tenth of a second and more to decode,
    // which the UI thread spends painting. `done` runs on `context`'s thread, unless it has
    // gone first.
    static void takePictureLater(const QString& path, const QDateTime& asked, QObject* context,
                                 Done done);

  private:
    QDBusConnection bus_;
    int timeoutMs_;
    std::unique_ptr<PortalRestartWatch>
        restarts_;      // a restarted portal must learn our id before a picture
    QObject requests_;  // requests in flight end with this object
};

}  // namespace numarika
