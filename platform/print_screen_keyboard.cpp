#include "platform/print_screen_keyboard.h"

#include "platform/clipboard.h"
#include "platform/logging.h"
#include "platform/pending_work.h"
#include "platform/platform.h"
#include "platform/screen_source.h"

namespace numarika {

PrintScreenKeyboard::PrintScreenKeyboard(Platform& platform, std::unique_ptr<ScreenSource> source)
    : platform_(platform), source_(std::move(source)) {}

PrintScreenKeyboard::~PrintScreenKeyboard() = default;

void PrintScreenKeyboard::setPointerDrawn(bool drawn) { source_->setPointerDrawn(drawn); }

void PrintScreenKeyboard::keybdEvent(std::uint8_t virtualKey, std::uint8_t, std::uint32_t flags,
                                     std::uint32_t) {
    if (virtualKey != kPrintScreenKey || (flags & kKeyEventKeyUp)) return;
    auto work = std::make_shared<PendingWork::Token>("screen picture");
    source_->requestScreen([this, work](std::optional<QImage> picture) {
        Clipboard& clipboard = *platform_.clipboard;
        // A failed grab must not leave an older picture there to pass for this one.
        if (!picture || picture->isNull()) {
            qCInfo(lcPlatform) << "Print Screen: no picture of the screen";
            clipboard.clear();
        } else if (!clipboard.setPicture(*picture)) {
            clipboard.clear();
        }
        work->end();
    });
}

}  // namespace numarika
