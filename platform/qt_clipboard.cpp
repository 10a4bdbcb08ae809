#include "platform/qt_clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include "platform/logging.h"

namespace numarika {

std::optional<QImage> QtClipboard::picture() {
    if (!own_.isNull()) return own_;
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) return std::nullopt;
    const QMimeData* data = clipboard->mimeData(QClipboard::Clipboard);
    if (!data || !data->hasImage()) return std::nullopt;
    QImage image = qvariant_cast<QImage>(data->imageData());
    if (image.isNull()) return std::nullopt;  // announced, but unreadable
    return image;
}

void QtClipboard::clear() {
    own_ = QImage();
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->clear(QClipboard::Clipboard);
}

bool QtClipboard::setPicture(const QImage& picture) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard || picture.isNull()) return false;
    own_ = QImage();
    clipboard->setImage(picture, QClipboard::Clipboard);
    // On X11 the picture is only offered while we own the selection; another client may
    // have refused us that.
    if (QGuiApplication::platformName() == QLatin1String("xcb") && !clipboard->ownsClipboard()) {
        qCInfo(lcPlatform) << "the clipboard could not be taken";
        return false;
    }
    own_ = picture;
    qCDebug(lcPlatform) << "picture on the clipboard:" << picture.size()
                        << "owned:" << clipboard->ownsClipboard();
    return true;
}

}  // namespace numarika
