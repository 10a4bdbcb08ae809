#include "platform/wayland/dispatch_ready.h"

#include <poll.h>
#include <wayland-client.h>

namespace numarika {

int dispatchReady(wl_display* display) {
    while (wl_display_prepare_read(display) != 0)
        if (wl_display_dispatch_pending(display) < 0) return -1;
    pollfd ready{wl_display_get_fd(display), POLLIN, 0};
    if (::poll(&ready, 1, 0) > 0) {
        // A socket the compositor closed reads as an end: the connection's error is set.
        if (wl_display_read_events(display) < 0) return -1;
    } else {
        wl_display_cancel_read(display);
    }
    const int dispatched = wl_display_dispatch_pending(display);
    wl_display_flush(display);
    return dispatched;
}

}  // namespace numarika
