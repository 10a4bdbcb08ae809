#include "platform/wayland/wlr_screen_source.h"

#include <wayland-client.h>

#include <cstring>

#include "platform/logging.h"
#include "wlr-screencopy-unstable-v1-client-protocol.h"

namespace numarika {
namespace {

constexpr std::uint32_t kScreencopyVersion = 3;

// One output's frame: the compositor names a buffer (or, from version 3, several, then
// buffer_done), we make it, and it copies into it.
class Frame final : public OutputScreenSource::Capture {
  public:
    Frame(OutputScreenSource& source, const OutputScreenSource::Output& output,
          zwlr_screencopy_frame_v1* frame)
        : Capture(source, output), frame_(frame) {
        zwlr_screencopy_frame_v1_add_listener(frame_, &kListener, this);
    }
    ~Frame() override { zwlr_screencopy_frame_v1_destroy(frame_); }

  private:
    void copy() {
        if (copying_) return;
        copying_ = true;
        if (!offered_) {
            failed("the compositor named no shared-memory buffer for an output");
            return;
        }
        if (wl_buffer* buffer = makeBuffer()) zwlr_screencopy_frame_v1_copy(frame_, buffer);
    }

    static void onBuffer(void* data, zwlr_screencopy_frame_v1*, std::uint32_t format,
                         std::uint32_t width, std::uint32_t height, std::uint32_t stride) {
        auto* f = static_cast<Frame*>(data);
        f->format = format;
        f->width = static_cast<int>(width);
        f->height = static_cast<int>(height);
        f->stride = static_cast<int>(stride);
        f->offered_ = true;
        // Before version 3 no list of buffer types follows: this is the one.
        if (zwlr_screencopy_frame_v1_get_version(f->frame_) < 3) f->copy();
    }
    static void onFlags(void* data, zwlr_screencopy_frame_v1*, std::uint32_t flags) {
        static_cast<Frame*>(data)->yInvert = flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT;
    }
    static void onReady(void* data, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t,
                        std::uint32_t) {
        static_cast<Frame*>(data)->copied();
    }
    static void onFailed(void* data, zwlr_screencopy_frame_v1*) {
        static_cast<Frame*>(data)->failed("the compositor could not copy an output");
    }
    static void onDamage(void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t,
                         std::uint32_t, std::uint32_t) {}
    static void onDmabuf(void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t,
                         std::uint32_t) {}
    static void onBufferDone(void* data, zwlr_screencopy_frame_v1*) {
        static_cast<Frame*>(data)->copy();
    }
    static constexpr zwlr_screencopy_frame_v1_listener kListener = {
        onBuffer, onFlags, onReady, onFailed, onDamage, onDmabuf, onBufferDone};

    zwlr_screencopy_frame_v1* const frame_;
    bool offered_ = false;  // the compositor named a wl_shm buffer
    bool copying_ = false;
};

}  // namespace

std::unique_ptr<WlrScreenSource> WlrScreenSource::connect() {
    std::unique_ptr<WlrScreenSource> source(new WlrScreenSource);
    if (!source->open("the compositor offers no wlr-screencopy either: the screen comes from the "
                      "desktop portal"))
        return nullptr;
    return source;
}

WlrScreenSource::~WlrScreenSource() {
    if (manager_) zwlr_screencopy_manager_v1_destroy(manager_);
}

void WlrScreenSource::bindGlobal(wl_registry* registry, std::uint32_t name, const char* interface,
                                 std::uint32_t version) {
    if (manager_ || std::strcmp(interface, zwlr_screencopy_manager_v1_interface.name) != 0) return;
    manager_ = static_cast<zwlr_screencopy_manager_v1*>(
        wl_registry_bind(registry, name, &zwlr_screencopy_manager_v1_interface,
                         std::min(version, kScreencopyVersion)));
}

std::unique_ptr<OutputScreenSource::Capture> WlrScreenSource::capture(const Output& output,
                                                                      bool withPointer) {
    return std::make_unique<Frame>(
        *this, output,
        zwlr_screencopy_manager_v1_capture_output(manager_, withPointer ? 1 : 0, output.output));
}

}  // namespace numarika
