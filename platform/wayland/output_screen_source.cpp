#include "platform/wayland/output_screen_source.h"

#include <pixman.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cstring>

#include "platform/logging.h"
#include "platform/wayland/dispatch_ready.h"
#include "xdg-output-unstable-v1-client-protocol.h"

namespace numarika {
namespace {

constexpr std::uint32_t kXdgOutputVersion = 2;
constexpr std::uint32_t kOutputVersion = 2;

}  // namespace

// The compositor's pixels in a buffer of shared memory that no file names.
class ShmBuffer {
  public:
    static std::unique_ptr<ShmBuffer> make(wl_shm* shm, std::uint32_t format, int width, int height,
                                           int stride) {
        const std::size_t size = std::size_t(stride) * std::size_t(height);
        if (width <= 0 || height <= 0 || stride < width * 2 || size == 0) return nullptr;
        const int fd = ::memfd_create("numarika-screen", MFD_CLOEXEC);
        if (fd < 0) return nullptr;
        std::unique_ptr<ShmBuffer> b(new ShmBuffer);
        b->size_ = size;
        if (::ftruncate(fd, static_cast<off_t>(size)) == 0)
            b->data_ = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (!b->data_ || b->data_ == MAP_FAILED) {  // ftruncate or mmap refused
            b->data_ = nullptr;
            ::close(fd);
            return nullptr;
        }
        wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<std::int32_t>(size));
        b->buffer_ = wl_shm_pool_create_buffer(pool, 0, width, height, stride, format);
        wl_shm_pool_destroy(pool);  // the buffer keeps what it needs
        ::close(fd);
        return b;
    }
    ~ShmBuffer() {
        if (buffer_) wl_buffer_destroy(buffer_);
        if (data_) ::munmap(data_, size_);
    }
    wl_buffer* buffer() const { return buffer_; }
    const uchar* bits() const { return static_cast<const uchar*>(data_); }

  private:
    ShmBuffer() = default;
    void* data_ = nullptr;
    std::size_t size_ = 0;
    wl_buffer* buffer_ = nullptr;
};

namespace {

// The Qt format whose memory layout is the wl_shm format's (on a little-endian machine), for
// the formats without a fast copy of their own.
QImage::Format qtFormatOf(std::uint32_t format) {
    switch (format) {
        case WL_SHM_FORMAT_XRGB8888:
        case WL_SHM_FORMAT_ARGB8888:
            return QImage::Format_RGB32;
        case WL_SHM_FORMAT_XBGR8888:
        case WL_SHM_FORMAT_ABGR8888:
            return QImage::Format_RGBX8888;
        case WL_SHM_FORMAT_XRGB2101010:
        case WL_SHM_FORMAT_ARGB2101010:
            return QImage::Format_RGB30;
        case WL_SHM_FORMAT_XBGR2101010:
        case WL_SHM_FORMAT_ABGR2101010:
            return QImage::Format_BGR30;
        case WL_SHM_FORMAT_RGB565:
            return QImage::Format_RGB16;
        case WL_SHM_FORMAT_BGR888:  // bytes R, G, B
            return QImage::Format_RGB888;
        default:
            return QImage::Format_Invalid;
    }
}

// Rows of 32-bit pixels into the picture (0xffRRGGBB), converted on the way: the compositor
// leaves the unused byte of X formats undefined, and a screen is opaque.
void copyRows(const uchar* from, int fromStride, std::uint32_t format, QImage& to, QPoint at,
              QSize size) {
    const bool swap = format == WL_SHM_FORMAT_XBGR8888 || format == WL_SHM_FORMAT_ABGR8888;
    for (int y = 0; y < size.height(); ++y) {
        const auto* src = reinterpret_cast<const std::uint32_t*>(from + qsizetype(y) * fromStride);
        auto* dst = reinterpret_cast<std::uint32_t*>(to.scanLine(at.y() + y)) + at.x();
        if (swap) {
            for (int x = 0; x < size.width(); ++x) {
                const std::uint32_t p = src[x];
                dst[x] = 0xff000000u | ((p & 0xffu) << 16) | (p & 0xff00u) | ((p >> 16) & 0xffu);
            }
        } else {
            for (int x = 0; x < size.width(); ++x) dst[x] = src[x] | 0xff000000u;
        }
    }
}

bool fastFormat(std::uint32_t format) {
    return format == WL_SHM_FORMAT_XRGB8888 || format == WL_SHM_FORMAT_ARGB8888 ||
           format == WL_SHM_FORMAT_XBGR8888 || format == WL_SHM_FORMAT_ABGR8888;
}

// Where the pixels of an output's buffer go in the picture, as grim (and with it the desktop
// portal of wlroots desktops) puts them there: the buffer turned upright (wl_output.transform),
// scaled from its size to the output's place, sampled bilinearly by pixman. As the transform
// pixman wants, from the picture to the buffer.
pixman_transform pictureToBuffer(QSize buffer, QRect place, int transform, bool yInvert) {
    const bool sideways = transform & 1;
    const double turnedWidth = sideways ? buffer.height() : buffer.width();
    const double turnedHeight = sideways ? buffer.width() : buffer.height();
    // A quarter turn back for each the output is turned by, as exact cosines and sines.
    static constexpr double kCos[] = {1, 0, -1, 0};
    static constexpr double kSin[] = {0, -1, 0, 1};
    pixman_f_transform f;
    pixman_f_transform_init_identity(&f);
    pixman_f_transform_translate(&f, nullptr, -place.x() - place.width() / 2.0,
                                 -place.y() - place.height() / 2.0);
    pixman_f_transform_scale(&f, nullptr, transform & WL_OUTPUT_TRANSFORM_FLIPPED ? -1 : 1, 1);
    pixman_f_transform_rotate(&f, nullptr, kCos[transform & 3], kSin[transform & 3]);
    pixman_f_transform_scale(&f, nullptr, turnedWidth / place.width(),
                             turnedHeight / place.height() * (yInvert ? -1 : 1));
    pixman_f_transform_translate(&f, nullptr, buffer.width() / 2.0, buffer.height() / 2.0);
    pixman_transform fixed;
    pixman_transform_from_pixman_f_transform(&fixed, &f);
    return fixed;
}

// Draws an output's pixels (0xffRRGGBB) into its place in the picture.
void drawTurnedOrScaled(QImage& pixels, QImage& picture, QRect place, int transform, bool yInvert) {
    pixman_image_t* source = pixman_image_create_bits(
        PIXMAN_x8r8g8b8, pixels.width(), pixels.height(),
        reinterpret_cast<std::uint32_t*>(pixels.bits()), int(pixels.bytesPerLine()));
    pixman_image_t* target = pixman_image_create_bits(
        PIXMAN_x8r8g8b8, picture.width(), picture.height(),
        reinterpret_cast<std::uint32_t*>(picture.bits()), int(picture.bytesPerLine()));
    const pixman_transform m = pictureToBuffer(pixels.size(), place, transform, yInvert);
    pixman_image_set_transform(source, &m);
    pixman_image_set_filter(source, PIXMAN_FILTER_BEST, nullptr, 0);
    pixman_image_composite32(PIXMAN_OP_SRC, source, nullptr, target, place.x(), place.y(), 0, 0,
                             place.x(), place.y(), place.width(), place.height());
    pixman_image_unref(source);
    pixman_image_unref(target);
}

using Output = OutputScreenSource::Output;

void onOutputGeometry(void* data, wl_output*, std::int32_t, std::int32_t, std::int32_t,
                      std::int32_t, std::int32_t, const char*, const char*,
                      std::int32_t transform) {
    static_cast<Output*>(data)->transform = transform;
}
void onOutputMode(void*, wl_output*, std::uint32_t, std::int32_t, std::int32_t, std::int32_t) {}
void onOutputDone(void*, wl_output*) {}
void onOutputScale(void* data, wl_output*, std::int32_t scale) {
    static_cast<Output*>(data)->scale = scale > 0 ? scale : 1;
}
void onOutputName(void*, wl_output*, const char*) {}
void onOutputDescription(void*, wl_output*, const char*) {}
const wl_output_listener kOutputListener = {onOutputGeometry, onOutputMode, onOutputDone,
                                            onOutputScale,    onOutputName, onOutputDescription};

void onLogicalPosition(void* data, zxdg_output_v1*, std::int32_t x, std::int32_t y) {
    static_cast<Output*>(data)->logical.moveTopLeft(QPoint(x, y));
}
void onLogicalSize(void* data, zxdg_output_v1*, std::int32_t width, std::int32_t height) {
    static_cast<Output*>(data)->logical.setSize(QSize(width, height));
}
void onXdgDone(void*, zxdg_output_v1*) {}
void onXdgName(void*, zxdg_output_v1*, const char*) {}
void onXdgDescription(void*, zxdg_output_v1*, const char*) {}
const zxdg_output_v1_listener kXdgOutputListener = {onLogicalPosition, onLogicalSize, onXdgDone,
                                                    onXdgName, onXdgDescription};

const wl_registry_listener kRegistryListener = {OutputScreenSource::onGlobal,
                                                OutputScreenSource::onGlobalRemove};

}  // namespace

OutputScreenSource::Capture::Capture(OutputScreenSource& source, const Output& output)
    : source(source), output(output), transform(output.transform) {}

OutputScreenSource::Capture::~Capture() = default;

bool OutputScreenSource::Capture::formatKnown(std::uint32_t format) {
    return qtFormatOf(format) != QImage::Format_Invalid;
}

bool OutputScreenSource::Capture::formatFast(std::uint32_t format) { return fastFormat(format); }

int OutputScreenSource::Capture::strideOf(std::uint32_t format, int width) {
    const int bits = QImage::toPixelFormat(qtFormatOf(format)).bitsPerPixel();
    return (width * bits + 31) / 32 * 4;
}

wl_buffer* OutputScreenSource::Capture::makeBuffer() {
    buffer_ = ShmBuffer::make(source.shm_, format, width, height, stride);
    if (buffer_ && buffer_->buffer()) return buffer_->buffer();
    qCInfo(lcPlatform).nospace() << source.protocol_ << ": no shared-memory buffer for the output "
                                 << width << "x" << height << " format " << Qt::hex << format;
    source.finish(std::nullopt);
    return nullptr;
}

void OutputScreenSource::Capture::copied() {
    ready_ = true;
    source.frameDone();
}

void OutputScreenSource::Capture::failed(const char* why) {
    qCInfo(lcPlatform).nospace() << source.protocol_ << ": " << why;
    source.finish(std::nullopt);
}

bool OutputScreenSource::open(const char* unoffered) {
    display_ = wl_display_connect(nullptr);
    if (!display_) {
        qCInfo(lcPlatform).nospace() << protocol_ << ": no Wayland connection";
        return false;
    }
    registry_ = wl_display_get_registry(display_);
    wl_registry_add_listener(registry_, &kRegistryListener, this);
    wl_display_roundtrip(display_);
    if (!offered()) {
        qCInfo(lcPlatform) << unoffered;
        return false;
    }
    if (!shm_ || !xdgOutputs_) {
        qCInfo(lcPlatform) << protocol_
                           << "is offered without shared memory or xdg-output: not used";
        return false;
    }
    // What the outputs say of themselves.
    wl_display_roundtrip(display_);
    notifier_ =
        std::make_unique<QSocketNotifier>(wl_display_get_fd(display_), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, context_.get(),
                     [this] { dispatch(); });
    timeout_.setSingleShot(true);
    QObject::connect(&timeout_, &QTimer::timeout, context_.get(), [this] {
        qCInfo(lcPlatform).nospace() << protocol_ << ": no picture within " << kTimeoutMs << " ms";
        finish(std::nullopt);
    });
    qCInfo(lcPlatform) << "the screen is copied through" << protocol_;
    return true;
}

OutputScreenSource::~OutputScreenSource() {
    context_.reset();
    notifier_.reset();
    captures_.clear();
    for (const auto& output : outputs_) {
        if (output->xdgOutput)
            zxdg_output_v1_destroy(static_cast<zxdg_output_v1*>(output->xdgOutput));
        if (output->output) wl_output_destroy(output->output);
    }
    if (xdgOutputs_) zxdg_output_manager_v1_destroy(xdgOutputs_);
    if (shm_) wl_shm_destroy(shm_);
    if (registry_) wl_registry_destroy(registry_);
    if (display_) {
        wl_display_flush(display_);
        wl_display_disconnect(display_);
    }
}

void OutputScreenSource::onGlobal(void* self, wl_registry* registry, std::uint32_t name,
                                  const char* interface, std::uint32_t version) {
    auto* s = static_cast<OutputScreenSource*>(self);
    const auto bind = [&](const wl_interface* type, std::uint32_t most) {
        return wl_registry_bind(registry, name, type, std::min(version, most));
    };
    if (std::strcmp(interface, wl_shm_interface.name) == 0 && !s->shm_) {
        s->shm_ = static_cast<wl_shm*>(bind(&wl_shm_interface, 1));
    } else if (std::strcmp(interface, zxdg_output_manager_v1_interface.name) == 0 &&
               !s->xdgOutputs_) {
        s->xdgOutputs_ = static_cast<zxdg_output_manager_v1*>(
            bind(&zxdg_output_manager_v1_interface, kXdgOutputVersion));
        // Outputs announced before the manager get theirs now.
        for (const auto& output : s->outputs_) {
            zxdg_output_v1* xdg =
                zxdg_output_manager_v1_get_xdg_output(s->xdgOutputs_, output->output);
            zxdg_output_v1_add_listener(xdg, &kXdgOutputListener, output.get());
            output->xdgOutput = xdg;
        }
    } else if (std::strcmp(interface, wl_output_interface.name) == 0) {
        auto output = std::make_unique<Output>();
        output->name = name;
        output->output = static_cast<wl_output*>(bind(&wl_output_interface, kOutputVersion));
        wl_output_add_listener(output->output, &kOutputListener, output.get());
        if (s->xdgOutputs_) {
            zxdg_output_v1* xdg =
                zxdg_output_manager_v1_get_xdg_output(s->xdgOutputs_, output->output);
            zxdg_output_v1_add_listener(xdg, &kXdgOutputListener, output.get());
            output->xdgOutput = xdg;
        }
        s->outputs_.push_back(std::move(output));
    } else {
        s->bindGlobal(registry, name, interface, version);
    }
}

void OutputScreenSource::onGlobalRemove(void* self, wl_registry*, std::uint32_t name) {
    auto* s = static_cast<OutputScreenSource*>(self);
    std::erase_if(s->outputs_, [name](const std::unique_ptr<Output>& output) {
        if (output->name != name) return false;
        if (output->xdgOutput)
            zxdg_output_v1_destroy(static_cast<zxdg_output_v1*>(output->xdgOutput));
        wl_output_destroy(output->output);
        return true;
    });
}

void OutputScreenSource::dispatch() {
    if (dispatchReady(display_) < 0) {
        qCInfo(lcPlatform).nospace() << protocol_ << ": the Wayland connection has gone";
        notifier_.reset();
        finish(std::nullopt);
    }
}

void OutputScreenSource::requestScreen(bool withPointer, Done done) {
    if (done_ || !notifier_ || outputs_.empty()) {
        // One request at a time (a scan waits for its picture); without a connection or an
        // output there is nothing to copy.
        if (done_)
            qCInfo(lcPlatform).nospace()
                << protocol_ << ": a picture is under way, none for this request";
        else
            qCInfo(lcPlatform).nospace() << protocol_ << ": no output to copy";
        QTimer::singleShot(0, context_.get(), [done = std::move(done)] { done(std::nullopt); });
        return;
    }
    done_ = std::move(done);
    for (const auto& output : outputs_) captures_.push_back(capture(*output, withPointer));
    wl_display_flush(display_);
    timeout_.start(kTimeoutMs);
}

void OutputScreenSource::frameDone() {
    if (!done_) return;
    for (const auto& capture : captures_)
        if (!capture->ready_) return;
    finish(compose());
}

void OutputScreenSource::finish(std::optional<QImage> picture) {
    timeout_.stop();
    if (!done_) return;
    Done done = std::move(done_);
    done_ = nullptr;
    // The frames may not be destroyed from inside their own events: later, with the answer.
    auto captures = std::make_shared<std::vector<std::unique_ptr<Capture>>>(std::move(captures_));
    captures_.clear();
    QTimer::singleShot(0, context_.get(),
                       [this, captures, done = std::move(done), picture = std::move(picture)] {
                           done(picture);
                           captures->clear();
                           wl_display_flush(display_);
                       });
}

std::optional<QImage> OutputScreenSource::compose() const {
    // The desktop's extent, at the largest scale of its outputs (the others are enlarged to it),
    // as grim and the desktop portal put it together. The scale is the one of the pixels
    // themselves: an output at a fractional scale reports the next integer one, and its copy at
    // its own pixels must not be enlarged to that.
    QRect desktop;
    double scale = 1;
    for (const auto& capture : captures_) {
        desktop = desktop.united(capture->output.logical);
        const bool turned = capture->transform % 2 == 1;
        const int width = turned ? capture->height : capture->width;
        if (capture->output.logical.width() > 0)
            scale = std::max(scale, double(width) / capture->output.logical.width());
    }
    if (desktop.isEmpty()) return std::nullopt;
    const auto scaled = [scale](int units) { return qRound(units * scale); };
    QImage picture(scaled(desktop.width()), scaled(desktop.height()), QImage::Format_RGB32);
    if (picture.isNull()) return std::nullopt;          // too large for memory
    if (captures_.size() > 1) picture.fill(Qt::black);  // between outputs of different sizes
    for (const auto& capture : captures_) {
        const QRect logical = capture->output.logical.translated(-desktop.topLeft());
        const QRect place(scaled(logical.x()), scaled(logical.y()), scaled(logical.width()),
                          scaled(logical.height()));
        const QSize size(capture->width, capture->height);
        if (fastFormat(capture->format) && !capture->yInvert && capture->transform == 0 &&
            size == place.size()) {
            copyRows(capture->buffer_->bits(), capture->stride, capture->format, picture,
                     place.topLeft(), size);
            continue;
        }
        const QImage::Format format = qtFormatOf(capture->format);
        if (format == QImage::Format_Invalid) {
            qCInfo(lcPlatform).nospace()
                << protocol_ << ": unknown pixel format " << Qt::hex << capture->format;
            return std::nullopt;
        }
        QImage pixels = QImage(capture->buffer_->bits(), capture->width, capture->height,
                               capture->stride, format)
                            .convertToFormat(QImage::Format_RGB32);
        drawTurnedOrScaled(pixels, picture, place, capture->transform, capture->yInvert);
    }
    return picture;
}

}  // namespace numarika
