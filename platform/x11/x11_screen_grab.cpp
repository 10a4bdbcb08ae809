#include "platform/x11/x11_screen_grab.h"

#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/shm.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/logging.h"
#include "platform/x11/x11_connection.h"

namespace numarika {
namespace {

using x11::Reply;

constexpr std::uint32_t kOpaque = 0xFF000000u;

// A shared-memory grab comes in up to this many bands of at least this many lines.
constexpr int kMaxBands = 8;
constexpr int kMinBandLines = 64;

// Copies `count` pixels from `src` to `dst` (the same place is fine) with the padding byte
// set. Four pixels at a time in SSE2 registers: the plain loop is not vectorised at -O2 and
// runs at a fraction of memory speed on a screen of 33 MB.
void copyOpaque(const std::uint8_t* src, std::uint8_t* dst, std::size_t count) {
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(kOpaque));
    for (; i + 16 <= count; i += 16) {
        const auto* s = reinterpret_cast<const __m128i*>(src + 4 * i);
        auto* d = reinterpret_cast<__m128i*>(dst + 4 * i);
        const __m128i a = _mm_loadu_si128(s), b = _mm_loadu_si128(s + 1);
        const __m128i c = _mm_loadu_si128(s + 2), e = _mm_loadu_si128(s + 3);
        _mm_storeu_si128(d, _mm_or_si128(a, opaque));
        _mm_storeu_si128(d + 1, _mm_or_si128(b, opaque));
        _mm_storeu_si128(d + 2, _mm_or_si128(c, opaque));
        _mm_storeu_si128(d + 3, _mm_or_si128(e, opaque));
    }
#else
    // Two pixels per 64-bit word elsewhere.
    const std::uint64_t opaque2 = (std::uint64_t{kOpaque} << 32) | kOpaque;
    for (; i + 2 <= count; i += 2) {
        std::uint64_t two;
        std::memcpy(&two, src + 4 * i, 8);
        two |= opaque2;
        std::memcpy(dst + 4 * i, &two, 8);
    }
#endif
    for (; i < count; ++i) {
        std::uint32_t pixel;
        std::memcpy(&pixel, src + 4 * i, 4);
        pixel |= kOpaque;
        std::memcpy(dst + 4 * i, &pixel, 4);
    }
}

// Extracts one colour channel given by its mask and widens it to 8 bits.
struct Channel {
    std::uint32_t mask;
    int shift;
    int bits;
    explicit Channel(std::uint32_t m)
        : mask(m), shift(m ? std::countr_zero(m) : 0), bits(std::popcount(m)) {}
    int value(std::uint32_t pixel) const {
        if (bits == 0) return 0;
        const std::uint32_t v = (pixel & mask) >> shift;
        if (bits >= 8) return static_cast<int>(v >> (bits - 8));
        // Replicate the high bits so that full intensity stays 255.
        std::uint32_t wide = v << (8 - bits);
        for (int have = bits; have < 8; have += bits) wide |= wide >> bits;
        return static_cast<int>(wide & 0xFF);
    }
};

std::optional<XPixelLayout> rootLayout(xcb_connection_t* c, const xcb_screen_t* screen) {
    const xcb_setup_t* setup = xcb_get_setup(c);
    XPixelLayout layout;
    layout.msbFirst = setup->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST;
    bool haveFormat = false;
    for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem > 0; xcb_format_next(&it)) {
        if (it.data->depth == screen->root_depth) {
            layout.bitsPerPixel = it.data->bits_per_pixel;
            haveFormat = true;
        }
    }
    if (!haveFormat) return std::nullopt;
    for (auto d = xcb_screen_allowed_depths_iterator(screen); d.rem > 0; xcb_depth_next(&d)) {
        for (auto v = xcb_depth_visuals_iterator(d.data); v.rem > 0; xcb_visualtype_next(&v)) {
            if (v.data->visual_id != screen->root_visual) continue;
            if (v.data->_class != XCB_VISUAL_CLASS_TRUE_COLOR &&
                v.data->_class != XCB_VISUAL_CLASS_DIRECT_COLOR)
                return std::nullopt;
            layout.redMask = v.data->red_mask;
            layout.greenMask = v.data->green_mask;
            layout.blueMask = v.data->blue_mask;
            return layout;
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<QImage> imageFromServerPixels(const std::uint8_t* data, int width, int height,
                                            int bytesPerLine, const XPixelLayout& layout) {
    if (!data || width <= 0 || height <= 0) return std::nullopt;
    const bool bpp32 = layout.bitsPerPixel == 32;
    if (!bpp32 && layout.bitsPerPixel != 16) return std::nullopt;
    if (bytesPerLine < width * (layout.bitsPerPixel / 8)) return std::nullopt;
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull()) return std::nullopt;  // out of memory

    const bool standard = bpp32 && layout.redMask == 0xFF0000 && layout.greenMask == 0xFF00 &&
                          layout.blueMask == 0xFF;
    const bool hostMsb = std::endian::native == std::endian::big;
    const bool swap = layout.msbFirst != hostMsb;
    const Channel red(layout.redMask), green(layout.greenMask), blue(layout.blueMask);

    for (int y = 0; y < height; ++y) {
        const std::uint8_t* src = data + static_cast<std::size_t>(y) * bytesPerLine;
        auto* dst = reinterpret_cast<QRgb*>(image.scanLine(y));
        if (standard && !swap) {
            // The common case: the server's pixels are Qt's, less the undefined padding byte.
            copyOpaque(src, reinterpret_cast<std::uint8_t*>(dst), static_cast<std::size_t>(width));
            continue;
        }
        for (int x = 0; x < width; ++x) {
            std::uint32_t pixel;
            if (bpp32) {
                std::memcpy(&pixel, src + 4 * x, 4);
                if (swap) pixel = __builtin_bswap32(pixel);
            } else {
                std::uint16_t p16;
                std::memcpy(&p16, src + 2 * x, 2);
                if (swap) p16 = __builtin_bswap16(p16);
                pixel = p16;
            }
            dst[x] = qRgb(red.value(pixel), green.value(pixel), blue.value(pixel));
        }
    }
    return image;
}

bool isQtPixelLayout(const XPixelLayout& layout) {
    return layout.bitsPerPixel == 32 && layout.redMask == 0xFF0000 && layout.greenMask == 0xFF00 &&
           layout.blueMask == 0xFF && layout.msbFirst == (std::endian::native == std::endian::big);
}

void makeOpaque(std::uint8_t* data, int width, int height, int bytesPerLine) {
    if (!data || width <= 0 || height <= 0) return;
    const auto lineBytes = static_cast<std::size_t>(width) * 4;
    // Lines without padding between them are one run; otherwise the padding stays untouched.
    if (static_cast<std::size_t>(bytesPerLine) == lineBytes) {
        copyOpaque(data, data, static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
        return;
    }
    for (int y = 0; y < height; ++y) {
        std::uint8_t* line = data + static_cast<std::size_t>(y) * bytesPerLine;
        copyOpaque(line, line, static_cast<std::size_t>(width));
    }
}

// A System V shared memory segment that the server writes the root window into, and that a
// picture then uses as its pixels. It is marked for removal as soon as both sides have
// attached, so nothing is left behind when the program ends abruptly.
struct X11ScreenGrabber::Segment {
    xcb_connection_t* connection = nullptr;
    xcb_shm_seg_t id = 0;
    std::uint8_t* memory = nullptr;
    std::size_t size = 0;
    std::atomic<bool> inUse{false};  // a picture uses the memory

    ~Segment() {
        // The server lets go by itself when the connection closes; while Qt still has it
        // open (not at program exit, when Qt may have closed it already), it is told.
        if (id && x11::connection() == connection) {
            xcb_shm_detach(connection, id);
            xcb_flush(connection);
        }
        if (memory) shmdt(memory);
    }

    static std::shared_ptr<Segment> create(xcb_connection_t* c, std::size_t size) {
        const int shmid = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
        if (shmid < 0) return nullptr;
        auto seg = std::make_shared<Segment>();
        void* addr = shmat(shmid, nullptr, 0);
        if (addr == reinterpret_cast<void*>(-1)) {
            shmctl(shmid, IPC_RMID, nullptr);
            return nullptr;
        }
        seg->memory = static_cast<std::uint8_t*>(addr);
        seg->size = size;
        seg->connection = c;
        const xcb_shm_seg_t id = xcb_generate_id(c);
        Reply<xcb_generic_error_t> error(
            xcb_request_check(c, xcb_shm_attach_checked(c, id, shmid, 0)));
        // Both sides hold it now (or the server never will): the memory goes with the last
        // detach.
        shmctl(shmid, IPC_RMID, nullptr);
        if (error) return nullptr;
        seg->id = id;
        return seg;
    }
};

namespace {

// What a picture made from a segment holds; giving it back frees the segment for a grab.
struct Lease {
    std::shared_ptr<void> keep;
    std::atomic<bool>* inUse;
};

void endLease(void* info) {
    std::unique_ptr<Lease> lease(static_cast<Lease*>(info));
    *lease->inUse = false;
}

}  // namespace

X11ScreenGrabber::X11ScreenGrabber() = default;
X11ScreenGrabber::~X11ScreenGrabber() = default;

std::optional<QImage> X11ScreenGrabber::grabDesktop() {
    usedShm_ = false;
    xcb_connection_t* c = x11::connection();
    xcb_screen_t* screen = x11::defaultScreen(c);
    if (!screen) return std::nullopt;
    if (!checkedServer_) {
        checkedServer_ = true;
        // Xwayland's root window is black where the compositor shows windows: never a picture.
        xwayland_ = x11::isXwayland(c);
        if (xwayland_) qCInfo(lcPlatform) << "Xwayland: the root window holds no picture";
    }
    if (xwayland_) return std::nullopt;
    const std::optional<XPixelLayout> layout = rootLayout(c, screen);
    if (!layout) return std::nullopt;
    // At the size of the last grab, with the root's size asked for in the same hold of the
    // server: one round trip less whenever the size has not changed since.
    if (!shmRefused_ && !lastSize_.isEmpty()) {
        if (auto image = grabShared(c, screen->root, lastSize_.width(), lastSize_.height(), *layout,
                                    /*confirmSize=*/true)) {
            usedShm_ = true;
            return image;
        }
    }
    // The root's size now: the screen record of the connection set-up goes stale when
    // monitors are added or rearranged.
    Reply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(c, xcb_get_geometry(c, screen->root), nullptr));
    if (!geometry || geometry->width == 0 || geometry->height == 0) return std::nullopt;
    lastSize_ = QSize(geometry->width, geometry->height);

    if (!shmRefused_) {
        if (auto image = grabShared(c, screen->root, geometry->width, geometry->height, *layout)) {
            usedShm_ = true;
            return image;
        }
    }
    return grabPlain(c, screen->root, geometry->width, geometry->height, *layout);
}

std::shared_ptr<X11ScreenGrabber::Segment> X11ScreenGrabber::freeSegment(xcb_connection_t* c,
                                                                         std::size_t size) {
    for (const auto& seg : segments_)
        if (!seg->inUse && seg->connection == c && seg->size >= size) return seg;
    // Free ones that do not fit (another screen size, an old connection) are of no more use.
    std::erase_if(segments_, [](const auto& seg) { return !seg->inUse; });
    auto seg = Segment::create(c, size);
    if (seg) segments_.push_back(seg);
    return seg;
}

std::optional<QImage> X11ScreenGrabber::grabShared(xcb_connection_t* c, xcb_window_t root,
                                                   int width, int height,
                                                   const XPixelLayout& layout, bool confirmSize) {
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_shm_id);
    if (!ext || !ext->present) {
        qCInfo(lcPlatform) << "no MIT-SHM: the screen is read with plain GetImage";
        shmRefused_ = true;
        return std::nullopt;
    }
    const std::size_t bytesPerLine =
        (static_cast<std::size_t>(width) * layout.bitsPerPixel / 8 + 3) & ~std::size_t{3};
    // The offset of a band in the segment is a 32-bit value of the protocol.
    if (bytesPerLine * static_cast<std::size_t>(height) > std::numeric_limits<std::uint32_t>::max())
        return std::nullopt;
    const std::shared_ptr<Segment> seg = freeSegment(c, bytesPerLine * height);
    if (!seg) {
        // Typically a server in another IPC namespace or on another machine.
        qCInfo(lcPlatform) << "shared memory refused: the screen is read with plain GetImage";
        shmRefused_ = true;
        return std::nullopt;
    }
    const int bpl = static_cast<int>(bytesPerLine);
    const bool qtLayout = isQtPixelLayout(layout);
    // The server writes the picture in bands, a request each, all sent at once: while it
    // writes one band, the padding bytes of the band before are set here, on lines that are
    // still in the cache. The server is held for the requests, so that no other client draws
    // between two bands: the picture is of one moment, as with a single request. The release
    // goes out with the requests, whatever becomes of their replies.
    const int bands = std::clamp(height / kMinBandLines, 1, kMaxBands);
    const int bandLines = (height + bands - 1) / bands;
    std::vector<xcb_shm_get_image_cookie_t> cookies;
    cookies.reserve(static_cast<std::size_t>(bands));
    xcb_grab_server(c);
    // Asked while the server is held, the root's size is the size at the moment of the bands.
    std::optional<xcb_get_geometry_cookie_t> geometry;
    if (confirmSize) geometry = xcb_get_geometry(c, root);
    for (int top = 0; top < height; top += bandLines) {
        const int lines = std::min(bandLines, height - top);
        cookies.push_back(xcb_shm_get_image(
            c, root, 0, static_cast<std::int16_t>(top), static_cast<std::uint16_t>(width),
            static_cast<std::uint16_t>(lines), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, seg->id,
            static_cast<std::uint32_t>(bytesPerLine * static_cast<std::size_t>(top))));
    }
    xcb_ungrab_server(c);
    xcb_flush(c);
    bool complete = true;
    if (geometry) {
        Reply<xcb_get_geometry_reply_t> size(xcb_get_geometry_reply(c, *geometry, nullptr));
        // Bands of another size are wrong (or refused, past the root's edges).
        complete = size && size->width == width && size->height == height;
    }
    for (std::size_t i = 0; i < cookies.size(); ++i) {
        // Every reply is taken, also after a failed band, so that none is left queued.
        xcb_generic_error_t* rawError = nullptr;
        Reply<xcb_shm_get_image_reply_t> reply(xcb_shm_get_image_reply(c, cookies[i], &rawError));
        Reply<xcb_generic_error_t> error(rawError);
        if (!reply || error) complete = false;
        if (!complete || !qtLayout) continue;
        const int top = static_cast<int>(i) * bandLines;
        makeOpaque(seg->memory + bytesPerLine * static_cast<std::size_t>(top), width,
                   std::min(bandLines, height - top), bpl);
    }
    if (!complete) return std::nullopt;
    if (!qtLayout) return imageFromServerPixels(seg->memory, width, height, bpl, layout);

    // The picture is the segment itself, until every copy of the picture is gone.
    seg->inUse = true;
    auto lease = std::make_unique<Lease>(Lease{seg, &seg->inUse});
    QImage image(seg->memory, width, height, bpl, QImage::Format_RGB32, &endLease, lease.get());
    if (image.isNull()) {
        seg->inUse = false;
        return std::nullopt;
    }
    lease.release();  // the picture ends it
    return image;
}

std::optional<QImage> X11ScreenGrabber::grabPlain(xcb_connection_t* c, xcb_window_t root, int width,
                                                  int height, const XPixelLayout& layout) {
    xcb_generic_error_t* rawError = nullptr;
    Reply<xcb_get_image_reply_t> reply(xcb_get_image_reply(
        c,
        xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, root, 0, 0, static_cast<std::uint16_t>(width),
                      static_cast<std::uint16_t>(height), ~0u),
        &rawError));
    Reply<xcb_generic_error_t> error(rawError);
    if (!reply || error) return std::nullopt;
    const int length = xcb_get_image_data_length(reply.get());
    if (length <= 0 || height <= 0 || length % height != 0) return std::nullopt;
    return imageFromServerPixels(xcb_get_image_data(reply.get()), width, height, length / height,
                                 layout);
}

// The program draws the pointer itself on X11, where it knows where it is.
void X11ScreenSource::requestScreen(bool, Done done) {
    QMetaObject::invokeMethod(
        &queued_, [this, done = std::move(done)] { done(grabber_.grabDesktop()); },
        Qt::QueuedConnection);
}

}  // namespace numarika
