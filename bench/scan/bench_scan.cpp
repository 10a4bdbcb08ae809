// Scan benchmark, run under an X server (bench/scan/run.sh starts Xvfb): the whole scan with
// the window shown (no minimising), from the hot key to the canvas painted with the new
// picture (the paint and its flush to the server included), beside the fastest raw grab of
// the same screen (MIT-SHM into an attached segment) measured in the same run, in turns. The
// program settles after each scan, as it does between a user's scans.

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include "bench/bench_support.h"
#include "bench/raw_grab.h"
#include "controls/picture_box.h"
#include "main_window/main.h"
#include "platform/null_services.h"
#include "platform/platform.h"
#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_screen_grab.h"

namespace {

using Clock = std::chrono::steady_clock;
using numarika::bench::RawSharedMemoryGrab;

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

}  // namespace

static void initResources() { Q_INIT_RESOURCE(resources); }

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_ENABLE_HIGHDPI_SCALING"))
        qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    const int runs = argc > 1 ? std::max(3, std::atoi(argv[1])) : 20;
    QApplication app(argc, argv);
    initResources();
    if (!numarika::x11::connection()) {
        std::fprintf(stderr, "bench_scan: needs an X server (run bench/scan/run.sh)\n");
        return 2;
    }
    numarika::bench::installDesktopWithoutBoxes();

    numarika::main window;
    window.show();
    QElapsedTimer shown;
    shown.start();
    while (!window.windowHandle()->isExposed() && shown.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    window.m_apri->setChecked(true);  // the window stays: nothing waits for a window manager
    numarika::bench::PaintWatch watch(*window.Picture2);
    window.Picture2->installEventFilter(&watch);

    // From the hot key to the canvas painted; nothing when the scan showed no picture.
    const auto timeScan = [&](bool cursor) -> std::optional<double> {
        window.m_mouse->setChecked(cursor);
        watch.expectNewPicture();
        const auto t0 = Clock::now();
        window.HotKeyProc();
        QElapsedTimer limit;
        limit.start();
        while (!watch.painted && limit.elapsed() < 2000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        const auto t1 = Clock::now();
        numarika::bench::processEventsFor(200);
        if (!watch.painted || !window.Picture2->isVisible()) return std::nullopt;
        return ms(t1 - t0);
    };

    // The contenders take turns, so that a change of load on the machine meets them all.
    std::vector<double> scans, scansWithoutCursor, grabs, raw;
    numarika::X11ScreenGrabber grabber;
    RawSharedMemoryGrab rawGrab;
    for (int i = 0; i < runs + 3; ++i) {
        const auto scan = timeScan(true);
        const auto scanWithoutCursor = timeScan(false);
        const auto t0 = Clock::now();
        const bool grabbed = grabber.grabDesktop().has_value();
        const auto t1 = Clock::now();
        const auto rawTime = rawGrab.grab();
        if (!scan || !scanWithoutCursor || !grabbed) {
            std::fprintf(stderr, "bench_scan: the scan did not show a picture\n");
            return 1;
        }
        if (!rawTime) {
            std::fprintf(stderr, "bench_scan: MIT-SHM is not available\n");
            return 1;
        }
        if (i < 3) continue;  // warming up
        scans.push_back(*scan);
        scansWithoutCursor.push_back(*scanWithoutCursor);
        grabs.push_back(ms(t1 - t0));
        raw.push_back(*rawTime);
    }

    const QSize screen = window.Picture2->Picture().size();
    const double scan = numarika::bench::median(scans), base = numarika::bench::median(raw),
                 grab = numarika::bench::median(grabs);
    std::printf("%dx%d, median of %d runs:\n", screen.width(), screen.height(), runs);
    std::printf("  scan, hot key to canvas painted   %8.2f ms\n", scan);
    std::printf("  the same without the cursor       %8.2f ms\n",
                numarika::bench::median(scansWithoutCursor));
    std::printf("  grab into a picture (%s)      %8.2f ms\n",
                grabber.usedSharedMemory() ? "MIT-SHM" : "GetImage", grab);
    std::printf("  baseline: raw MIT-SHM grab        %8.2f ms\n", base);
    std::printf("  ratio scan / raw grab             %8.2f\n", scan / base);
    std::printf("  ratio without the cursor          %8.2f\n",
                numarika::bench::median(scansWithoutCursor) / base);
    return 0;
}
