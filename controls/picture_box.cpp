#include "controls/picture_box.h"

#include <QHash>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "controls/twips.h"
#include "platform/platform.h"
#include "platform/window_control.h"

namespace numarika {
namespace {

QHash<Int32, PictureBox*>& dcTable() {
    static QHash<Int32, PictureBox*> table;
    return table;
}

Int32 nextDC() {
    static Int32 next = 0x01010000;
    return next += 0x10;
}

int vbShift(Qt::KeyboardModifiers m) {
    int s = 0;
    if (m & Qt::ShiftModifier) s |= 1;
    if (m & Qt::ControlModifier) s |= 2;
    if (m & Qt::AltModifier) s |= 4;
    return s;
}

// Copies the pixels of `from` at `fromRect` to `to` at `toPos`; both images are RGB32 and
// both places lie inside them.
void copyPixels(const QImage& from, const QRect& fromRect, QImage& to, QPoint toPos) {
    const auto bytes = static_cast<std::size_t>(fromRect.width()) * 4;
    for (int y = 0; y < fromRect.height(); ++y)
        std::memcpy(to.scanLine(toPos.y() + y) + std::size_t(toPos.x()) * 4,
                    from.constScanLine(fromRect.y() + y) + std::size_t(fromRect.x()) * 4, bytes);
}

// Patches beyond these are put into the image: they would cost more to paint and to keep
// than the image's own pixels.
constexpr std::size_t kMaxPatches = 32;
constexpr qint64 kMaxPatchAreaShare = 16;  // at most 1/16 of the image

int vbButton(Qt::MouseButtons b) {
    int v = 0;
    if (b & Qt::LeftButton) v |= 1;
    if (b & Qt::RightButton) v |= 2;
    if (b & Qt::MiddleButton) v |= 4;
    return v;
}

}  // namespace

PictureBox::PictureBox(QWidget* parent, Border border)
    : QWidget(parent), border_(border), hdc_(nextDC()) {
    dcTable().insert(hdc_, this);
    setAttribute(Qt::WA_OpaquePaintEvent);
    ratio_ = placedRatio_ = pixelRatio();
}

PictureBox::~PictureBox() { dcTable().remove(hdc_); }

PictureBox* PictureBox::fromDC(Int32 hdc) { return dcTable().value(hdc, nullptr); }

const PictureBox* PictureBox::containerBox() const {
    return qobject_cast<const PictureBox*>(parentWidget());
}

// Children of a bordered box are placed inside its border, as its own coordinates begin there.
int PictureBox::containerOffset() const {
    const PictureBox* box = containerBox();
    return box ? box->borderPixels() : 0;
}

double PictureBox::pixelRatio() const { return services().windows->screenPixelsPerUnit(*this); }

int PictureBox::borderOfPixels() const {
    return static_cast<int>(std::lround(borderPixels() * pixelRatio()));
}

QRect PictureBox::widgetRectFor(const QRect& pixels, double ratio) const {
    // Outwards: the widget covers every pixel of the box; what lies beyond them is painted
    // as the background.
    const auto down = [ratio](int v) { return static_cast<int>(std::floor(v / ratio + 1e-9)); };
    const auto up = [ratio](int v) { return static_cast<int>(std::ceil(v / ratio - 1e-9)); };
    const int left = down(pixels.x()), top = down(pixels.y());
    const int width = pixels.width() > 0 ? up(pixels.x() + pixels.width()) - left : 0;
    const int height = pixels.height() > 0 ? up(pixels.y() + pixels.height()) - top : 0;
    const int c = containerOffset();
    QRect rect(left + c, top + c, width, height);
    // At a fractional scale the box begins where a unit of the window meets a screen pixel
    // (every second unit at 1.5): the desktop's shrinking of the window then takes every
    // picture pixel to a screen pixel of its own, not to a blend of two.
    int every = 1;
    while (every < 8 && std::fabs(every * ratio - std::round(every * ratio)) > 1e-6) ++every;
    if (every > 1) {
        const QPoint inWindow = parentWidget()->mapTo(window(), rect.topLeft());
        const auto snap = [every](int v) { return v - ((v % every) + every) % every; };
        rect.translate(snap(inWindow.x()) - inWindow.x(), snap(inWindow.y()) - inWindow.y());
    }
    return rect;
}

QRect PictureBox::placed() const {
    if (!containerBox()) return geometry();
    // Moved or resized as a widget by someone else: the widget's place is taken as it is.
    if (geometry() != placedGeometry_) {
        const QRect g = geometry().translated(-containerOffset(), -containerOffset());
        const auto pixels = [this](int v) {
            return static_cast<int>(std::lround(v * placedRatio_));
        };
        placed_ = QRect(pixels(g.x()), pixels(g.y()), pixels(g.width()), pixels(g.height()));
    }
    return placed_;
}

void PictureBox::place(const QRect& rect) {
    if (!containerBox()) {
        setGeometry(rect);
        return;
    }
    placed_ = rect;
    placedRatio_ = pixelRatio();
    placedGeometry_ = widgetRectFor(rect, placedRatio_);
    setGeometry(placedGeometry_);
}

float PictureBox::Left() const { return pixelsToTwips(placed().x()); }
float PictureBox::Top() const { return pixelsToTwips(placed().y()); }
float PictureBox::Width() const { return pixelsToTwips(placed().width()); }
float PictureBox::Height() const { return pixelsToTwips(placed().height()); }
void PictureBox::setLeft(float t) {
    place(placed().translated(twipsToPixels(t) - placed().x(), 0));
}
void PictureBox::setTop(float t) { place(placed().translated(0, twipsToPixels(t) - placed().y())); }
// A hidden widget gets its resize event only when it is shown; the persistent image must
// follow the size at once, since it is read and drawn on while the box is hidden too.
void PictureBox::setWidth(float t) {
    QRect r = placed();
    r.setWidth(std::max(0, twipsToPixels(t)));
    place(r);
    fitImageToInner();
}
void PictureBox::setHeight(float t) {
    QRect r = placed();
    r.setHeight(std::max(0, twipsToPixels(t)));
    place(r);
    fitImageToInner();
}
void PictureBox::Move(float left, float top, float w, float h) {
    place(QRect(twipsToPixels(left), twipsToPixels(top), std::max(0, twipsToPixels(w)),
                std::max(0, twipsToPixels(h))));
    fitImageToInner();
}

QSize PictureBox::innerSize() const {
    const int b = borderOfPixels();
    if (containerBox()) {
        const QSize outer = placed().size();
        return {std::max(0, outer.width() - 2 * b), std::max(0, outer.height() - 2 * b)};
    }
    // The screen pixels the widget covers.
    const double ratio = pixelRatio();
    const auto pixels = [ratio](int v) { return static_cast<int>(std::floor(v * ratio + 1e-9)); };
    return {std::max(0, pixels(width()) - 2 * b), std::max(0, pixels(height()) - 2 * b)};
}

QRect PictureBox::toWidget(const QRect& pixels) const {
    const int b = borderOfPixels();
    const double ratio = pixelRatio();
    const int left = static_cast<int>(std::floor((pixels.x() + b) / ratio + 1e-9));
    const int top = static_cast<int>(std::floor((pixels.y() + b) / ratio + 1e-9));
    const int right = static_cast<int>(std::ceil((pixels.x() + pixels.width() + b) / ratio - 1e-9));
    const int bottom =
        static_cast<int>(std::ceil((pixels.y() + pixels.height() + b) / ratio - 1e-9));
    return {left, top, right - left, bottom - top};
}

QRect PictureBox::toInnerPixels(const QRect& widgetRect) const {
    const int b = borderOfPixels();
    const double ratio = pixelRatio();
    const int left = static_cast<int>(std::floor(widgetRect.x() * ratio + 1e-9)) - b;
    const int top = static_cast<int>(std::floor(widgetRect.y() * ratio + 1e-9)) - b;
    const int right =
        static_cast<int>(std::ceil((widgetRect.x() + widgetRect.width()) * ratio - 1e-9)) - b;
    const int bottom =
        static_cast<int>(std::ceil((widgetRect.y() + widgetRect.height()) * ratio - 1e-9)) - b;
    return {left, top, right - left, bottom - top};
}

void PictureBox::followPixelRatio() {
    ratioCheckQueued_ = false;
    const double ratio = pixelRatio();
    if (containerBox() && ratio != placedRatio_) place(placed());
    if (ratio == ratio_) return;
    ratio_ = ratio;
    fitImageToInner();
    update();
    emit pixelRatioChanged();
}

bool PictureBox::event(QEvent* event) {
    // The window went to another screen (its children are told after it), or it is shown
    // and now knows the screen it is on.
    if (event->type() == QEvent::ScreenChangeInternal || event->type() == QEvent::Show)
        followPixelRatio();
    return QWidget::event(event);
}

int PictureBox::toPixels(double units) const {
    // Far beyond any screen, yet small enough that sums of a few of them stay within int.
    constexpr double kLimitPixels = 1 << 24;
    double pixels = scaleMode_ == kScalePixels ? units : units / kTwipsPerPixel;
    if (!std::isfinite(pixels)) pixels = pixels > 0 ? kLimitPixels : -kLimitPixels;
    return static_cast<int>(roundHalfEven(std::clamp(pixels, -kLimitPixels, kLimitPixels)));
}

float PictureBox::fromPixels(double pixels) const {
    return static_cast<float>(scaleMode_ == kScalePixels ? pixels : pixels * kTwipsPerPixel);
}

float PictureBox::ScaleWidth() const { return fromPixels(innerSize().width()); }
float PictureBox::ScaleHeight() const { return fromPixels(innerSize().height()); }

Colour PictureBox::BackColor() const { return colourOf(palette().color(QPalette::Base).rgb()); }

void PictureBox::setPicture(const QImage& picture) {
    picture_ = picture.isNull() || picture.format() == QImage::Format_RGB32
                   ? picture
                   : picture.convertToFormat(QImage::Format_RGB32);
    // Nothing drawn is kept: a resize below then starts from the picture, not from a copy
    // of the old image.
    image_ = QImage();
    if (spareOf_ != picture_.cacheKey()) spare_ = QFuture<QImage>();
    if (autoSize_ && !picture_.isNull()) {
        const int b = borderOfPixels();
        if (containerBox()) {
            place(QRect(placed().topLeft(), picture_.size() + QSize(2 * b, 2 * b)));
        } else {
            const double ratio = pixelRatio();
            const auto units = [ratio](int v) {
                return static_cast<int>(std::ceil(v / ratio - 1e-9));
            };
            resize(units(picture_.width()) + 2 * borderPixels(),
                   units(picture_.height()) + 2 * borderPixels());
        }
    }
    resetImage();
    update();
}

void PictureBox::Cls() {
    resetImage();
    update();
}

const QImage& PictureBox::Image() const {
    applyPatches();
    return image_;
}

QImage& PictureBox::drawingImage() {
    applyPatches();
    return image_;
}

void PictureBox::prepareOwnPixels() {
    if (image_.isNull() || image_.isDetached() || !patches_.empty()) return;
    ownPixelsOf_ = image_.cacheKey();
    if (spare_.isValid() && spareOf_ == picture_.cacheKey() &&
        image_.cacheKey() == picture_.cacheKey()) {
        // The image is the bare picture, of which a copy was made beforehand: taken at the
        // first drawing, at once when it is done (as it is by the time a hand moves).
        ownPixels_ = std::exchange(spare_, QFuture<QImage>());
    } else {
        const QImage shared = image_;
        ownPixels_ = QtConcurrent::run([shared] { return shared.copy(); });
    }
    keepSpareCopy();
}

void PictureBox::keepSpareCopy() {
    if (picture_.isNull()) return;
    if (spare_.isValid() && spareOf_ == picture_.cacheKey()) return;
    const QImage picture = picture_;
    spareOf_ = picture_.cacheKey();
    spare_ = QtConcurrent::run([picture] { return picture.copy(); });
}

void PictureBox::takePreparedPixels() const {
    if (!ownPixels_.isValid()) return;
    QFuture<QImage> copy = std::exchange(ownPixels_, QFuture<QImage>());
    if (image_.cacheKey() != ownPixelsOf_) return;  // the picture changed meanwhile
    QImage pixels = copy.result();
    if (!pixels.isNull()) image_ = std::move(pixels);
}

void PictureBox::applyPatches() const {
    takePreparedPixels();
    if (patches_.empty()) return;
    // Writing detaches the image from the picture: the one full copy, now that someone
    // needs the image as a whole. Without the memory for it the image is lost (null), as
    // with any drawing that cannot detach.
    if (image_.bits()) {
        // Oldest first, as they were drawn.
        for (const Patch& patch : patches_)
            copyPixels(patch.pixels, patch.pixels.rect(), image_, patch.rect.topLeft());
    }
    patches_.clear();
    patchArea_ = 0;
}

bool PictureBox::drawSmall(const QRect& pixels, const std::function<void(QPainter&)>& draw) {
    const QRect touched = pixels.intersected(image_.rect());
    if (touched.isEmpty()) return false;
    if (image_.isDetached()) {
        // Pixels of its own: drawing in place costs no more than a patch (patches left from
        // when it was shared go in first, without a copy now).
        applyPatches();
        QPainter p(&image_);
        p.setClipRect(touched);
        draw(p);
    } else {
        Patch patch{touched, QImage(touched.size(), QImage::Format_RGB32)};
        if (patch.pixels.isNull()) return false;  // out of memory
        // What is shown there now: the image with the patches drawn before.
        copyPixels(image_, touched, patch.pixels, QPoint(0, 0));
        for (const Patch& earlier : patches_) {
            const QRect both = earlier.rect.intersected(touched);
            if (!both.isEmpty())
                copyPixels(earlier.pixels, both.translated(-earlier.rect.topLeft()), patch.pixels,
                           both.topLeft() - touched.topLeft());
        }
        {
            QPainter p(&patch.pixels);
            p.translate(-touched.topLeft());
            p.setClipRect(touched);
            draw(p);
        }
        patchArea_ += qint64(touched.width()) * touched.height();
        patches_.push_back(std::move(patch));
        if (patches_.size() > kMaxPatches ||
            patchArea_ * kMaxPatchAreaShare > qint64(image_.width()) * image_.height())
            applyPatches();
    }
    imageChanged(touched);
    return true;
}

void PictureBox::resetImage() {
    ownPixels_ = QFuture<QImage>();
    patches_.clear();
    patchArea_ = 0;
    const QSize inner = innerSize();
    if (!picture_.isNull() && picture_.size() == inner) {
        image_ = picture_;  // shared until the first drawing
        return;
    }
    if (inner.isEmpty()) {
        image_ = QImage();
        return;
    }
    image_ = QImage(inner, QImage::Format_RGB32);
    image_.fill(rgbOf(BackColor()));
    if (!picture_.isNull()) {
        QPainter p(&image_);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.drawImage(0, 0, picture_);
    }
}

void PictureBox::fitImageToInner() {
    const QSize inner = innerSize();
    if (image_.size() == inner) return;
    applyPatches();
    if (inner.isEmpty()) {
        image_ = QImage();
        return;
    }
    if (image_.isNull()) {
        resetImage();
        return;
    }
    QImage grown(inner, QImage::Format_RGB32);
    grown.fill(rgbOf(BackColor()));
    {
        QPainter p(&grown);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.drawImage(0, 0, image_);
    }
    image_ = std::move(grown);
}

void PictureBox::resizeEvent(QResizeEvent* event) {
    fitImageToInner();
    QWidget::resizeEvent(event);
}

void PictureBox::imageChanged(const QRect& pixels) { update(toWidget(pixels)); }

void PictureBox::setBackdrop(const QImage& backdrop) {
    backdrop_ = backdrop;
    update();
}

void PictureBox::LineBox(float x1, float y1, float x2, float y2, Colour colour) {
    if (image_.isNull()) return;
    applyPatches();
    const int px1 = toPixels(x1), py1 = toPixels(y1), px2 = toPixels(x2), py2 = toPixels(y2);
    const int w = drawWidth_;
    // The pen is centred on the outline; for even widths the extra pixel goes outwards.
    const QRect outer(QPoint(std::min(px1, px2) - (w - 1) / 2, std::min(py1, py2) - (w - 1) / 2),
                      QPoint(std::max(px1, px2) + w / 2, std::max(py1, py2) + w / 2));
    const QRect inner = outer.adjusted(w, w, -w, -w);

    // The outline as up to four rectangles that do not overlap, so an exclusive-or touches
    // each pixel once.
    QRect bands[4];
    int n = 0;
    if (!inner.isValid()) {
        bands[n++] = outer;
    } else {
        bands[n++] = QRect(outer.left(), outer.top(), outer.width(), w);
        bands[n++] = QRect(outer.left(), inner.bottom() + 1, outer.width(), w);
        bands[n++] = QRect(outer.left(), inner.top(), w, inner.height());
        bands[n++] = QRect(inner.right() + 1, inner.top(), w, inner.height());
    }

    const QRgb rgb = rgbOf(colour);
    // The exclusive-or leaves the alpha byte alone: the image stays opaque.
    const QRgb mask = rgb & 0x00FFFFFFu;
    const bool exclusiveOr = drawMode_ == kDrawModeXorPen;
    const QRect bounds = image_.rect();
    // Writable bits detach the image if it still shares the picture: once per drag, since
    // every later call finds it unshared. From here on only the bands are touched.
    uchar* const bits = image_.bits();
    const qsizetype bytesPerLine = image_.bytesPerLine();
    for (int i = 0; i < n; ++i) {
        const QRect r = bands[i].intersected(bounds);
        if (r.isEmpty()) continue;
        for (int yy = r.top(); yy <= r.bottom(); ++yy) {
            auto* line = reinterpret_cast<QRgb*>(bits + yy * bytesPerLine);
            if (exclusiveOr) {
                for (int xx = r.left(); xx <= r.right(); ++xx) line[xx] ^= mask;
            } else {
                std::fill(line + r.left(), line + r.right() + 1, rgb);
            }
        }
        // Outline only: each band is repainted on its own, never the rectangle's inside.
        update(toWidget(r));
    }
}

void PictureBox::PaintPicture(const QImage& picture, float x, float y, float srcX, float srcY,
                              float srcWidth, float srcHeight) {
    fitImageToInner();
    if (image_.isNull()) return;
    const QRect src(toPixels(srcX), toPixels(srcY), toPixels(srcWidth), toPixels(srcHeight));
    const QPoint dst(toPixels(x), toPixels(y));
    const QRect target = QRect(dst, src.size()).intersected(image_.rect());
    if (target.isEmpty()) return;
    applyPatches();

    QPainter p(&image_);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.fillRect(target, QColor(rgbOf(BackColor())));
    // The part of the source that exists, placed where it belongs in the target.
    const QRect available = src.intersected(picture.rect());
    if (!available.isEmpty())
        p.drawImage(dst + (available.topLeft() - src.topLeft()), picture, available);
    p.end();
    imageChanged(target);
}

void PictureBox::paintEvent(QPaintEvent* event) {
    if (pixelRatio() != ratio_ && !ratioCheckQueued_) {
        // A scale that changed without a word (a Wayland surface on another output): the
        // layout follows once this paint is done.
        ratioCheckQueued_ = true;
        QTimer::singleShot(0, this, &PictureBox::followPixelRatio);
    }
    QPainter p(this);
    const bool picture = backdrop_.isNull();
    const QImage& shown = picture ? image_ : backdrop_;
    // The image is painted in screen pixels, one to one; the start picture is a decoration
    // of the window and takes the window's scale.
    const double ratio = picture ? pixelRatio() : 1.0;
    const int b = picture ? borderOfPixels() : borderPixels();
    const QRect innerRect(QPoint(b, b),
                          picture ? innerSize() : rect().adjusted(b, b, -b, -b).size());
    if (ratio != 1.0) p.scale(1 / ratio, 1 / ratio);
    if (!picture) p.setRenderHint(QPainter::SmoothPixmapTransform);
    const QColor around = palette().color(picture ? QPalette::Base : QPalette::Window);
    // Rectangle by rectangle of the dirty region: its bounding rectangle would be the whole
    // range box when only its outline changed.
    for (const QRect& r : event->region()) {
        const QRect dirty =
            (ratio == 1.0 ? r : toInnerPixels(r).translated(b, b)).intersected(innerRect);
        if (dirty.isEmpty()) continue;
        // A clip of one rectangle lets the raster engine copy the lines as they are; under
        // the clip of the whole region it would blend them span by span, in many threads.
        p.setClipRect(dirty);
        const QRect src = dirty.translated(-b, -b);
        const QRect fromImage = src.intersected(shown.rect());
        if (!fromImage.isEmpty()) p.drawImage(fromImage.topLeft() + QPoint(b, b), shown, fromImage);
        if (picture) {
            for (const Patch& patch : patches_) {
                const QRect part = patch.rect.intersected(fromImage);
                if (!part.isEmpty())
                    p.drawImage(part.topLeft() + QPoint(b, b), patch.pixels,
                                part.translated(-patch.rect.topLeft()));
            }
        }
        // The box is opaque: what the image does not cover must be painted as well.
        for (const QRect& rest : QRegion(src) - QRegion(fromImage))
            p.fillRect(rest.translated(b, b), around);
    }
    p.setClipping(false);
    p.resetTransform();
    if (border_ == Border::Sunken) {
        QStyleOptionFrame opt;
        opt.initFrom(this);
        opt.rect = rect();
        opt.lineWidth = b;
        opt.frameShape = QFrame::Panel;
        opt.state |= QStyle::State_Sunken;
        style()->drawPrimitive(QStyle::PE_Frame, &opt, &p, this);
    }
    if (spareAfterPaint_) {
        spareAfterPaint_ = false;
        // Queued: the backing store puts this frame on the screen once the paint returns.
        QTimer::singleShot(0, this, &PictureBox::keepSpareCopy);
    }
}

void PictureBox::emitMouse(void (PictureBox::*signal)(int, int, float, float), QMouseEvent* event) {
    const int b = borderOfPixels();
    const QPointF pos = event->position() * pixelRatio() - QPointF(b, b);
    const int button =
        event->type() == QEvent::MouseMove ? vbButton(event->buttons()) : vbButton(event->button());
    emit(this->*signal)(button, vbShift(event->modifiers()), fromPixels(std::floor(pos.x())),
                        fromPixels(std::floor(pos.y())));
}

void PictureBox::mousePressEvent(QMouseEvent* e) { emitMouse(&PictureBox::MouseDown, e); }
void PictureBox::mouseMoveEvent(QMouseEvent* e) { emitMouse(&PictureBox::MouseMove, e); }
void PictureBox::mouseReleaseEvent(QMouseEvent* e) { emitMouse(&PictureBox::MouseUp, e); }
// Qt delivers the second press of a quick double click only as the double click: it is a
// press like any other here.
void PictureBox::mouseDoubleClickEvent(QMouseEvent* e) { emitMouse(&PictureBox::MouseDown, e); }

}  // namespace numarika
