#include "main_window/main.h"

namespace numarika {

Int32 main::lngCursorHandle() { return 0; }  // PENDING(scan)
void main::LoadCursorHotspot() {}
bool main::DrawCursorOverlay(Int32, Int32) { return true; }

}  // namespace numarika
