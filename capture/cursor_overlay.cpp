// The mouse cursor drawn onto a scanned picture. Three moments meet here: the pointer's
// position when the scan began, the hot spot of the cursor shown before the window was
// minimised, and the image of the cursor shown once the picture is on the canvas.

#include "controls/user32.h"
#include "main_window/main.h"
#include "platform/cursor.h"
#include "platform/platform.h"

namespace numarika {

Int32 main::lngCursorHandle() {
    CursorService* cursor = services().cursor.get();
    // Where the desktop does not tell where the pointer is, no cursor can be said to be
    // shown there.
    const std::optional<QPoint> pos = cursor->cursorPos();
    if (!pos) return 0;
    const Int32 window = cursor->windowFromPoint(*pos);
    const Int32 owner = cursor->windowThreadId(window);
    const Int32 self = cursor->currentThreadId();
    // Over our own window the cursor is ours to ask for.
    if (owner == self) return cursor->getCursor();
    // Another program's cursor: borrow its input state for the one question.
    if (!cursor->attachThreadInput(self, owner, true)) return 0;
    const CursorHandle handle = cursor->getCursor();
    cursor->attachThreadInput(self, owner, false);
    return handle;
}

void main::LoadCursorHotspot() {
    QPoint hotspot(0, 0);  // what an unknown cursor leaves behind
    const CursorHandle handle = lngCursorHandle();
    if (const std::optional<CursorShape> shape = services().cursor->cursorShape(handle))
        hotspot = shape->hotspot;
    lngHotspotX = hotspot.x();
    lngHotspotY = hotspot.y();
}

bool main::DrawCursorOverlay(Int32 startX, Int32 startY) {
    const Int32 hdc = Picture2->hDC();
    const CursorHandle handle = lngCursorHandle();
    Int32 x = 0;
    Int32 y = 0;
    if (__builtin_sub_overflow(startY, lngHotspotY, &y) ||
        __builtin_sub_overflow(startX, lngHotspotX, &x))
        return false;
    // Screen pixel (0, 0) is picture pixel (0, 0); whether anything was drawn is not asked.
    DrawIcon(hdc, x, y, handle);
    return true;
}

}  // namespace numarika
