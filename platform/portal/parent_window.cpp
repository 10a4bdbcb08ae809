#include "platform/portal/parent_window.h"

#include <QGuiApplication>
#include <QWindow>

namespace numarika {

QString portalParentWindow() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return {};
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
    return QStringLiteral("x11:%1").arg(chosen->winId(), 0, 16);
}

}  // namespace numarika
