#include "platform/wayland/wayland_window_control.h"

#include <qpa/qplatformnativeinterface.h>
#include <wayland-client.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <cmath>

#include "platform/logging.h"
#include "platform/wayland/output_pixels.h"

namespace numarika {
namespace {

wl_display* qtWaylandDisplay() {
    auto* app = qGuiApp;
    if (!app || QGuiApplication::platformName() != QLatin1String("wayland")) return nullptr;
    QPlatformNativeInterface* native = QGuiApplication::platformNativeInterface();
    if (!native) return nullptr;
    return static_cast<wl_display*>(native->nativeResourceForIntegration("wl_display"));
}

// Lets the event loop run (without user input) for `ms`: what is waited for here cannot be
// seen from a program (the compositor's next frame), so the wait is one refresh of the screen.
void waitFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

// Until the compositor shows the window, within a second; the user's input waits.
void waitUntilExposed(QWidget& window) {
    QWindow* handle = window.windowHandle();
    if (!handle) return;
    QElapsedTimer limit;
    limit.start();
    while (!handle->isExposed() && limit.elapsed() < 1000)
        QCoreApplication::processEvents(
            QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents, 20);
    if (!handle->isExposed())
        qCInfo(lcPlatform) << "the window was not shown again within a second";
}

int framePeriodMs(const QWidget& window) {
    const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    const double rate = screen && screen->refreshRate() >= 1 ? screen->refreshRate() : 60.0;
    return static_cast<int>(std::ceil(1000.0 / rate));
}

}  // namespace

bool waylandRoundTrip() {
    wl_display* display = qtWaylandDisplay();
    if (!display) return false;
    // On a queue of our own, so that none of Qt's events is dispatched from here; the other
    // threads that read the connection cooperate through libwayland.
    wl_event_queue* queue = wl_display_create_queue(display);
    if (!queue) return false;
    auto* wrapped = static_cast<wl_display*>(wl_proxy_create_wrapper(display));
    bool ok = false;
    if (wrapped) {
        wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapped), queue);
        ok = wl_display_roundtrip_queue(display, queue) >= 0;
        wl_proxy_wrapper_destroy(wrapped);
    }
    wl_event_queue_destroy(queue);
    return ok;
}

void WaylandWindowControl::setWindowState(QWidget& window, WindowState state) {
    if (state != WindowState::Minimized) {
        const bool comingBack = hiddenByUs(window);
        QtWindowControl::setWindowState(window, state);
        // A window shown again is a new one to the compositor, mapped only once it has
        // answered; hiding it before that (the next scan) would leave it to appear later,
        // in the middle of that scan's picture.
        if (comingBack) {
            waitUntilExposed(window);
            shownAgain_.start();
        }
        return;
    }
    if (!window.isVisible() || hiddenByUs(window)) {
        markHidden(window);
        return;
    }
    // A compositor may go on showing a window it is still placing (sway keeps drawing a view
    // whose change is under way until its transaction ends, 200 ms at most): a window shown
    // again a moment ago (one scan right after another) is let settle first.
    if (shownAgain_.isValid() && shownAgain_.elapsed() < kSettleMs)
        waitFor(static_cast<int>(kSettleMs - shownAgain_.elapsed()));
    QElapsedTimer timer;
    timer.start();
    window.hide();
    markHidden(window);
    // Qt sends the unmapping from the event loop; then the compositor has to handle it.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    if (!waylandRoundTrip())
        qCInfo(lcPlatform) << "no Wayland connection to confirm the window is gone";
    // Compositors that copy the frame last shown need one drawn without the window, and one
    // that fades the window out draws it until the fading ends.
    if (closeAnimationMs_ > 0)
        waitFor(closeAnimationMs_ + framePeriodMs(window) + 2);
    else if (!nextFrame_)
        waitFor(framePeriodMs(window) + 2);
    qCDebug(lcPlatform) << "window off the screen after" << timer.elapsed() << "ms";
}

int desktopCloseAnimationMs() {
    // A little past the animation's own length: its last frame comes a frame period later.
    constexpr int kFadeOutMs = 200;
    const QStringList desktops =
        qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString& d : desktops) {
        if (d.compare(QLatin1String("GNOME"), Qt::CaseInsensitive) == 0 ||
            d.compare(QLatin1String("KDE"), Qt::CaseInsensitive) == 0) {
            qCInfo(lcPlatform).noquote()
                << d << "fades a closing window out: a window hidden for a scan waits" << kFadeOutMs
                << "ms for it";
            return kFadeOutMs;
        }
    }
    return 0;
}

void WaylandWindowControl::setTopMost(QWidget& window, bool topMost) {
    if (topMost && !window.isVisible() && !hiddenByUs(window) && !window.isMinimized())
        window.show();
}

void WaylandWindowControl::centreOnScreen(QWidget&) {}

void WaylandWindowControl::useActivationToken(const QString& token) {
    if (token.isEmpty()) return;
    qCDebug(lcPlatform) << "the next activation presents the desktop's token";
    qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
}

double WaylandWindowControl::screenPixelsPerUnit(const QWidget& widget) {
    const QScreen* screen = widget.screen();
    if (!screen) return widget.devicePixelRatioF();
    return waylandOutputPixelsPerUnit(*screen).value_or(widget.devicePixelRatioF());
}

}  // namespace numarika
