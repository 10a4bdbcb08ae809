#pragma once

#include <cstdint>

namespace numarika {

// The window system's virtual-key code of Print Screen, the one key the program presses.
inline constexpr std::uint8_t kPrintScreenKey = 0x2C;
// The flag of a key event that releases the key.
inline constexpr std::uint32_t kKeyEventKeyUp = 0x2;

// Synthetic key events. The one the program sends is Print Screen: like the original
// platform, the desktop then puts a picture of the whole screen on the clipboard,
// asynchronously, so the picture is there once the caller has yielded to pending events
// (WindowControl::doEvents).
class Keyboard {
  public:
    virtual ~Keyboard() = default;
    virtual void keybdEvent(std::uint8_t virtualKey, std::uint8_t scanCode, std::uint32_t flags,
                            std::uint32_t extraInfo) = 0;
    // Whether the desktop draws the pointer into the pictures that Print Screen takes from now
    // on, where it can (a Wayland compositor that copies its screen for us); the program draws
    // it itself where it knows where the pointer is.
    virtual void setPointerDrawn(bool) {}
};

}  // namespace numarika
