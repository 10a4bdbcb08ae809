#include "controls/user32.h"

#include <QPainter>
#include <memory>

#include "controls/picture_box.h"
#include "platform/hot_keys.h"
#include "platform/platform.h"

namespace numarika {
namespace {

std::unique_ptr<User32>& current() {
    static std::unique_ptr<User32> state = std::make_unique<User32>();
    return state;
}

// The desktop's hot keys report to whoever registered last: this run's window system.
void listenToHotKeys() {
    services().hotKeys->setHandlers(
        [](std::int32_t id) {
            User32& u = user32();
            const auto it = u.hotKeys.constFind(id);
            if (it == u.hotKeys.cend()) return;
            // lParam as the window system builds it: key code high, modifiers low.
            const auto lParam = static_cast<Int32>((it->virtualKey << 16) | it->modifiers);
            u.windowProcedures.sendMessage(it->hwnd, WM_HOTKEY, id, lParam);
        },
        [](std::int32_t id) {
            User32& u = user32();
            const auto it = u.hotKeys.constFind(id);
            if (it == u.hotKeys.cend()) return;
            const Hwnd hwnd = it->hwnd;
            u.hotKeys.remove(id);
            if (u.onHotKeyLost) u.onHotKeyLost(hwnd, id);
        },
        // Kept: a key the user gives it later in the desktop's settings still reaches us.
        [](std::int32_t id) {
            User32& u = user32();
            const auto it = u.hotKeys.constFind(id);
            if (it == u.hotKeys.cend()) return;
            if (u.onHotKeyLost) u.onHotKeyLost(it->hwnd, id);
        });
}

}  // namespace

User32& user32() { return *current(); }

void resetUser32() { current() = std::make_unique<User32>(); }

bool RegisterHotKey(Hwnd hwnd, Int32 id, std::uint32_t modifiers, std::uint32_t virtualKey) {
    listenToHotKeys();
    if (!services().hotKeys->registerHotKey(id, modifiers, virtualKey)) return false;
    user32().hotKeys.insert(id, {hwnd, modifiers, virtualKey});
    return true;
}

bool UnregisterHotKey(Hwnd hwnd, Int32 id) {
    User32& u = user32();
    const auto it = u.hotKeys.constFind(id);
    // Another window's registration is not ours to end.
    if (it != u.hotKeys.cend() && it->hwnd != hwnd) return false;
    u.hotKeys.remove(id);
    return services().hotKeys->unregisterHotKey(id);
}

bool DrawIcon(Int32 hdc, int x, int y, CursorHandle cursor) {
    PictureBox* box = PictureBox::fromDC(hdc);
    const std::optional<CursorShape> shape = services().cursor->cursorShape(cursor);
    if (!box || !shape || shape->image.isNull()) return false;
    const QImage& image = shape->image;
    const QSize surface = box->imageSize();
    // Wide arithmetic: a position near the integer limits must not wrap onto the surface.
    const qint64 left = x, top = y;
    if (left >= surface.width() || top >= surface.height() || left + image.width() <= 0 ||
        top + image.height() <= 0)
        return false;
    const QRect where(QPoint(x, y), image.size());
    const QRect touched = where.intersected(QRect(QPoint(0, 0), surface));
    // A few hundred pixels on a picture that others share: drawn aside, not on a copy of it.
    return box->drawSmall(touched, [&](QPainter& painter) {
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        // Only the part that lands on the surface: positions far outside stay out of the
        // painter's arithmetic.
        painter.drawImage(touched.topLeft(), image, touched.translated(-where.topLeft()));
    });
}

}  // namespace numarika
