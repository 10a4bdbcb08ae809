#include "platform/portal/portal_screenshot.h"

#include <unistd.h>

#include <QFileInfo>
#include <QImageReader>
#include <QUrl>
#include <QtConcurrent/QtConcurrentRun>

#include "platform/logging.h"
#include "platform/portal/host_registry.h"
#include "platform/portal/parent_window.h"
#include "platform/portal/portal_request.h"

namespace numarika {
namespace {

// The portal's file is a transport: whatever folder the desktop chose (KDE's portal saves
// into ~/Pictures), a file it wrote for this request goes once the picture is read. A file
// that was there before the request is the user's and stays.
bool oursToRemove(const QFileInfo& file, const QDateTime& asked) {
    if (!file.isFile() || file.isSymLink() || file.ownerId() != ::getuid()) return false;
    // Born after the request where the file system tells (its clock may lag a tick behind);
    // else last written after it, with a second of slack for file systems of coarse times.
    const QDateTime born = file.birthTime();
    if (born.isValid()) return born >= asked.addMSecs(-100);
    return file.lastModified() >= asked.addSecs(-1);
}

// What a refusal means, for the user's report.
QString whyNot(const PortalAnswer& answer) {
    switch (answer.code) {
        case 1:
            // KDE's portal answers so for every failure of its own too (no ~/Pictures, no
            // picture from KWin without a GPU).
            return QStringLiteral(
                "cancelled (code 1): by the user in the desktop's dialog, or "
                "the desktop could not take the picture");
        case 2:
            return QStringLiteral(
                "refused (code 2): the desktop denied the permission or "
                "failed");
        default:
            return QStringLiteral("no answer (code %1): %2").arg(answer.code).arg(answer.error);
    }
}

}  // namespace

PortalScreenSource::PortalScreenSource(QDBusConnection bus, int timeoutMs)
    : bus_(std::move(bus)),
      timeoutMs_(timeoutMs),
      restarts_(std::make_unique<PortalRestartWatch>(bus_, nullptr)) {}

PortalScreenSource::~PortalScreenSource() = default;

// The portal has no say in the pointer: each desktop draws it or not as it does.
void PortalScreenSource::requestScreen(bool, Done done) {
    const QDateTime asked = QDateTime::currentDateTime();
    QVariantMap options{{QStringLiteral("interactive"), false}};
    PortalRequest::start(
        bus_, QStringLiteral("org.freedesktop.portal.Screenshot"), QStringLiteral("Screenshot"),
        {portalParentWindow()}, options, timeoutMs_, &requests_,
        [this, done = std::move(done), asked](const PortalAnswer& answer) {
            if (!answer.ok()) {
                qCInfo(lcPlatform).noquote() << "portal screenshot not taken:" << whyNot(answer);
                done(std::nullopt);
                return;
            }
            const QUrl uri(answer.results.value(QStringLiteral("uri")).toString());
            if (!uri.isLocalFile()) {
                qCInfo(lcPlatform) << "portal screenshot not in a file:" << uri;
                done(std::nullopt);
                return;
            }
            takePictureLater(uri.toLocalFile(), asked, &requests_, done);
        });
}

void PortalScreenSource::takePictureLater(const QString& path, const QDateTime& asked,
                                          QObject* context, Done done) {
    QtConcurrent::run([path, asked] {
        return takePicture(path, asked);
    }).then(context, [done = std::move(done)](std::optional<QImage> picture) {
        done(std::move(picture));
    });
}

std::optional<QImage> PortalScreenSource::takePicture(const QString& path, const QDateTime& asked) {
    QImageReader reader(path);
    // The screen's own pixels: no colour conversion or rotation of ours.
    reader.setAutoTransform(false);
    QImage picture = reader.read();
    const QFileInfo file(path);
    if (oursToRemove(file, asked)) QFile::remove(path);
    if (picture.isNull()) {
        qCInfo(lcPlatform).noquote()
            << "portal screenshot unreadable:" << path << reader.errorString();
        return std::nullopt;
    }
    // One picture pixel per screen pixel, whatever scale the desktop reports.
    picture.setDevicePixelRatio(1.0);
    if (picture.format() != QImage::Format_RGB32)
        picture = picture.convertToFormat(QImage::Format_RGB32);
    return picture;
}

}  // namespace numarika
