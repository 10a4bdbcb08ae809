#pragma once
// JPEG through TurboJPEG, for the saved pictures. The encoder and its output buffer are kept
// from one picture to the next on each thread: a fresh buffer for a 4K picture costs about a
// tenth of the encoding in page faults alone.

#include <QByteArrayView>
#include <QImage>
#include <QString>

namespace numarika {

struct JpegEncoding {
    // The file's bytes; they stay valid until the next encoding on the same thread.
    QByteArrayView bytes;
    // Why there are none (the encoder's or the program's words); empty when encoded.
    QString error;
    bool ok() const { return error.isEmpty(); }
};

// The top-left width x height pixels of `pixels` (Format_RGB32, at least that large) at
// `quality` percent (clamped to 1..100); from 90 on, colour is kept at full resolution (4:4:4)
// so that coloured text stays sharp.
JpegEncoding encodeJpeg(const QImage& pixels, int width, int height, int quality);

// Whether a width x height picture fits the encoder at `quality`: asked before the pixels are
// gathered, so that a size beyond it is refused without allocating them.
bool jpegSizeFits(int width, int height, int quality);

// The chroma subsampling (a TJSAMP value) that encodeJpeg uses at a quality.
int jpegSubsamplingFor(int quality);

}  // namespace numarika
