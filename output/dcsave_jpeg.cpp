#include "output/dcsave_jpeg.h"

#include <QPainter>

#include "controls/picture_box.h"
#include "encoders/jpeg_encoder.h"
#include "output/whole_file.h"

namespace numarika {
namespace {

// The pixels to encode: the box's persistent image itself when it covers the requested
// size (no copy), else a copy padded with the box's background colour.
QImage sourcePixels(const PictureBox& box, int width, int height) {
    const QImage& image = box.Image();
    if (image.format() == QImage::Format_RGB32 && image.width() >= width &&
        image.height() >= height)
        return image;  // shares the pixels; nothing is copied
    const Colour back = box.BackColor();
    QImage padded(width, height, QImage::Format_RGB32);
    padded.fill(rgbOf(back));
    if (!image.isNull()) {
        QPainter p(&padded);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.drawImage(0, 0, image);
    }
    return padded;
}

}  // namespace

QString JpegSaveResult::reason() const {
    QString text;
    switch (status_) {
        case Status::Written:
            return {};
        case Status::NoSurface:
            text = QStringLiteral("保存する画像が見つかりません。");
            break;
        case Status::EmptySize:
            text = QStringLiteral("画像の幅または高さが0です。");
            break;
        case Status::EncodeFailed:
            text = QStringLiteral("JPEGへの変換に失敗しました。");
            break;
        case Status::CreateFailed:
            text = QStringLiteral("ファイルを作成できません。");
            break;
        case Status::WriteFailed:
            text = QStringLiteral("ファイルの書き込みに失敗しました。");
            break;
    }
    if (!detail_.isEmpty()) text += QStringLiteral("（") + detail_ + QStringLiteral("）");
    return text;
}

JpegSaveResult DCSavetoJPEG(Int32 hDC, Int32 width, Int32 height, const QString& fileName,
                            std::uint8_t quality) {
    using Status = JpegSaveResult::Status;
    const PictureBox* box = PictureBox::fromDC(hDC);
    if (!box) return JpegSaveResult::failed(Status::NoSurface);
    if (width <= 0 || height <= 0) return JpegSaveResult::failed(Status::EmptySize);

    // Refused before the pixels are gathered: a size beyond the encoder would only waste (or
    // exhaust) the memory for them.
    if (!jpegSizeFits(width, height, quality))
        return JpegSaveResult::failed(Status::EncodeFailed, QStringLiteral("画像が大きすぎます"));
    const QImage pixels = sourcePixels(*box, width, height);
    if (pixels.isNull())
        return JpegSaveResult::failed(Status::EncodeFailed, QStringLiteral("メモリ不足"));
    const JpegEncoding jpeg = encodeJpeg(pixels, width, height, quality);
    if (!jpeg.ok()) return JpegSaveResult::failed(Status::EncodeFailed, jpeg.error);

    // Written beside the target and renamed over it only when complete and synced.
    if (const std::optional<FileWriteFailure> failure = writeWholeFile(fileName, jpeg.bytes))
        return JpegSaveResult::failed(
            failure->creating ? Status::CreateFailed : Status::WriteFailed,
            systemReason(failure->error));
    return JpegSaveResult::written();
}

}  // namespace numarika
