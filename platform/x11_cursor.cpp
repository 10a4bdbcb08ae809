#include "platform/x11_cursor.h"

#include <unistd.h>
#include <xcb/xfixes.h>

#include <QPainter>
#include <cstring>

#include "platform/picture_box.h"
#include "platform/x11_connection.h"

namespace numarika {

using x11::Reply;

xcb_connection_t* X11CursorService::connection() {
    xcb_connection_t* c = x11::connection();
    if (!c) return nullptr;
    if (xfixesConnection_ != c) {
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
    }
    return c;
}

std::optional<QPoint> X11CursorService::cursorPos() {
    xcb_connection_t* c = connection();
    xcb_screen_t* screen = x11::defaultScreen(c);
    if (!screen) return std::nullopt;
    Reply<xcb_query_pointer_reply_t> pointer(
        xcb_query_pointer_reply(c, xcb_query_pointer(c, screen->root), nullptr));
    // Off this screen (another screen of the display) the position means nothing here.
    if (!pointer || !pointer->same_screen) return std::nullopt;
    return QPoint(pointer->root_x, pointer->root_y);
}

Int32 X11CursorService::windowFromPoint(QPoint pos) {
    xcb_connection_t* c = connection();
    xcb_screen_t* screen = x11::defaultScreen(c);
    if (!screen) return 0;
    if (pos.x() < 0 || pos.y() < 0 || pos.x() >= 32768 || pos.y() >= 32768) return 0;
    // Down from the root (the desktop itself where nothing covers it), one mapped child at a
    // time, to the innermost window there.
    xcb_window_t window = screen->root;
    xcb_window_t found = screen->root;
    for (int depth = 0; depth < 64; ++depth) {
        Reply<xcb_translate_coordinates_reply_t> step(xcb_translate_coordinates_reply(
            c,
            xcb_translate_coordinates(c, screen->root, window, static_cast<std::int16_t>(pos.x()),
                                      static_cast<std::int16_t>(pos.y())),
            nullptr));
        if (!step || step->child == XCB_WINDOW_NONE) break;
        found = window = step->child;
    }
    return static_cast<Int32>(found);
}

Int32 X11CursorService::currentThreadId() { return static_cast<Int32>(::gettid()); }

Int32 X11CursorService::windowThreadId(Int32 window) {
    xcb_connection_t* c = connection();
    if (!c || window == 0) return 0;
    // The high bits of a resource id name the client that made it.
    const xcb_setup_t* setup = xcb_get_setup(c);
    const std::uint32_t client = static_cast<std::uint32_t>(window) & ~setup->resource_id_mask;
    if (client == (setup->resource_id_base & ~setup->resource_id_mask)) return currentThreadId();
    Int32 owner = static_cast<Int32>(client | 1u);
    if (owner == currentThreadId()) owner ^= 0x40000000;
    return owner;
}

bool X11CursorService::attachThreadInput(Int32 ownThread, Int32 otherThread, bool attach) {
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
    Reply<xcb_xfixes_get_cursor_image_reply_t> cursor(
        xcb_xfixes_get_cursor_image_reply(c, xcb_xfixes_get_cursor_image(c), nullptr));
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
    shapes_.insert(handle, Shape{std::move(image), QPoint(cursor->xhot, cursor->yhot)});
    while (order_.size() > kKeptShapes) shapes_.remove(order_.takeFirst());
    return handle;
}

std::optional<QPoint> X11CursorService::hotspot(CursorHandle cursor) {
    const auto it = shapes_.constFind(cursor);
    if (it == shapes_.constEnd()) return std::nullopt;
    return it->hotspot;
}

QImage X11CursorService::image(CursorHandle cursor) const { return shapes_.value(cursor).image; }

bool X11CursorService::drawIcon(Int32 hdc, int x, int y, CursorHandle cursor) {
    PictureBox* box = PictureBox::fromDC(hdc);
    const auto it = shapes_.constFind(cursor);
    if (!box || it == shapes_.constEnd()) return false;
    const QImage& cursorImage = it->image;
    const QSize surface = box->imageSize();
    // Wide arithmetic: a position near the integer limits must not wrap onto the surface.
    const qint64 left = x, top = y;
    if (left >= surface.width() || top >= surface.height() || left + cursorImage.width() <= 0 ||
        top + cursorImage.height() <= 0)
        return false;
    const QRect where(QPoint(x, y), cursorImage.size());
    const QRect touched = where.intersected(QRect(QPoint(0, 0), surface));
    // A few hundred pixels on a picture that others share: drawn aside, not on a copy of it.
    return box->drawSmall(touched, [&](QPainter& painter) {
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        // Only the part that lands on the surface: positions far outside stay out of the
        // painter's arithmetic.
        painter.drawImage(touched.topLeft(), cursorImage, touched.translated(-where.topLeft()));
    });
}

}  // namespace numarika
