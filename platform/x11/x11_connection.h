#pragma once
// The one way to the X server: Qt's own connection, its screen and root window, replies that
// free themselves, atoms asked for once, and the window-manager questions several services
// share. Without an X server (Qt's offscreen or Wayland platform, which may still answer the
// X11 native interface but have no connection behind it) every helper here gives nothing,
// and the services built on them refuse.

#include <xcb/xcb.h>

#include <QString>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

#include "platform/x11/xcb_reply.h"

namespace numarika::x11 {

// Qt's own connection; null when there is no X server or the connection has broken.
xcb_connection_t* connection();

// The screen number that DISPLAY names (":0.1" is screen 1); Qt uses the same one.
int defaultScreenNumber();
// That screen of `c` (the first where it has no such screen); null without a connection.
xcb_screen_t* defaultScreen(xcb_connection_t* c);
// The root window of screen `screen`, 0 when there is no such screen.
xcb_window_t rootOf(xcb_connection_t* c, int screen);

// An atom by name, asked of the server once per connection; XCB_ATOM_NONE when it cannot
// be had.
xcb_atom_t atom(xcb_connection_t* c, const char* name);

// The error of a checked request, waiting for the server's answer; null when it succeeded.
Reply<xcb_generic_error_t> requestError(xcb_connection_t* c, xcb_void_cookie_t cookie);

// Whether the server is Xwayland: its root window is not the screen a user sees (a Wayland
// compositor draws that), so nothing can be read from it.
bool isXwayland(xcb_connection_t* c);

// A window manager that follows the freedesktop.org conventions is running.
bool windowManagerRunning(xcb_connection_t* c, xcb_window_t root);

// The ancestor of `window` that is a child of the root: the window manager's frame around a
// managed window, or the window itself when nothing framed it. Nothing when the window is gone.
std::optional<xcb_window_t> topLevelAncestor(xcb_connection_t* c, xcb_window_t window);

// Whether the window is mapped (viewable or mapped under an unmapped parent); nothing when
// it is gone.
std::optional<bool> isMapped(xcb_connection_t* c, xcb_window_t window);

// The 32-bit values of a property of the given type; empty when it is not set.
std::vector<std::uint32_t> property32(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property,
                                      xcb_atom_t type, std::uint32_t maxValues = 4096);

// The window's title (_NET_WM_NAME, else WM_NAME).
QString windowName(xcb_connection_t* c, xcb_window_t window);

// A client message about `window` to the root window, as the window manager expects its
// requests (_NET_WM_STATE, _NET_ACTIVE_WINDOW, WM_CHANGE_STATE).
void sendRootMessage(xcb_connection_t* c, xcb_window_t root, xcb_window_t window, const char* type,
                     std::uint32_t d0, std::uint32_t d1 = 0, std::uint32_t d2 = 0);

// Waits until the server has handled every request sent so far (one round trip).
void sync(xcb_connection_t* c);

}  // namespace numarika::x11
