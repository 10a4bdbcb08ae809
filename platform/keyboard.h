#pragma once

#include <cstdint>

namespace numarika {

// Synthetic key events. The one the program sends is Print Screen (VK_SNAPSHOT): like the
// original platform, the system then puts a picture of the whole desktop on the clipboard,
// asynchronously, so the picture is there once the caller has yielded to pending events.
class Keyboard {
  public:
    virtual ~Keyboard() = default;
    virtual void keybdEvent(std::uint8_t virtualKey, std::uint8_t scanCode, std::uint32_t flags,
                            std::uint32_t extraInfo) = 0;
};

}  // namespace numarika
