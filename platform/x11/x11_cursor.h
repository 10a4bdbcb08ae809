#pragma once
// The pointer and the cursor image on X11. The X server knows which cursor it shows, whoever
// set it (XFixes reports its image, hot spot and a serial number), so no input state has to
// be shared to read another program's cursor: attaching is only bookkeeping here. Window
// ownership follows the X resource ids: a window made on our connection is ours. Under
// Xwayland the server knows the pointer only over X windows, so no position is given there.

#include <xcb/xfixes.h>

#include <QHash>
#include <QList>
#include <QSet>

#include "platform/cursor.h"

namespace numarika {

class X11CursorService final : public CursorService {
  public:
    std::optional<QPoint> cursorPos() override;
    // The innermost window at the position, as the pointer would find it.
    std::int32_t windowFromPoint(QPoint screenPos) override;
    std::int32_t windowThreadId(std::int32_t window) override;
    std::int32_t currentThreadId() override;
    bool attachThreadInput(std::int32_t ownThread, std::int32_t otherThread, bool attach) override;
    // The handle stands for the image read now; the latest few images are kept by handle.
    CursorHandle getCursor() override;
    std::optional<CursorShape> cursorShape(CursorHandle cursor) override;

  public:
    ~X11CursorService() override;

  private:
    static constexpr int kKeptShapes = 8;

    xcb_connection_t* connection();
    void dropPrefetchedImage(xcb_connection_t* c);

    // What the last pointer query found: the position and the root's child there.
    struct PointerAt {
        QPoint pos;
        std::uint32_t child;
    };
    std::optional<PointerAt> lastPointer_;
    std::optional<xcb_xfixes_get_cursor_image_cookie_t> prefetchedImage_;

    QHash<CursorHandle, CursorShape> shapes_;
    QList<CursorHandle> order_;  // oldest first
    QSet<std::int32_t> attached_;
    bool xfixesReady_ = false;
    bool xwayland_ = false;
    xcb_connection_t* xfixesConnection_ = nullptr;
};

}  // namespace numarika
