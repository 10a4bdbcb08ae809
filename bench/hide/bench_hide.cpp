// Hide benchmark, run under an X server with a window manager or none and a late painter
// beneath the program (bench/hide/run.sh starts them): the scan with the window leaving the
// picture, from the hot key to the picture on the clipboard, while the window beneath repaints
// what the program uncovers so many milliseconds late; beside the fastest raw grab of the same
// screen (MIT-SHM, bench/raw_grab.h) measured in the same run, in turns.
//
//   bench_hide DESKTOP DELAY_FILE RUNS MS...
//       DESKTOP names the desktop in the report; the painter reads its delay from DELAY_FILE,
//       which the benchmark sets to each MS in turn.

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include "bench/bench_support.h"
#include "bench/raw_grab.h"
#include "main_window/main.h"
#include "platform/null_services.h"
#include "platform/platform.h"
#include "platform/x11/x11_connection.h"

namespace {

using Clock = std::chrono::steady_clock;
using numarika::bench::RawSharedMemoryGrab;

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// The window is back on the screen, frame and all, and shown.
bool backOnScreen(QWidget& window) {
    xcb_connection_t* c = numarika::x11::connection();
    const auto own = static_cast<xcb_window_t>(window.winId());
    const auto frame = numarika::x11::topLevelAncestor(c, own);
    return frame && numarika::x11::isMapped(c, *frame).value_or(false) &&
           window.windowHandle()->isExposed();
}

bool waitBack(QWidget& window) {
    QElapsedTimer t;
    t.start();
    while (!backOnScreen(window)) {
        if (t.elapsed() > 5000) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    }
    // The window manager and the painter settle before the next scan.
    numarika::bench::processEventsFor(150);
    return true;
}

}  // namespace

static void initResources() { Q_INIT_RESOURCE(resources); }

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_ENABLE_HIGHDPI_SCALING"))
        qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s DESKTOP DELAY_FILE RUNS MS...\n", argv[0]);
        return 2;
    }
    const char* desktop = argv[1];
    const QString delayFile = QString::fromLocal8Bit(argv[2]);
    const int runs = std::max(3, std::atoi(argv[3]));
    QApplication app(argc, argv);
    initResources();
    if (!numarika::x11::connection()) {
        std::fprintf(stderr, "bench_hide: needs an X server (run bench/hide/run.sh)\n");
        return 2;
    }
    numarika::bench::installDesktopWithoutBoxes();

    numarika::main window;
    window.show();
    window.m_apri->setChecked(false);  // the window leaves the picture
    window.m_mouse->setChecked(false);
    if (!waitBack(window)) {
        std::fprintf(stderr, "bench_hide: the window did not show\n");
        return 1;
    }

    std::optional<Clock::time_point> onClipboard;
    QObject::connect(QGuiApplication::clipboard(), &QClipboard::dataChanged,
                     [&onClipboard] { onClipboard = Clock::now(); });
    RawSharedMemoryGrab rawGrab;
    const xcb_screen_t* screen = numarika::x11::defaultScreen(numarika::x11::connection());
    std::printf("%s, %dx%d, median of %d runs, hot key to picture on the clipboard:\n", desktop,
                screen->width_in_pixels, screen->height_in_pixels, runs);
    std::printf("  %-24s %9s %9s %12s %9s %9s\n", "window beneath repaints", "scan", "raw grab",
                "scan / raw", "- delay", "max - delay");
    for (int i = 4; i < argc; ++i) {
        const int delay = std::atoi(argv[i]);
        QFile file(delayFile);
        if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray::number(delay)) < 0) {
            std::fprintf(stderr, "bench_hide: cannot write %s\n", argv[2]);
            return 1;
        }
        file.close();
        std::vector<double> scans, raw;
        for (int run = 0; run < runs + 2; ++run) {
            onClipboard.reset();
            const auto t0 = Clock::now();
            window.HotKeyProc();
            if (!onClipboard || !waitBack(window)) {
                std::fprintf(stderr, "bench_hide: the scan put no picture on the clipboard\n");
                return 1;
            }
            const auto rawTime = rawGrab.grab();
            if (!rawTime) {
                std::fprintf(stderr, "bench_hide: MIT-SHM is not available\n");
                return 1;
            }
            if (run < 2) continue;  // warming up
            scans.push_back(ms(*onClipboard - t0));
            raw.push_back(*rawTime);
        }
        const double scan = numarika::bench::median(scans), base = numarika::bench::median(raw);
        const double slowest = *std::max_element(scans.begin(), scans.end());
        std::printf("  %-24s %6.1f ms %6.2f ms %12.1f %6.1f ms %6.1f ms\n",
                    QByteArray::number(delay).append(" ms late").constData(), scan, base,
                    scan / base, scan - delay, slowest - delay);
    }
    return 0;
}
