#include "main_window/shutdown.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <csignal>

#include "main_window/main.h"

namespace numarika {
namespace {

// The signal handler may only do async-signal-safe things: it writes the signal number into
// a socket whose other end the event loop watches.
int g_signalFds[2] = {-1, -1};

constexpr std::array<int, 3> kSignals{SIGTERM, SIGINT, SIGHUP};
struct sigaction g_previous[kSignals.size()];

extern "C" void onTerminationSignal(int signal) {
    const int savedErrno = errno;
    const char byte = static_cast<char>(signal);
    // A full socket already holds a wake-up; losing this byte changes nothing.
    const ssize_t written = ::write(g_signalFds[0], &byte, 1);
    (void)written;
    errno = savedErrno;
}

}  // namespace

ShutdownPaths::ShutdownPaths(QApplication& app) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalFds) == 0) {
        // The handler must never block.
        ::fcntl(g_signalFds[0], F_SETFL, ::fcntl(g_signalFds[0], F_GETFL) | O_NONBLOCK);
        ::fcntl(g_signalFds[1], F_SETFL, ::fcntl(g_signalFds[1], F_GETFL) | O_NONBLOCK);
        notifier_ = std::make_unique<QSocketNotifier>(g_signalFds[1], QSocketNotifier::Read);
        connect(notifier_.get(), &QSocketNotifier::activated, this, &ShutdownPaths::onSignalByte);
        for (std::size_t i = 0; i < kSignals.size(); ++i) {
            struct sigaction action = {};
            action.sa_handler = onTerminationSignal;
            sigemptyset(&action.sa_mask);
            action.sa_flags = SA_RESTART;
            ::sigaction(kSignals[i], &action, &g_previous[i]);
        }
    }
    // Logging out: the session manager asks us to save before it ends us. There is nothing
    // to save, but the window closes now, while the X server is still there.
    connect(&app, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) {
        requested_ = true;
        closeEverything();
    });
    // Whatever else ends the event loop, the key is released and the procedure restored on
    // the way out. Form_QueryUnload does nothing the second time.
    connect(&app, &QCoreApplication::aboutToQuit, this, [] {
        if (main* window = main::instance()) window->Form_QueryUnload();
    });
}

ShutdownPaths::~ShutdownPaths() {
    if (g_signalFds[0] < 0) return;
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &g_previous[i], nullptr);
    notifier_.reset();  // before its socket closes
    ::close(g_signalFds[0]);
    ::close(g_signalFds[1]);
    g_signalFds[0] = g_signalFds[1] = -1;
}

void ShutdownPaths::onSignalByte() {
    char bytes[16];
    while (::read(g_signalFds[1], bytes, sizeof bytes) > 0) {
    }
    requested_ = true;
    closeEverything();
}

void ShutdownPaths::closeEverything() {
    // A modal box runs its own event loop inside a handler of the main window; closing it
    // lets that handler finish before the window goes. A box that refuses to close is left.
    for (int i = 0; i < 16; ++i) {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->close()) break;
    }
    if (main* window = main::instance()) window->close();
    QCoreApplication::quit();
}

}  // namespace numarika
