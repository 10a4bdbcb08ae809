#pragma once
// The screen pixels of a Wayland output per unit of Qt's geometry on it. A compositor with a
// fractional scale (1.5) tells a program without the fractional-scale protocol the next
// integer (2): Qt draws at 2 and the compositor shrinks the buffer to 1.5. The output's mode
// (its pixels) beside its size in the desktop's units (Qt's screen geometry) gives the scale
// that reaches the screen.

#include <optional>

class QScreen;

namespace numarika {

// Nothing where there is no Wayland connection or the output is not found; the answer is
// kept until the screens change.
std::optional<double> waylandOutputPixelsPerUnit(const QScreen& screen);

}  // namespace numarika
