#pragma once
// The parent_window argument of portal calls: the program's window, so that a dialog of the
// desktop (a permission question, a shortcut chooser) stands over it.

#include <QString>
#include <functional>

class QWindow;

namespace numarika {

// The compositor's handle for a window of ours (xdg-foreign), given by the Wayland side; empty
// where it has none.
using WaylandWindowHandles = std::function<QString(QWindow* window)>;
void setWaylandWindowHandles(WaylandWindowHandles handles);

// "x11:<XID>" of the program's visible top-level window on X11 and Xwayland, "wayland:<handle>"
// on Wayland where the compositor exports windows (xdg-foreign). Empty where the program shows
// no window or the compositor exports none: the portal allows an empty parent.
QString portalParentWindow();

}  // namespace numarika
