#pragma once
// The pointer and the cursor image on X11. The X server knows which cursor it shows, whoever
// set it (XFixes reports its image, hot spot and a serial number), so no input state has to
// be shared to read another program's cursor: attaching is only bookkeeping here. Window
// ownership follows the X resource ids: a window made on our connection is ours.

#include <QHash>
#include <QImage>
#include <QList>
#include <QSet>

#include "platform/cursor.h"

struct xcb_connection_t;

namespace numarika {

class X11CursorService final : public CursorService {
  public:
    std::optional<QPoint> cursorPos() override;
    // The innermost window at the position, as the pointer would find it.
    Int32 windowFromPoint(QPoint screenPos) override;
    Int32 windowThreadId(Int32 window) override;
    Int32 currentThreadId() override;
    bool attachThreadInput(Int32 ownThread, Int32 otherThread, bool attach) override;
    // The handle stands for the image read now; the latest few images are kept by handle.
    CursorHandle getCursor() override;
    std::optional<QPoint> hotspot(CursorHandle cursor) override;
    bool drawIcon(Int32 hdc, int x, int y, CursorHandle cursor) override;

    // The image behind a handle (premultiplied ARGB), null for an unknown one.
    QImage image(CursorHandle cursor) const;

  private:
    struct Shape {
        QImage image;
        QPoint hotspot;
    };
    static constexpr int kKeptShapes = 8;

    xcb_connection_t* connection();

    QHash<CursorHandle, Shape> shapes_;
    QList<CursorHandle> order_;  // oldest first
    QSet<Int32> attached_;
    bool xfixesReady_ = false;
    xcb_connection_t* xfixesConnection_ = nullptr;
};

}  // namespace numarika
