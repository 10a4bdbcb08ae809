#pragma once
// What the start asks of X before Qt opens its own connection; free of X11 headers, so that
// the composition root need not know them.

namespace numarika::x11 {

// Whether an X server answers on $DISPLAY (a connection opened and closed again).
bool serverReachable();

}  // namespace numarika::x11
