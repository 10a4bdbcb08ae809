#include "platform/qt/qt_window_control.h"

#include <QApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include "platform/pending_work.h"

namespace numarika {
namespace {

QPoint centredFramePosition(const QWidget& window, const QSize& frame) {
    const QScreen* screen = window.screen();
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return window.pos();
    const QRect area = screen->geometry();
    return {area.x() + (area.width() - frame.width()) / 2,
            area.y() + (area.height() - frame.height()) / 2};
}

}  // namespace

bool QtWindowControl::hiddenByUs(const QWidget& window) const {
    for (const QPointer<QWidget>& w : hidden_)
        if (w == &window) return true;
    return false;
}

void QtWindowControl::markHidden(QWidget& window) {
    if (!hiddenByUs(window)) hidden_.append(&window);
}

void QtWindowControl::forgetHidden(const QWidget& window) {
    hidden_.removeIf([&window](const QPointer<QWidget>& w) { return !w || w == &window; });
}

WindowState QtWindowControl::windowState(QWidget& window) {
    if (hiddenByUs(window) || window.isMinimized()) return WindowState::Minimized;
    if (window.isMaximized()) return WindowState::Maximized;
    return WindowState::Normal;
}

void QtWindowControl::setWindowState(QWidget& window, WindowState state) {
    switch (state) {
        case WindowState::Minimized:
            window.setWindowState(window.windowState() | Qt::WindowMinimized);
            break;
        case WindowState::Maximized:
            forgetHidden(window);
            window.showMaximized();
            break;
        case WindowState::Normal:
            forgetHidden(window);
            window.showNormal();
            break;
    }
}

void QtWindowControl::setTopMost(QWidget& window, bool topMost) {
    if (!topMost) return;
    if (!window.isVisible() && !hiddenByUs(window) && !window.isMinimized()) window.show();
    window.raise();
}

QWidget* QtWindowControl::visibleWindowTitled(const QString& caption) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowTitle() == caption) return w;
    return nullptr;
}

bool QtWindowControl::activateByTitle(const QString& caption) {
    QWidget* w = visibleWindowTitled(caption);
    if (!w) return false;
    w->raise();
    w->activateWindow();
    return true;
}

void QtWindowControl::doEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    PendingWork::waitUntilIdle();
}

void QtWindowControl::centreOnScreen(QWidget& window) {
    if (window.isWindow()) moveFrameToCentre(window);
}

void QtWindowControl::moveFrameToCentre(QWidget& window) {
    QWindow* handle = window.windowHandle();
    if (!handle || !handle->handle()) {
        window.move(centredFramePosition(window, window.frameGeometry().size()));
        return;
    }
    const QMargins m = handle->frameMargins();
    const QSize frame = handle->size().grownBy(m);
    handle->setFramePosition(centredFramePosition(window, frame));
}

}  // namespace numarika
