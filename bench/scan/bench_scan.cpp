// Scan benchmark, run under an X server (bench/scan/run.sh starts Xvfb): the whole scan with
// the window shown (no minimising), from the hot key to the canvas painted with the new
// picture, beside the fastest raw grab of the same screen (MIT-SHM into an attached segment)
// measured in the same run.

#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/shm.h>

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

#include "main_window/main.h"
#include "platform/dialogs.h"
#include "platform/platform.h"
#include "platform/x11_connection.h"
#include "platform/x11_screen_grab.h"

namespace {

using Clock = std::chrono::steady_clock;
using numarika::x11::Reply;

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Messages go to the terminal: a modal box would stop the run.
class PrintingDialogs final : public numarika::Dialogs {
  public:
    void messageBox(const QString& text) override {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    }
    QString inputBox(const QString&, const QString&, const QString&) override { return {}; }
    std::optional<numarika::Colour> chooseColour(numarika::Colour) override { return {}; }
    std::optional<QString> saveFileName(const numarika::SaveDialogRequest&) override { return {}; }
    void showModal(QDialog&) override {}
};

// Notes when the canvas has been painted.
class PaintWatch final : public QObject {
  public:
    bool painted = false;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) painted = true;
        return false;
    }
};

// The fastest way to the screen's pixels: the server writes them into memory we share.
std::vector<double> rawSharedMemoryGrabs(int runs) {
    std::vector<double> times;
    xcb_connection_t* c = numarika::x11::connection();
    xcb_screen_t* screen = numarika::x11::defaultScreen(c);
    if (!screen) return times;
    const auto w = screen->width_in_pixels, h = screen->height_in_pixels;
    const std::size_t size = std::size_t{w} * h * 4;
    const int shmid = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
    if (shmid < 0) return times;
    void* memory = shmat(shmid, nullptr, 0);
    const xcb_shm_seg_t seg = xcb_generate_id(c);
    Reply<xcb_generic_error_t> error(
        xcb_request_check(c, xcb_shm_attach_checked(c, seg, shmid, 0)));
    shmctl(shmid, IPC_RMID, nullptr);
    if (!error && memory != reinterpret_cast<void*>(-1)) {
        for (int i = 0; i < runs + 3; ++i) {
            const auto t0 = Clock::now();
            Reply<xcb_shm_get_image_reply_t> reply(
                xcb_shm_get_image_reply(c,
                                        xcb_shm_get_image(c, screen->root, 0, 0, w, h, ~0u,
                                                          XCB_IMAGE_FORMAT_Z_PIXMAP, seg, 0),
                                        nullptr));
            const auto t1 = Clock::now();
            if (!reply) break;
            if (i >= 3) times.push_back(ms(t1 - t0));
        }
        xcb_shm_detach(c, seg);
    }
    if (memory != reinterpret_cast<void*>(-1)) shmdt(memory);
    return times;
}

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
    auto platform = numarika::makeDesktopPlatform();
    platform->dialogs = std::make_unique<PrintingDialogs>();
    numarika::installPlatform(std::move(platform));

    numarika::main window;
    window.show();
    QElapsedTimer shown;
    shown.start();
    while (!window.windowHandle()->isExposed() && shown.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    window.m_apri->setChecked(true);  // the window stays: nothing waits for a window manager
    PaintWatch watch;
    window.Picture2->installEventFilter(&watch);

    // From the hot key to the canvas painted; nothing when the scan showed no picture.
    const auto timeScans = [&]() -> std::optional<std::vector<double>> {
        std::vector<double> times;
        for (int i = 0; i < runs + 3; ++i) {
            watch.painted = false;
            const auto t0 = Clock::now();
            window.HotKeyProc();
            QElapsedTimer limit;
            limit.start();
            while (!watch.painted && limit.elapsed() < 2000)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
            const auto t1 = Clock::now();
            if (!watch.painted || !window.Picture2->isVisible()) return std::nullopt;
            if (i >= 3) times.push_back(ms(t1 - t0));
        }
        return times;
    };
    const auto scans = timeScans();
    window.m_mouse->setChecked(false);
    const auto scansWithoutCursor = timeScans();
    if (!scans || !scansWithoutCursor) {
        std::fprintf(stderr, "bench_scan: the scan did not show a picture\n");
        return 1;
    }

    std::vector<double> grabs;
    numarika::X11ScreenGrabber grabber;
    for (int i = 0; i < runs + 3; ++i) {
        const auto t0 = Clock::now();
        const auto image = grabber.grabDesktop();
        const auto t1 = Clock::now();
        if (image && i >= 3) grabs.push_back(ms(t1 - t0));
    }
    const std::vector<double> raw = rawSharedMemoryGrabs(runs);
    if (raw.empty()) {
        std::fprintf(stderr, "bench_scan: MIT-SHM is not available\n");
        return 1;
    }

    const QSize screen = window.Picture2->Picture().size();
    const double scan = median(*scans), base = median(raw), grab = median(grabs);
    std::printf("%dx%d, median of %d runs:\n", screen.width(), screen.height(), runs);
    std::printf("  scan, hot key to canvas painted   %8.2f ms\n", scan);
    std::printf("  the same without the cursor       %8.2f ms\n", median(*scansWithoutCursor));
    std::printf("  grab into a picture (%s)      %8.2f ms\n",
                grabber.usedSharedMemory() ? "MIT-SHM" : "GetImage", grab);
    std::printf("  baseline: raw MIT-SHM grab        %8.2f ms\n", base);
    std::printf("  ratio scan / raw grab             %8.2f\n", scan / base);
    return 0;
}
