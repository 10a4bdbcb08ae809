#pragma once
// The Print Screen key of the desktop. Linux desktops have no system action for the key that
// a program could rely on, so this layer is that action: a Print Screen key-down event takes
// a picture of the whole desktop and puts it on the clipboard, replacing what was there. Like
// a key event handled by the system, the work finishes a little later on the UI thread; a
// yield (WindowControl::doEvents) waits for it.

#include <memory>

#include "platform/keyboard.h"

namespace numarika {

struct Platform;
class ScreenSource;

class PrintScreenKeyboard final : public Keyboard {
  public:
    // The picture goes to the clipboard of `platform`, which owns this keyboard.
    PrintScreenKeyboard(Platform& platform, std::unique_ptr<ScreenSource> source);
    ~PrintScreenKeyboard() override;

    // Only Print Screen has an effect (the one key the program sends); key-up events and
    // other keys are not synthesised.
    void keybdEvent(std::uint8_t virtualKey, std::uint8_t scanCode, std::uint32_t flags,
                    std::uint32_t extraInfo) override;
    void setPointerDrawn(bool drawn) override;

  private:
    Platform& platform_;
    std::unique_ptr<ScreenSource> source_;
};

}  // namespace numarika
