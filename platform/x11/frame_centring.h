#pragma once

class QWidget;

namespace numarika {

// Places a top-level window so that it appears centred on its screen, frame included. Call
// before the window is first shown. Without a window manager the window has no frame and is
// centred at once; a frame becomes known only when the window is mapped, so the window is
// centred once more, frame and all, when it is first exposed or when an X11 window manager
// announces its frame. Where the compositor places windows (Wayland) this asks in vain.
void centreFrameOnScreen(QWidget& window);

}  // namespace numarika
