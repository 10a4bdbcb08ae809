#pragma once
// The outputs copied through wlr-screencopy (sway before 1.11, river, Wayfire, niri and the
// other wlroots desktops; wlroots itself has it superseded by ext-image-copy-capture).

#include <memory>

#include "platform/wayland/output_screen_source.h"

struct zwlr_screencopy_manager_v1;

namespace numarika {

class WlrScreenSource final : public OutputScreenSource {
  public:
    // Nothing where the compositor does not offer the protocol (or there is no Wayland).
    static std::unique_ptr<WlrScreenSource> connect();
    ~WlrScreenSource() override;

  private:
    WlrScreenSource() : OutputScreenSource("wlr-screencopy") {}
    void bindGlobal(wl_registry* registry, std::uint32_t name, const char* interface,
                    std::uint32_t version) override;
    bool offered() const override { return manager_ != nullptr; }
    std::unique_ptr<Capture> capture(const Output& output, bool withPointer) override;

    zwlr_screencopy_manager_v1* manager_ = nullptr;
};

}  // namespace numarika
