#pragma once
// A handle for one of the program's windows that another program can name the window by
// (xdg-foreign, zxdg_exporter_v2): the desktop portal places its dialogs over the window it
// names as their parent.

#include <QString>

class QWindow;

namespace numarika {

// The compositor's handle for `window`, exported while the window lives (again when it got a
// new surface); empty where the compositor offers no exporter or the window is not shown.
QString waylandWindowHandle(QWindow* window);

}  // namespace numarika
