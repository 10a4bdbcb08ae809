#pragma once

#include <QImage>
#include <QPoint>
#include <cstdint>
#include <optional>

namespace numarika {

using CursorHandle = std::int32_t;

// A cursor's picture: premultiplied ARGB, and the hot spot in pixels of it.
struct CursorShape {
    QImage image;
    QPoint hotspot;
};

// The mouse pointer and the cursor image that the desktop shows, in screen pixels.
class CursorService {
  public:
    virtual ~CursorService() = default;
    // Where the pointer is; nothing where the desktop does not tell (Wayland tells a program
    // nothing about the pointer outside its own windows).
    virtual std::optional<QPoint> cursorPos() = 0;
    // The window under a screen position (0 for none) and the thread that owns it: our own
    // windows belong to currentThreadId(), any other program's to another id.
    virtual std::int32_t windowFromPoint(QPoint screenPos) = 0;
    virtual std::int32_t windowThreadId(std::int32_t window) = 0;
    virtual std::int32_t currentThreadId() = 0;
    // Shares (or stops sharing) the input state of two threads; false when refused.
    virtual bool attachThreadInput(std::int32_t ownThread, std::int32_t otherThread,
                                   bool attach) = 0;
    // The cursor of the (shared) input state now; 0 when none.
    virtual CursorHandle getCursor() = 0;
    // The picture behind a handle; nothing for an unknown one.
    virtual std::optional<CursorShape> cursorShape(CursorHandle cursor) = 0;
};

}  // namespace numarika
