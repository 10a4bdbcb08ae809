// Helper of the end-to-end scan tests: puts known things on an X server and checks pictures.
//
//   scan_e2e_tool pattern-root OUT.png
//       Covers the root window with a pattern whose every pixel names its own position
//       (red = x & 255, green = y & 255, blue = x >> 8 | (y >> 8) << 4) and writes it to OUT.
//   scan_e2e_tool pattern W H OUT.png
//       Writes that pattern at W x H (a wallpaper for a desktop without an X root).
//   scan_e2e_tool noise W H OUT.png
//       Writes W x H of random colours (the same each time).
//   scan_e2e_tool pointer FIFO
//       A pointer on a Wayland desktop's seat (wlr-virtual-pointer), for a desktop that has
//       none. Reads lines from FIFO: "move X Y W H" (to X Y of a layout of W x H of the
//       desktop's units), "press", "release" (the left button); prints "done" once the
//       compositor has each.
//   scan_e2e_tool root-cursor
//       Gives the root window a known 16 x 16 cursor, hot spot (5, 9): 4 x 4 blocks of red
//       and blue in a checkerboard, the last column transparent.
//   scan_e2e_tool wm-state WINDOW add|remove ATOM [ATOM]
//       Asks the window manager to change the window's _NET_WM_STATE (e.g. to maximise it).
//   scan_e2e_tool compare A.png B.png [X Y W H]
//       A and B are the same size with the same pixels; with a rectangle, outside it only,
//       and inside it at least half of the pixels differ (something covers it in A).
//   scan_e2e_tool check-canvas SHOT.png X Y W H [PX PY]
//       Inside the window X Y W H of a screenshot, finds the canvas showing the pattern from
//       picture pixel (0, 0), and with PX PY checks the cursor drawn with its hot spot on
//       picture pixel (PX, PY).
//   scan_e2e_tool check-shown SHOT.png PICTURE.png X Y W H
//       The same for any picture: inside X Y W H of the screenshot the canvas shows PICTURE
//       from its pixel (0, 0), a block of up to 800 x 600 of it pixel for pixel.
//   scan_e2e_tool late-painter DELAY OUT.png
//       A late painter: a window below all others covering the screen, unmanaged and without a
//       background (nobody else paints it), that paints what was exposed with the inverted
//       position pattern as many milliseconds after each Expose event as the file DELAY says
//       then. Writes that pattern to OUT once its first paint is done; runs until it is ended.
//   scan_e2e_tool composited
//       A compositor holds the screen's selection and has redirected every mapped window.
//
// The resources of the other commands stay on the server after the tool exits (close-down
// mode RetainPermanent).
// Exit status 0 when the check holds or the change was made.

#include <poll.h>
#include <wayland-client.h>
#include <xcb/composite.h>
#include <xcb/xcb.h>

#include <QFile>
#include <QHash>
#include <QImage>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/x11/xcb_reply.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

namespace {

using numarika::x11::eventType;
using numarika::x11::Reply;

constexpr int kCursorSize = 16;
constexpr int kHotX = 5;
constexpr int kHotY = 9;

QRgb patternAt(int x, int y) {
    return qRgb(x & 0xFF, y & 0xFF, ((x >> 8) & 0x0F) | (((y >> 8) & 0x0F) << 4));
}

QPoint decode(QRgb c) {
    return {qRed(c) | ((qBlue(c) & 0x0F) << 8), qGreen(c) | ((qBlue(c) >> 4) << 8)};
}

// The known cursor: nothing where transparent.
std::optional<QRgb> cursorAt(int x, int y) {
    if (x == kCursorSize - 1) return std::nullopt;
    return ((x / 4 + y / 4) % 2 == 0) ? qRgb(255, 0, 0) : qRgb(0, 0, 255);
}

int fail(const char* format, auto... args) {
    std::fprintf(stderr, format, args...);
    std::fputc('\n', stderr);
    return 1;
}

struct Connection {
    xcb_connection_t* c = nullptr;
    xcb_screen_t* screen = nullptr;
    int number = 0;
    Connection() {
        c = xcb_connect(nullptr, &number);
        if (xcb_connection_has_error(c)) return;
        auto it = xcb_setup_roots_iterator(xcb_get_setup(c));
        for (int i = 0; i < number && it.rem > 0; ++i) xcb_screen_next(&it);
        screen = it.data;
    }
    ~Connection() {
        if (c) xcb_disconnect(c);
    }
    bool ok() const { return c && !xcb_connection_has_error(c) && screen; }
    bool check(xcb_void_cookie_t cookie, const char* what) const {
        Reply<xcb_generic_error_t> error(xcb_request_check(c, cookie));
        if (error) std::fprintf(stderr, "%s: X error %d\n", what, error->error_code);
        return !error;
    }
};

// A picture of the screen's size as a pixmap on the server.
xcb_pixmap_t upload(const Connection& x, const QImage& picture) {
    const int w = picture.width(), h = picture.height();
    const xcb_pixmap_t pixmap = xcb_generate_id(x.c);
    xcb_create_pixmap(x.c, 24, pixmap, x.screen->root, static_cast<std::uint16_t>(w),
                      static_cast<std::uint16_t>(h));
    const xcb_gcontext_t gc = xcb_generate_id(x.c);
    xcb_create_gc(x.c, gc, pixmap, 0, nullptr);
    // In strips that fit one request.
    const std::size_t maxBytes = std::size_t{xcb_get_maximum_request_length(x.c)} * 4 - 64;
    const int rowsPerStrip = std::max<int>(1, static_cast<int>(maxBytes / (std::size_t(w) * 4)));
    for (int y = 0; y < h; y += rowsPerStrip) {
        const int rows = std::min(rowsPerStrip, h - y);
        xcb_put_image(x.c, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, gc, static_cast<std::uint16_t>(w),
                      static_cast<std::uint16_t>(rows), 0, static_cast<std::int16_t>(y), 0, 24,
                      static_cast<std::uint32_t>(rows * w * 4), picture.constScanLine(y));
    }
    xcb_free_gc(x.c, gc);
    return pixmap;
}

QImage positionPattern(int w, int h, QRgb flip) {
    QImage pattern(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(pattern.scanLine(y));
        for (int xx = 0; xx < w; ++xx) line[xx] = patternAt(xx, y) ^ flip;
    }
    return pattern;
}

// Random colours, where any blending of neighbours shows (on a smooth pattern a blend may
// round back to the pixel's own value).
QImage noise(int w, int h) {
    QImage picture(w, h, QImage::Format_RGB32);
    std::mt19937 random(1);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int xx = 0; xx < w; ++xx) line[xx] = 0xFF000000u | (random() & 0xFFFFFFu);
    }
    return picture;
}

int patternRoot(const char* out) {
    Connection x;
    if (!x.ok()) return fail("no X server");
    if (x.screen->root_depth != 24) return fail("root depth %d, expected 24", x.screen->root_depth);
    const QImage pattern =
        positionPattern(x.screen->width_in_pixels, x.screen->height_in_pixels, 0);
    if (!pattern.save(QString::fromLocal8Bit(out), "PNG")) return fail("cannot write %s", out);

    const xcb_pixmap_t pixmap = upload(x, pattern);
    xcb_change_window_attributes(x.c, x.screen->root, XCB_CW_BACK_PIXMAP, &pixmap);
    xcb_clear_area(x.c, 0, x.screen->root, 0, 0, 0, 0);
    if (!x.check(xcb_set_close_down_mode_checked(x.c, XCB_CLOSE_DOWN_RETAIN_PERMANENT),
                 "set_close_down_mode"))
        return 1;
    return 0;
}

// Paints every exposed rectangle some time after its Expose event, as a program that is slow
// to repaint does; nothing else paints the window, so what it has not painted yet shows
// whatever was on the screen before. The delay is read from a file at each event, so that a
// test can change it between scans without a new window.
int latePainter(const char* delayFile, const char* out) {
    Connection x;
    if (!x.ok()) return fail("no X server");
    if (x.screen->root_depth != 24) return fail("root depth %d, expected 24", x.screen->root_depth);
    const int w = x.screen->width_in_pixels, h = x.screen->height_in_pixels;
    const QImage pattern = positionPattern(w, h, 0xFFFFFF);
    const xcb_pixmap_t pixmap = upload(x, pattern);
    const xcb_window_t window = xcb_generate_id(x.c);
    const std::uint32_t values[] = {XCB_BACK_PIXMAP_NONE, 1, XCB_EVENT_MASK_EXPOSURE};
    xcb_create_window(x.c, 24, window, x.screen->root, 0, 0, static_cast<std::uint16_t>(w),
                      static_cast<std::uint16_t>(h), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      x.screen->root_visual,
                      XCB_CW_BACK_PIXMAP | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
    // Mapping does not restack: below everything it was created, below everything it stays.
    const std::uint32_t below = XCB_STACK_MODE_BELOW;
    xcb_configure_window(x.c, window, XCB_CONFIG_WINDOW_STACK_MODE, &below);
    const xcb_gcontext_t gc = xcb_generate_id(x.c);
    const std::uint32_t noExposures = 0;
    xcb_create_gc(x.c, gc, window, XCB_GC_GRAPHICS_EXPOSURES, &noExposures);
    if (!x.check(xcb_map_window_checked(x.c, window), "map_window")) return 1;

    using Clock = std::chrono::steady_clock;
    struct Due {
        Clock::time_point at;
        xcb_rectangle_t area;
    };
    std::deque<Due> due;
    bool painted = false, ready = false;
    for (;;) {
        // Events already read with a reply are in xcb's queue, not on the socket: take them
        // before waiting on it.
        while (Reply<xcb_generic_event_t> event{xcb_poll_for_event(x.c)}) {
            if (eventType(event.get()) != XCB_EXPOSE) continue;
            const auto* e = reinterpret_cast<const xcb_expose_event_t*>(event.get());
            QFile delay(QString::fromLocal8Bit(delayFile));
            const int delayMs =
                delay.open(QIODevice::ReadOnly) ? delay.readAll().trimmed().toInt() : 0;
            due.push_back({Clock::now() + std::chrono::milliseconds(delayMs),
                           {static_cast<std::int16_t>(e->x), static_cast<std::int16_t>(e->y),
                            e->width, e->height}});
        }
        if (xcb_connection_has_error(x.c)) return fail("the X connection broke");
        const auto now = Clock::now();
        while (!due.empty() && due.front().at <= now) {
            const xcb_rectangle_t& a = due.front().area;
            xcb_copy_area(x.c, pixmap, window, gc, a.x, a.y, a.x, a.y, a.width, a.height);
            due.pop_front();
            painted = true;
        }
        xcb_flush(x.c);
        if (!ready && painted && due.empty()) {
            // Painted on the server before anyone is told.
            Reply<xcb_get_input_focus_reply_t> sync(
                xcb_get_input_focus_reply(x.c, xcb_get_input_focus(x.c), nullptr));
            const QString target = QString::fromLocal8Bit(out);
            if (!pattern.save(target + QStringLiteral(".tmp"), "PNG") ||
                std::rename((target + QStringLiteral(".tmp")).toLocal8Bit().constData(), out) != 0)
                return fail("cannot write %s", out);
            ready = true;
        }
        int timeout = -1;
        if (!due.empty())
            timeout = static_cast<int>(std::max<std::int64_t>(
                0, std::chrono::ceil<std::chrono::milliseconds>(due.front().at - Clock::now())
                       .count()));
        pollfd fd{xcb_get_file_descriptor(x.c), POLLIN, 0};
        poll(&fd, 1, timeout);
    }
}

int rootCursor() {
    Connection x;
    if (!x.ok()) return fail("no X server");
    const auto bitmap = [&x](auto bitOn) {
        const xcb_pixmap_t p = xcb_generate_id(x.c);
        xcb_create_pixmap(x.c, 1, p, x.screen->root, kCursorSize, kCursorSize);
        const xcb_gcontext_t gc = xcb_generate_id(x.c);
        std::uint32_t value = 0;
        xcb_create_gc(x.c, gc, p, XCB_GC_FOREGROUND, &value);
        const xcb_rectangle_t all{0, 0, kCursorSize, kCursorSize};
        xcb_poly_fill_rectangle(x.c, p, gc, 1, &all);
        value = 1;
        xcb_change_gc(x.c, gc, XCB_GC_FOREGROUND, &value);
        std::vector<xcb_rectangle_t> on;
        for (std::int16_t yy = 0; yy < kCursorSize; ++yy)
            for (std::int16_t xx = 0; xx < kCursorSize; ++xx)
                if (bitOn(xx, yy)) on.push_back({xx, yy, 1, 1});
        xcb_poly_fill_rectangle(x.c, p, gc, static_cast<std::uint32_t>(on.size()), on.data());
        xcb_free_gc(x.c, gc);
        return p;
    };
    const xcb_pixmap_t source =
        bitmap([](int xx, int yy) { return cursorAt(xx, yy) == qRgb(255, 0, 0); });
    const xcb_pixmap_t mask = bitmap([](int xx, int yy) { return cursorAt(xx, yy).has_value(); });
    const xcb_cursor_t cursor = xcb_generate_id(x.c);
    xcb_create_cursor(x.c, cursor, source, mask, 0xFFFF, 0, 0, 0, 0, 0xFFFF, kHotX, kHotY);
    xcb_change_window_attributes(x.c, x.screen->root, XCB_CW_CURSOR, &cursor);
    if (!x.check(xcb_set_close_down_mode_checked(x.c, XCB_CLOSE_DOWN_RETAIN_PERMANENT),
                 "set_close_down_mode"))
        return 1;
    return 0;
}

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

int wmState(xcb_window_t window, bool add, const char* first, const char* second) {
    Connection x;
    if (!x.ok()) return fail("no X server");
    xcb_client_message_event_t event;
    std::memset(&event, 0, sizeof event);
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = atom(x.c, "_NET_WM_STATE");
    event.data.data32[0] = add ? 1 : 0;
    event.data.data32[1] = atom(x.c, first);
    event.data.data32[2] = second ? atom(x.c, second) : 0;
    event.data.data32[3] = 2;  // on the user's behalf
    return x.check(xcb_send_event_checked(
                       x.c, 0, x.screen->root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&event)),
                   "send_event")
               ? 0
               : 1;
}

int composited() {
    Connection x;
    if (!x.ok()) return fail("no X server");
    const std::string name = "_NET_WM_CM_S" + std::to_string(x.number);
    Reply<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(
        x.c, xcb_get_selection_owner(x.c, atom(x.c, name.c_str())), nullptr));
    if (!owner || owner->owner == XCB_WINDOW_NONE) return fail("no compositor");
    Reply<xcb_composite_query_version_reply_t> version(
        xcb_composite_query_version_reply(x.c, xcb_composite_query_version(x.c, 0, 4), nullptr));
    Reply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(x.c, xcb_query_tree(x.c, x.screen->root), nullptr));
    if (!version || !tree) return fail("no Composite extension");
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
        Reply<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(
            x.c, xcb_get_window_attributes(x.c, children[i]), nullptr));
        if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE ||
            attributes->_class != XCB_WINDOW_CLASS_INPUT_OUTPUT)
            continue;
        // Only a redirected window has a pixmap of its own to name.
        const xcb_pixmap_t pixmap = xcb_generate_id(x.c);
        if (!x.check(xcb_composite_name_window_pixmap_checked(x.c, children[i], pixmap),
                     "name_window_pixmap"))
            return fail("window 0x%x is not redirected", children[i]);
        xcb_free_pixmap(x.c, pixmap);
    }
    return 0;
}

int pointer(const char* fifo) {
    wl_display* display = wl_display_connect(nullptr);
    if (!display) return fail("no Wayland display");
    zwlr_virtual_pointer_manager_v1* manager = nullptr;
    const wl_registry_listener listener{
        [](void* data, wl_registry* registry, std::uint32_t name, const char* interface,
           std::uint32_t) {
            if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
                *static_cast<zwlr_virtual_pointer_manager_v1**>(data) =
                    static_cast<zwlr_virtual_pointer_manager_v1*>(wl_registry_bind(
                        registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
        },
        [](void*, wl_registry*, std::uint32_t) {}};
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &listener, &manager);
    wl_display_roundtrip(display);
    if (!manager) return fail("the compositor offers no virtual pointer");
    zwlr_virtual_pointer_v1* device =
        zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager, nullptr);
    wl_display_roundtrip(display);
    std::FILE* in = std::fopen(fifo, "r+");  // a writer of its own: no end of file between lines
    if (!in) return fail("cannot open %s", fifo);
    char line[64];
    std::uint32_t time = 0;
    while (std::fgets(line, sizeof line, in)) {
        unsigned x = 0, y = 0, width = 0, height = 0;
        time += 10;
        if (std::sscanf(line, "move %u %u %u %u", &x, &y, &width, &height) == 4)
            zwlr_virtual_pointer_v1_motion_absolute(device, time, x, y, width, height);
        else if (std::strncmp(line, "press", 5) == 0 || std::strncmp(line, "release", 7) == 0)
            zwlr_virtual_pointer_v1_button(device, time, 0x110u /* BTN_LEFT */,
                                           line[0] == 'p' ? 1u : 0u);
        else
            return fail("what is %s", line);
        zwlr_virtual_pointer_v1_frame(device);
        if (wl_display_roundtrip(display) < 0) return fail("the compositor went away");
        std::printf("done\n");
        std::fflush(stdout);
    }
    return 0;
}

QImage load(const char* path) {
    QImage image(QString::fromLocal8Bit(path));
    return image.isNull() ? image : image.convertToFormat(QImage::Format_RGB32);
}

int compare(const char* a, const char* b, std::optional<QRect> covered) {
    const QImage A = load(a), B = load(b);
    if (A.isNull() || B.isNull()) return fail("cannot read %s or %s", a, b);
    if (A.size() != B.size())
        return fail("sizes differ: %dx%d and %dx%d", A.width(), A.height(), B.width(), B.height());
    long differentOutside = 0, differentInside = 0, inside = 0;
    QPoint first(-1, -1);
    for (int y = 0; y < A.height(); ++y) {
        const auto* la = reinterpret_cast<const QRgb*>(A.constScanLine(y));
        const auto* lb = reinterpret_cast<const QRgb*>(B.constScanLine(y));
        for (int x = 0; x < A.width(); ++x) {
            const bool same = (la[x] & 0xFFFFFF) == (lb[x] & 0xFFFFFF);
            if (covered && covered->contains(x, y)) {
                ++inside;
                if (!same) ++differentInside;
            } else if (!same) {
                if (differentOutside++ == 0) first = QPoint(x, y);
            }
        }
    }
    if (differentOutside)
        return fail("%ld pixels differ, the first at %d,%d", differentOutside, first.x(),
                    first.y());
    if (covered && differentInside * 2 < inside)
        return fail("only %ld of %ld pixels differ inside %d,%d %dx%d", differentInside, inside,
                    covered->x(), covered->y(), covered->width(), covered->height());
    std::printf("%dx%d equal%s\n", A.width(), A.height(), covered ? " outside the rectangle" : "");
    return 0;
}

// Where the canvas shows `picture`: the offset most pixels of the window agree on, found by
// where each colour is in the picture (the first place of a colour seen more than once).
std::optional<QPoint> findShown(const QImage& S, const QImage& picture, QRect window) {
    QHash<QRgb, QPoint> where;
    for (int y = picture.height() - 1; y >= 0; --y)
        for (int x = picture.width() - 1; x >= 0; --x) where.insert(picture.pixel(x, y), {x, y});
    QHash<quint64, int> offsets;
    const auto key = [](QPoint p) { return (quint64(quint32(p.x())) << 32) | quint32(p.y()); };
    for (int y = window.top(); y <= window.bottom(); ++y)
        for (int x = window.left(); x <= window.right(); ++x)
            if (const auto it = where.constFind(S.pixel(x, y)); it != where.cend())
                ++offsets[key(QPoint(x, y) - *it)];
    quint64 best = 0;
    int count = 0;
    for (auto it = offsets.cbegin(); it != offsets.cend(); ++it)
        if (it.value() > count) std::tie(best, count) = std::pair(it.key(), it.value());
    if (count == 0) return std::nullopt;
    return QPoint(static_cast<qint32>(best >> 32), static_cast<qint32>(best & 0xFFFFFFFF));
}

int checkShown(const char* shot, const char* picturePath, QRect window) {
    const QImage S = load(shot), picture = load(picturePath);
    if (S.isNull() || picture.isNull()) return fail("cannot read %s or %s", shot, picturePath);
    window = window.intersected(S.rect());
    const std::optional<QPoint> origin = findShown(S, picture, window);
    if (!origin) return fail("nothing of the picture in the window");
    // The canvas lies below the menu bar: the picture from the window's corner on is the
    // desktop without the window.
    if (origin->y() <= window.top()) return fail("the window is not on the screen");
    const QRect block =
        QRect(*origin, QSize(800, 600)) & window & S.rect() & picture.rect().translated(*origin);
    int differ = 0;
    for (int y = block.top(); y <= block.bottom(); ++y)
        for (int x = block.left(); x <= block.right(); ++x)
            differ += S.pixel(x, y) != picture.pixel(QPoint(x, y) - *origin);
    std::printf("canvas origin %d,%d: %d of %dx%d pixels differ\n", origin->x(), origin->y(),
                differ, block.width(), block.height());
    if (block.width() < 300 || block.height() < 200)
        return fail("too little of the canvas in view");
    return differ == 0 ? 0 : 1;
}

int checkCanvas(const char* shot, QRect window, std::optional<QPoint> pointer) {
    const QImage S = load(shot);
    if (S.isNull()) return fail("cannot read %s", shot);
    window = window.intersected(S.rect());
    // Every pixel of the canvas names the picture pixel it shows; its offset from the screen
    // position is the canvas's origin. The root around it shows offset (0, 0).
    QHash<quint64, int> offsets;
    const auto key = [](QPoint p) { return (quint64(quint32(p.x())) << 32) | quint32(p.y()); };
    for (int y = window.top(); y <= window.bottom(); ++y)
        for (int x = window.left(); x <= window.right(); ++x) {
            const QPoint offset = QPoint(x, y) - decode(S.pixel(x, y));
            if (offset != QPoint(0, 0)) ++offsets[key(offset)];
        }
    quint64 best = 0;
    int count = 0;
    for (auto it = offsets.cbegin(); it != offsets.cend(); ++it)
        if (it.value() > count) {
            best = it.key();
            count = it.value();
        }
    const QPoint origin(static_cast<qint32>(best >> 32), static_cast<qint32>(best & 0xFFFFFFFF));
    std::printf("canvas origin %d,%d showing %d pattern pixels\n", origin.x(), origin.y(), count);
    if (count < 300 * 200) return fail("no canvas showing the pattern in the window");
    if (!window.contains(origin)) return fail("the canvas origin is outside the window");
    // The canvas starts at picture pixel (0, 0): one pixel left or up is not the pattern.
    if (decode(S.pixel(origin)) != QPoint(0, 0)) return fail("the canvas is scrolled");

    if (pointer) {
        const QPoint corner = *pointer - QPoint(kHotX, kHotY);
        int drawn = 0;
        for (int j = 0; j < kCursorSize; ++j)
            for (int i = 0; i < kCursorSize; ++i) {
                const QPoint picture = corner + QPoint(i, j);
                const QPoint screen = origin + picture;
                if (!S.rect().contains(screen)) continue;
                const QRgb actual = S.pixel(screen) & 0xFFFFFF;
                const std::optional<QRgb> c = cursorAt(i, j);
                const QRgb expected = (c ? *c : patternAt(picture.x(), picture.y())) & 0xFFFFFF;
                if (actual != expected)
                    return fail("cursor pixel %d,%d (picture %d,%d): %06x, expected %06x", i, j,
                                picture.x(), picture.y(), actual, expected);
                if (c) ++drawn;
            }
        std::printf("cursor with its hot spot at %d,%d: %d pixels\n", pointer->x(), pointer->y(),
                    drawn);
        if (drawn == 0) return fail("the cursor is not in view");
    }
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    const std::string command = argc > 1 ? argv[1] : "";
    const auto number = [argv](int i) { return std::atoi(argv[i]); };
    if (command == "pattern-root" && argc == 3) return patternRoot(argv[2]);
    if (command == "pattern" && argc == 5)
        return positionPattern(number(2), number(3), 0).save(QString::fromLocal8Bit(argv[4]), "PNG")
                   ? 0
                   : fail("cannot write %s", argv[4]);
    if (command == "noise" && argc == 5)
        return noise(number(2), number(3)).save(QString::fromLocal8Bit(argv[4]), "PNG")
                   ? 0
                   : fail("cannot write %s", argv[4]);
    if (command == "pointer" && argc == 3) return pointer(argv[2]);
    if (command == "root-cursor" && argc == 2) return rootCursor();
    if (command == "late-painter" && argc == 4) return latePainter(argv[2], argv[3]);
    if (command == "composited" && argc == 2) return composited();
    if (command == "wm-state" && (argc == 5 || argc == 6))
        return wmState(static_cast<xcb_window_t>(std::strtoul(argv[2], nullptr, 0)),
                       std::string(argv[3]) == "add", argv[4], argc == 6 ? argv[5] : nullptr);
    if (command == "compare" && (argc == 4 || argc == 8))
        return compare(argv[2], argv[3],
                       argc == 8
                           ? std::optional<QRect>(QRect(number(4), number(5), number(6), number(7)))
                           : std::nullopt);
    if (command == "check-shown" && argc == 8)
        return checkShown(argv[2], argv[3], QRect(number(4), number(5), number(6), number(7)));
    if (command == "check-canvas" && (argc == 7 || argc == 9))
        return checkCanvas(
            argv[2], QRect(number(3), number(4), number(5), number(6)),
            argc == 9 ? std::optional<QPoint>(QPoint(number(7), number(8))) : std::nullopt);
    std::fprintf(stderr,
                 "usage: %s pattern-root OUT.png | pattern W H OUT.png |\n"
                 "       pointer FIFO | root-cursor | wm-state "
                 "WINDOW add|remove ATOM\n"
                 "       [ATOM] | compare A B [X Y W H] |\n"
                 "       check-canvas SHOT X Y W H [PX PY] |\n"
                 "       check-shown SHOT PICTURE X Y W H | late-painter DELAY OUT.png |\n"
                 "       composited\n",
                 argv[0]);
    return 2;
}
