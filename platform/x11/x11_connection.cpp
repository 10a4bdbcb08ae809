#include "platform/x11/x11_connection.h"

#include <QtGui/qguiapplication_platform.h>
#include <xcb/randr.h>

#include <QByteArray>
#include <QGuiApplication>
#include <QHash>
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

int defaultScreenNumber() {
    int screen = 0;
    char* host = nullptr;
    int display = 0;
    if (xcb_parse_display(nullptr, &host, &display, &screen) == 0) screen = 0;
    std::free(host);
    return screen;
}

xcb_screen_t* defaultScreen(xcb_connection_t* c) {
    if (!c) return nullptr;
    const int wanted = defaultScreenNumber();
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    xcb_screen_t* first = it.rem > 0 ? it.data : nullptr;
    for (int i = 0; it.rem > 0; xcb_screen_next(&it), ++i)
        if (i == wanted) return it.data;
    return first;
}

xcb_window_t rootOf(xcb_connection_t* c, int screen) {
    if (!c) return 0;
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; it.rem > 0; ++i, xcb_screen_next(&it))
        if (i == screen) return it.data->root;
    return 0;
}

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    if (!c) return XCB_ATOM_NONE;
    // Atoms live as long as the server; a new connection (a test's second server) starts over.
    static xcb_connection_t* cachedFor = nullptr;
    static QHash<QByteArray, xcb_atom_t> cache;
    if (cachedFor != c) {
        cache.clear();
        cachedFor = c;
    }
    const QByteArray key(name);
    if (const auto it = cache.constFind(key); it != cache.cend()) return it.value();
    Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(key.size()), name), nullptr));
    if (!reply) return XCB_ATOM_NONE;
    cache.insert(key, reply->atom);
    return reply->atom;
}

Reply<xcb_generic_error_t> requestError(xcb_connection_t* c, xcb_void_cookie_t cookie) {
    return Reply<xcb_generic_error_t>(xcb_request_check(c, cookie));
}

namespace {

bool askXwayland(xcb_connection_t* c) {
    // Xwayland 23.1 and later announce themselves by an extension; older ones only by the
    // names of their outputs (XWAYLAND0, ...).
    static const char kName[] = "XWAYLAND";
    Reply<xcb_query_extension_reply_t> ext(
        xcb_query_extension_reply(c, xcb_query_extension(c, sizeof kName - 1, kName), nullptr));
    if (ext && ext->present) return true;
    xcb_screen_t* screen = defaultScreen(c);
    const xcb_query_extension_reply_t* randr = xcb_get_extension_data(c, &xcb_randr_id);
    if (!screen || !randr || !randr->present) return false;
    // The outputs' names need RandR 1.3, which this connection may not have asked for yet.
    Reply<xcb_randr_query_version_reply_t> version(
        xcb_randr_query_version_reply(c, xcb_randr_query_version(c, 1, 3), nullptr));
    if (!version || (version->major_version == 1 && version->minor_version < 3)) return false;
    Reply<xcb_randr_get_screen_resources_current_reply_t> resources(
        xcb_randr_get_screen_resources_current_reply(
            c, xcb_randr_get_screen_resources_current(c, screen->root), nullptr));
    if (!resources) return false;
    const xcb_randr_output_t* outputs =
        xcb_randr_get_screen_resources_current_outputs(resources.get());
    const int count = xcb_randr_get_screen_resources_current_outputs_length(resources.get());
    for (int i = 0; i < count; ++i) {
        Reply<xcb_randr_get_output_info_reply_t> info(xcb_randr_get_output_info_reply(
            c, xcb_randr_get_output_info(c, outputs[i], resources->config_timestamp), nullptr));
        if (!info) continue;
        const QByteArray name(
            reinterpret_cast<const char*>(xcb_randr_get_output_info_name(info.get())),
            xcb_randr_get_output_info_name_length(info.get()));
        if (name.startsWith("XWAYLAND")) return true;
    }
    return false;
}

}  // namespace

bool isXwayland(xcb_connection_t* c) {
    if (!c) return false;
    static xcb_connection_t* askedOf = nullptr;
    static bool xwayland = false;
    if (askedOf == c) return xwayland;
    askedOf = c;
    xwayland = askXwayland(c);
    return xwayland;
}

std::vector<std::uint32_t> property32(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property,
                                      xcb_atom_t type, std::uint32_t maxValues) {
    std::vector<std::uint32_t> values;
    if (!c || property == XCB_ATOM_NONE) return values;
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, property, type, 0, maxValues), nullptr));
    if (!reply || reply->type != type || reply->format != 32) return values;
    const auto* data = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    values.assign(data, data + xcb_get_property_value_length(reply.get()) / 4);
    return values;
}

bool windowManagerRunning(xcb_connection_t* c, xcb_window_t root) {
    if (!c) return false;
    const xcb_atom_t check = atom(c, "_NET_SUPPORTING_WM_CHECK");
    // A window manager that has gone leaves the root's property behind; its own check window
    // is then gone with it.
    const auto child = property32(c, root, check, XCB_ATOM_WINDOW, 1);
    if (child.empty()) return false;
    const auto self = property32(c, child.front(), check, XCB_ATOM_WINDOW, 1);
    return !self.empty() && self.front() == child.front();
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

QString windowName(xcb_connection_t* c, xcb_window_t window) {
    if (!c) return QString();
    const xcb_atom_t utf8 = atom(c, "UTF8_STRING");
    const struct {
        xcb_atom_t property;
        xcb_atom_t type;
    } names[] = {{atom(c, "_NET_WM_NAME"), utf8}, {XCB_ATOM_WM_NAME, XCB_ATOM_STRING}};
    for (const auto& name : names) {
        Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
            c, xcb_get_property(c, 0, window, name.property, name.type, 0, 1024), nullptr));
        if (!reply || reply->type == XCB_ATOM_NONE) continue;
        const auto* text = static_cast<const char*>(xcb_get_property_value(reply.get()));
        const int length = xcb_get_property_value_length(reply.get());
        return name.type == utf8 ? QString::fromUtf8(text, length)
                                 : QString::fromLatin1(text, length);
    }
    return QString();
}

void sendRootMessage(xcb_connection_t* c, xcb_window_t root, xcb_window_t window, const char* type,
                     std::uint32_t d0, std::uint32_t d1, std::uint32_t d2) {
    xcb_client_message_event_t event;
    std::memset(&event, 0, sizeof event);
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = atom(c, type);
    event.data.data32[0] = d0;
    event.data.data32[1] = d1;
    event.data.data32[2] = d2;
    xcb_send_event(c, 0, root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
}

void sync(xcb_connection_t* c) {
    if (!c) return;
    Reply<xcb_get_input_focus_reply_t> reply(
        xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

}  // namespace numarika::x11
