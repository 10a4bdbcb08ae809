// The range buffer: Picture4 takes a one-to-one copy of the range, taken from the canvas's
// picture (never from what is drawn over it: the range box and the cursor of the scan). Its
// AutoRedraw property tells the outputs that a range is held.

#include "main_window/main.h"

namespace numarika {

void main::CopyRangeToBuffer() {
    Picture4->setAutoRedraw(true);
    Picture4->setWidth(sngRangeWidth);
    Picture4->setHeight(sngRangeHeight);
    // Scrolling moves the canvas as a whole, so range and picture share one origin. What
    // lies outside the picture comes out in the buffer's background colour.
    Picture4->PaintPicture(Picture2->Picture(), 0, 0, sngRangeX[0], sngRangeY[0], sngRangeWidth,
                           sngRangeHeight);
}

}  // namespace numarika
