// On a Wayland desktop (bench/wayland/run.sh starts a private headless one): the time until
// another program can paste the screen, from the start of `numarika --scan` until wl-paste has
// read the whole PNG off the clipboard, beside the raw tools' `grim - | wl-copy -t image/png`,
// in interleaved rounds: the window hidden for the scan (the default), the window shown, and
// the desktop portal's picture instead of our own copy of the screen. Then `numarika --scan`
// alone, from its start to its end, beside dbus-send making the same request.
//
// The running copy is this process: the program's own main window, scan service and desktop
// services, on the desktop's session bus. The reader is one `wl-paste --watch wc -c`, which
// reads each new picture as a pasting program does and says how many bytes it got.
//
//   bench_wayland RUNS NUMARIKA_BINARY

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QWindow>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "main_window/main.h"
#include "main_window/scan_service.h"
#include "platform/desktop/desktop_platform.h"
#include "platform/null_services.h"
#include "platform/platform.h"
#include "platform/portal/portal_screenshot.h"
#include "platform/print_screen_keyboard.h"
#include "platform/wayland/ext_screen_source.h"
#include "platform/wayland/wlr_screen_source.h"

namespace {

// The copy the program makes on this desktop: through ext-image-copy-capture before
// wlr-screencopy.
std::unique_ptr<numarika::ScreenSource> ownSource() {
    if (auto ext = numarika::ExtScreenSource::connect()) return ext;
    return numarika::WlrScreenSource::connect();
}

// The program's own copy of the screen, or the desktop portal's picture when asked to.
class SwitchedSource final : public numarika::ScreenSource {
  public:
    bool portal = false;
    std::unique_ptr<numarika::ScreenSource> own = ownSource();
    numarika::PortalScreenSource desktopPortal;

    void requestScreen(bool withPointer, Done done) override {
        (portal ? static_cast<ScreenSource&>(desktopPortal) : *own)
            .requestScreen(withPointer, std::move(done));
    }
};

using Clock = std::chrono::steady_clock;

double msBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// Runs the event loop until `ready` or 20 s; false on the time-out.
template <typename Ready>
bool waitFor(Ready ready) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 20000) {
        if (ready()) return true;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    return false;
}

// A process started, and awaited, by a thread of its own that notes the moments itself: the
// UI thread is busy with the scan at the very time the figures are made.
class Timed {
  public:
    explicit Timed(std::vector<std::string> argv)
        : thread_([this, argv = std::move(argv)] {
              std::vector<char*> args;
              for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
              args.push_back(nullptr);
              posix_spawn_file_actions_t quiet;  // dbus-send prints the answer
              posix_spawn_file_actions_init(&quiet);
              posix_spawn_file_actions_addopen(&quiet, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
              pid_t pid = 0;
              start = Clock::now();
              const int spawned =
                  ::posix_spawnp(&pid, args[0], &quiet, nullptr, args.data(), environ);
              posix_spawn_file_actions_destroy(&quiet);
              if (spawned != 0) {
                  finished = true;
                  return;
              }
              int status = 0;
              while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
              }
              end = Clock::now();
              ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
              finished = true;
          }) {}
    ~Timed() { thread_.join(); }
    Clock::time_point start, end;
    std::atomic<bool> finished = false;
    bool ok = false;

  private:
    std::thread thread_;
};

// The reader: `wl-paste --watch wc -c`, whose `wc` writes a line once it has read a whole
// picture; a thread of its own notes when each line came.
class Reader {
  public:
    Reader() {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        const char* argv[] = {"wl-paste", "--type", "image/png", "--watch", "wc", "-c", nullptr};
        ::posix_spawnp(&pid_, argv[0], &actions, nullptr, const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        thread_ = std::thread([this, fd = out[0]] {
            FILE* lines = ::fdopen(fd, "r");
            char line[64];
            while (lines && std::fgets(line, sizeof line, lines)) {
                if (std::atoll(line) <= 1000) continue;
                std::lock_guard lock(mutex_);
                times_.push_back(Clock::now());
            }
            if (lines) std::fclose(lines);
        });
    }
    ~Reader() {
        if (pid_ > 0) ::kill(pid_, SIGTERM);
        if (thread_.joinable()) thread_.join();
        if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
    }
    std::size_t count() {
        std::lock_guard lock(mutex_);
        return times_.size();
    }
    // When picture `n` (counted from 0) was read whole; nothing before it was.
    std::optional<Clock::time_point> readAt(std::size_t n) {
        std::lock_guard lock(mutex_);
        if (times_.size() <= n) return std::nullopt;
        return times_[n];
    }

  private:
    pid_t pid_ = -1;
    std::thread thread_;
    std::mutex mutex_;
    std::vector<Clock::time_point> times_;
};

}  // namespace

static void initResources() { Q_INIT_RESOURCE(resources); }

int main(int argc, char* argv[]) {
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
    auto platform = numarika::makeDesktopPlatform();
    platform->dialogs = std::make_unique<numarika::NullDialogs>();
    auto source = std::make_unique<SwitchedSource>();
    SwitchedSource& switched = *source;
    if (!switched.own) {
        std::fprintf(
            stderr,
            "bench_wayland: the desktop offers no ext-image-copy-capture or wlr-screencopy\n");
        return 1;
    }
    platform->keyboard =
        std::make_unique<numarika::PrintScreenKeyboard>(*platform, std::move(source));
    numarika::installPlatform(std::move(platform));

    numarika::main window;
    numarika::ScanService service;
    if (!service.publish()) {
        std::fprintf(stderr, "bench_wayland: cannot take the program's bus name\n");
        return 1;
    }
    service.serve(window);
    window.show();
    waitFor([&] { return window.windowHandle()->isExposed(); });
    Reader reader;
    numarika::bench::processEventsFor(300);

    // The scan goes on after the picture (the window comes back); the user acts later.
    const auto settle = [&] {
        waitFor([&] { return !window.scanning(); });
        numarika::bench::processEventsFor(500);
    };
    // Milliseconds from the start of `argv` until the reader has read the picture.
    const auto pasteReady = [&](std::vector<std::string> argv) -> std::optional<double> {
        const std::size_t n = reader.count();
        std::optional<double> elapsed;
        {
            Timed process(std::move(argv));
            if (waitFor([&] { return reader.readAt(n).has_value(); }))
                elapsed = msBetween(process.start, *reader.readAt(n));
            waitFor([&] { return process.finished.load(); });
            if (!process.ok) elapsed.reset();
        }
        settle();
        return elapsed;
    };
    // Milliseconds from the start of `argv` to its end; the scan it asks for is let finish.
    const auto processAlone = [&](std::vector<std::string> argv) -> std::optional<double> {
        const std::size_t n = reader.count();
        std::optional<double> elapsed;
        {
            Timed process(std::move(argv));
            if (waitFor([&] { return process.finished.load(); }) && process.ok)
                elapsed = msBetween(process.start, process.end);
            if (!waitFor([&] { return reader.readAt(n).has_value(); })) elapsed.reset();
        }
        settle();
        return elapsed;
    };

    const std::string program = numarikaBinary.toStdString();
    const std::vector<std::string> scan{program, "--scan"};
    const std::string bus = numarika::kBusName.toStdString();
    const std::vector<std::string> sameRequest{"dbus-send",
                                               "--session",
                                               "--print-reply",
                                               "--dest=" + bus,
                                               numarika::kBusPath.toStdString(),
                                               bus + ".Scan"};
    const std::vector<std::string> rawTools{"sh", "-c", "grim - | wl-copy -t image/png"};
    std::vector<double> hidden, shown, portal, grim, client, dbus;
    for (int i = 0; i < runs + 1; ++i) {
        window.m_apri->setChecked(false);
        const auto h = pasteReady(scan);
        const auto g = pasteReady(rawTools);
        window.m_apri->setChecked(true);
        const auto s = pasteReady(scan);
        window.m_apri->setChecked(false);
        switched.portal = true;
        const auto p = pasteReady(scan);
        switched.portal = false;
        // In turns first, so that neither finds the other's scan still busy more often.
        std::optional<double> c, d;
        if (i % 2) {
            c = processAlone(scan);
            d = processAlone(sameRequest);
        } else {
            d = processAlone(sameRequest);
            c = processAlone(scan);
        }
        if (!h || !g || !s || !p || !c || !d) {
            std::fprintf(stderr,
                         "bench_wayland: a contender failed (hidden %d, grim %d, shown %d, "
                         "portal %d, client %d, dbus-send %d)\n",
                         bool(h), bool(g), bool(s), bool(p), bool(c), bool(d));
            return 1;
        }
        if (i < 1) continue;  // warming up
        hidden.push_back(*h);
        grim.push_back(*g);
        shown.push_back(*s);
        portal.push_back(*p);
        client.push_back(*c);
        dbus.push_back(*d);
    }
    using numarika::bench::median;
    const QSize screen = window.Picture2->Picture().size();
    const auto line = [](const char* what, double ms, double base) {
        std::printf("  %-44s %8.1f ms  %5.2fx\n", what, ms, ms / base);
    };
    std::printf("Wayland %dx%d, median of %d interleaved rounds.\n", screen.width(),
                screen.height(), runs);
    std::printf("Paste-ready: from the command's start until wl-paste has read the PNG\n");
    const double base = median(grim);
    line("numarika --scan, window hidden (default)", median(hidden), base);
    line("numarika --scan, window shown", median(shown), base);
    line("numarika --scan, desktop portal's picture", median(portal), base);
    line("baseline: grim - | wl-copy -t image/png", base, base);
    std::printf("The asking process alone, from its start to its end (a copy running)\n");
    line("numarika --scan", median(client), median(dbus));
    line("baseline: dbus-send of the same request", median(dbus), median(dbus));
    return 0;
}
