#include "platform/x11_connection.h"

#include <QGuiApplication>
#include <cstring>

namespace numarika::x11 {

xcb_connection_t* connection() {
    auto* app = qGuiApp;
    if (!app) return nullptr;
    auto* native = app->nativeInterface<QNativeInterface::QX11Application>();
    if (!native) return nullptr;
    // Qt's offscreen platform answers the interface but has no connection behind it.
    xcb_connection_t* c = native->connection();
    if (!c || xcb_connection_has_error(c)) return nullptr;
    return c;
}

xcb_screen_t* defaultScreen(xcb_connection_t* c) {
    if (!c) return nullptr;
    int wanted = 0;
    char* host = nullptr;
    int display = 0;
    if (xcb_parse_display(nullptr, &host, &display, &wanted) == 0) wanted = 0;
    std::free(host);
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    xcb_screen_t* first = it.rem > 0 ? it.data : nullptr;
    for (int i = 0; it.rem > 0; xcb_screen_next(&it), ++i)
        if (i == wanted) return it.data;
    return first;
}

xcb_atom_t internAtom(xcb_connection_t* c, const char* name) {
    if (!c) return XCB_ATOM_NONE;
    Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

namespace {

std::optional<xcb_window_t> windowProperty(xcb_connection_t* c, xcb_window_t window,
                                           xcb_atom_t property) {
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, property, XCB_ATOM_WINDOW, 0, 1), nullptr));
    if (!reply || reply->type != XCB_ATOM_WINDOW || reply->format != 32 ||
        xcb_get_property_value_length(reply.get()) < 4)
        return std::nullopt;
    xcb_window_t value;
    std::memcpy(&value, xcb_get_property_value(reply.get()), sizeof value);
    return value;
}

}  // namespace

bool windowManagerRunning(xcb_connection_t* c, xcb_window_t root) {
    if (!c) return false;
    const xcb_atom_t check = internAtom(c, "_NET_SUPPORTING_WM_CHECK");
    if (check == XCB_ATOM_NONE) return false;
    // A window manager that has gone leaves the root's property behind; its own check window
    // is then gone with it.
    const std::optional<xcb_window_t> child = windowProperty(c, root, check);
    return child && windowProperty(c, *child, check) == child;
}

std::optional<xcb_window_t> topLevelAncestor(xcb_connection_t* c, xcb_window_t window) {
    if (!c) return std::nullopt;
    for (int depth = 0; depth < 64; ++depth) {
        Reply<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr));
        if (!tree) return std::nullopt;
        if (tree->parent == tree->root || tree->parent == XCB_WINDOW_NONE) return window;
        window = tree->parent;
    }
    return std::nullopt;
}

std::optional<bool> isMapped(xcb_connection_t* c, xcb_window_t window) {
    if (!c) return std::nullopt;
    Reply<xcb_get_window_attributes_reply_t> attrs(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr));
    if (!attrs) return std::nullopt;
    return attrs->map_state != XCB_MAP_STATE_UNMAPPED;
}

}  // namespace numarika::x11
