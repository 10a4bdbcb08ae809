#pragma once
// The clipboard of a Wayland desktop set without the keyboard focus, through a data-control
// protocol: ext-data-control of wayland-protocols where the compositor offers it (KDE Plasma 6,
// which has nothing else; sway from 1.11), else wlroots' wlr-data-control (older sway,
// Hyprland, KDE Plasma 5). A Wayland program may otherwise set the clipboard only with the
// serial of a key or button press it received; a scan by the desktop's shortcut or
// `numarika --scan`, with the window never touched, would leave the clipboard empty.
//
// On a connection of its own, dispatched from the UI thread's event loop; the pictures are
// written to the pasting program from a worker, so that a large one never holds up the UI.

#include <QObject>
#include <memory>

#include "platform/qt/qt_clipboard.h"

namespace numarika {

class WaylandDataControl : public QObject, public DirectClipboard {
  public:
    // Nothing where the compositor offers neither protocol (or there is no Wayland).
    static std::unique_ptr<WaylandDataControl> connect();

    // Whether the clipboard's content is still ours.
    virtual bool owns() const = 0;

  protected:
    WaylandDataControl() = default;
};

}  // namespace numarika
