#pragma once
// What the start asks of the compositor before Qt connects; free of Wayland headers, so that
// the composition root need not know them.

namespace numarika::wayland {

// Whether a compositor answers on $WAYLAND_DISPLAY (a connection opened and closed again).
bool compositorReachable();

}  // namespace numarika::wayland
