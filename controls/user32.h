#pragma once
// The window system's own services as the program's code uses them: message procedures,
// string atoms, hot keys that arrive as WM_HOTKEY messages, and a cursor drawn on a device
// context. Built on the desktop services of platform/.

#include <QHash>
#include <functional>

#include "controls/atom_table.h"
#include "controls/win_types.h"
#include "controls/window_procedures.h"
#include "platform/cursor.h"

namespace numarika {

struct User32 {
    WindowProcedures windowProcedures;
    AtomTable atoms;
    // Where each registered hot key reports to, by identifier.
    struct HotKey {
        Hwnd hwnd;
        std::uint32_t modifiers;
        std::uint32_t virtualKey;
    };
    QHash<Int32, HotKey> hotKeys;
    // Told when the desktop took a registered hot key back (see HotKeys); nobody by default.
    std::function<void(Hwnd hwnd, Int32 id)> onHotKeyLost;
};

// The window system of this program run.
User32& user32();
// A fresh one, as at the start of a run (the tests start every case with one).
void resetUser32();

// Registers a system-wide key; each press is then sent to `hwnd`'s message procedure as
// WM_HOTKEY with `id` as wParam and the key code in the high word of lParam. False when the
// desktop refuses.
bool RegisterHotKey(Hwnd hwnd, Int32 id, std::uint32_t modifiers, std::uint32_t virtualKey);
bool UnregisterHotKey(Hwnd hwnd, Int32 id);

// Draws the cursor with its transparency, top-left corner at (x, y) in pixels of the surface
// behind the device context. False when nothing was drawn.
bool DrawIcon(Int32 hdc, int x, int y, CursorHandle cursor);

}  // namespace numarika
