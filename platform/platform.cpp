#include "platform/platform.h"

#include "platform/clipboard.h"
#include "platform/cursor.h"
#include "platform/dialogs.h"
#include "platform/hot_keys.h"
#include "platform/keyboard.h"
#include "platform/logging.h"
#include "platform/null_services.h"
#include "platform/printer.h"
#include "platform/shell.h"
#include "platform/window_control.h"

namespace numarika {
namespace {
std::unique_ptr<Platform>& current() {
    static std::unique_ptr<Platform> platform;
    return platform;
}
}  // namespace

Platform::Platform()
    : clipboard(std::make_unique<NullClipboard>()),
      hotKeys(std::make_unique<NullHotKeys>()),
      dialogs(std::make_unique<NullDialogs>()),
      shell(std::make_unique<NullShell>()),
      keyboard(std::make_unique<NullKeyboard>(clipboard)),
      windows(std::make_unique<NullWindowControl>()),
      cursor(std::make_unique<NullCursor>()),
      printer(std::make_unique<NullPrinter>()) {}

Platform::~Platform() = default;

bool Platform::complete() const {
    return clipboard && hotKeys && dialogs && shell && keyboard && windows && cursor && printer;
}

Platform& services() {
    auto& p = current();
    if (!p) p = std::make_unique<Platform>();
    return *p;
}

bool installPlatform(std::unique_ptr<Platform> platform) {
    if (platform && !platform->complete()) {
        qCWarning(lcPlatform) << "an incomplete platform was not installed";
        return false;
    }
    current() = std::move(platform);
    return true;
}

}  // namespace numarika
