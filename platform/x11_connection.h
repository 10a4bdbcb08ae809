#pragma once
// The X server behind Qt, for the desktop services that Qt has no API for (the screen grab,
// the cursor image, the window manager's frame). Without an X server (Qt's offscreen
// platform, which still answers the X11 native interface but has no connection) every helper
// here gives nothing, and the services built on them refuse.

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <optional>

namespace numarika::x11 {

// xcb hands replies and events over as malloc'd blocks.
struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

// Qt's own connection; null when there is no X server or the connection has broken.
xcb_connection_t* connection();

// The screen Qt shows its windows on (the one $DISPLAY names); null when there is none.
xcb_screen_t* defaultScreen(xcb_connection_t* c);

// An atom by name; XCB_ATOM_NONE when it cannot be had.
xcb_atom_t internAtom(xcb_connection_t* c, const char* name);

// A window manager that follows the freedesktop.org conventions is running.
bool windowManagerRunning(xcb_connection_t* c, xcb_window_t root);

// The ancestor of `window` that is a child of the root: the window manager's frame around a
// managed window, or the window itself when nothing framed it. Nothing when the window is gone.
std::optional<xcb_window_t> topLevelAncestor(xcb_connection_t* c, xcb_window_t window);

// Whether the window is mapped (viewable or mapped under an unmapped parent); nothing when
// it is gone.
std::optional<bool> isMapped(xcb_connection_t* c, xcb_window_t window);

}  // namespace numarika::x11
