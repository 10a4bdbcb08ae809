#include "platform/portal/parent_window.h"

#include <QGuiApplication>
#include <QWindow>

namespace numarika {
namespace {

WaylandWindowHandles& waylandHandles() {
    static WaylandWindowHandles handles;
    return handles;
}

}  // namespace

void setWaylandWindowHandles(WaylandWindowHandles handles) {
    waylandHandles() = std::move(handles);
}

QString portalParentWindow() {
    const QString qpa = QGuiApplication::platformName();
    if (qpa != QLatin1String("xcb") && qpa != QLatin1String("wayland")) return {};
    QWindow* chosen = QGuiApplication::focusWindow();
    if (!chosen || !chosen->isVisible()) {
        chosen = nullptr;
        for (QWindow* window : QGuiApplication::topLevelWindows()) {
            if (window->isVisible() && window->type() == Qt::Window) {
                chosen = window;
                break;
            }
        }
    }
    if (!chosen) return {};
    if (qpa == QLatin1String("xcb")) return QStringLiteral("x11:%1").arg(chosen->winId(), 0, 16);
    const QString handle = waylandHandles() ? waylandHandles()(chosen) : QString();
    return handle.isEmpty() ? QString() : QStringLiteral("wayland:") + handle;
}

}  // namespace numarika
