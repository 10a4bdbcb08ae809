#include "platform/portal/portal_screenshot.h"

#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QStandardPaths>
#include <QUrl>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>

#include "platform/logging.h"
#include "platform/portal/portal_request.h"

namespace numarika {
namespace {

bool inside(const QString& path, const QString& folder) {
    if (folder.isEmpty()) return false;
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    return !canonical.isEmpty() && path.startsWith(canonical + QLatin1Char('/'));
}

// Only what the portal wrote for us, where nobody keeps files: a screenshot the desktop saved
// among the user's pictures stays.
bool oursToRemove(const QFileInfo& file, const QDateTime& asked, const QStringList& folders) {
    const QString path = file.canonicalFilePath();
    const bool temporary = std::any_of(folders.begin(), folders.end(),
                                       [&path](const QString& f) { return inside(path, f); });
    // A second of slack: file systems keep coarse times.
    return temporary && file.isFile() && !file.isSymLink() && file.ownerId() == ::getuid() &&
           file.lastModified() >= asked.addSecs(-1);
}

}  // namespace

PortalScreenSource::PortalScreenSource(QDBusConnection bus, int timeoutMs)
    : bus_(std::move(bus)), timeoutMs_(timeoutMs) {}

void PortalScreenSource::requestScreen(Done done) {
    const QDateTime asked = QDateTime::currentDateTime();
    QVariantMap options{{QStringLiteral("interactive"), false}};
    PortalRequest::start(bus_, QStringLiteral("org.freedesktop.portal.Screenshot"),
                         QStringLiteral("Screenshot"), {QString()}, options, timeoutMs_, &requests_,
                         [this, done = std::move(done), asked](const PortalAnswer& answer) {
                             if (!answer.ok()) {
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

QStringList PortalScreenSource::temporaryFolders() {
    return {QDir::tempPath(), QStringLiteral("/tmp"),
            QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation)};
}

void PortalScreenSource::takePictureLater(const QString& path, const QDateTime& asked,
                                          QObject* context, Done done) {
    QtConcurrent::run([path, asked, folders = temporaryFolders()] {
        return takePicture(path, asked, folders);
    }).then(context, [done = std::move(done)](std::optional<QImage> picture) {
        done(std::move(picture));
    });
}

std::optional<QImage> PortalScreenSource::takePicture(const QString& path, const QDateTime& asked,
                                                      const QStringList& temporary) {
    QImageReader reader(path);
    // The screen's own pixels: no colour conversion or rotation of ours.
    reader.setAutoTransform(false);
    QImage picture = reader.read();
    const QFileInfo file(path);
    if (oursToRemove(file, asked, temporary)) QFile::remove(path);
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
