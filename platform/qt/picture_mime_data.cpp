#include "platform/qt/picture_mime_data.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImageWriter>
#include <QPointer>
#include <QThreadPool>
#include <condition_variable>
#include <mutex>

#include "encoders/png_encoder.h"
#include "platform/logging.h"

namespace numarika {
namespace {

const QString kQtImage = QStringLiteral("application/x-qt-image");
const QString kPng = QStringLiteral("image/png");

// Our encoder writes 8-bit RGB: lossless for every format without transparency and with no
// more than 8 bits a channel.
bool fitsEightBitRgb(const QImage& picture) {
    if (picture.hasAlphaChannel()) return false;
    switch (picture.format()) {
        case QImage::Format_RGB32:
        case QImage::Format_RGBX8888:
        case QImage::Format_RGB888:
        case QImage::Format_BGR888:
        case QImage::Format_RGB16:
        case QImage::Format_RGB555:
        case QImage::Format_RGB444:
        case QImage::Format_RGB666:
        case QImage::Format_Grayscale8:
        case QImage::Format_Indexed8:
        case QImage::Format_Mono:
        case QImage::Format_MonoLSB:
            return true;
        default:
            return false;
    }
}

// What Qt itself sends for image/<format>: its writer for that format at its defaults.
QByteArray encodeWithQt(const QImage& picture, const QByteArray& format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!picture.save(&buffer, format.constData())) return {};
    return bytes;
}

QByteArray encodePngOf(const QImage& picture, int threads) {
    if (fitsEightBitRgb(picture)) return encodePng(picture, threads);
    qCInfo(lcPlatform) << "clipboard PNG of a" << picture.format()
                       << "picture by Qt's writer, which keeps every channel";
    return encodeWithQt(picture, "PNG");
}

// One encoding at a time, beside the UI thread: a picture replaced before its turn (scans in
// quick succession) is dropped unencoded. Goes with the application, waiting for the last.
QThreadPool& backgroundPool() {
    static QPointer<QThreadPool> pool;
    if (!pool) {
        pool = new QThreadPool(QCoreApplication::instance());
        pool->setMaxThreadCount(1);
    }
    return *pool;
}

}  // namespace

QStringList pictureMimeFormats() {
    // As Qt builds them: its own picture format, then one per format its writers know, PNG
    // moved to the front.
    QStringList images;
    for (const QByteArray& format : QImageWriter::supportedImageFormats())
        images.append(QStringLiteral("image/") + QString::fromLatin1(format.toLower()));
    if (const qsizetype png = images.indexOf(kPng); png > 0) images.move(png, 0);
    QStringList formats{kQtImage};
    for (const QString& format : images)
        if (!formats.contains(format)) formats.append(format);
    return formats;
}

// Filled once, by the worker or by the UI thread, whichever starts first.
struct PictureMimeData::PngSlot {
    enum class State { Idle, Running, Done, Abandoned };

    explicit PngSlot(QImage p) : picture(std::move(p)) {}

    // Takes the encoding on if nobody has; false when it is done, running or abandoned.
    bool claim() {
        std::lock_guard lock(mutex);
        if (state != State::Idle) return false;
        state = State::Running;
        return true;
    }

    void encode(int threads) {
        QByteArray png = encodePngOf(picture, threads);
        {
            std::lock_guard lock(mutex);
            bytes = std::move(png);
            state = State::Done;
            ++encodings;
        }
        done.notify_all();
    }

    // Shares its pixels with the mime data's copy; the worker may let go of them last, which
    // a screen grab's shared memory allows from any thread (it is given back through an
    // atomic flag).
    const QImage picture;
    std::mutex mutex;
    std::condition_variable done;
    State state = State::Idle;
    QByteArray bytes;
    int encodings = 0;
};

PictureMimeData::PictureMimeData(QImage picture, QByteArray png)
    : picture_(std::move(picture)),
      formats_(pictureMimeFormats()),
      png_(std::make_shared<PngSlot>(picture_)) {
    if (!png.isEmpty()) {
        png_->bytes = std::move(png);
        png_->state = PngSlot::State::Done;
    }
}

PictureMimeData::~PictureMimeData() {
    // A queued encoding is dropped; a running one finishes on its own, with the slot.
    std::lock_guard lock(png_->mutex);
    if (png_->state == PngSlot::State::Idle) png_->state = PngSlot::State::Abandoned;
}

void PictureMimeData::encodePngInBackground(int threads) {
    {
        std::lock_guard lock(png_->mutex);
        if (png_->state != PngSlot::State::Idle) return;
    }
    backgroundPool().start([slot = png_, threads] {
        if (slot->claim()) slot->encode(threads);
    });
}

QByteArray PictureMimeData::png() const {
    if (png_->claim()) png_->encode(0);
    std::unique_lock lock(png_->mutex);
    png_->done.wait(lock, [this] { return png_->state == PngSlot::State::Done; });
    return png_->bytes;
}

std::function<QByteArray()> PictureMimeData::pngFromAnyThread() const {
    return [slot = png_] {
        if (slot->claim()) slot->encode(0);
        std::unique_lock lock(slot->mutex);
        slot->done.wait(lock, [&slot] {
            return slot->state == PngSlot::State::Done || slot->state == PngSlot::State::Abandoned;
        });
        return slot->bytes;
    };
}

QByteArray PictureMimeData::pngIfReady() const {
    std::lock_guard lock(png_->mutex);
    return png_->state == PngSlot::State::Done ? png_->bytes : QByteArray();
}

int PictureMimeData::encodings() const {
    std::lock_guard lock(png_->mutex);
    return png_->encodings + otherEncodings_;
}

QStringList PictureMimeData::formats() const { return formats_; }

bool PictureMimeData::hasFormat(const QString& mimeType) const {
    return formats_.contains(mimeType);
}

QByteArray PictureMimeData::encoded(const QString& mimeType) const {
    if (mimeType == kPng || mimeType == kQtImage) return png();
    if (const auto it = others_.constFind(mimeType); it != others_.cend()) return *it;
    const QByteArray format = mimeType.mid(mimeType.indexOf(QLatin1Char('/')) + 1).toLatin1();
    QByteArray bytes = encodeWithQt(picture_, format.toUpper());
    ++otherEncodings_;
    // A format whose writer refuses this picture stays empty, as it would with Qt, and is
    // not tried again.
    others_.insert(mimeType, bytes);
    return bytes;
}

QVariant PictureMimeData::retrieveData(const QString& mimeType, QMetaType type) const {
    if (!formats_.contains(mimeType)) return {};
    if (mimeType == kQtImage && type.id() != QMetaType::QByteArray)
        return QVariant::fromValue(picture_);
    return encoded(mimeType);
}

}  // namespace numarika
