#pragma once
// System-wide hot keys. While a key is registered, each press of it anywhere on the desktop
// is delivered to the registering window's message procedure as WM_HOTKEY with the
// identifier as wParam, on the UI thread.

#include "platform/win_types.h"

namespace numarika {

class HotKeys {
  public:
    virtual ~HotKeys() = default;
    // False when the system refuses (another program holds the key, or there is no desktop).
    virtual bool registerHotKey(Hwnd hwnd, Int32 id, std::uint32_t modifiers,
                                std::uint32_t virtualKey) = 0;
    virtual bool unregisterHotKey(Hwnd hwnd, Int32 id) = 0;
};

}  // namespace numarika
