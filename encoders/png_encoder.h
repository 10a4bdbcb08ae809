#pragma once
// PNG for the clipboard: other programs ask for the whole screen picture as image/png, and
// Qt's writer takes a fifth of a second for a 4K screen on one core. This one writes the
// file itself and deflates the rows in strips on all cores, tuned for what a screen shows
// (large flat areas, text, window frames), without becoming slow on photographs.

#include <QByteArray>
#include <QImage>

namespace numarika {

// The picture as an 8-bit RGB PNG (no alpha: screen pictures are opaque), decoding to exactly
// the same pixels. Any format is accepted; anything but Format_RGB32 is converted first.
// threads: how many threads share the work, the calling one included; 0 or less means one per
// core. Reads the picture only, so it may run on a worker thread while the UI thread keeps
// using it. A null picture, or a failure to get memory, gives an empty result.
// kernels: which inner loops filter the rows and sum them up, the fastest this processor runs
// (SSSE3 on x86) or the portable ones every processor runs; both write the same file.
enum class PngKernels { Fastest, Portable };
QByteArray encodePng(const QImage& image, int threads = 0,
                     PngKernels kernels = PngKernels::Fastest);

}  // namespace numarika
