// Runs the desktop grab against a real X server (tests/e2e/test_scan_grabber.sh starts one):
// the picture is the shared memory the server wrote, so a later grab must never write into a
// picture that is still held, and a picture nobody holds any more gives its memory back.
// Prints what failed and exits non-zero.

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>

#include "platform/x11_connection.h"
#include "platform/x11_screen_grab.h"

using namespace numarika;

namespace {

int failures = 0;

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "FAIL: %s\n", what);
        ++failures;
    }
}

// Paints the whole root window one colour and waits until the server has done it.
void paintRoot(std::uint32_t pixel) {
    xcb_connection_t* c = x11::connection();
    xcb_screen_t* screen = x11::defaultScreen(c);
    xcb_change_window_attributes(c, screen->root, XCB_CW_BACK_PIXEL, &pixel);
    xcb_clear_area(c, 0, screen->root, 0, 0, 0, 0);
    x11::Reply<xcb_get_input_focus_reply_t> sync(
        xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

bool allOpaque(const QImage& image) {
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(line[x]) != 0xFF) return false;
    }
    return true;
}

}  // namespace

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    if (!x11::connection()) {
        std::fprintf(stderr, "FAIL: no X server\n");
        return 1;
    }
    const QSize screenSize = QGuiApplication::primaryScreen()->geometry().size();
    X11ScreenGrabber grabber;

    paintRoot(0x00336699);
    std::optional<QImage> first = grabber.grabDesktop();
    check(first && grabber.usedSharedMemory(), "a grab through MIT-SHM");
    if (!first) return 1;
    check(first->size() == screenSize, "the picture has the screen's size");
    check(first->format() == QImage::Format_RGB32 && allOpaque(*first),
          "an opaque Format_RGB32 picture");
    check(first->pixel(10, 10) == qRgb(0x33, 0x66, 0x99), "the screen's colour");
    // The same pixels as Qt's own grab of the screen.
    const QImage qtGrab = QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(
        QImage::Format_RGB32);
    check(qtGrab == *first, "the same pixels as QScreen::grabWindow");
    const QImage firstCopy = first->copy();

    // Held pictures keep what they showed while the screen changes and is grabbed again.
    paintRoot(0x00FF0000);
    std::optional<QImage> second = grabber.grabDesktop();
    check(second && second->pixel(10, 10) == qRgb(0xFF, 0, 0), "the second grab sees the change");
    check(*first == firstCopy, "the first picture is untouched by the second grab");
    check(second && second->constBits() != first->constBits(), "each held picture has its memory");
    check(grabber.sharedSegments() == 2, "two pictures held, two segments");

    // A copy of a picture holds it too.
    const QImage stillHeld = *second;
    second.reset();
    paintRoot(0x0000FF00);
    std::optional<QImage> third = grabber.grabDesktop();
    check(third && third->pixel(10, 10) == qRgb(0, 0xFF, 0), "the third grab sees the change");
    check(stillHeld.pixel(10, 10) == qRgb(0xFF, 0, 0), "a copy keeps the picture's memory");
    check(grabber.sharedSegments() == 3, "three pictures held, three segments");

    // Pictures nobody holds give their memory back to the next grab.
    first.reset();
    third.reset();
    const int before = grabber.sharedSegments();
    paintRoot(0x00000000);
    std::optional<QImage> fourth = grabber.grabDesktop();
    check(fourth && fourth->pixel(10, 10) == qRgb(0, 0, 0), "the fourth grab sees the change");
    check(grabber.sharedSegments() <= before, "a free segment is used again");
    check(stillHeld.pixel(10, 10) == qRgb(0xFF, 0, 0), "the held picture is still untouched");

    // A picture may outlive the grabber.
    std::optional<QImage> survivor;
    {
        X11ScreenGrabber shortLived;
        survivor = shortLived.grabDesktop();
    }
    check(survivor && survivor->pixel(10, 10) == qRgb(0, 0, 0), "a picture outlives its grabber");

    if (failures == 0) std::printf("PASS\n");
    return failures == 0 ? 0 : 1;
}
