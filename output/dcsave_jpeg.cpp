#include "output/dcsave_jpeg.h"

#include <turbojpeg.h>

#include <QPainter>
#include <algorithm>
#include <climits>
#include <memory>

#include "controls/picture_box.h"
#include "output/whole_file.h"

namespace numarika {
namespace {

struct TjHandleDeleter {
    void operator()(void* handle) const { tjDestroy(handle); }
};
using TjHandle = std::unique_ptr<void, TjHandleDeleter>;

struct TjBufferDeleter {
    void operator()(unsigned char* buffer) const { tjFree(buffer); }
};
using TjBuffer = std::unique_ptr<unsigned char, TjBufferDeleter>;

// The encoder and its output buffer, kept from one save to the next: a fresh buffer for a
// 4K picture costs about a tenth of the encoding in page faults alone.
class Encoder {
  public:
    tjhandle handle() {
        if (!handle_) handle_.reset(tjInitCompress());
        return handle_.get();
    }
    // At least `bytes` long; null when the memory cannot be had.
    unsigned char* buffer(unsigned long bytes) {
        if (bytes > capacity_) {
            buffer_.reset();
            capacity_ = 0;
            buffer_.reset(tjAlloc(static_cast<int>(bytes)));
            if (!buffer_) return nullptr;
            capacity_ = bytes;
        }
        return buffer_.get();
    }

  private:
    TjHandle handle_;
    TjBuffer buffer_;
    unsigned long capacity_ = 0;
};

Encoder& threadEncoder() {
    thread_local Encoder encoder;
    return encoder;
}

// QImage::Format_RGB32 keeps each pixel as 0xffRRGGBB in native byte order.
constexpr int kRgb32PixelFormat = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? TJPF_BGRX : TJPF_XRGB;

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

int jpegSubsamplingFor(int quality) { return quality >= 90 ? TJSAMP_444 : TJSAMP_420; }

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
                            std::uint8_t quality, Int32 /*reserved*/) {
    using Status = JpegSaveResult::Status;
    const PictureBox* box = PictureBox::fromDC(hDC);
    if (!box) return JpegSaveResult::failed(Status::NoSurface);
    if (width <= 0 || height <= 0) return JpegSaveResult::failed(Status::EmptySize);

    const int q = std::clamp<int>(quality, 1, 100);
    const int subsampling = jpegSubsamplingFor(q);
    // A buffer of the largest size the encoder can need, so that it never reallocates: the
    // encoder trusts the size it is given for a buffer it did not allocate itself.
    unsigned long jpegSize = tjBufSize(width, height, subsampling);
    if (jpegSize == static_cast<unsigned long>(-1) || jpegSize > INT_MAX)
        return JpegSaveResult::failed(Status::EncodeFailed, QStringLiteral("画像が大きすぎます"));
    const QImage pixels = sourcePixels(*box, width, height);
    if (pixels.isNull())
        return JpegSaveResult::failed(Status::EncodeFailed, QStringLiteral("メモリ不足"));

    Encoder& encoder = threadEncoder();
    tjhandle handle = encoder.handle();
    if (!handle)
        return JpegSaveResult::failed(Status::EncodeFailed,
                                      QString::fromUtf8(tjGetErrorStr2(nullptr)));
    unsigned char* out = encoder.buffer(jpegSize);
    if (!out) return JpegSaveResult::failed(Status::EncodeFailed, QStringLiteral("メモリ不足"));
    if (tjCompress2(handle, pixels.constBits(), width, static_cast<int>(pixels.bytesPerLine()),
                    height, kRgb32PixelFormat, &out, &jpegSize, subsampling, q,
                    TJFLAG_NOREALLOC) != 0)
        return JpegSaveResult::failed(Status::EncodeFailed,
                                      QString::fromUtf8(tjGetErrorStr2(handle)));

    // Written beside the target and renamed over it only when complete and synced.
    const QByteArrayView bytes(reinterpret_cast<const char*>(out),
                               static_cast<qsizetype>(jpegSize));
    if (const std::optional<FileWriteFailure> failure = writeWholeFile(fileName, bytes))
        return JpegSaveResult::failed(
            failure->creating ? Status::CreateFailed : Status::WriteFailed,
            systemReason(failure->error));
    return JpegSaveResult::written();
}

}  // namespace numarika
