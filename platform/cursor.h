#pragma once

#include <QPoint>
#include <optional>

#include "platform/win_types.h"

namespace numarika {

using CursorHandle = Int32;

// The mouse pointer and the cursor image that the desktop shows, in screen pixels.
class CursorService {
  public:
    virtual ~CursorService() = default;
    // Where the pointer is; nothing when it cannot be read.
    virtual std::optional<QPoint> cursorPos() = 0;
    // The window under a screen position (0 for none) and the thread that owns it: our own
    // windows belong to currentThreadId(), any other program's to another id.
    virtual Int32 windowFromPoint(QPoint screenPos) = 0;
    virtual Int32 windowThreadId(Int32 window) = 0;
    virtual Int32 currentThreadId() = 0;
    // Shares (or stops sharing) the input state of two threads; false when refused.
    virtual bool attachThreadInput(Int32 ownThread, Int32 otherThread, bool attach) = 0;
    // The cursor of the (shared) input state now; 0 when none.
    virtual CursorHandle getCursor() = 0;
    // The hot spot of a cursor; nothing for an unknown handle.
    virtual std::optional<QPoint> hotspot(CursorHandle cursor) = 0;
    // Draws the cursor with its transparency, top-left corner at (x, y) in pixels of the
    // surface behind the device context. False when nothing was drawn.
    virtual bool drawIcon(Int32 hdc, int x, int y, CursorHandle cursor) = 0;
};

}  // namespace numarika
