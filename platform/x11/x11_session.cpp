#include "platform/x11/x11_session.h"

#include <xcb/xcb.h>

namespace numarika::x11 {

bool serverReachable() {
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const bool ok = xcb_connection_has_error(connection) == 0;
    // Also a connection in error is freed by the disconnect.
    xcb_disconnect(connection);
    return ok;
}

}  // namespace numarika::x11
