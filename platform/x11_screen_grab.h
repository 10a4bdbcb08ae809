#pragma once
// A picture of the whole X11 desktop: the root window, every monitor, at the server's full
// resolution (one picture pixel per screen pixel, whatever Qt's scaling says). MIT-SHM where
// the server offers it (the server writes into memory we share with it), a plain GetImage
// otherwise (a remote server, or another IPC namespace).

#include <xcb/xcb.h>

#include <QImage>
#include <cstdint>
#include <memory>
#include <optional>

namespace numarika {

// How the server lays out the pixels of an image of the root window.
struct XPixelLayout {
    int bitsPerPixel = 32;
    bool msbFirst = false;  // image byte order
    std::uint32_t redMask = 0xFF0000, greenMask = 0xFF00, blueMask = 0xFF;
};

// Converts a server image to Format_RGB32, into `into` when that is a picture of the right
// size that nobody else holds (its memory is reused), else into a new one. False for a layout
// the program cannot read (anything but 32-bit true colour and 16-bit 5-6-5).
bool convertServerPixels(const std::uint8_t* data, int width, int height, int bytesPerLine,
                         const XPixelLayout& layout, QImage& into);
std::optional<QImage> imageFromServerPixels(const std::uint8_t* data, int width, int height,
                                            int bytesPerLine, const XPixelLayout& layout);

class X11ScreenGrabber {
  public:
    // Grabs through `connection` (Qt's when null is given: see x11::connection()).
    explicit X11ScreenGrabber(xcb_connection_t* connection = nullptr);
    ~X11ScreenGrabber();
    X11ScreenGrabber(const X11ScreenGrabber&) = delete;
    X11ScreenGrabber& operator=(const X11ScreenGrabber&) = delete;

    // The root window as it looks now; nothing without an X server or when the server refuses.
    std::optional<QImage> grabDesktop();
    // Whether the last grab went through shared memory.
    bool usedSharedMemory() const { return usedShm_; }

  private:
    struct SharedSegment;
    xcb_connection_t* connectionNow() const;
    std::optional<QImage> grabShared(xcb_connection_t* c, xcb_window_t root, int width, int height,
                                     const XPixelLayout& layout);
    std::optional<QImage> grabPlain(xcb_connection_t* c, xcb_window_t root, int width, int height,
                                    const XPixelLayout& layout);
    // A picture to convert into: one of the earlier ones that nobody holds any more, so that
    // a scan does not pay for fresh memory every time.
    QImage& recycled(int width, int height);

    xcb_connection_t* fixedConnection_ = nullptr;
    std::unique_ptr<SharedSegment> segment_;
    bool shmRefused_ = false;
    bool usedShm_ = false;
    QImage pool_[2];
    int nextSlot_ = 0;
};

}  // namespace numarika
