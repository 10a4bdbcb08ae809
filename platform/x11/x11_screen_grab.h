#pragma once
// A picture of the whole X11 desktop: the root window, every monitor, at the server's full
// resolution (one picture pixel per screen pixel, whatever Qt's scaling says). MIT-SHM where
// the server offers it (the server writes into memory we share with it, and the picture is
// that memory: no copy), a plain GetImage otherwise (a remote server, another IPC namespace).

#include <xcb/xcb.h>

#include <QImage>
#include <QObject>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/screen_source.h"

namespace numarika {

// How the server lays out the pixels of an image of the root window.
struct XPixelLayout {
    int bitsPerPixel = 32;
    bool msbFirst = false;  // image byte order
    std::uint32_t redMask = 0xFF0000, greenMask = 0xFF00, blueMask = 0xFF;
};

// Converts a server image to Format_RGB32; nothing for a layout the program cannot read
// (anything but 32-bit true colour and 16-bit 5-6-5).
std::optional<QImage> imageFromServerPixels(const std::uint8_t* data, int width, int height,
                                            int bytesPerLine, const XPixelLayout& layout);

// True when the server's pixels are Qt's Format_RGB32 but for the padding byte, which
// makeOpaque() then sets (Qt expects 0xFF there; the server leaves it undefined).
bool isQtPixelLayout(const XPixelLayout& layout);
void makeOpaque(std::uint8_t* data, int width, int height, int bytesPerLine);

class X11ScreenGrabber {
  public:
    X11ScreenGrabber();
    ~X11ScreenGrabber();
    X11ScreenGrabber(const X11ScreenGrabber&) = delete;
    X11ScreenGrabber& operator=(const X11ScreenGrabber&) = delete;

    // The root window as it looks now; nothing without an X server or when the server refuses.
    std::optional<QImage> grabDesktop();
    // Whether the last grab went through shared memory.
    bool usedSharedMemory() const { return usedShm_; }
    // Shared segments kept now (in use by a picture, or free for the next grab).
    int sharedSegments() const { return static_cast<int>(segments_.size()); }

  private:
    struct Segment;
    // With `confirmSize`, the picture is given only when the root still has that size.
    std::optional<QImage> grabShared(xcb_connection_t* c, xcb_window_t root, int width, int height,
                                     const XPixelLayout& layout, bool confirmSize = false);
    std::optional<QImage> grabPlain(xcb_connection_t* c, xcb_window_t root, int width, int height,
                                    const XPixelLayout& layout);
    // A segment of at least `size` bytes that no picture uses; nullptr when none can be made.
    std::shared_ptr<Segment> freeSegment(xcb_connection_t* c, std::size_t size);

    std::vector<std::shared_ptr<Segment>> segments_;
    bool shmRefused_ = false;
    bool usedShm_ = false;
    bool checkedServer_ = false;
    bool xwayland_ = false;
    // The root's size at the last grab.
    QSize lastSize_;
};

// The X server's root window as the desktop picture, grabbed on the event loop right after
// the request, as a key press handled by the system would be.
class X11ScreenSource final : public ScreenSource {
  public:
    void requestScreen(bool withPointer, Done done) override;

  private:
    X11ScreenGrabber grabber_;
    QObject queued_;  // queued grabs die with this object
};

}  // namespace numarika
