#pragma once
// The outputs copied through ext-image-copy-capture, the protocol of wayland-protocols that
// follows wlr-screencopy: sway from 1.11, Hyprland from 0.54, COSMIC (which has nothing else).
// Each output becomes a capture source (ext-output-image-capture-source), a session on it says
// which buffer it wants, and one frame copies into it.

#include <memory>

#include "platform/wayland/output_screen_source.h"

struct ext_image_copy_capture_manager_v1;
struct ext_output_image_capture_source_manager_v1;

namespace numarika {

class ExtScreenSource final : public OutputScreenSource {
  public:
    // Nothing where the compositor does not offer the protocols (or there is no Wayland).
    static std::unique_ptr<ExtScreenSource> connect();
    ~ExtScreenSource() override;

  private:
    ExtScreenSource() : OutputScreenSource("ext-image-copy-capture") {}
    void bindGlobal(wl_registry* registry, std::uint32_t name, const char* interface,
                    std::uint32_t version) override;
    bool offered() const override { return manager_ && outputSources_; }
    std::unique_ptr<Capture> capture(const Output& output, bool withPointer) override;

    ext_image_copy_capture_manager_v1* manager_ = nullptr;
    ext_output_image_capture_source_manager_v1* outputSources_ = nullptr;
};

}  // namespace numarika
