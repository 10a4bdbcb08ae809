#include "encoders/jpeg_encoder.h"

#include <turbojpeg.h>

#include <algorithm>
#include <climits>
#include <memory>

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

JpegEncoding failure(QString why) { return {{}, std::move(why)}; }

}  // namespace

int jpegSubsamplingFor(int quality) { return quality >= 90 ? TJSAMP_444 : TJSAMP_420; }

bool jpegSizeFits(int width, int height, int quality) {
    const unsigned long size =
        tjBufSize(width, height, jpegSubsamplingFor(std::clamp(quality, 1, 100)));
    return size != static_cast<unsigned long>(-1) && size <= INT_MAX;
}

JpegEncoding encodeJpeg(const QImage& pixels, int width, int height, int quality) {
    if (pixels.format() != QImage::Format_RGB32 || pixels.width() < width ||
        pixels.height() < height || width <= 0 || height <= 0)
        return failure(QStringLiteral("画像がありません"));
    const int q = std::clamp(quality, 1, 100);
    const int subsampling = jpegSubsamplingFor(q);
    // A buffer of the largest size the encoder can need, so that it never reallocates: the
    // encoder trusts the size it is given for a buffer it did not allocate itself.
    if (!jpegSizeFits(width, height, q)) return failure(QStringLiteral("画像が大きすぎます"));
    unsigned long size = tjBufSize(width, height, subsampling);
    Encoder& encoder = threadEncoder();
    tjhandle handle = encoder.handle();
    if (!handle) return failure(QString::fromUtf8(tjGetErrorStr2(nullptr)));
    unsigned char* out = encoder.buffer(size);
    if (!out) return failure(QStringLiteral("メモリ不足"));
    if (tjCompress2(handle, pixels.constBits(), width, static_cast<int>(pixels.bytesPerLine()),
                    height, kRgb32PixelFormat, &out, &size, subsampling, q, TJFLAG_NOREALLOC) != 0)
        return failure(QString::fromUtf8(tjGetErrorStr2(handle)));
    return {QByteArrayView(reinterpret_cast<const char*>(out), static_cast<qsizetype>(size)), {}};
}

}  // namespace numarika
