#pragma once

#include <cstdint>

namespace numarika {

// The window system's virtual-key code of Print Screen, the one key the program presses.
inline constexpr std::uint8_t kPrintScreenKey = 0x2C;
// The flag of a key event that releases the key.
inline constexpr std::uint32_t kKeyEventKeyUp = 0x2;
// The extra information of a Print Screen press that asks the desktop to draw the mouse
// pointer into the picture where it can: where the program cannot learn where the pointer is
// (Wayland), it draws none itself.
inline constexpr std::uint32_t kExtraInfoDesktopPointer = 0x4E4D5031;

// Synthetic key events. The one the program sends is Print Screen: like the original
// platform, the desktop then puts a picture of the whole screen on the clipboard,
// asynchronously, so the picture is there once the caller has yielded to pending events
// (WindowControl::doEvents).
class Keyboard {
  public:
    virtual ~Keyboard() = default;
    virtual void keybdEvent(std::uint8_t virtualKey, std::uint8_t scanCode, std::uint32_t flags,
                            std::uint32_t extraInfo) = 0;
};

}  // namespace numarika
