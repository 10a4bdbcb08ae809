#pragma once
// A picture box: a child window that shows a base picture (`Picture`) with a persistent
// drawn image over it (`Image`), and draws in its own scale (twips or pixels). Positions and
// sizes are twips of the container, as for every control of the program.
//
// Its pixels are the screen's own (device pixels): on a scaled desktop a screen picture is
// shown one picture pixel to one screen pixel, and everything drawn or pointed at on it is
// in those pixels. A box inside another box is placed in that box's pixels; a box on a plain
// widget is placed in the window's (scaled) units like any other control.

#include <QFuture>
#include <QImage>
#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

#include "controls/win_types.h"

class QPainter;

namespace numarika {

inline constexpr int kScaleTwips = 1;
inline constexpr int kScalePixels = 3;
inline constexpr int kDrawModeXorPen = 7;
inline constexpr int kDrawModeCopyPen = 13;

class PictureBox : public QWidget {
    Q_OBJECT
  public:
    enum class Border { None, Sunken };
    explicit PictureBox(QWidget* parent, Border border = Border::None);
    ~PictureBox() override;

    // Outer position and size, twips of the container.
    float Left() const;
    float Top() const;
    float Width() const;
    float Height() const;
    void setLeft(float twips);
    void setTop(float twips);
    void setWidth(float twips);
    void setHeight(float twips);
    void Move(float left, float top, float width, float height);

    // Inner size in the current scale.
    float ScaleWidth() const;
    float ScaleHeight() const;
    int ScaleMode() const { return scaleMode_; }
    void setScaleMode(int mode) { scaleMode_ = mode; }

    bool Visible() const { return isVisibleTo(parentWidget()); }

    bool AutoRedraw() const { return autoRedraw_; }
    void setAutoRedraw(bool on) { autoRedraw_ = on; }
    bool AutoSize() const { return autoSize_; }
    void setAutoSize(bool on) { autoSize_ = on; }

    // The base picture. Assigning one replaces everything drawn before; with AutoSize the
    // box takes the picture's size.
    const QImage& Picture() const { return picture_; }
    void setPicture(const QImage& picture);
    // The persistent image: the picture with everything drawn on it, at the inner size.
    // Small drawings kept aside (see drawSmall) are put into it first.
    const QImage& Image() const;
    // Its size, without putting anything into it.
    QSize imageSize() const { return image_.size(); }
    // Removes everything drawn; the picture stays.
    void Cls();

    int DrawWidth() const { return drawWidth_; }
    void setDrawWidth(int pixels) { drawWidth_ = pixels < 1 ? 1 : pixels; }
    int DrawMode() const { return drawMode_; }
    void setDrawMode(int mode) { drawMode_ = mode; }
    Colour BackColor() const;

    // Line with the box option: the outline of the rectangle with corners (x1, y1) and
    // (x2, y2), DrawWidth pixels wide and centred on the corners' pixels (an even width puts
    // its extra pixel outside), with the current DrawMode. The exclusive-or pen touches every
    // pixel of the outline exactly once, so a second identical call restores them; only the
    // outline is repainted, whatever the size of the rectangle.
    void LineBox(float x1, float y1, float x2, float y2, Colour colour);

    // Copies a part of `picture` one to one to (x, y): no stretching, and the size of the
    // part decides how much is copied. Coordinates are in this box's scale; where the source
    // part lies outside the picture the background colour is used.
    void PaintPicture(const QImage& picture, float x, float y, float srcX, float srcY,
                      float srcWidth, float srcHeight);

    // The device context of the persistent image, and the box behind a device context.
    Int32 hDC() const { return hdc_; }
    static PictureBox* fromDC(Int32 hdc);
    // Direct access for platform services that draw on the persistent image; call
    // imageChanged() with the touched pixels afterwards.
    QImage& drawingImage();
    void imageChanged(const QRect& pixels);

    // A small drawing on the persistent image: `draw` paints in pixels of the image, clipped
    // to `pixels`, and that part is repainted. While the image still shares its pixels with
    // the picture (and so with everyone who holds the picture), the drawing goes into a patch
    // of that size kept over the image instead of a copy of the whole image: the screen shows
    // the patches over the image, and Image(), drawingImage() and the other drawing calls put
    // them into it first. False when `pixels` misses the image.
    bool drawSmall(const QRect& pixels, const std::function<void(QPainter&)>& draw);
    // The drawings kept aside now; 0 once the image holds them all.
    int patchCount() const { return static_cast<int>(patches_.size()); }

    // Gives the persistent image pixels of its own, copied on another thread, when it still
    // shares them with the picture: a drag is about to draw on it, and its first movement
    // should not wait for a copy of the whole picture. The copy is taken at the first drawing
    // (waiting for it only if it is not done yet) and dropped when the picture changes.
    void prepareOwnPixels();
    // Keeps a copy of the bare picture, made on another thread, for the next
    // prepareOwnPixels() with the same picture: the next drag then starts on pixels of its
    // own at once. Given up when another picture comes.
    void keepSpareCopy();
    // The same, begun once the box has next been painted and the frame put on the screen: a
    // copy made while a new picture is painted shares the memory with that paint. Without a
    // paint, the next drag makes its copy itself.
    void keepSpareCopyAfterPaint() { spareAfterPaint_ = true; }
    bool hasSpareCopy() const { return spare_.isValid() && spareOf_ == picture_.cacheKey(); }

    int borderPixels() const { return border_ == Border::Sunken ? 2 : 0; }
    // A picture shown when nothing else is (the viewport's start picture).
    void setBackdrop(const QImage& backdrop);

    // Pixel <-> scale-unit conversion for this box. Positions far outside any picture are
    // clamped to a range that keeps the pixel arithmetic exact.
    int toPixels(double units) const;
    float fromPixels(double pixels) const;

    // Screen pixels per unit of the window: the desktop's scale where the box is shown.
    double pixelRatio() const;

  signals:
    // The desktop's scale changed under the box (the window went to another monitor, or the
    // monitor's scale changed): its inside has another size in pixels now.
    void pixelRatioChanged();

    void MouseDown(int button, int shift, float x, float y);
    void MouseMove(int button, int shift, float x, float y);
    void MouseUp(int button, int shift, float x, float y);

  protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    QSize innerSize() const;
    int containerOffset() const;
    // The box inside another box: its place there is kept in that box's pixels, which the
    // widget's own (scaled) geometry may not hold exactly.
    const PictureBox* containerBox() const;
    // Outer rectangle in the container's units: pixels of a containing box, else the
    // widget's geometry.
    QRect placed() const;
    void place(const QRect& rect);
    QRect widgetRectFor(const QRect& pixels, double ratio) const;
    // Pixels of the inside <-> units of the widget, rounded outwards.
    QRect toWidget(const QRect& pixels) const;
    QRect toInnerPixels(const QRect& widgetRect) const;
    int borderOfPixels() const;
    void followPixelRatio();
    void fitImageToInner();
    void resetImage();
    // Puts the patches into the image (which then has pixels of its own) and drops them.
    void applyPatches() const;
    // The copy made by prepareOwnPixels() becomes the image, if the image is still what it
    // was copied from.
    void takePreparedPixels() const;
    void emitMouse(void (PictureBox::*signal)(int, int, float, float), QMouseEvent* event);

    Border border_;
    mutable QRect placed_;
    double placedRatio_ = 1;  // the scale the widget's geometry was worked out for
    QRect placedGeometry_;    // and that geometry
    double ratio_ = 1;        // the scale the box last followed
    bool ratioCheckQueued_ = false;
    // A drawn part of the image kept aside: the pixels of `rect` as they are with the drawing.
    struct Patch {
        QRect rect;
        QImage pixels;
    };

    QImage picture_;
    // Mutable: reading the whole image puts the patches into it first.
    mutable QImage image_;
    mutable std::vector<Patch> patches_;
    mutable qint64 patchArea_ = 0;
    mutable QFuture<QImage> ownPixels_;
    mutable qint64 ownPixelsOf_ = 0;  // the cache key of the image they copy
    QFuture<QImage> spare_;
    qint64 spareOf_ = 0;  // the cache key of the picture it copies
    bool spareAfterPaint_ = false;
    QImage backdrop_;
    int scaleMode_ = kScaleTwips;
    bool autoRedraw_ = false;
    bool autoSize_ = true;
    int drawWidth_ = 1;
    int drawMode_ = kDrawModeCopyPen;
    Int32 hdc_;
};

}  // namespace numarika
