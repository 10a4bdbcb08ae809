#include "platform/qt_clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace numarika {

std::optional<QImage> QtClipboard::picture() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) return std::nullopt;
    const QMimeData* data = clipboard->mimeData(QClipboard::Clipboard);
    if (!data || !data->hasImage()) return std::nullopt;
    QImage image = qvariant_cast<QImage>(data->imageData());
    if (image.isNull()) return std::nullopt;  // announced, but unreadable
    return image;
}

void QtClipboard::clear() {
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->clear(QClipboard::Clipboard);
}

bool QtClipboard::setPicture(const QImage& picture) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard || picture.isNull()) return false;
    clipboard->setImage(picture, QClipboard::Clipboard);
    // On X11 the picture is only offered while we own the selection; another client may
    // have refused us that.
    if (QGuiApplication::platformName() == QLatin1String("xcb")) return clipboard->ownsClipboard();
    return true;
}

}  // namespace numarika
