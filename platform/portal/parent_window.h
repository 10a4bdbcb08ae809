#pragma once
// The parent_window argument of portal calls: the program's window, so that a dialog of the
// desktop (a permission question, a shortcut chooser) stands over it.

#include <QString>

namespace numarika {

// "x11:<XID>" of the program's visible top-level window on X11 and Xwayland, "wayland:<handle>"
// on Wayland where the compositor exports windows (xdg-foreign). Empty where the program shows
// no window or the compositor exports none: the portal allows an empty parent.
QString portalParentWindow();

}  // namespace numarika
