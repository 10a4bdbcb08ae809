#pragma once
// Pictures for the benchmarks, of any size: what a screen shows, and a photograph.

#include <QImage>

namespace numarika::bench {

// A busy desktop: windows over a plain background, each with a gradient title bar, a menu
// and lines of code and Japanese text, a task bar at the bottom.
QImage screenPicture(int width, int height);
// Smooth colours under sensor-like noise: nearly nothing repeats.
QImage photoPicture(int width, int height);

}  // namespace numarika::bench
