// The drawing services of a picture box: the box form of Line in both pen modes, the copy
// of a picture part, Cls, and what reaches the screen after a drawing.

#include <QPainter>
#include <QScreen>
#include <QtTest>
#include <algorithm>
#include <cmath>
#include <limits>

#include "controls/picture_box.h"
#include "tests/canvas/canvas_support.h"
#include "tests/support/picture_checks.h"
#include "tests/support/scripted_platform.h"
#include "tests/support/test_app.h"

using namespace numarika;
using namespace numarika::testing;

namespace {

constexpr float kTw = kTwipsPerPixel;

// The paint events a widget receives, with the area they cover.
class PaintWatcher : public QObject {
  public:
    QRegion painted;
    qint64 area = 0;
    int events = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) {
            const QRegion r = static_cast<QPaintEvent*>(e)->region();
            painted += r;
            for (const QRect& rect : r) area += qint64(rect.width()) * rect.height();
            ++events;
        }
        return false;
    }
};

// A cursor-like shape: opaque, transparent and half-transparent pixels.
QImage translucentShape() {
    QImage shape(12, 16, QImage::Format_ARGB32_Premultiplied);
    shape.fill(Qt::transparent);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x <= std::min(y, 11); ++x)
            shape.setPixel(x, y,
                           x == 0 || y == 15 ? qPremultiply(qRgba(0x20, 0xC0, 0x40, 0x80))
                                             : qRgb(0xF0, 0x30, 0x10));
    return shape;
}

// What the window system shows of a top-level widget: its backing store.
QImage onScreen(QWidget& w) {
    return w.screen()
        ->grabWindow(w.winId(), 0, 0, w.width(), w.height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

}  // namespace

class TestPictureBox : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { initTestResources(); }
    void init() { installScriptedPlatform(); }

    void exclusiveOrBoxTwiceRestoresEveryPixel_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<QPoint>("a");
        QTest::addColumn<QPoint>("b");
        const struct {
            const char* name;
            QPoint a, b;
        } boxes[] = {
            {"inside", {5, 4}, {30, 20}},
            {"corners reversed", {30, 20}, {5, 4}},
            {"other diagonal", {5, 20}, {30, 4}},
            {"over the top left", {-3, -2}, {10, 8}},
            {"over the bottom right", {35, 25}, {50, 40}},
            {"around the picture", {-5, -5}, {45, 35}},
            {"outside", {60, 50}, {70, 60}},
            {"zero width", {12, 3}, {12, 25}},
            {"zero height", {3, 12}, {25, 12}},
            {"one point", {7, 7}, {7, 7}},
            {"two by two", {10, 10}, {11, 11}},
            {"zero width on the edge", {0, -4}, {0, 40}},
        };
        for (int width = 1; width <= 6; ++width)
            for (const auto& box : boxes)
                QTest::addRow("%s, width %d", box.name, width) << width << box.a << box.b;
    }
    void exclusiveOrBoxTwiceRestoresEveryPixel() {
        QFETCH(int, width);
        QFETCH(QPoint, a);
        QFETCH(QPoint, b);
        const QImage picture = patternPicture(40, 30);
        PictureBox box(nullptr);
        box.setPicture(picture);
        box.setDrawWidth(width);
        box.setDrawMode(kDrawModeXorPen);

        box.LineBox(a.x() * kTw, a.y() * kTw, b.x() * kTw, b.y() * kTw, 0xFFFFFF);
        COMPARE_IMAGES(box.Image(), withBox(picture, a, b, width, true));
        box.LineBox(a.x() * kTw, a.y() * kTw, b.x() * kTw, b.y() * kTw, 0xFFFFFF);
        COMPARE_IMAGES(box.Image(), picture);
        // The picture itself was never drawn on.
        COMPARE_IMAGES(box.Picture(), picture);

        box.setDrawMode(kDrawModeCopyPen);
        box.LineBox(a.x() * kTw, a.y() * kTw, b.x() * kTw, b.y() * kTw, 0x00336699);
        COMPARE_IMAGES(box.Image(), withBox(picture, a, b, width, false, 0x00336699));
    }

    void exclusiveOrWithAColourFlipsOnlyItsBits() {
        const QImage picture = patternPicture(20, 20);
        PictureBox box(nullptr);
        box.setPicture(picture);
        box.setDrawMode(kDrawModeXorPen);
        box.LineBox(2 * kTw, 2 * kTw, 2 * kTw, 2 * kTw, 0x000000FF);  // red
        const QRgb before = picture.pixel(2, 2), after = box.Image().pixel(2, 2);
        QCOMPARE(qRed(after), qRed(before) ^ 0xFF);
        QCOMPARE(qGreen(after), qGreen(before));
        QCOMPARE(qBlue(after), qBlue(before));
        QCOMPARE(qAlpha(after), 255);
    }

    void coordinatesFarOutsideStayExact() {
        const QImage picture = patternPicture(30, 20);
        PictureBox box(nullptr);
        box.setPicture(picture);
        box.setDrawMode(kDrawModeXorPen);
        box.setDrawWidth(3);
        const float inf = std::numeric_limits<float>::infinity();
        for (int round = 0; round < 2; ++round) {
            box.LineBox(-1e30f, 5 * kTw, 1e30f, 12 * kTw, 0xFFFFFF);
            box.LineBox(-inf, -inf, inf, 8 * kTw, 0xFFFFFF);
        }
        COMPARE_IMAGES(box.Image(), picture);
        // Once is visible: the rows of the horizontal edges inside the picture are inverted.
        box.LineBox(-1e30f, 5 * kTw, 1e30f, 12 * kTw, 0xFFFFFF);
        QCOMPARE(box.Image().pixel(15, 5), picture.pixel(15, 5) ^ 0x00FFFFFFu);
        QCOMPARE(box.Image().pixel(15, 8), picture.pixel(15, 8));
    }

    void drawWidthIsAtLeastOnePixel() {
        PictureBox box(nullptr);
        box.setDrawWidth(0);
        QCOMPARE(box.DrawWidth(), 1);
        box.setDrawWidth(-4);
        QCOMPARE(box.DrawWidth(), 1);
        box.setDrawWidth(6);
        QCOMPARE(box.DrawWidth(), 6);
    }

    void clsRemovesTheDrawingAndKeepsThePicture() {
        const QImage picture = patternPicture(25, 15);
        PictureBox box(nullptr);
        box.setPicture(picture);
        box.setDrawWidth(2);
        box.LineBox(0, 0, 10 * kTw, 10 * kTw, 0xFF);
        box.drawingImage().setPixel(20, 12, qRgb(1, 2, 3));
        QVERIFY(box.Image() != picture);
        box.Cls();
        COMPARE_IMAGES(box.Image(), picture);

        // Without a picture Cls leaves the background colour at the box's size.
        PictureBox empty(nullptr);
        empty.setAutoSize(false);
        empty.setGeometry(0, 0, 12, 7);
        empty.Cls();
        COMPARE_IMAGES(empty.Image(),
                       partOf(QImage(), QRect(0, 0, 12, 7), rgbOf(empty.BackColor())));
    }

    void paintPictureCopiesOneToOne_data() {
        QTest::addColumn<QRect>("part");  // pixels of the source
        QTest::newRow("inside") << QRect(7, 5, 20, 11);
        QTest::newRow("whole picture") << QRect(0, 0, 40, 30);
        QTest::newRow("over the bottom right") << QRect(30, 22, 25, 14);
        QTest::newRow("over the top left") << QRect(-6, -3, 12, 9);
        QTest::newRow("around the picture") << QRect(-2, -2, 44, 34);
        QTest::newRow("outside") << QRect(50, 40, 5, 5);
        QTest::newRow("one pixel") << QRect(39, 29, 1, 1);
    }
    void paintPictureCopiesOneToOne() {
        QFETCH(QRect, part);
        const QImage picture = patternPicture(40, 30);
        PictureBox buffer(nullptr);
        buffer.setAutoSize(false);
        buffer.setWidth(part.width() * kTw);
        buffer.setHeight(part.height() * kTw);
        buffer.PaintPicture(picture, 0, 0, part.x() * kTw, part.y() * kTw, part.width() * kTw,
                            part.height() * kTw);
        COMPARE_IMAGES(buffer.Image(), partOf(picture, part, rgbOf(buffer.BackColor())));

        // The same in the pixel scale.
        PictureBox pixels(nullptr);
        pixels.setAutoSize(false);
        pixels.setScaleMode(kScalePixels);
        pixels.setGeometry(0, 0, part.width(), part.height());
        pixels.PaintPicture(picture, 0, 0, part.x(), part.y(), part.width(), part.height());
        COMPARE_IMAGES(pixels.Image(), buffer.Image());
    }

    void paintPictureReplacesWhatWasThere() {
        const QImage picture = patternPicture(40, 30);
        PictureBox buffer(nullptr);
        buffer.setAutoSize(false);
        buffer.setGeometry(0, 0, 10, 10);
        buffer.drawingImage().fill(qRgb(9, 9, 9));
        // A part larger than the buffer is cut at the buffer's edge, not shrunk.
        buffer.PaintPicture(picture, 0, 0, 3 * kTw, 4 * kTw, 30 * kTw, 20 * kTw);
        COMPARE_IMAGES(buffer.Image(), picture.copy(3, 4, 10, 10));
    }

    void sizeFollowsAtOnceWhileHidden() {
        PictureBox buffer(nullptr);
        buffer.setAutoSize(false);
        QVERIFY(!buffer.isVisible());
        buffer.setWidth(14 * kTw);
        buffer.setHeight(6 * kTw);
        QCOMPARE(buffer.Image().size(), QSize(14, 6));
        QCOMPARE(buffer.ScaleWidth(), 14 * kTw);
        buffer.setWidth(0);
        QVERIFY(buffer.Image().isNull());
    }

    // Only the outline is repainted, and what the screen shows afterwards is the image.
    void screenFollowsTheOutlineOnly() {
        const QImage picture = patternPicture(600, 400);
        PictureBox box(nullptr);
        box.setPicture(picture);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        QTRY_COMPARE(onScreen(box), picture);

        PaintWatcher watcher;
        box.installEventFilter(&watcher);
        box.setDrawWidth(3);
        box.setDrawMode(kDrawModeXorPen);
        box.LineBox(10 * kTw, 12 * kTw, 580 * kTw, 390 * kTw, 0xFFFFFF);
        QTRY_VERIFY(watcher.events > 0);
        // The four edges of a 3-pixel pen, nothing of the inside.
        const qint64 outline = 2 * 3 * (573 + 381);
        QVERIFY2(watcher.area <= outline, qPrintable(QString::number(watcher.area)));
        QVERIFY(!watcher.painted.contains(QPoint(300, 200)));
        COMPARE_IMAGES(onScreen(box), withBox(picture, {10, 12}, {580, 390}, 3, true));

        watcher.area = 0;
        box.LineBox(10 * kTw, 12 * kTw, 580 * kTw, 390 * kTw, 0xFFFFFF);
        QTRY_VERIFY(watcher.area > 0);
        COMPARE_IMAGES(onScreen(box), picture);
    }

    // --- small drawings over a shared picture ---------------------------------------------------

    void smallDrawingsOverASharedPictureAreKeptAside_data() {
        QTest::addColumn<QList<QPoint>>("places");  // top-left corners of the shape, in turn
        QTest::newRow("inside") << QList<QPoint>{{50, 40}};
        QTest::newRow("odd place") << QList<QPoint>{{13, 7}};
        QTest::newRow("over the top left") << QList<QPoint>{{-5, -9}};
        QTest::newRow("over the bottom right") << QList<QPoint>{{190, 140}};
        QTest::newRow("two apart") << QList<QPoint>{{10, 10}, {120, 90}};
        // The second over the first blends with it, not with the picture below.
        QTest::newRow("overlapping") << QList<QPoint>{{30, 30}, {36, 33}, {33, 40}};
        QTest::newRow("the same place twice") << QList<QPoint>{{70, 20}, {70, 20}};
    }
    void smallDrawingsOverASharedPictureAreKeptAside() {
        QFETCH(QList<QPoint>, places);
        const QImage picture = patternPicture(200, 150);
        const QImage shape = translucentShape();
        PictureBox box(nullptr);
        box.setPicture(picture);

        // The reference: every drawing done on a copy of the whole picture.
        QImage expected = picture.copy();
        for (const QPoint& at : places) {
            QPainter(&expected).drawImage(at, shape);
            QVERIFY(box.drawSmall(QRect(at, shape.size()),
                                  [&](QPainter& p) { p.drawImage(at, shape); }));
        }
        QCOMPARE(box.patchCount(), places.size());
        // The picture, and whoever shares it, never saw the drawings.
        COMPARE_IMAGES(box.Picture(), picture);
        QCOMPARE(box.Picture().constBits(), picture.constBits());
        COMPARE_IMAGES(box.Image(), expected);
        QCOMPARE(box.patchCount(), 0);
        QVERIFY(box.Image().constBits() != picture.constBits());
        COMPARE_IMAGES(picture, patternPicture(200, 150));
    }

    void smallDrawingStaysInsideItsRectangle() {
        const QImage picture = patternPicture(100, 80);
        PictureBox box(nullptr);
        box.setPicture(picture);
        // A drawing that strays beyond the rectangle it announced is cut there, whether kept
        // aside or drawn in place.
        for (int round = 0; round < 2; ++round) {
            QVERIFY(box.drawSmall(QRect(10, 10, 5, 5),
                                  [](QPainter& p) { p.fillRect(0, 0, 100, 80, Qt::green); }));
            QImage expected = picture.copy();
            QPainter(&expected).fillRect(10, 10, 5, 5, Qt::green);
            COMPARE_IMAGES(box.Image(), expected);
        }
        // Nothing of the image there: nothing drawn, nothing kept.
        bool called = false;
        QVERIFY(!box.drawSmall(QRect(100, 10, 5, 5), [&](QPainter&) { called = true; }));
        QVERIFY(!box.drawSmall(QRect(-5, -5, 5, 5), [&](QPainter&) { called = true; }));
        QVERIFY(!called);
        QCOMPARE(box.patchCount(), 0);
    }

    void anImageOfItsOwnIsDrawnInPlace() {
        PictureBox box(nullptr);
        box.setAutoSize(false);
        box.setWidth(60 * kTw);  // no picture: the background at the box's size
        box.setHeight(40 * kTw);
        const QImage before = box.Image().copy();
        QVERIFY(box.drawSmall(QRect(5, 5, 12, 16),
                              [&](QPainter& p) { p.drawImage(5, 5, translucentShape()); }));
        QCOMPARE(box.patchCount(), 0);
        QImage expected = before;
        QPainter(&expected).drawImage(5, 5, translucentShape());
        COMPARE_IMAGES(box.Image(), expected);
    }

    // The copy kept for the next drag waits for the paint of the new picture, is of the
    // picture shown then, and the drag's pixels are its own.
    void theSpareCopyFollowsThePaintOfThePictureShown() {
        const QImage first = patternPicture(120, 90);
        const QImage second = mirroredPicture(first, true, false);
        PictureBox box(nullptr);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        PaintWatcher watcher;
        box.installEventFilter(&watcher);
        box.setPicture(first);
        box.keepSpareCopyAfterPaint();
        QVERIFY(!box.hasSpareCopy());
        box.setPicture(second);  // replaced before it was painted
        QTRY_VERIFY(box.hasSpareCopy());
        QVERIFY(watcher.events > 0);

        box.prepareOwnPixels();
        QPainter(&box.drawingImage()).fillRect(10, 10, 20, 20, Qt::green);
        QImage expected = second.copy();
        QPainter(&expected).fillRect(10, 10, 20, 20, Qt::green);
        COMPARE_IMAGES(box.Image(), expected);
        COMPARE_IMAGES(box.Picture(), second);
    }

    void aNewPictureOrClsDropsTheDrawingsKeptAside() {
        const QImage picture = patternPicture(120, 90);
        const QImage other = mirroredPicture(patternPicture(120, 90), true, false);
        PictureBox box(nullptr);
        box.setPicture(picture);
        const auto draw = [&] {
            return box.drawSmall(QRect(20, 20, 12, 16),
                                 [](QPainter& p) { p.drawImage(20, 20, translucentShape()); });
        };
        QVERIFY(draw());
        // What a press on the canvas does: the clean picture again.
        box.setPicture(other);
        QCOMPARE(box.patchCount(), 0);
        COMPARE_IMAGES(box.Image(), other);
        QVERIFY(draw());
        box.Cls();
        QCOMPARE(box.patchCount(), 0);
        COMPARE_IMAGES(box.Image(), other);
    }

    void otherDrawingsComeOnTopOfTheDrawingsKeptAside() {
        const QImage picture = patternPicture(120, 90);
        const QImage shape = translucentShape();
        const auto withShape = [&] {
            QImage out = picture.copy();
            QPainter(&out).drawImage(40, 30, shape);
            return out;
        };
        const auto drawShape = [&](PictureBox& box) {
            QVERIFY(box.drawSmall(QRect(QPoint(40, 30), shape.size()),
                                  [&](QPainter& p) { p.drawImage(40, 30, shape); }));
            QCOMPARE(box.patchCount(), 1);
        };

        // An exclusive-or box across the shape, twice: the shape is back as it was.
        PictureBox box(nullptr);
        box.setPicture(picture);
        drawShape(box);
        box.setDrawMode(kDrawModeXorPen);
        box.setDrawWidth(3);
        box.LineBox(35 * kTw, 35 * kTw, 80 * kTw, 60 * kTw, 0xFFFFFF);
        COMPARE_IMAGES(box.Image(), withBox(withShape(), {35, 35}, {80, 60}, 3, true));
        box.LineBox(35 * kTw, 35 * kTw, 80 * kTw, 60 * kTw, 0xFFFFFF);
        COMPARE_IMAGES(box.Image(), withShape());

        // A part copied over the shape replaces it there.
        PictureBox copied(nullptr);
        copied.setPicture(picture);
        drawShape(copied);
        const QImage source = mirroredPicture(patternPicture(30, 30), false, true);
        copied.PaintPicture(source, 44 * kTw, 30 * kTw, 0, 0, 30 * kTw, 30 * kTw);
        QImage expected = withShape();
        QPainter(&expected).drawImage(44, 30, source);
        COMPARE_IMAGES(copied.Image(), expected);

        // Direct access, and a box grown beyond its picture, keep the shape.
        PictureBox direct(nullptr);
        direct.setPicture(picture);
        drawShape(direct);
        direct.drawingImage().setPixel(0, 0, qRgb(1, 2, 3));
        expected = withShape();
        expected.setPixel(0, 0, qRgb(1, 2, 3));
        COMPARE_IMAGES(direct.Image(), expected);

        PictureBox grown(nullptr);
        grown.setPicture(picture);
        drawShape(grown);
        grown.setAutoSize(false);
        grown.setWidth(130 * kTw);
        expected = partOf(withShape(), QRect(0, 0, 130, 90), rgbOf(grown.BackColor()));
        COMPARE_IMAGES(grown.Image(), expected);
    }

    void manySmallDrawingsEndUpInTheImage() {
        const QImage picture = patternPicture(160, 120);
        PictureBox box(nullptr);
        box.setPicture(picture);
        QImage expected = picture.copy();
        for (int i = 0; i < 100; ++i) {
            const QRect r((i * 37) % 150, (i * 23) % 110, 9, 7);
            const QColor colour = QColor::fromRgb(qRgb(i, 255 - i, i * 2));
            QPainter(&expected).fillRect(r, colour);
            QVERIFY(box.drawSmall(r, [&](QPainter& p) { p.fillRect(r, colour); }));
            // Kept aside only while they are few and small beside the picture.
            QVERIFY(box.patchCount() <= 32);
            QVERIFY(qint64(box.patchCount()) * 9 * 7 * 16 <= 160 * 120);
        }
        COMPARE_IMAGES(box.Image(), expected);
    }

    // The screen shows the drawings kept aside, and only their rectangles are repainted.
    void screenShowsTheDrawingsKeptAside() {
        const QImage picture = patternPicture(400, 300);
        const QImage shape = translucentShape();
        PictureBox box(nullptr);
        box.setPicture(picture);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        QTRY_COMPARE(onScreen(box), picture);

        PaintWatcher watcher;
        box.installEventFilter(&watcher);
        for (const QPoint at : {QPoint(100, 80), QPoint(105, 84), QPoint(392, 290)}) {
            QVERIFY(box.drawSmall(QRect(at, shape.size()),
                                  [&](QPainter& p) { p.drawImage(at, shape); }));
        }
        QCOMPARE(box.patchCount(), 3);
        const QRegion drawn =
            QRegion(100, 80, 12, 16) + QRegion(105, 84, 12, 16) + QRegion(392, 290, 8, 10);
        QTRY_VERIFY((drawn - watcher.painted).isEmpty());
        QVERIFY2((watcher.painted - drawn).isEmpty(), "repainted beyond the drawings");
        const QImage shown = onScreen(box);
        QCOMPARE(box.patchCount(), 3);  // painting keeps them aside
        COMPARE_IMAGES(shown, box.Image());
        QImage expected = picture.copy();
        QPainter p(&expected);
        p.drawImage(100, 80, shape);
        p.drawImage(105, 84, shape);
        p.drawImage(392, 290, shape);
        p.end();
        COMPARE_IMAGES(shown, expected);
    }

    void boxWithoutImageAreaPaintsItsBackground() {
        PictureBox buffer(nullptr);
        buffer.setAutoSize(false);
        buffer.resize(30, 20);
        buffer.show();
        QVERIFY(QTest::qWaitForWindowExposed(&buffer));
        const QImage expected = partOf(QImage(), QRect(0, 0, 30, 20), rgbOf(buffer.BackColor()));
        QTRY_COMPARE(onScreen(buffer), expected);
    }
};

QTEST_MAIN(TestPictureBox)
#include "test_picture_box.moc"
