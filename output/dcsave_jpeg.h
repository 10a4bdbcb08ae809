#pragma once
// The program's JPEG writer: encodes what a picture box's device context shows and saves it
// as a JPEG file. The file of that name is replaced only once the new one is complete, so a
// failed save leaves an existing file as it was and no partial file behind.

#include <QString>
#include <cstdint>

#include "controls/win_types.h"

namespace numarika {

// What became of a save: written, or why not.
class JpegSaveResult {
  public:
    enum class Status {
        Written,
        NoSurface,     // the device context belongs to no picture box
        EmptySize,     // width or height is 0 or negative: a JPEG cannot be empty
        EncodeFailed,  // the encoder refused the pixels
        CreateFailed,  // the file (or its temporary sibling) could not be created
        WriteFailed,   // writing, flushing or putting the file in place failed
    };

    static JpegSaveResult written() { return JpegSaveResult(Status::Written, {}); }
    static JpegSaveResult failed(Status status, QString detail = {}) {
        return JpegSaveResult(status, std::move(detail));
    }

    bool ok() const { return status_ == Status::Written; }
    explicit operator bool() const { return ok(); }
    Status status() const { return status_; }
    // The system's or the encoder's own words, when there are any.
    const QString& detail() const { return detail_; }
    // Why the save failed, in Japanese for the user (empty when written).
    QString reason() const;

  private:
    JpegSaveResult(Status status, QString detail) : status_(status), detail_(std::move(detail)) {}
    Status status_;
    QString detail_;
};

// Saves the width x height pixels that the device context `hDC` shows from its top-left
// corner as a JPEG file named `fileName` (any characters; the name is used exactly). The
// device context is a picture box's: its persistent image is read whole, also where the box
// is scrolled out of view; pixels beyond the image come out in the box's background colour.
// `quality` is the JPEG quality in percent (1 to 100; 0 counts as 1); from 90 on, colour is
// kept at full resolution (4:4:4) so that coloured text stays sharp (encoders/jpeg_encoder.h).
[[nodiscard]] JpegSaveResult DCSavetoJPEG(Int32 hDC, Int32 width, Int32 height,
                                          const QString& fileName, std::uint8_t quality);

}  // namespace numarika
