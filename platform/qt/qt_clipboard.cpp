#include "platform/qt/qt_clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QTimer>
#include <QWindow>

#include "platform/logging.h"
#include "platform/qt/picture_mime_data.h"

namespace numarika {
namespace {

// Below this a PNG costs about a millisecond: encoded when asked for, it needs no worker.
constexpr qint64 kBackgroundPngPixels = 256 * 256;
// The background encoding waits this long: the scan's own paint and whatever the user does
// next are not to share the cores with it, and a picture replaced meanwhile (scans in quick
// succession) is never encoded. A program that asks at once (a clipboard manager) gets the PNG
// encoded on demand, on all cores.
constexpr int kBackgroundPngDelayMs = 100;

}  // namespace

QtClipboard::QtClipboard(std::unique_ptr<DirectClipboard> direct, KeepAfterExit keep)
    : direct_(std::move(direct)), keep_(std::move(keep)) {}

QtClipboard::~QtClipboard() {
    QObject::disconnect(atFocus_);
    PictureMimeData* offered = offered_;
    QClipboard* clipboard = offered && keep_ ? QGuiApplication::clipboard() : nullptr;
    if (clipboard && clipboard->ownsClipboard() && clipboard->mimeData() == offered)
        keep_(*offered);
}

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
    QObject::disconnect(atFocus_);
    if (direct_) direct_->clear();
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->clear(QClipboard::Clipboard);
}

bool QtClipboard::setPicture(const QImage& picture) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard || picture.isNull()) return false;
    own_ = QImage();
    QObject::disconnect(atFocus_);
    if (direct_) return offerWithoutFocus(picture);
    offer(picture);
    // On X11 the picture is only offered while we own the selection; another client may
    // have refused us that.
    if (QGuiApplication::platformName() == QLatin1String("xcb") && !clipboard->ownsClipboard()) {
        qCInfo(lcPlatform) << "the clipboard could not be taken";
        return false;
    }
    own_ = picture;
    qCDebug(lcPlatform) << "picture on the clipboard:" << picture.size()
                        << "owned:" << clipboard->ownsClipboard();
    if (QGuiApplication::platformName() == QLatin1String("wayland") &&
        !QGuiApplication::focusWindow())
        offerAgainAtFocus();
    return true;
}

void QtClipboard::offer(const QImage& picture) {
    auto* offered = new PictureMimeData(picture);
    // A screen's PNG takes tens of milliseconds on all cores: begun a moment after the scan,
    // it is mostly ready before anyone pastes.
    if (qint64{picture.width()} * picture.height() >= kBackgroundPngPixels)
        QTimer::singleShot(kBackgroundPngDelayMs, offered,
                           [offered] { offered->encodePngInBackground(); });
    QGuiApplication::clipboard()->setMimeData(offered, QClipboard::Clipboard);
    offered_ = offered;
}

void QtClipboard::offerAgainAtFocus() {
    qCInfo(lcPlatform) << "the clipboard was set without the keyboard focus:"
                          " offered again when a window of ours gets it";
    atFocus_ = QObject::connect(
        qGuiApp, &QGuiApplication::focusWindowChanged, qGuiApp, [this](QWindow* focused) {
            if (!focused) return;
            QObject::disconnect(atFocus_);
            // Only the picture still ours: a clear or a newer picture ended the wait.
            if (own_.isNull()) return;
            offer(own_);
            qCDebug(lcPlatform) << "picture offered again with the keyboard focus";
        });
}

bool QtClipboard::offerWithoutFocus(const QImage& picture) {
    auto offered = std::make_shared<PictureMimeData>(picture);
    // On Wayland the pasting program waits for the picture's bytes, and it asks at once (a
    // clipboard manager, or the paste that the scan was for): the PNG is begun right away.
    if (qint64{picture.width()} * picture.height() >= kBackgroundPngPixels)
        offered->encodePngInBackground();
    if (!direct_->offer(std::move(offered))) {
        qCInfo(lcPlatform) << "the clipboard could not be set through wlr-data-control";
        return false;
    }
    own_ = picture;
    qCDebug(lcPlatform) << "picture on the clipboard (wlr-data-control):" << picture.size();
    return true;
}

}  // namespace numarika
