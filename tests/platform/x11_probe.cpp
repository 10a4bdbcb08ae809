// A second X client for the end-to-end tests of the hot key:
//   x11_probe print-key      exit 0 when Print (every keycode, every lock state) is free to
//                            grab, 1 when another client holds it
//   x11_probe close WINDOW   asks the window to close with WM_DELETE_WINDOW, as a window
//                            manager's close button does (works without a window manager)

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/x11/xcb_reply.h"

namespace {

using numarika::x11::Reply;

struct Connection {
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
    ~Connection() { xcb_disconnect(c); }
    bool ok() const { return !xcb_connection_has_error(c); }
    xcb_window_t root() const {
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
        for (int i = 0; i < screenNumber && it.rem > 0; ++i) xcb_screen_next(&it);
        return it.rem > 0 ? it.data->root : xcb_window_t{0};
    }
};

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

int printKey() {
    Connection x;
    if (!x.ok()) {
        std::fprintf(stderr, "x11_probe: no X server\n");
        return 2;
    }
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(x.c);
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, 0xff61);  // XK_Print
    std::vector<xcb_keycode_t> keycodes;
    for (xcb_keycode_t* k = codes; k && *k != XCB_NO_SYMBOL; ++k) keycodes.push_back(*k);
    std::free(codes);
    xcb_key_symbols_free(symbols);
    if (keycodes.empty()) {
        std::fprintf(stderr, "x11_probe: no keycode for Print\n");
        return 2;
    }
    const xcb_window_t root = x.root();
    int held = 0;
    for (xcb_keycode_t code : keycodes) {
        for (int mask :
             {0, int{XCB_MOD_MASK_2}, int{XCB_MOD_MASK_LOCK}, XCB_MOD_MASK_2 | XCB_MOD_MASK_LOCK}) {
            Reply<xcb_generic_error_t> error(xcb_request_check(
                x.c, xcb_grab_key_checked(x.c, 0, root, static_cast<std::uint16_t>(mask), code,
                                          XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)));
            if (error) ++held;
        }
    }
    xcb_ungrab_key(x.c, XCB_GRAB_ANY, root, XCB_MOD_MASK_ANY);
    std::free(xcb_get_input_focus_reply(x.c, xcb_get_input_focus(x.c), nullptr));
    std::printf(held ? "Print is held by another client (%d grabs refused)\n" : "Print is free\n",
                held);
    return held ? 1 : 0;
}

int closeWindow(xcb_window_t window) {
    Connection x;
    if (!x.ok()) {
        std::fprintf(stderr, "x11_probe: no X server\n");
        return 2;
    }
    xcb_client_message_event_t event = {};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = atom(x.c, "WM_PROTOCOLS");
    event.data.data32[0] = atom(x.c, "WM_DELETE_WINDOW");
    event.data.data32[1] = XCB_CURRENT_TIME;
    Reply<xcb_generic_error_t> error(
        xcb_request_check(x.c, xcb_send_event_checked(x.c, 0, window, XCB_EVENT_MASK_NO_EVENT,
                                                      reinterpret_cast<const char*>(&event))));
    if (error) {
        std::fprintf(stderr, "x11_probe: cannot send to window 0x%x (X error %d)\n", window,
                     error->error_code);
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "print-key" && argc == 2) return printKey();
    if (command == "close" && argc == 3)
        return closeWindow(static_cast<xcb_window_t>(std::strtoul(argv[2], nullptr, 0)));
    std::fprintf(stderr, "usage: %s print-key | close WINDOW\n", argv[0]);
    return 2;
}
