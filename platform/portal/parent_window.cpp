#include "platform/portal/parent_window.h"

#include <QGuiApplication>
#include <QWindow>

#include "platform/wayland/xdg_foreign.h"

namespace numarika {

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
    const QString handle = waylandWindowHandle(chosen);
    return handle.isEmpty() ? QString() : QStringLiteral("wayland:") + handle;
}

}  // namespace numarika
