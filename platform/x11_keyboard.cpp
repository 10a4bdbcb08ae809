#include "platform/x11_keyboard.h"

#include <QMetaObject>

#include "platform/clipboard.h"
#include "platform/win_types.h"
#include "platform/x11_screen_grab.h"

namespace numarika {
namespace {
constexpr std::uint32_t KEYEVENTF_KEYUP = 0x2;
}

X11Keyboard::X11Keyboard(Clipboard& clipboard)
    : clipboard_(clipboard), grabber_(std::make_unique<X11ScreenGrabber>()) {}

X11Keyboard::~X11Keyboard() = default;

void X11Keyboard::keybdEvent(std::uint8_t virtualKey, std::uint8_t, std::uint32_t flags,
                             std::uint32_t) {
    if (virtualKey != VK_SNAPSHOT || (flags & KEYEVENTF_KEYUP)) return;
    QMetaObject::invokeMethod(
        &pending_, [this] { printScreen(); }, Qt::QueuedConnection);
}

void X11Keyboard::printScreen() {
    std::optional<QImage> desktop = grabber_->grabDesktop();
    // A failed grab must not leave an older picture there to pass for this one.
    if (!desktop || !clipboard_.setPicture(*desktop)) clipboard_.clear();
}

}  // namespace numarika
