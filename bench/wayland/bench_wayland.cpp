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
// On GNOME (`gnome`), which lets no program copy the screen or watch the clipboard, the
// picture comes from the portal as the program takes it there, the reader runs `wl-paste`
// again and again (a picture counts when a read that began after the program set the
// clipboard got it: up to one read late),
// and the baseline is the portal's own round trip: Screenshot until its answer has come and
// its file has been read.
//
//   bench_wayland RUNS NUMARIKA_BINARY [gnome]

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QFile>
#include <QUrl>
#include <QWindow>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
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
#include "platform/portal/portal_request.h"
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

// Starts `argv` with its output into a pipe, whose reading end it returns (-1 on failure).
int spawnReading(const char* const* argv, pid_t& pid) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    // "Nothing is copied" from every read of an empty clipboard.
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    if (::posix_spawnp(&pid, argv[0], &actions, nullptr, const_cast<char**>(argv), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    return out[0];
}

// The reader, on a thread of its own that notes when each picture had been read whole:
// `wl-paste --watch wc -c`, whose `wc` writes a line per picture; or, where the desktop lets
// nobody watch, `wl-paste` run again and again, of which only reads begun after arm() count.
class Reader {
  public:
    explicit Reader(bool watch) {
        if (watch) {
            static const char* const argv[] = {"wl-paste", "--type", "image/png", "--watch",
                                               "wc",       "-c",     nullptr};
            const int fd = spawnReading(argv, pid_);
            thread_ = std::thread([this, fd] {
                FILE* lines = fd >= 0 ? ::fdopen(fd, "r") : nullptr;
                char line[64];
                while (lines && std::fgets(line, sizeof line, lines))
                    if (std::atoll(line) > 1000) note(Clock::now());
                if (lines) std::fclose(lines);
            });
            return;
        }
        thread_ = std::thread([this] {
            while (!stop_) {
                const Clock::time_point began = Clock::now();
                if (readOnce() > 1000 && began > armedAt()) note(Clock::now());
            }
        });
    }
    ~Reader() {
        stop_ = true;
        if (pid_ > 0) ::kill(pid_, SIGTERM);
        if (const pid_t reading = reading_; reading > 0) ::kill(reading, SIGTERM);
        if (thread_.joinable()) thread_.join();
        if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
    }
    // From now on, a new picture is awaited: what is on the clipboard already is not counted.
    void arm() {
        std::lock_guard lock(mutex_);
        armed_ = Clock::now();
        noted_ = false;
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
    Clock::time_point armedAt() {
        std::lock_guard lock(mutex_);
        return noted_ ? Clock::time_point::max() : armed_;
    }
    void note(Clock::time_point at) {
        std::lock_guard lock(mutex_);
        times_.push_back(at);
        noted_ = true;
    }
    // The bytes of one `wl-paste --type image/png`.
    long long readOnce() {
        // Bounded: a wl-paste that never gets the keyboard would wait for ever.
        static const char* const argv[] = {"timeout", "3",         "wl-paste",
                                           "--type",  "image/png", nullptr};
        pid_t pid = -1;
        const int fd = spawnReading(argv, pid);
        reading_ = pid;
        long long bytes = 0;
        char buffer[1 << 16];
        for (ssize_t n; fd >= 0 && (n = ::read(fd, buffer, sizeof buffer)) != 0;)
            if (n > 0)
                bytes += n;
            else if (errno != EINTR)
                break;
        if (fd >= 0) ::close(fd);
        if (pid > 0) ::waitpid(pid, nullptr, 0);
        reading_ = -1;
        return bytes;
    }

    pid_t pid_ = -1;
    std::atomic<bool> stop_ = false;
    std::atomic<pid_t> reading_ = -1;  // the wl-paste under way
    std::thread thread_;
    std::mutex mutex_;
    Clock::time_point armed_ = Clock::time_point::max();
    bool noted_ = false;
    std::vector<Clock::time_point> times_;
};

// The program's clipboard, which arms the reader whenever the program sets a picture (Qt tells
// of a change also when the compositor merely hands our own selection back with the focus).
class ArmingClipboard final : public numarika::Clipboard {
  public:
    explicit ArmingClipboard(std::unique_ptr<numarika::Clipboard> inner)
        : inner_(std::move(inner)) {}
    Reader* reader = nullptr;
    std::optional<QImage> picture() override { return inner_->picture(); }
    void clear() override { inner_->clear(); }
    bool setPicture(const QImage& picture) override {
        if (reader) reader->arm();
        return inner_->setPicture(picture);
    }

  private:
    std::unique_ptr<numarika::Clipboard> inner_;
};

// What GNOME Shell gives a command it starts: its startup id, from the shell's own launch
// context (asked for through its Eval, which the bench's private shell allows).
std::string gnomeActivationToken(const std::string& command) {
    const QString script =
        QStringLiteral(
            "global.create_app_launch_context(global.get_current_time(), -1)"
            ".get_startup_notify_id(imports.gi.Gio.AppInfo.create_from_commandline("
            "'%1', null, 0), [])")
            .arg(QString::fromStdString(command));
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.gnome.Shell"), QStringLiteral("/org/gnome/Shell"),
        QStringLiteral("org.gnome.Shell"), QStringLiteral("Eval"));
    call << script;
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 5000);
    const QList<QVariant> values = reply.arguments();
    if (values.size() != 2 || !values[0].toBool()) return {};
    // The value comes as JSON: a quoted string.
    QString token = values[1].toString();
    if (token.startsWith(QLatin1Char('"')) && token.endsWith(QLatin1Char('"')))
        token = token.mid(1, token.size() - 2);
    return token.toStdString();
}

}  // namespace

static void initResources() { Q_INIT_RESOURCE(resources); }

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_wayland RUNS NUMARIKA_BINARY [gnome]\n");
        return 2;
    }
    const int runs = std::max(3, std::atoi(argv[1]));
    const QString numarikaBinary = QString::fromLocal8Bit(argv[2]);
    const bool gnome = argc > 3 && std::strcmp(argv[3], "gnome") == 0;
    qputenv("QT_QPA_PLATFORM", "wayland");
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    QApplication app(argc, argv);
    initResources();
    auto platform = numarika::makeDesktopPlatform();
    platform->dialogs = std::make_unique<numarika::NullDialogs>();
    SwitchedSource* switched = nullptr;
    ArmingClipboard* armOnSet = nullptr;
    if (gnome) {
        // The desktop's dialog asking for Print would hold every scan up until answered.
        platform->hotKeys = std::make_unique<numarika::NullHotKeys>();
        auto clipboard = std::make_unique<ArmingClipboard>(std::move(platform->clipboard));
        armOnSet = clipboard.get();
        platform->clipboard = std::move(clipboard);
    } else {
        auto source = std::make_unique<SwitchedSource>();
        switched = source.get();
        if (!switched->own) {
            std::fprintf(
                stderr,
                "bench_wayland: the desktop offers no ext-image-copy-capture or wlr-screencopy\n");
            return 1;
        }
        platform->keyboard =
            std::make_unique<numarika::PrintScreenKeyboard>(*platform, std::move(source));
    }
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
    Reader reader(!gnome);
    numarika::bench::processEventsFor(300);

    // The scan goes on after the picture (the window comes back); the user acts later.
    const auto settle = [&] {
        waitFor([&] { return !window.scanning(); });
        numarika::bench::processEventsFor(500);
    };
    // Milliseconds from the start of `argv` until the reader has read the picture.
    // A new picture is awaited from here on (on GNOME the last one is still on the clipboard).
    // On GNOME the reader waits for the program to set the clipboard anew: the last picture is
    // still there until then, and nobody but the window with the keyboard may clear it.
    if (gnome) armOnSet->reader = &reader;
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
    // As the desktop starts the command of a key binding: GNOME gives it an activation token,
    // without which the window coming back after the scan would not get the keyboard, nor
    // the clipboard with it.
    const auto scanCommand = [&]() -> std::vector<std::string> {
        if (!gnome) return {program, "--scan"};
        return {"env", "XDG_ACTIVATION_TOKEN=" + gnomeActivationToken(program + " --scan"), program,
                "--scan"};
    };
    const std::string bus = numarika::kBusName.toStdString();
    const std::vector<std::string> sameRequest{"dbus-send",
                                               "--session",
                                               "--print-reply",
                                               "--dest=" + bus,
                                               numarika::kBusPath.toStdString(),
                                               bus + ".Scan"};
    // In turns first, so that neither finds the other's scan still busy more often.
    const auto alone = [&](int i) {
        std::pair<std::optional<double>, std::optional<double>> cd;
        if (i % 2) {
            cd.first = processAlone(scanCommand());
            cd.second = processAlone(sameRequest);
        } else {
            cd.second = processAlone(sameRequest);
            cd.first = processAlone(scanCommand());
        }
        return cd;
    };
    // The portal's own round trip: its answer, and its file read whole (and removed).
    const auto portalTrip = [&]() -> std::optional<double> {
        std::optional<double> elapsed;
        bool answered = false;
        {
            QObject context;  // no answer reaches this frame once it has gone
            const Clock::time_point start = Clock::now();
            numarika::PortalRequest::start(
                QDBusConnection::sessionBus(), QStringLiteral("org.freedesktop.portal.Screenshot"),
                QStringLiteral("Screenshot"), {QString()}, {{QStringLiteral("interactive"), false}},
                20000, &context, [&](const numarika::PortalAnswer& answer) {
                    answered = true;
                    if (!answer.ok()) return;
                    QFile file(
                        QUrl(answer.results.value(QStringLiteral("uri")).toString()).toLocalFile());
                    if (!file.open(QIODevice::ReadOnly) || file.readAll().size() <= 1000) return;
                    elapsed = msBetween(start, Clock::now());
                    file.remove();
                });
            waitFor([&] { return answered; });
        }
        settle();
        return elapsed;
    };
    using numarika::bench::median;
    const auto line = [](const char* what, double ms, double base) {
        std::printf("  %-44s %8.1f ms  %5.2fx\n", what, ms, ms / base);
    };
    const auto heading = [&] {
        const QSize screen = window.Picture2->Picture().size();
        std::printf("%s %dx%d, median of %d interleaved rounds.\n", gnome ? "GNOME" : "Wayland",
                    screen.width(), screen.height(), runs);
        std::printf("Paste-ready: from the command's start until wl-paste has read the PNG\n");
    };

    std::vector<double> hidden, shown, portal, base, client, dbus;
    for (int i = 0; i < runs + 1; ++i) {
        window.m_apri->setChecked(false);
        const auto h = pasteReady(scanCommand());
        const auto b =
            gnome ? portalTrip() : pasteReady({"sh", "-c", "grim - | wl-copy -t image/png"});
        window.m_apri->setChecked(true);
        const auto s = pasteReady(scanCommand());
        window.m_apri->setChecked(false);
        std::optional<double> p = 0.0;
        if (switched) {
            switched->portal = true;
            p = pasteReady(scanCommand());
            switched->portal = false;
        }
        const auto [c, d] = alone(i);
        if (!h || !b || !s || !p || !c || !d) {
            std::fprintf(stderr,
                         "bench_wayland: a contender failed (hidden %d, baseline %d, shown %d, "
                         "portal %d, client %d, dbus-send %d)\n",
                         bool(h), bool(b), bool(s), bool(p), bool(c), bool(d));
            return 1;
        }
        if (i < 1) continue;  // warming up
        hidden.push_back(*h);
        base.push_back(*b);
        shown.push_back(*s);
        portal.push_back(*p);
        client.push_back(*c);
        dbus.push_back(*d);
    }
    heading();
    const double baseline = median(base);
    line("numarika --scan, window hidden (default)", median(hidden), baseline);
    line("numarika --scan, window shown", median(shown), baseline);
    if (gnome) {
        std::printf("  (read by the first wl-paste begun after the clipboard was set)\n");
        line("baseline: the portal's Screenshot round trip", baseline, baseline);
    } else {
        line("numarika --scan, desktop portal's picture", median(portal), baseline);
        line("baseline: grim - | wl-copy -t image/png", baseline, baseline);
    }
    std::printf("The asking process alone, from its start to its end (a copy running)\n");
    line("numarika --scan", median(client), median(dbus));
    line("baseline: dbus-send of the same request", median(dbus), median(dbus));
    return 0;
}
