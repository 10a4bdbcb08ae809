// Dragging a range on the canvas with real mouse events, and the copy of the range into
// the range buffer.

#include <QAction>
#include <QScrollBar>
#include <QtTest>

#include "main_window/main.h"
#include "tests/canvas/canvas_support.h"
#include "tests/support/scripted_platform.h"
#include "tests/support/test_app.h"

using namespace numarika;
using namespace numarika::testing;

namespace {

constexpr float kTw = kTwipsPerPixel;

// A drag with real mouse events sent to the canvas, positions in canvas pixels.
void drag(main& w, QPoint from, const QList<QPoint>& moves, QPoint release,
          Qt::MouseButton button = Qt::LeftButton, Qt::KeyboardModifiers mods = {}) {
    QTest::mousePress(w.Picture2, button, mods, from);
    for (const QPoint& p : moves) QTest::mouseMove(w.Picture2, p);
    QTest::mouseRelease(w.Picture2, button, mods, release);
}

// The same through the window, so that the events take Qt's own way to the canvas: the
// widget under the press, then the implicit grab until the release. Positions are canvas
// pixels and may lie outside the canvas.
void dragThroughWindow(main& w, QPoint from, const QList<QPoint>& moves, QPoint release) {
    QWindow* window = w.windowHandle();
    const auto at = [&](QPoint p) { return w.Picture2->mapTo(&w, p); };
    QTest::mousePress(window, Qt::LeftButton, {}, at(from));
    for (const QPoint& p : moves) QTest::mouseMove(window, at(p));
    QTest::mouseRelease(window, Qt::LeftButton, {}, at(release));
}

QRgb background(main& w) { return rgbOf(w.Picture4->BackColor()); }

}  // namespace

class TestRangeSelection : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { initTestResources(); }
    void init() { installScriptedPlatform(); }

    void everyDirectionGivesTheSameRange_data() {
        QTest::addColumn<QPoint>("from");
        QTest::addColumn<QPoint>("to");
        QTest::addColumn<int>("button");
        QTest::newRow("down right") << QPoint(20, 10) << QPoint(120, 70) << int(Qt::LeftButton);
        QTest::newRow("up left") << QPoint(120, 70) << QPoint(20, 10) << int(Qt::RightButton);
        QTest::newRow("up right") << QPoint(20, 70) << QPoint(120, 10) << int(Qt::MiddleButton);
        QTest::newRow("down left") << QPoint(120, 10) << QPoint(20, 70) << int(Qt::LeftButton);
    }
    void everyDirectionGivesTheSameRange() {
        QFETCH(QPoint, from);
        QFETCH(QPoint, to);
        QFETCH(int, button);
        const QImage picture = patternPicture(200, 120);
        main w;
        loadPicture(w, picture);
        drag(w, from, {(from + to) / 2, to}, to, Qt::MouseButton(button), Qt::ShiftModifier);

        QCOMPARE(w.sngRangeX[0], 20 * kTw);
        QCOMPARE(w.sngRangeY[0], 10 * kTw);
        QCOMPARE(w.sngRangeWidth, 100 * kTw);
        QCOMPARE(w.sngRangeHeight, 60 * kTw);
        QCOMPARE(w.sngRangeX[1], float(to.x() * kTw));  // the moving end stays where it was
        QCOMPARE(w.sngRangeY[1], float(to.y() * kTw));
        QCOMPARE(w.blnDragging, kFalse);
        QCOMPARE(w.blnBandDrawn, kFalse);
        QVERIFY(w.rangeHeld());
        QCOMPARE(w.Picture4->Width(), 100 * kTw);
        QCOMPARE(w.Picture4->Height(), 60 * kTw);
        COMPARE_IMAGES(w.Picture4->Image(), picture.copy(20, 10, 100, 60));
        // On the canvas: the final box in the pen colour (1) and width (2), nothing else.
        COMPARE_IMAGES(w.Picture2->Image(), withBox(picture, from, to, 2, false, 1));
        COMPARE_IMAGES(w.Picture2->Picture(), picture);
        QCOMPARE(w.Picture2->DrawMode(), kDrawModeCopyPen);
    }

    void upAndLeftLeavesTheMovingEndAlone() {
        const QImage picture = patternPicture(300, 200);
        main w;
        loadPicture(w, picture);
        w.Picture2_MouseDown(1, 0, 3000, 2000);
        w.Picture2_MouseMove(1, 0, 1000, 500);
        w.Picture2_MouseUp(1, 0, 1000, 500);
        QCOMPARE(w.sngRangeX[0], 1000.0f);
        QCOMPARE(w.sngRangeY[0], 500.0f);
        QCOMPARE(w.sngRangeWidth, 2000.0f);
        QCOMPARE(w.sngRangeHeight, 1500.0f);
        QCOMPARE(w.sngRangeX[1], 1000.0f);
        QCOMPARE(w.sngRangeY[1], 500.0f);
        // Twips that are no whole pixels: the nearest pixel, halves to even.
        COMPARE_IMAGES(w.Picture4->Image(), picture.copy(67, 33, 133, 100));
    }

    void zeroWidthKeepsTheStartCorner_data() {
        QTest::addColumn<QPoint>("from");
        QTest::addColumn<QPoint>("to");
        QTest::newRow("downwards") << QPoint(50, 10) << QPoint(50, 40);
        QTest::newRow("upwards") << QPoint(50, 40) << QPoint(50, 10);
        QTest::newRow("leftwards, zero height") << QPoint(80, 30) << QPoint(20, 30);
    }
    void zeroWidthKeepsTheStartCorner() {
        QFETCH(QPoint, from);
        QFETCH(QPoint, to);
        const QImage picture = patternPicture(120, 60);
        main w;
        loadPicture(w, picture);
        drag(w, from, {to}, to);
        // No rule of the normal form applies when one axis did not move.
        QCOMPARE(w.sngRangeX[0], float(from.x() * kTw));
        QCOMPARE(w.sngRangeY[0], float(from.y() * kTw));
        QCOMPARE(w.sngRangeWidth, float(std::abs(to.x() - from.x()) * kTw));
        QCOMPARE(w.sngRangeHeight, float(std::abs(to.y() - from.y()) * kTw));
        QVERIFY(w.rangeHeld());
        QCOMPARE(w.Picture4->Width(), w.sngRangeWidth);
        QCOMPARE(w.Picture4->Height(), w.sngRangeHeight);
        QVERIFY(w.Picture4->Image().isNull());
        COMPARE_IMAGES(w.Picture2->Image(), withBox(picture, from, to, 2, false, 1));
    }

    void rubberBandFollowsThePointer() {
        const QImage picture = patternPicture(200, 150);
        main w;
        loadPicture(w, picture);
        drag(w, {150, 100}, {{170, 130}}, {170, 130});  // leaves element 1 at (170, 130)

        QTest::mousePress(w.Picture2, Qt::LeftButton, {}, {30, 20});
        QCOMPARE(w.blnDragging, kTrue);
        QCOMPARE(w.blnBandDrawn, kFalse);
        COMPARE_IMAGES(w.Picture2->Image(), picture);  // the old box is gone
        QTest::mouseMove(w.Picture2, {90, 60});
        // One inverted box from the press to the pointer; the stale end of the previous drag
        // was not drawn.
        COMPARE_IMAGES(w.Picture2->Image(), withBox(picture, {30, 20}, {90, 60}, 2, true));
        QCOMPARE(w.blnBandDrawn, kTrue);
        QTest::mouseMove(w.Picture2, {60, 100});
        COMPARE_IMAGES(w.Picture2->Image(), withBox(picture, {30, 20}, {60, 100}, 2, true));
        QTest::mouseMove(w.Picture2, {60, 100});  // the same place again
        COMPARE_IMAGES(w.Picture2->Image(), withBox(picture, {30, 20}, {60, 100}, 2, true));
        QCOMPARE(w.Picture2->DrawMode(), kDrawModeXorPen);
    }

    void aDragCopiesThePictureOnce() {
        const QImage picture = patternPicture(400, 300);
        main w;
        loadPicture(w, picture);
        QTest::mousePress(w.Picture2, Qt::LeftButton, {}, {10, 10});
        // Restored by sharing the clean copy; the canvas's own pixels are copied aside.
        QCOMPARE(w.Picture2->Picture().constBits(), w.Picture3->Picture().constBits());
        QTest::mouseMove(w.Picture2, {300, 200});
        const uchar* drawn = w.Picture2->Image().constBits();
        QVERIFY(drawn != w.Picture2->Picture().constBits());
        for (int i = 0; i < 20; ++i) {
            QTest::mouseMove(w.Picture2, {100 + 13 * i, 250 - 7 * i});
            QCOMPARE(w.Picture2->Image().constBits(), drawn);  // drawn in place
        }
        QTest::mouseRelease(w.Picture2, Qt::LeftButton, {}, {0, 0});
        QCOMPARE(w.Picture2->Image().constBits(), drawn);
        QCOMPARE(w.Picture2->Picture().constBits(), w.Picture3->Picture().constBits());
        COMPARE_IMAGES(w.Picture3->Picture(), picture);
    }

    void rangeEndsAtTheLastMove() {
        const QImage picture = patternPicture(200, 150);
        main w;
        loadPicture(w, picture);
        drag(w, {10, 10}, {{40, 30}, {60, 50}}, {90, 80});
        QCOMPARE(w.sngRangeX[1], 60 * kTw);
        QCOMPARE(w.sngRangeY[1], 50 * kTw);
        QCOMPARE(w.sngRangeWidth, 50 * kTw);
        QCOMPARE(w.sngRangeHeight, 40 * kTw);
        COMPARE_IMAGES(w.Picture4->Image(), picture.copy(10, 10, 50, 40));
        // The final box covers the last rubber band exactly: no inverted pixel is left.
        COMPARE_IMAGES(w.Picture2->Image(), withBox(picture, {10, 10}, {60, 50}, 2, false, 1));
    }

    void clickWithoutDragDropsTheRange() {
        const QImage picture = patternPicture(200, 150);
        main w;
        loadPicture(w, picture);
        drag(w, {10, 10}, {{60, 50}}, {60, 50});
        QVERIFY(w.rangeHeld());
        const float width = w.Picture4->Width(), height = w.Picture4->Height();

        QTest::mouseClick(w.Picture2, Qt::LeftButton, {}, {100, 100});
        QVERIFY(!w.rangeHeld());
        QCOMPARE(w.blnDragging, kFalse);
        COMPARE_IMAGES(w.Picture2->Image(), picture);
        // The buffer keeps its size and holds nothing but its background.
        QCOMPARE(w.Picture4->Width(), width);
        QCOMPARE(w.Picture4->Height(), height);
        COMPARE_IMAGES(w.Picture4->Image(), partOf(QImage(), QRect(0, 0, 50, 40), background(w)));
        // The range members keep the last range: they are no longer used.
        QCOMPARE(w.sngRangeWidth, 50 * kTw);
    }

    void aQuickSecondPressStartsARange() {
        // Within the double-click time of a click at the same spot, the press comes as a
        // double click: it still starts the range.
        const QImage picture = patternPicture(200, 150);
        main w;
        loadPicture(w, picture);
        QTest::mouseClick(w.Picture2, Qt::LeftButton, {}, {20, 20});
        // As Qt delivers them, the button held from the second press on.
        const auto send = [&](QEvent::Type type, QPointF at, Qt::MouseButtons held) {
            QMouseEvent event(type, at, w.Picture2->mapToGlobal(at),
                              type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held,
                              Qt::NoModifier);
            QApplication::sendEvent(w.Picture2, &event);
        };
        send(QEvent::MouseButtonDblClick, {20, 20}, Qt::LeftButton);
        send(QEvent::MouseMove, {50, 40}, Qt::LeftButton);
        send(QEvent::MouseMove, {70, 60}, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, {70, 60}, Qt::NoButton);
        QVERIFY(w.rangeHeld());
        COMPARE_IMAGES(w.Picture4->Image(), picture.copy(20, 20, 50, 40));
    }

    void releaseWithoutPressDropsTheRange() {
        const QImage picture = patternPicture(200, 150);
        main w;
        loadPicture(w, picture);
        drag(w, {10, 10}, {{60, 50}}, {60, 50});
        const QImage marked = w.Picture2->Image();
        w.Picture2_MouseMove(1, 0, 1500, 1500);  // idle: nothing happens
        COMPARE_IMAGES(w.Picture2->Image(), marked);
        w.Picture2_MouseUp(1, 0, 1500, 1500);
        QVERIFY(!w.rangeHeld());
        QCOMPARE(w.blnDragging, kFalse);
        COMPARE_IMAGES(w.Picture2->Image(), marked);  // no press, so nothing was restored
    }

    void pressTakesAwayTheCursorOfTheScan() {
        const QImage picture = patternPicture(200, 150);
        main w;
        loadPicture(w, picture);
        // The scan draws the cursor on the canvas's persistent image, not into its picture.
        QImage& image = w.Picture2->drawingImage();
        for (int y = 40; y < 60; ++y)
            for (int x = 30; x < 42; ++x) image.setPixel(x, y, qRgb(0, 0, 0));
        w.Picture2->imageChanged(QRect(30, 40, 12, 20));
        COMPARE_IMAGES(w.Picture2->Picture(), picture);

        drag(w, {20, 30}, {{80, 90}}, {80, 90});
        COMPARE_IMAGES(w.Picture2->Image(), withBox(picture, {20, 30}, {80, 90}, 2, false, 1));
        COMPARE_IMAGES(w.Picture4->Image(), picture.copy(20, 30, 60, 60));
    }

    void secondPressDuringADragStartsAfresh() {
        const QImage picture = patternPicture(200, 150);
        main w;
        loadPicture(w, picture);
        QTest::mousePress(w.Picture2, Qt::LeftButton, {}, {10, 10});
        QTest::mouseMove(w.Picture2, {50, 50});
        QTest::mousePress(w.Picture2, Qt::RightButton, {}, {70, 60});
        COMPARE_IMAGES(w.Picture2->Image(), picture);
        QTest::mouseMove(w.Picture2, {100, 90});
        QTest::mouseRelease(w.Picture2, Qt::LeftButton, {}, {100, 90});
        QCOMPARE(w.sngRangeX[0], 70 * kTw);
        QCOMPARE(w.sngRangeY[0], 60 * kTw);
        COMPARE_IMAGES(w.Picture4->Image(), picture.copy(70, 60, 30, 30));
        COMPARE_IMAGES(w.Picture2->Image(), withBox(picture, {70, 60}, {100, 90}, 2, false, 1));
        // The drag is over: letting go of the other button is a release without a press.
        QTest::mouseRelease(w.Picture2, Qt::RightButton, {}, {100, 90});
        QVERIFY(!w.rangeHeld());
    }

    void rangeBeyondThePictureKeepsItsSize() {
        const QImage picture = patternPicture(200, 120);
        main w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        loadPicture(w, picture);
        // The canvas is smaller than the frame: the pointer leaves it over the frame, and
        // the grab keeps the events on the canvas with positions beyond its size.
        dragThroughWindow(w, {150, 100}, {{190, 110}, {250, 160}}, {250, 160});
        QCOMPARE(w.sngRangeX[1], 250 * kTw);
        QCOMPARE(w.sngRangeY[1], 160 * kTw);
        QCOMPARE(w.Picture4->Width(), 100 * kTw);
        QCOMPARE(w.Picture4->Height(), 60 * kTw);
        COMPARE_IMAGES(w.Picture4->Image(),
                       partOf(picture, QRect(150, 100, 100, 60), background(w)));

        // Up and left past the canvas's origin: negative positions, used as they come.
        dragThroughWindow(w, {30, 20}, {{-10, -5}, {-25, -15}}, {-25, -15});
        QCOMPARE(w.sngRangeX[0], -25 * kTw);
        QCOMPARE(w.sngRangeY[0], -15 * kTw);
        QCOMPARE(w.sngRangeWidth, 55 * kTw);
        QCOMPARE(w.sngRangeHeight, 35 * kTw);
        COMPARE_IMAGES(w.Picture4->Image(),
                       partOf(picture, QRect(-25, -15, 55, 35), background(w)));
        COMPARE_IMAGES(w.Picture2->Image(), withBox(picture, {30, 20}, {-25, -15}, 2, false, 1));
    }

    void scrolledViewCopiesTheSamePart() {
        const QImage picture = patternPicture(1200, 900);
        main w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        loadPicture(w, picture);
        QVERIFY(w.HScroll1->isEnabled() && w.VScroll1->isEnabled());
        w.HScroll1->setValue(25);
        w.VScroll1->setValue(17);
        QCOMPARE(w.Picture2->Left(), -750.0f);
        QCOMPARE(w.Picture2->Top(), -510.0f);
        // A part that is in view: canvas pixels (60, 40) and on.
        dragThroughWindow(w, {60, 40}, {{200, 130}}, {200, 130});
        QCOMPARE(w.sngRangeX[0], 60 * kTw);
        QCOMPARE(w.sngRangeY[0], 40 * kTw);
        COMPARE_IMAGES(w.Picture4->Image(), picture.copy(60, 40, 140, 90));
    }

    void penWidthAtTheNextPressColourAtTheNextRelease() {
        Scripted s = installScriptedPlatform();
        const QImage picture = patternPicture(200, 150);
        main w;
        loadPicture(w, picture);

        QTest::mousePress(w.Picture2, Qt::LeftButton, {}, {20, 20});
        QTest::mouseMove(w.Picture2, {60, 50});
        s.dialogs->inputAnswers.enqueue(QStringLiteral("5"));
        w.m_sen->trigger();
        QCOMPARE(w.gintCurPen, Int16{5});
        s.dialogs->colourAnswers.enqueue(Colour{0x0000C000});
        w.mnuOptionColor->trigger();
        QTest::mouseMove(w.Picture2, {90, 70});
        // Still the width of the press: the band moved without leaving a trace.
        COMPARE_IMAGES(w.Picture2->Image(), withBox(picture, {20, 20}, {90, 70}, 2, true));
        QTest::mouseRelease(w.Picture2, Qt::LeftButton, {}, {90, 70});
        COMPARE_IMAGES(w.Picture2->Image(),
                       withBox(picture, {20, 20}, {90, 70}, 2, false, 0x0000C000));

        drag(w, {40, 30}, {{100, 120}}, {100, 120});
        COMPARE_IMAGES(w.Picture2->Image(),
                       withBox(picture, {40, 30}, {100, 120}, 5, false, 0x0000C000));
        COMPARE_IMAGES(w.Picture4->Image(), picture.copy(40, 30, 60, 90));
    }

    void bufferFollowsTheCanvasPictureNotItsImage() {
        // A range over a picture whose image differs from it (boxes, overlay) still copies
        // the picture, pixel for pixel, also for a range as large as the picture.
        // (QTest takes a press at (0, 0) of a widget for its centre: go through the window.)
        const QImage picture = patternPicture(320, 240);
        main w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        loadPicture(w, picture);
        dragThroughWindow(w, {0, 0}, {{319, 239}}, {319, 239});
        dragThroughWindow(w, {0, 0}, {{100, 100}, {320, 240}}, {320, 240});
        QCOMPARE(w.sngRangeX[0], 0.0f);
        COMPARE_IMAGES(w.Picture4->Image(), picture);
    }

    void clearedCanvasTakesNoPress() {
        const QImage picture = patternPicture(200, 120);
        main w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        loadPicture(w, picture);
        dragThroughWindow(w, {10, 10}, {{50, 40}}, {50, 40});
        QVERIFY(w.rangeHeld());
        const QPoint inCanvas = w.Picture2->mapTo(&w, QPoint(20, 20));
        w.m_cls->trigger();
        QTest::mouseClick(w.windowHandle(), Qt::LeftButton, {}, inCanvas);
        QVERIFY(w.rangeHeld());  // the click did not reach the hidden canvas
        QCOMPARE(w.sngRangeX[0], 10 * kTw);
    }
};

QTEST_MAIN(TestRangeSelection)
#include "test_range_selection.moc"
