#include "platform/platform.h"

#include "platform/clipboard.h"
#include "platform/cursor.h"
#include "platform/dialogs.h"
#include "platform/hot_keys.h"
#include "platform/keyboard.h"
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

Platform::Platform() = default;
Platform::~Platform() = default;

Platform& services() {
    auto& p = current();
    if (!p) p = std::make_unique<Platform>();
    return *p;
}

void installPlatform(std::unique_ptr<Platform> platform) { current() = std::move(platform); }

}  // namespace numarika
