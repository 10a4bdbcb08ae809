#include "platform/kde/kwin_screenshot.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <QImage>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>

#include "platform/logging.h"

namespace numarika {
namespace {

const QString kService = QStringLiteral("org.kde.KWin.ScreenShot2");
const QString kPath = QStringLiteral("/org/kde/KWin/ScreenShot2");

// The picture from KWin's description of the raw pixels it wrote.
std::optional<QImage> pictureFrom(const QVariantMap& results, const QByteArray& data) {
    const int width = results.value(QStringLiteral("width")).toInt();
    const int height = results.value(QStringLiteral("height")).toInt();
    const qsizetype stride = results.value(QStringLiteral("stride")).toLongLong();
    const uint format = results.value(QStringLiteral("format")).toUInt();
    if (results.value(QStringLiteral("type")).toString() != QLatin1String("raw") || width <= 0 ||
        height <= 0 || format == QImage::Format_Invalid || format >= QImage::NImageFormats ||
        stride < width || data.size() < stride * height)
        return std::nullopt;
    const QImage pixels(reinterpret_cast<const uchar*>(data.constData()), width, height, stride,
                        static_cast<QImage::Format>(format));
    if (pixels.isNull()) return std::nullopt;  // a stride too short for the format
    // A picture of its own, never one on the pipe's buffer, which goes with the capture.
    QImage picture = pixels.format() == QImage::Format_RGB32
                         ? pixels.copy()
                         : pixels.convertToFormat(QImage::Format_RGB32);
    // One picture pixel per screen pixel, whatever scale the desktop reports.
    picture.setDevicePixelRatio(1.0);
    return picture;
}

// One capture: the read end of the pipe KWin writes the pixels into, read as they come
// without blocking the UI thread, and KWin's description of them. Closed with this object.
class Capture final : public QObject {
  public:
    using Finished = std::function<void(std::optional<QImage> picture, const QString& why)>;

    Capture(int fd, QObject* parent, Finished finished)
        : QObject(parent),
          fd_(fd),
          notifier_(fd, QSocketNotifier::Read),
          finished_(std::move(finished)) {
        connect(&notifier_, &QSocketNotifier::activated, this, [this] { readAvailable(); });
    }
    ~Capture() override { ::close(fd_); }
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    void described(const QVariantMap& results) {
        results_ = results;
        maybeComplete();
    }
    void fail(const QString& why) { finish(std::nullopt, why); }

  private:
    void readAvailable() {
        char chunk[65536];
        for (;;) {
            const ssize_t n = ::read(fd_, chunk, sizeof chunk);
            if (n > 0) {
                data_.append(chunk, n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno == EAGAIN) return;
            // The end, or an error: KWin has written all it will.
            notifier_.setEnabled(false);
            ended_ = true;
            maybeComplete();
            return;
        }
    }

    // The pixels are complete once KWin has described them and closed its end of the pipe.
    void maybeComplete() {
        if (!results_ || !ended_) return;
        std::optional<QImage> picture = pictureFrom(*results_, data_);
        finish(std::move(picture), QStringLiteral("no picture in the pipe"));
    }

    void finish(std::optional<QImage> picture, const QString& why) {
        if (done_) return;
        done_ = true;
        notifier_.setEnabled(false);
        deleteLater();
        finished_(std::move(picture), why);
    }

    int fd_;
    QSocketNotifier notifier_;
    QByteArray data_;
    std::optional<QVariantMap> results_;
    bool ended_ = false;
    bool done_ = false;
    Finished finished_;
};

}  // namespace

bool KWinScreenSource::offered(const QDBusConnection& bus) {
    if (!bus.isConnected() || !bus.interface()) return false;
    return bus.interface()->isServiceRegistered(kService).value();
}

KWinScreenSource::KWinScreenSource(QDBusConnection bus, std::unique_ptr<ScreenSource> fallback)
    : bus_(std::move(bus)), fallback_(std::move(fallback)) {}

KWinScreenSource::~KWinScreenSource() = default;

void KWinScreenSource::fallBack(const QString& why, bool withPointer, Done done) {
    if (!refused_)
        qCInfo(lcPlatform).noquote()
            << "KWin's screenshot refused (" + why + "): the desktop portal takes the screen";
    refused_ = true;
    fallback_->requestScreen(withPointer, std::move(done));
}

void KWinScreenSource::requestScreen(bool withPointer, Done done) {
    if (refused_) {
        fallback_->requestScreen(withPointer, std::move(done));
        return;
    }
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        fallBack(QStringLiteral("no pipe"), withPointer, std::move(done));
        return;
    }
    auto* capture = new Capture(fds[0], &requests_,
                                [this, withPointer, done = std::move(done)](
                                    std::optional<QImage> picture, const QString& why) {
                                    if (picture) {
                                        done(std::move(picture));
                                        return;
                                    }
                                    fallBack(why, withPointer, done);
                                });
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService,
                                                       QStringLiteral("CaptureWorkspace"));
    const QVariantMap options{{QStringLiteral("include-cursor"), withPointer},
                              {QStringLiteral("native-resolution"), true}};
    call.setArguments({options, QVariant::fromValue(QDBusUnixFileDescriptor(fds[1]))});
    // The message holds its own copy: the pipe ends when KWin's copy does.
    ::close(fds[1]);
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, kTimeoutMs), capture);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, capture, [watcher, capture] {
        watcher->deleteLater();
        const QDBusPendingReply<QVariantMap> reply = *watcher;
        if (reply.isError())
            capture->fail(reply.error().name() + QLatin1Char(' ') + reply.error().message());
        else
            capture->described(reply.value());
    });
    // KWin would wait a minute for a reader; a scan does not wait that long for a picture.
    QTimer::singleShot(kTimeoutMs, capture,
                       [capture] { capture->fail(QStringLiteral("no picture in time")); });
}

}  // namespace numarika
