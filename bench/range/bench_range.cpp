// One pointer move of a range drag on a 3840 x 2160 canvas, with the paint it causes, beside
// one full repaint of the same canvas, both measured here in the same run.
//
//   bench_range [moves]      (default 1000; runs on Qt's offscreen platform)

#include <QApplication>
#include <QElapsedTimer>
#include <QPaintEvent>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <vector>

#include "bench/bench_support.h"
#include "main_window/main.h"
#include "tests/support/scripted_platform.h"
#include "tests/support/test_app.h"

using namespace numarika;

namespace {

constexpr int kWidth = 3840;
constexpr int kHeight = 2160;

class PaintCounter : public QObject {
  public:
    long long area = 0;
    int events = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) {
            for (const QRect& r : static_cast<QPaintEvent*>(e)->region())
                area += static_cast<long long>(r.width()) * r.height();
            ++events;
        }
        return false;
    }
};

QImage picture() {
    QImage img(kWidth, kHeight, QImage::Format_RGB32);
    for (int y = 0; y < kHeight; ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < kWidth; ++x) line[x] = qRgb(x & 0xFF, y & 0xFF, (x ^ y) & 0xFF);
    }
    return img;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    QApplication app(argc, argv);
    numarika::testing::initTestResources();
    numarika::testing::installScriptedPlatform();
    const int moves = argc > 1 ? std::max(10, std::atoi(argv[1])) : 1000;

    numarika::main w;
    const QImage img = picture();
    w.Picture2->setPicture(img);
    w.Picture3->setPicture(img);
    w.Picture2->show();
    w.Picture4->show();
    // Big enough to show the whole canvas, so that every paint reaches the window.
    w.resize(kWidth + 100, kHeight + 150);
    w.show();
    if (!QTest::qWaitForWindowExposed(&w)) {
        std::fprintf(stderr, "window not exposed\n");
        return 1;
    }
    w.Form_Resize();
    QCoreApplication::processEvents();
    const QSize shown = w.Picture2->visibleRegion().boundingRect().size();

    PaintCounter counter;
    w.Picture2->installEventFilter(&counter);

    // Baseline: a full repaint of the canvas.
    std::vector<double> full;
    for (int i = 0; i < 21; ++i) {
        QElapsedTimer t;
        t.start();
        w.Picture2->repaint();
        full.push_back(t.nsecsElapsed() / 1e6);
    }
    const double fullMs = numarika::bench::median(full);

    // As after a scan, which keeps a spare copy of the picture for the first drag.
    w.Picture2->keepSpareCopy();
    numarika::bench::processEventsFor(100);

    // The drag: a press near the middle, then the pointer circles round it, so that the
    // rubber band is always a large rectangle (up to about 3000 x 1800 pixels).
    const QPoint centre(kWidth / 2, kHeight / 2);
    QElapsedTimer pressTimer;
    pressTimer.start();
    QTest::mousePress(w.Picture2, Qt::LeftButton, {}, centre);
    QCoreApplication::processEvents();
    const double pressMs = pressTimer.nsecsElapsed() / 1e6;

    counter.area = 0;
    counter.events = 0;
    std::vector<double> perMove;
    perMove.reserve(moves);
    qint64 handlerNs = 0;
    QElapsedTimer total;
    total.start();
    for (int i = 0; i < moves; ++i) {
        const double a = 2 * std::numbers::pi * i / 97.0;
        const double r = 0.6 + 0.4 * ((i % 50) / 50.0);
        const QPoint p(centre.x() + int(std::cos(a) * r * 1700),
                       centre.y() + int(std::sin(a) * r * 950));
        QElapsedTimer t;
        t.start();
        QTest::mouseMove(w.Picture2, p);
        handlerNs += t.nsecsElapsed();
        QCoreApplication::processEvents();  // the paint of the changed outline
        perMove.push_back(t.nsecsElapsed() / 1e6);
    }
    const double totalMs = total.nsecsElapsed() / 1e6;
    QTest::mouseRelease(w.Picture2, Qt::LeftButton, {}, centre);

    // A hand takes a moment from the press to its first movement (a 60 Hz frame at least): the
    // drag's own copy of the picture is made meanwhile, beside it.
    QTest::mousePress(w.Picture2, Qt::LeftButton, {}, centre);
    QCoreApplication::processEvents();
    QElapsedTimer gap;
    gap.start();
    while (gap.elapsed() < 16) QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    QElapsedTimer firstAfterGap;
    firstAfterGap.start();
    QTest::mouseMove(w.Picture2, centre + QPoint(900, 500));
    QCoreApplication::processEvents();
    const double firstAfterGapMs = firstAfterGap.nsecsElapsed() / 1e6;
    QTest::mouseRelease(w.Picture2, Qt::LeftButton, {}, centre);

    const double moveMedian = numarika::bench::median(perMove);
    const double moveMean = totalMs / moves;
    std::printf("canvas %dx%d, shown %dx%d, %d moves\n", kWidth, kHeight, shown.width(),
                shown.height(), moves);
    std::printf("full repaint (baseline):   %8.3f ms (median of %zu)\n", fullMs, full.size());
    std::printf("press (restores picture):  %8.3f ms\n", pressMs);
    std::printf("first move, at once:       %8.3f ms   ratio to the median move %.1f\n",
                perMove.front(), perMove.front() / moveMedian);
    std::printf("first move, 16 ms later:   %8.3f ms   ratio to the median move %.1f\n",
                firstAfterGapMs, firstAfterGapMs / moveMedian);
    std::printf("move, median:              %8.3f ms   ratio to full repaint %.4f (1/%.0f)\n",
                moveMedian, moveMedian / fullMs, fullMs / moveMedian);
    std::printf("move, mean of all:         %8.3f ms   ratio to full repaint %.4f (1/%.0f)\n",
                moveMean, moveMean / fullMs, fullMs / moveMean);
    std::printf("handler part:              %8.3f ms\n", handlerNs / 1e6 / moves);
    std::printf("painted per move: %.0f pixels in %.2f paint events (canvas %d pixels)\n",
                double(counter.area) / moves, double(counter.events) / moves, kWidth * kHeight);
    const bool ok = counter.events >= moves && moveMedian * 20 < fullMs;
    std::printf("%s: a move costs %s a twentieth of a full repaint\n", ok ? "OK" : "SLOW",
                ok ? "under" : "NOT under");
    return 0;
}
