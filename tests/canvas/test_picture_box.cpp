// The drawing services of a picture box: the box form of Line in both pen modes, the copy
// of a picture part, Cls, and what reaches the screen after a drawing.

#include <QScreen>
#include <QtTest>
#include <cmath>
#include <limits>

#include "platform/picture_box.h"
#include "tests/canvas/canvas_support.h"
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
