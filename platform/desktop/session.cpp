#include "platform/desktop/session.h"

#include <QDir>
#include <QLibraryInfo>

#include "platform/wayland/wayland_session.h"
#include "platform/x11/x11_session.h"

namespace numarika {
namespace {

QString noX(const QByteArray& display) {
    return QStringLiteral(
               "Xディスプレイ %1 に接続できませんでした。\n"
               "cannot open X display %1 (no X server there, or access refused).")
        .arg(QString::fromLocal8Bit(display));
}

QString noWayland(const QByteArray& display) {
    return QStringLiteral(
               "Wayland ディスプレイ %1 に接続できませんでした。\n"
               "cannot connect to Wayland display %1 (no compositor there).")
        .arg(QString::fromLocal8Bit(display));
}

}  // namespace

SessionEnvironment SessionEnvironment::current() {
    SessionEnvironment env;
    env.qpaPlatform = qgetenv("QT_QPA_PLATFORM");
    env.waylandDisplay = qgetenv("WAYLAND_DISPLAY");
    env.display = qgetenv("DISPLAY");
    env.waylandReachable = &wayland::compositorReachable;
    env.xReachable = &x11::serverReachable;
    env.waylandPluginInstalled = [] {
        const QDir platforms(QLibraryInfo::path(QLibraryInfo::PluginsPath) +
                             QStringLiteral("/platforms"));
        return !platforms.entryList({QStringLiteral("libqwayland*.so")}, QDir::Files).isEmpty();
    };
    return env;
}

SessionChoice chooseSession(const SessionEnvironment& env) {
    const bool wayland = !env.waylandDisplay.isEmpty();
    const bool x = !env.display.isEmpty();
    // A platform the user named is kept; only a desktop it cannot reach is said at once,
    // before Qt would abort on its own.
    if (!env.qpaPlatform.isEmpty()) {
        if (env.qpaPlatform.startsWith("xcb")) {
            if (!x)
                return {
                    {},
                    QStringLiteral("Xディスプレイがありません（DISPLAY が設定されていません）。\n"
                                   "no X display (DISPLAY is not set).")};
            if (!env.xReachable()) return {{}, noX(env.display)};
        } else if (env.qpaPlatform.startsWith("wayland")) {
            if (!wayland || !env.waylandReachable()) return {{}, noWayland(env.waylandDisplay)};
        }
        return {};
    }
    if (wayland && env.waylandPluginInstalled() && env.waylandReachable()) return {"wayland", {}};
    if (x && env.xReachable()) return {"xcb", {}};
    if (x) return {{}, noX(env.display)};
    if (wayland) return {{}, noWayland(env.waylandDisplay)};
    return {{},
            QStringLiteral(
                "デスクトップがありません（WAYLAND_DISPLAY も DISPLAY も設定されていません）。"
                "Wayland または X11 のデスクトップで起動してください。\n"
                "no desktop (neither WAYLAND_DISPLAY nor DISPLAY is set). Run it on a Wayland "
                "or X11 desktop.")};
}

}  // namespace numarika
