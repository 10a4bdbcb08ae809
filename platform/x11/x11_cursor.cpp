#include "platform/x11/x11_cursor.h"

#include <unistd.h>
#include <xcb/xfixes.h>

#include <cstring>

#include "platform/logging.h"
#include "platform/x11/x11_connection.h"

namespace numarika {

using x11::Reply;

xcb_connection_t* X11CursorService::connection() {
    xcb_connection_t* c = x11::connection();
    if (!c) return nullptr;
    if (xfixesConnection_ != c) {
        prefetchedImage_.reset();  // a cookie of the old connection
        lastPointer_.reset();
        xfixesConnection_ = c;
        xfixesReady_ = false;
        const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_xfixes_id);
        if (ext && ext->present) {
            // Asking for the newest version the headers know never lowers what Qt agreed on
            // for the same connection.
            Reply<xcb_xfixes_query_version_reply_t> version(xcb_xfixes_query_version_reply(
                c, xcb_xfixes_query_version(c, XCB_XFIXES_MAJOR_VERSION, XCB_XFIXES_MINOR_VERSION),
                nullptr));
            xfixesReady_ = version && version->major_version >= 1;
        }
        if (!xfixesReady_)
            qCInfo(lcPlatform) << "no XFixes: the cursor cannot be drawn into pictures";
        xwayland_ = x11::isXwayland(c);
        if (xwayland_)
            qCInfo(lcPlatform) << "Xwayland: the pointer's place on the screen is unknown";
    }
    return c;
}

X11CursorService::~X11CursorService() {
    if (xfixesConnection_ && xfixesConnection_ == x11::connection())
        dropPrefetchedImage(xfixesConnection_);
}

std::optional<QPoint> X11CursorService::cursorPos() {
    xcb_connection_t* c = connection();
    xcb_screen_t* screen = x11::defaultScreen(c);
    // Xwayland knows the pointer only while it is over an X window, and then in coordinates
    // of its own: a position from it would put the cursor in a wrong place.
    if (!screen || xwayland_) return std::nullopt;
    dropPrefetchedImage(c);
    const xcb_query_pointer_cookie_t query = xcb_query_pointer(c, screen->root);
    // The cursor's image is asked for at once, in the same round trip: a cursor position is
    // followed by the question of which cursor is shown there (see lngCursorHandle).
    if (xfixesReady_) prefetchedImage_ = xcb_xfixes_get_cursor_image(c);
    Reply<xcb_query_pointer_reply_t> pointer(xcb_query_pointer_reply(c, query, nullptr));
    lastPointer_.reset();
    // Off this screen (another screen of the display) the position means nothing here.
    if (!pointer || !pointer->same_screen) return std::nullopt;
    const QPoint pos(pointer->root_x, pointer->root_y);
    lastPointer_ = PointerAt{pos, pointer->child};
    return pos;
}

void X11CursorService::dropPrefetchedImage(xcb_connection_t* c) {
    if (prefetchedImage_ && c) xcb_discard_reply(c, prefetchedImage_->sequence);
    prefetchedImage_.reset();
}

std::int32_t X11CursorService::windowFromPoint(QPoint pos) {
    xcb_connection_t* c = connection();
    xcb_screen_t* screen = x11::defaultScreen(c);
    if (!screen) return 0;
    if (pos.x() < 0 || pos.y() < 0 || pos.x() >= 32768 || pos.y() >= 32768) return 0;
    // Down from the root (the desktop itself where nothing covers it), one mapped child at a
    // time, to the innermost window there. The pointer's last query already named the first
    // step for its own position.
    xcb_window_t window = screen->root;
    xcb_window_t found = screen->root;
    const std::optional<PointerAt> last = std::exchange(lastPointer_, std::nullopt);
    if (last && last->pos == pos) {
        if (last->child == XCB_WINDOW_NONE) return static_cast<std::int32_t>(found);
        found = window = last->child;
    }
    for (int depth = 0; depth < 64; ++depth) {
        Reply<xcb_translate_coordinates_reply_t> step(xcb_translate_coordinates_reply(
            c,
            xcb_translate_coordinates(c, screen->root, window, static_cast<std::int16_t>(pos.x()),
                                      static_cast<std::int16_t>(pos.y())),
            nullptr));
        if (!step || step->child == XCB_WINDOW_NONE) break;
        found = window = step->child;
    }
    return static_cast<std::int32_t>(found);
}

std::int32_t X11CursorService::currentThreadId() { return static_cast<std::int32_t>(::gettid()); }

std::int32_t X11CursorService::windowThreadId(std::int32_t window) {
    xcb_connection_t* c = connection();
    if (!c || window == 0) return 0;
    // The high bits of a resource id name the client that made it.
    const xcb_setup_t* setup = xcb_get_setup(c);
    const std::uint32_t client = static_cast<std::uint32_t>(window) & ~setup->resource_id_mask;
    if (client == (setup->resource_id_base & ~setup->resource_id_mask)) return currentThreadId();
    std::int32_t owner = static_cast<std::int32_t>(client | 1u);
    if (owner == currentThreadId()) owner ^= 0x40000000;
    return owner;
}

bool X11CursorService::attachThreadInput(std::int32_t ownThread, std::int32_t otherThread,
                                         bool attach) {
    if (!connection() || ownThread != currentThreadId() || otherThread == 0 ||
        otherThread == ownThread)
        return false;
    if (attach) {
        attached_.insert(otherThread);
        return true;
    }
    return attached_.remove(otherThread);
}

CursorHandle X11CursorService::getCursor() {
    xcb_connection_t* c = connection();
    if (!c || !xfixesReady_) return 0;
    const xcb_xfixes_get_cursor_image_cookie_t cookie =
        prefetchedImage_ ? *prefetchedImage_ : xcb_xfixes_get_cursor_image(c);
    prefetchedImage_.reset();
    Reply<xcb_xfixes_get_cursor_image_reply_t> cursor(
        xcb_xfixes_get_cursor_image_reply(c, cookie, nullptr));
    if (!cursor || cursor->width == 0 || cursor->height == 0) return 0;
    const int w = cursor->width, h = cursor->height;
    if (xcb_xfixes_get_cursor_image_cursor_image_length(cursor.get()) < w * h) return 0;

    // Premultiplied ARGB, one 32-bit value per pixel in our byte order: Qt's own layout.
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) return 0;
    const std::uint32_t* pixels = xcb_xfixes_get_cursor_image_cursor_image(cursor.get());
    for (int y = 0; y < h; ++y)
        std::memcpy(image.scanLine(y), pixels + static_cast<std::size_t>(y) * w,
                    static_cast<std::size_t>(w) * 4);

    // The serial names the cursor; 0 stays "none".
    CursorHandle handle = static_cast<CursorHandle>(cursor->cursor_serial);
    if (handle == 0) handle = -1;
    if (!shapes_.contains(handle)) order_.append(handle);
    shapes_.insert(handle, CursorShape{std::move(image), QPoint(cursor->xhot, cursor->yhot)});
    while (order_.size() > kKeptShapes) shapes_.remove(order_.takeFirst());
    return handle;
}

std::optional<CursorShape> X11CursorService::cursorShape(CursorHandle cursor) {
    const auto it = shapes_.constFind(cursor);
    if (it == shapes_.constEnd()) return std::nullopt;
    return *it;
}

}  // namespace numarika
