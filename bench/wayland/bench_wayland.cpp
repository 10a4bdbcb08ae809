// On a Wayland desktop (bench/wayland/run.sh starts a private headless one): `numarika --scan`
// from its start to the running copy's canvas painted with the new picture, beside a direct
// Screenshot call of the desktop portal made by a process of its own, and beside grim writing
// the screen to a file, in turns. The running copy is this process: the program's own main
// window and scan service, on the desktop's session bus.
//
//   bench_wayland RUNS NUMARIKA_BINARY
//   bench_wayland --portal-shot        one portal call (the direct baseline), exit code 0 on a
//                                      picture

#include <QAction>
#include <QApplication>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

#include "bench/bench_support.h"
#include "controls/picture_box.h"
#include "main_window/main.h"
#include "main_window/scan_service.h"
#include "platform/null_services.h"
#include "platform/platform.h"
#include "platform/portal/portal_request.h"

namespace {

int portalShot(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    int code = 1;
    numarika::PortalRequest::start(
        QDBusConnection::sessionBus(), QStringLiteral("org.freedesktop.portal.Screenshot"),
        QStringLiteral("Screenshot"), {QString()}, {{QStringLiteral("interactive"), false}}, 15000,
        &app, [&](const numarika::PortalAnswer& answer) {
            code = answer.ok() ? 0 : 1;
            app.quit();
        });
    app.exec();
    return code;
}

// Milliseconds from the start of `program` to its end; nothing when it failed.
std::optional<double> timeProcess(const QString& program, const QStringList& arguments) {
    QProcess process;
    QElapsedTimer t;
    t.start();
    process.start(program, arguments);
    if (!process.waitForFinished(20000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return std::nullopt;
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

}  // namespace

static void initResources() { Q_INIT_RESOURCE(resources); }

int main(int argc, char* argv[]) {
    if (argc > 1 && QByteArray(argv[1]) == "--portal-shot") return portalShot(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_wayland RUNS NUMARIKA_BINARY\n");
        return 2;
    }
    const int runs = std::max(3, std::atoi(argv[1]));
    const QString numarikaBinary = QString::fromLocal8Bit(argv[2]);
    qputenv("QT_QPA_PLATFORM", "wayland");
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    QApplication app(argc, argv);
    initResources();
    numarika::bench::installDesktopWithoutBoxes();

    numarika::main window;
    numarika::ScanService service;
    if (!service.publish()) {
        std::fprintf(stderr, "bench_wayland: cannot take the program's bus name\n");
        return 1;
    }
    service.serve(window);
    window.show();
    QElapsedTimer shown;
    shown.start();
    while (!window.windowHandle()->isExposed() && shown.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    numarika::bench::PaintWatch watch(*window.Picture2);
    window.Picture2->installEventFilter(&watch);

    const auto timeScan = [&]() -> std::optional<double> {
        watch.expectNewPicture();
        QProcess client;
        QElapsedTimer t;
        t.start();
        client.start(numarikaBinary, {QStringLiteral("--scan")});
        while (!watch.painted && t.elapsed() < 20000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        const double elapsed = static_cast<double>(t.nsecsElapsed()) / 1e6;
        client.waitForFinished(5000);
        if (!watch.painted || !window.Picture2->isVisible()) return std::nullopt;
        return elapsed;
    };

    QTemporaryDir scratch;
    const QString self = QCoreApplication::applicationFilePath();
    std::vector<double> hidden, shownScans, portal, grim;
    for (int i = 0; i < runs + 2; ++i) {
        window.m_apri->setChecked(false);
        const auto b = timeScan();
        window.m_apri->setChecked(true);
        const auto a = timeScan();
        const auto p = timeProcess(self, {QStringLiteral("--portal-shot")});
        const auto g =
            timeProcess(QStringLiteral("grim"), {scratch.filePath(QStringLiteral("g.png"))});
        if (!a || !b || !p || !g) {
            std::fprintf(stderr,
                         "bench_wayland: a contender failed (scan %d/%d, portal %d, grim %d)\n",
                         bool(b), bool(a), bool(p), bool(g));
            return 1;
        }
        if (i < 2) continue;  // warming up
        hidden.push_back(*b);
        shownScans.push_back(*a);
        portal.push_back(*p);
        grim.push_back(*g);
    }
    const QSize screen = window.Picture2->Picture().size();
    const double base = numarika::bench::median(portal);
    std::printf("Wayland, %dx%d, median of %d runs (each from its process's start):\n",
                screen.width(), screen.height(), runs);
    std::printf("  numarika --scan, window hidden for it   %8.1f ms  %5.2fx\n",
                numarika::bench::median(hidden), numarika::bench::median(hidden) / base);
    std::printf("  numarika --scan, window shown           %8.1f ms  %5.2fx\n",
                numarika::bench::median(shownScans), numarika::bench::median(shownScans) / base);
    std::printf("  baseline: direct portal Screenshot call %8.1f ms  %5.2fx\n", base, 1.0);
    std::printf("  grim                                    %8.1f ms  %5.2fx\n",
                numarika::bench::median(grim), numarika::bench::median(grim) / base);
    return 0;
}
