#include "platform/wayland/wayland_session.h"

#include <wayland-client.h>

namespace numarika::wayland {

bool compositorReachable() {
    wl_display* display = wl_display_connect(nullptr);
    if (display) wl_display_disconnect(display);
    return display != nullptr;
}

}  // namespace numarika::wayland
