#pragma once
// Pictures to save and print, and independent checks of what came out.

#include <QByteArray>
#include <QImage>
#include <QString>
#include <optional>

namespace numarika {
class main;
}

namespace numarika::testing {

// Copies a part of the canvas picture (pixels) into the range buffer, as a finished drag does.
void holdRange(main& w, int x, int y, int width, int height);

// The picture mirrored left to right and/or top to bottom (Qt 6.9 renamed the call).
QImage mirroredPicture(const QImage& picture, bool horizontally, bool vertically);

// A screen-like picture: soft gradients, one-pixel lines and coloured text.
QImage screenLikePicture(int width, int height);

// A JPEG file decoded by TurboJPEG into Format_RGB32, with its chroma subsampling.
struct DecodedJpeg {
    QImage image;
    int subsampling = -1;
};
std::optional<DecodedJpeg> decodeJpegFile(const QString& path);

// Peak signal-to-noise ratio over the RGB channels, in dB (infinite when equal). The
// pictures must have the same size.
double psnr(const QImage& a, const QImage& b);
// The largest difference of one channel of one pixel.
int maxChannelError(const QImage& a, const QImage& b);

QByteArray readAll(const QString& path);

}  // namespace numarika::testing
