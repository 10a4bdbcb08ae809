#pragma once
// Which desktop the program runs on, chosen once before Qt starts: a Wayland session runs on
// Qt's Wayland platform with the Wayland services, anything else on X11, and a Qt platform
// the user names in QT_QPA_PLATFORM is kept (QT_QPA_PLATFORM=xcb selects X11 inside a
// Wayland session, through Xwayland).

#include <QByteArray>
#include <QString>
#include <functional>

namespace numarika {

struct SessionEnvironment {
    QByteArray qpaPlatform;     // QT_QPA_PLATFORM
    QByteArray waylandDisplay;  // WAYLAND_DISPLAY
    QByteArray display;         // DISPLAY
    // Whether a compositor answers on the Wayland display, an X server on the X display, and
    // whether Qt's Wayland platform is installed.
    std::function<bool()> waylandReachable;
    std::function<bool()> xReachable;
    std::function<bool()> waylandPluginInstalled;

    // The process's environment, with probes that really connect.
    static SessionEnvironment current();
};

struct SessionChoice {
    // The Qt platform to ask for before Qt starts; empty to leave QT_QPA_PLATFORM as it is.
    QByteArray qpaPlatform;
    // Set when no desktop can be had: what to tell the user (Japanese, then English).
    QString error;
};

SessionChoice chooseSession(const SessionEnvironment& environment);

}  // namespace numarika
