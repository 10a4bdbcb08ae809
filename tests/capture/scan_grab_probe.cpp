// Runs the desktop grab against a real X server (tests/e2e/test_scan_grabber.sh starts one):
// the picture is the shared memory the server wrote, so a later grab must never write into a
// picture that is still held, and a picture nobody holds any more gives its memory back.
// Prints what failed and exits non-zero.

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>
#include <cstdlib>

#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_screen_grab.h"

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

// The colour of a line, one half and the other: every line differs from its neighbours, so a
// line written to the wrong place of the picture shows.
QRgb lineColour(int y, bool rightHalf) {
    return qRgb(y & 0xFF, (y >> 8) * 16 + (rightHalf ? 7 : 3), rightHalf ? 0xC4 : 0x2B);
}

// Gives the root window a background of such lines and waits until the server shows it.
void paintRootLines(QSize size) {
    xcb_connection_t* c = x11::connection();
    xcb_screen_t* screen = x11::defaultScreen(c);
    const xcb_pixmap_t pixmap = xcb_generate_id(c);
    xcb_create_pixmap(c, screen->root_depth, pixmap, screen->root,
                      static_cast<std::uint16_t>(size.width()),
                      static_cast<std::uint16_t>(size.height()));
    const xcb_gcontext_t gc = xcb_generate_id(c);
    xcb_create_gc(c, gc, pixmap, 0, nullptr);
    const std::int16_t half = static_cast<std::int16_t>(size.width() / 2);
    for (int y = 0; y < size.height(); ++y) {
        for (const bool right : {false, true}) {
            const std::uint32_t pixel = lineColour(y, right) & 0xFFFFFF;
            xcb_change_gc(c, gc, XCB_GC_FOREGROUND, &pixel);
            const xcb_rectangle_t line{
                static_cast<std::int16_t>(right ? half : 0), static_cast<std::int16_t>(y),
                static_cast<std::uint16_t>(right ? size.width() - half : half), 1};
            xcb_poly_fill_rectangle(c, pixmap, gc, 1, &line);
        }
    }
    xcb_change_window_attributes(c, screen->root, XCB_CW_BACK_PIXMAP, &pixmap);
    xcb_clear_area(c, 0, screen->root, 0, 0, 0, 0);
    xcb_free_gc(c, gc);
    xcb_free_pixmap(c, pixmap);
    x11::Reply<xcb_get_input_focus_reply_t> sync(
        xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

// The first pixel where the picture differs from the lines; empty when it does not.
QString firstWrongLinePixel(const QImage& image) {
    const int half = image.width() / 2;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != lineColour(y, x >= half))
                return QStringLiteral("(%1, %2) is %3").arg(x).arg(y).arg(image.pixel(x, y), 8, 16);
    return {};
}

// The root window's size as the server has it now.
QSize rootSize() {
    xcb_connection_t* c = x11::connection();
    xcb_screen_t* screen = x11::defaultScreen(c);
    x11::Reply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(c, xcb_get_geometry(c, screen->root), nullptr));
    return geometry ? QSize(geometry->width, geometry->height) : QSize();
}

// Gives the screen another size, as a monitor change does (xrandr waits for the server).
bool resizeRoot(QSize size) {
    const QByteArray command = QStringLiteral("xrandr --fb %1x%2 >/dev/null 2>&1")
                                   .arg(size.width())
                                   .arg(size.height())
                                   .toLocal8Bit();
    // xrandr also complains that the output does not fit a smaller screen; the size is what
    // counts.
    [[maybe_unused]] const int status = std::system(command.constData());
    return rootSize() == size;
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

    // Every line in its place, however the grab is divided up.
    fourth.reset();
    paintRootLines(screenSize);
    std::optional<QImage> lines = grabber.grabDesktop();
    check(lines && lines->size() == screenSize && grabber.usedSharedMemory(),
          "a grab of the lines through MIT-SHM");
    if (lines) {
        const QString wrong = firstWrongLinePixel(*lines);
        if (!wrong.isEmpty()) std::fprintf(stderr, "pixel %s\n", qPrintable(wrong));
        check(wrong.isEmpty(), "every line of the screen in its place");
        check(allOpaque(*lines), "every line opaque");
    }
    lines.reset();

    // The screen gets smaller and larger again between grabs: each picture has the size of
    // the moment, every line in its place.
    for (const QSize size : {QSize(1024, 700), screenSize}) {
        check(resizeRoot(size), "the screen takes the new size");
        paintRootLines(size);
        std::optional<QImage> resized = grabber.grabDesktop();
        check(resized && resized->size() == size, "a picture of the screen's new size");
        if (resized && resized->size() == size) {
            const QString wrong = firstWrongLinePixel(*resized);
            if (!wrong.isEmpty()) std::fprintf(stderr, "pixel %s\n", qPrintable(wrong));
            check(wrong.isEmpty(), "every line of the resized screen in its place");
        }
    }
    paintRoot(0x00000000);

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
