// The view follows the window: frame and scroll bars fit the client area, a small canvas is
// centred, a large one scrolls in steps of 30 twips and keeps its place across resizes.

#include <QScrollBar>
#include <QtTest>

#include "controls/twips.h"
#include "main_window/main.h"
#include "tests/support/scripted_platform.h"
#include "tests/support/test_app.h"

using namespace numarika;
using namespace numarika::testing;

namespace {

// The window as the program shows it: visible and laid out.
void open(main& w) {
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
}

// A canvas of the given size in pixels, as a scan leaves it.
void giveCanvas(main& w, int widthPx, int heightPx) {
    QImage picture(widthPx, heightPx, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    w.Picture2->setPicture(picture);
    w.Picture2->show();
    w.Form_Resize();
}

// Client size in twips, whatever the frame around it.
void setClient(main& w, float widthTw, float heightTw) {
    w.resize(qRound(widthTw / 15), w.height() - w.client->height() + qRound(heightTw / 15));
}

}  // namespace

class TestLayout : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { initTestResources(); }
    void init() { installScriptedPlatform(); }

    void startUpCentresTheDesignCanvasWithBothBarsDisabled() {
        main w;
        open(w);
        QVERIFY(!w.VScroll1->isEnabled());
        QVERIFY(!w.HScroll1->isEnabled());
        // Bars along the client edges, the frame 15 twips short of each bar.
        QCOMPARE(w.VScroll1->height() * 15.0f, w.ScaleHeight() - w.HScroll1->height() * 15.0f);
        QCOMPARE(w.HScroll1->y(), w.VScroll1->height());
        QCOMPARE(w.VScroll1->x(), w.HScroll1->width());
        QCOMPARE(w.Picture1->Height(), w.VScroll1->height() * 15.0f - 15);
        QCOMPARE(w.Picture1->Width(), w.HScroll1->width() * 15.0f - 15);
        // Centred: equal margins, to the pixel.
        const float top = w.Picture2->Top(), left = w.Picture2->Left();
        QVERIFY(top > 0 && left > 0);
        QVERIFY(qAbs((w.Picture1->ScaleHeight() - w.Picture2->Height()) / 2 - top) <= 7.5f);
        QVERIFY(qAbs((w.Picture1->ScaleWidth() - w.Picture2->Width()) / 2 - left) <= 7.5f);
    }

    void smallCanvasIsCentredAndBarsKeepTheirValues() {
        main w;
        open(w);
        w.VScroll1->setValue(5);
        w.HScroll1->setValue(7);
        giveCanvas(w, 100, 60);
        QVERIFY(!w.VScroll1->isEnabled() && !w.HScroll1->isEnabled());
        QCOMPARE(w.VScroll1->value(), 5);
        QCOMPARE(w.HScroll1->value(), 7);
        QVERIFY(qAbs((w.Picture1->ScaleHeight() - w.Picture2->Height()) / 2 - w.Picture2->Top()) <=
                7.5f);
        QVERIFY(qAbs((w.Picture1->ScaleWidth() - w.Picture2->Width()) / 2 - w.Picture2->Left()) <=
                7.5f);
    }

    void canvasExactlyAsTallAsTheFrameScrollsWithMaxZero() {
        main w;
        open(w);
        const int innerPx = qRound(w.Picture1->ScaleHeight() / 15);
        giveCanvas(w, 50, innerPx);
        QVERIFY(w.VScroll1->isEnabled());
        QCOMPARE(w.VScroll1->maximum(), 0);
        QCOMPARE(w.Picture2->Top(), 0.0f);
        QVERIFY(!w.HScroll1->isEnabled());
    }

    void maxRoundsHalvesToEven_data() {
        QTest::addColumn<int>("excessPx");
        QTest::addColumn<int>("expectedMax");
        QTest::newRow("45 twips") << 3 << 2;   // 1.5 -> 2
        QTest::newRow("75 twips") << 5 << 2;   // 2.5 -> 2
        QTest::newRow("105 twips") << 7 << 4;  // 3.5 -> 4
        QTest::newRow("30 twips") << 2 << 1;
    }
    void maxRoundsHalvesToEven() {
        QFETCH(int, excessPx);
        QFETCH(int, expectedMax);
        main w;
        open(w);
        const int innerPx = qRound(w.Picture1->ScaleHeight() / 15);
        giveCanvas(w, 50, innerPx + excessPx);
        QCOMPARE(w.VScroll1->maximum(), expectedMax);
    }

    void offsetsSnapToTheNearestStepHalvesToEven_data() {
        QTest::addColumn<int>("offsetPx");
        QTest::addColumn<int>("expectedValue");
        QTest::newRow("-45 twips: 1.5 -> 2") << -3 << 2;
        QTest::newRow("-75 twips: 2.5 -> 2") << -5 << 2;
        QTest::newRow("-105 twips: 3.5 -> 4") << -7 << 4;
        QTest::newRow("-60 twips: exact") << -4 << 2;
        QTest::newRow("-15 twips: 0.5 -> 0") << -1 << 0;
    }
    void offsetsSnapToTheNearestStepHalvesToEven() {
        QFETCH(int, offsetPx);
        QFETCH(int, expectedValue);
        main w;
        open(w);
        giveCanvas(w, 2000, 1500);
        w.Picture2->move(w.Picture2->x(), 2 + offsetPx);  // inside the frame's 2-pixel border
        QCOMPARE(w.Picture2->Top(), offsetPx * 15.0f);
        w.Form_Resize();
        QCOMPARE(w.VScroll1->value(), expectedValue);
        QCOMPARE(w.Picture2->Top(), -30.0f * expectedValue);
    }

    void centredCanvasThatGrowsStartsAtTheTop() {
        main w;
        open(w);
        w.VScroll1->setValue(3);
        giveCanvas(w, 100, 60);
        QVERIFY(w.Picture2->Top() > 0);
        QCOMPARE(w.VScroll1->value(), 3);
        giveCanvas(w, 2000, 1500);
        QCOMPARE(w.VScroll1->value(), 0);
        QCOMPARE(w.Picture2->Top(), 0.0f);
    }

    void scrollingMovesTheCanvasBy30TwipsPerStep() {
        main w;
        open(w);
        giveCanvas(w, 2000, 1500);
        w.VScroll1->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        QCOMPARE(w.Picture2->Top(), -30.0f);
        w.VScroll1->triggerAction(QAbstractSlider::SliderPageStepAdd);
        QCOMPARE(w.Picture2->Top(), -60.0f);
        w.HScroll1->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        QCOMPARE(w.Picture2->Left(), -30.0f);
    }

    // 7680 x 4320 needs thousands of steps: the offset must not wrap at 16 bits.
    void an8kCanvasScrollsToItsFarEnd() {
        main w;
        open(w);
        giveCanvas(w, 7680, 4320);
        QVERIFY(w.HScroll1->maximum() > 1092);
        w.HScroll1->setValue(w.HScroll1->maximum());
        w.VScroll1->setValue(w.VScroll1->maximum());
        QCOMPARE(w.Picture2->Left(), -30.0f * w.HScroll1->maximum());
        QCOMPARE(w.Picture2->Top(), -30.0f * w.VScroll1->maximum());
        // The far edge of the picture is in view, within one step.
        const float hiddenRight =
            w.Picture2->Width() + w.Picture2->Left() - w.Picture1->ScaleWidth();
        const float hiddenBottom =
            w.Picture2->Height() + w.Picture2->Top() - w.Picture1->ScaleHeight();
        QVERIFY2(qAbs(hiddenRight) <= 15 && qAbs(hiddenBottom) <= 15,
                 qPrintable(QStringLiteral("%1 %2").arg(hiddenRight).arg(hiddenBottom)));
        // A resize keeps the place.
        const int value = w.HScroll1->value();
        setClient(w, 7545, 6000);
        QCOMPARE(w.HScroll1->value(), value);
    }

    void enlargingAtTheFarEndKeepsTheFarEndInView() {
        main w;
        open(w);
        giveCanvas(w, 1200, 900);
        w.HScroll1->setValue(w.HScroll1->maximum());
        const int before = w.HScroll1->maximum();
        setClient(w, 7545 + 3000, 5370);
        QVERIFY(w.HScroll1->maximum() < before);
        QCOMPARE(w.HScroll1->value(), w.HScroll1->maximum());
        QCOMPARE(w.Picture2->Left(), -30.0f * w.HScroll1->maximum());
        // Shrinking keeps the offset: the top-left part of the view stays where it was.
        const int kept = w.HScroll1->value();
        setClient(w, 7545, 5370);
        QCOMPARE(w.HScroll1->maximum(), before);
        QCOMPARE(w.HScroll1->value(), kept);
    }

    void tooLowAWindowIsMadeTaller() {
        main w;
        open(w);
        w.client->setMinimumSize(0, 0);
        w.setMinimumSize(0, 0);
        w.resize(w.width(), w.height() - w.client->height() + 5);  // 75 twips of client
        QTRY_VERIFY(w.ScaleHeight() >= w.HScroll1->height() * 15.0f);
        QCOMPARE(w.Height(), w.Picture1->Top() + w.HScroll1->height() * 15.0f + 480);
    }

    void minimisedWindowLeavesEverythingAsItWas() {
        main w;
        open(w);
        giveCanvas(w, 2000, 1500);
        w.VScroll1->setValue(4);
        const QRect frame = w.Picture1->geometry();
        const QPoint canvas = w.Picture2->pos();
        w.showMinimized();
        w.Form_Resize();
        QCOMPARE(w.Picture1->geometry(), frame);
        QCOMPARE(w.Picture2->pos(), canvas);
        QCOMPARE(w.VScroll1->value(), 4);
    }
};

QTEST_MAIN(TestLayout)
#include "test_layout.moc"
