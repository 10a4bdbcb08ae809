#pragma once
// The Print Screen key of the desktop. X11 has no system action for the key, so this layer is
// that action: a Print Screen key-down event grabs the whole desktop and puts the picture on
// the clipboard, replacing what was there. Like a key event handled by the system, the work
// runs a little later, on the UI thread's event loop: the picture is on the clipboard once the
// caller has yielded to pending events.

#include <QObject>
#include <memory>

#include "platform/keyboard.h"

namespace numarika {

class Clipboard;
class X11ScreenGrabber;

class X11Keyboard final : public Keyboard {
  public:
    // The clipboard must outlive this object.
    explicit X11Keyboard(Clipboard& clipboard);
    ~X11Keyboard() override;

    // Only Print Screen has an effect (the one key the program sends); key-up events and
    // other keys are not synthesised.
    void keybdEvent(std::uint8_t virtualKey, std::uint8_t scanCode, std::uint32_t flags,
                    std::uint32_t extraInfo) override;

  private:
    void printScreen();

    Clipboard& clipboard_;
    std::unique_ptr<X11ScreenGrabber> grabber_;
    QObject pending_;  // queued grabs die with this object
};

}  // namespace numarika
