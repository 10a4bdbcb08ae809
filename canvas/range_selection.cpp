#include "main_window/main.h"

namespace numarika {

void main::Picture2_MouseDown(int, int, float, float) {}  // PENDING(range)
void main::Picture2_MouseMove(int, int, float, float) {}
void main::Picture2_MouseUp(int, int, float, float) {}
void main::TrackRange(float, float, Int16) {}
void main::DrawRangeBox(float, float, float, float, Colour, Int16) {}

}  // namespace numarika
