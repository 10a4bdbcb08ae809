// Layout of the view: the viewport frame and the scroll bars follow the client area; the
// canvas is centred along an axis where it fits and scrolls in steps of 30 twips otherwise.

#include <QScrollBar>
#include <algorithm>

#include "controls/twips.h"
#include "main_window/main.h"

namespace numarika {
namespace {

constexpr Int32 kScrollStepTwips = 30;

float heightOf(const QWidget* w) { return pixelsToTwips(w->height()); }
float widthOf(const QWidget* w) { return pixelsToTwips(w->width()); }

void setBarHeight(QScrollBar* bar, float twips) {
    bar->resize(bar->width(), std::max(0, twipsToPixels(twips)));
}
void setBarWidth(QScrollBar* bar, float twips) {
    bar->resize(std::max(0, twipsToPixels(twips)), bar->height());
}

// Scroll offsets are formed in 32 bits: a 16-bit product would overflow past 1092 steps,
// which a 4K picture already needs.
float offsetOf(const QScrollBar* bar) {
    return static_cast<float>(-(static_cast<Int32>(bar->value()) * kScrollStepTwips));
}

// One axis of the fit. Returns the canvas position along that axis.
float fitAxis(QScrollBar* bar, float canvasSize, float frameInner, float position) {
    if (canvasSize < frameInner) {
        bar->setEnabled(false);
        return (frameInner - canvasSize) / 2;
    }
    bar->setEnabled(true);
    const auto max =
        static_cast<Int32>(roundHalfEven((canvasSize - frameInner) / kScrollStepTwips));
    bar->setMinimum(0);
    bar->setMaximum(max);
    Int32 value;
    if (position > 0) {
        value = 0;
    } else {
        const double q = -position / kScrollStepTwips;
        value = q < max ? static_cast<Int32>(roundHalfEven(q)) : max;
    }
    bar->setValue(value);
    return offsetOf(bar);
}

}  // namespace

void main::Form_Resize() {
    if (formState() == WindowState::Minimized) return;

    if (Picture1->Top() + heightOf(HScroll1) > ScaleHeight())
        setHeight(Picture1->Top() + heightOf(HScroll1) + 480);
    setBarHeight(VScroll1, ScaleHeight() - heightOf(HScroll1) - Picture1->Top());
    HScroll1->move(HScroll1->x(), twipsToPixels(Picture1->Top() + heightOf(VScroll1)));

    if (Width() < widthOf(VScroll1)) setWidth(widthOf(VScroll1));
    setBarWidth(HScroll1, ScaleWidth() - widthOf(VScroll1));
    VScroll1->move(twipsToPixels(widthOf(HScroll1)), VScroll1->y());

    Picture1->setHeight(heightOf(VScroll1) - 15);
    Picture1->setWidth(widthOf(HScroll1) - 15);

    Picture2->setTop(
        fitAxis(VScroll1, Picture2->Height(), Picture1->ScaleHeight(), Picture2->Top()));
    Picture2->setLeft(
        fitAxis(HScroll1, Picture2->Width(), Picture1->ScaleWidth(), Picture2->Left()));
}

void main::VScroll1_Change() { Picture2->setTop(offsetOf(VScroll1)); }

void main::HScroll1_Change() { Picture2->setLeft(offsetOf(HScroll1)); }

}  // namespace numarika
