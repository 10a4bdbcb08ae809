// The range: a rectangle dragged with any mouse button over the canvas. While the button is
// held a rubber band follows the pointer, drawn with the exclusive-or pen so that drawing it
// again at the same place takes it away; the release draws the box for good in the pen's
// colour and width and hands the range, top-left corner first, to CopyRangeToBuffer.

#include <cmath>

#include "main_window/main.h"

namespace numarika {
namespace {

constexpr Int16 kFollowPointer = 1;
constexpr Int16 kFinish = 2;
constexpr Colour kWhite = 0x00FFFFFF;

}  // namespace

// Every button and every modifier acts alike, so neither is looked at.
void main::Picture2_MouseDown(int, int, float x, float y) {
    Picture4->Cls();
    // Fixed for the whole drag, so that each removal covers exactly the band drawn before.
    Picture2->setDrawWidth(gintCurPen);
    sngRangeX[0] = x;
    sngRangeY[0] = y;
    blnDragging = kTrue;
    blnBandDrawn = kFalse;
    // The unmarked picture takes away the box of the previous range and whatever else was
    // drawn on the canvas, such as the cursor of the scan.
    Picture2->setPicture(Picture3->Picture());
    // The rubber band draws on pixels of the canvas's own: copied now, beside the user's
    // hand on its way to the first movement.
    Picture2->prepareOwnPixels();
}

void main::Picture2_MouseMove(int, int, float x, float y) {
    if (blnDragging) {
        TrackRange(x, y, kFollowPointer);
        blnBandDrawn = kTrue;
    }
}

void main::Picture2_MouseUp(int, int, float x, float y) {
    if (blnBandDrawn) {
        TrackRange(x, y, kFinish);
        blnDragging = kFalse;
        blnBandDrawn = kFalse;
        sngRangeWidth = std::fabs(sngRangeX[1] - sngRangeX[0]);
        sngRangeHeight = std::fabs(sngRangeY[1] - sngRangeY[0]);
        // Only element 0 moves to the top left; element 1 keeps where the pointer ended.
        if (sngRangeX[1] > sngRangeX[0] && sngRangeY[1] < sngRangeY[0]) {
            sngRangeY[0] = sngRangeY[1];
        } else if (sngRangeX[1] < sngRangeX[0] && sngRangeY[1] > sngRangeY[0]) {
            sngRangeX[0] = sngRangeX[1];
        } else if (sngRangeX[1] < sngRangeX[0] && sngRangeY[1] < sngRangeY[0]) {
            sngRangeX[0] = sngRangeX[1];
            sngRangeY[0] = sngRangeY[1];
        }
        CopyRangeToBuffer();
    } else {
        // A click without a drag, or a release that no press started: the outputs go back
        // to the whole picture.
        Picture4->setAutoRedraw(false);
        blnDragging = kFalse;
    }
}

void main::TrackRange(float x, float y, Int16 mode) {
    if (mode == kFollowPointer) {
        if (blnBandDrawn)
            DrawRangeBox(sngRangeX[0], sngRangeY[0], sngRangeX[1], sngRangeY[1], kWhite,
                         kDrawModeXorPen);
        sngRangeX[1] = x;
        sngRangeY[1] = y;
        DrawRangeBox(sngRangeX[0], sngRangeY[0], sngRangeX[1], sngRangeY[1], kWhite,
                     kDrawModeXorPen);
    } else if (mode == kFinish) {
        // The range ends where the last move was, not where the button was let go: the
        // final box covers exactly the last rubber band.
        DrawRangeBox(sngRangeX[0], sngRangeY[0], sngRangeX[1], sngRangeY[1], lngPenColor,
                     kDrawModeCopyPen);
    }
}

void main::DrawRangeBox(float x1, float y1, float x2, float y2, Colour colour, Int16 penMode) {
    Picture2->setDrawMode(penMode);
    Picture2->LineBox(x1, y1, x2, y2, colour);
}

}  // namespace numarika
