#include "platform/wayland/ext_screen_source.h"

#include <wayland-client.h>

#include <cstring>

#include "ext-image-capture-source-v1-client-protocol.h"
#include "ext-image-copy-capture-v1-client-protocol.h"
#include "platform/logging.h"

namespace numarika {
namespace {

// One output's session and its single frame. The session names the buffer's size and the
// shared-memory formats it takes (again whenever they change, each time ended by done); the
// first done makes the buffer and the frame that copies into it.
class Session final : public OutputScreenSource::Capture {
  public:
    Session(OutputScreenSource& source, const OutputScreenSource::Output& output,
            ext_image_copy_capture_session_v1* session)
        : Capture(source, output), session_(session) {
        ext_image_copy_capture_session_v1_add_listener(session_, &kSessionListener, this);
    }
    ~Session() override {
        if (frame_) ext_image_copy_capture_frame_v1_destroy(frame_);
        ext_image_copy_capture_session_v1_destroy(session_);
    }

  private:
    void copy() {
        if (frame_ || over_) return;
        if (!formatChosen_) {
            failed("the compositor offers no shared-memory format of ours for an output");
            return;
        }
        stride = strideOf(format, width);
        wl_buffer* buffer = makeBuffer();
        if (!buffer) return;
        frame_ = ext_image_copy_capture_session_v1_create_frame(session_);
        ext_image_copy_capture_frame_v1_add_listener(frame_, &kFrameListener, this);
        ext_image_copy_capture_frame_v1_attach_buffer(frame_, buffer);
        // A new buffer: all of it is to be written.
        ext_image_copy_capture_frame_v1_damage_buffer(frame_, 0, 0, width, height);
        ext_image_copy_capture_frame_v1_capture(frame_);
    }

    static void onBufferSize(void* data, ext_image_copy_capture_session_v1*, std::uint32_t width,
                             std::uint32_t height) {
        auto* s = static_cast<Session*>(data);
        s->width = static_cast<int>(width);
        s->height = static_cast<int>(height);
    }
    // The first format we read, replaced by one that needs no conversion where offered.
    static void onShmFormat(void* data, ext_image_copy_capture_session_v1*, std::uint32_t format) {
        auto* s = static_cast<Session*>(data);
        if (!formatKnown(format)) return;
        if (s->formatChosen_ && (formatFast(s->format) || !formatFast(format))) return;
        s->format = format;
        s->formatChosen_ = true;
    }
    static void onDmabufDevice(void*, ext_image_copy_capture_session_v1*, wl_array*) {}
    static void onDmabufFormat(void*, ext_image_copy_capture_session_v1*, std::uint32_t,
                               wl_array*) {}
    static void onDone(void* data, ext_image_copy_capture_session_v1*) {
        static_cast<Session*>(data)->copy();
    }
    static void onStopped(void* data, ext_image_copy_capture_session_v1*) {
        auto* s = static_cast<Session*>(data);
        if (s->over_) return;
        s->over_ = true;
        s->failed("the compositor ended the copy of an output");
    }
    static constexpr ext_image_copy_capture_session_v1_listener kSessionListener = {
        onBufferSize, onShmFormat, onDmabufDevice, onDmabufFormat, onDone, onStopped};

    static void onTransform(void* data, ext_image_copy_capture_frame_v1*, std::uint32_t transform) {
        static_cast<Session*>(data)->transform = static_cast<int>(transform);
    }
    static void onDamage(void*, ext_image_copy_capture_frame_v1*, std::int32_t, std::int32_t,
                         std::int32_t, std::int32_t) {}
    static void onPresentationTime(void*, ext_image_copy_capture_frame_v1*, std::uint32_t,
                                   std::uint32_t, std::uint32_t) {}
    static void onReady(void* data, ext_image_copy_capture_frame_v1*) {
        auto* s = static_cast<Session*>(data);
        s->over_ = true;
        s->copied();
    }
    static void onFailed(void* data, ext_image_copy_capture_frame_v1*, std::uint32_t reason) {
        auto* s = static_cast<Session*>(data);
        s->over_ = true;
        s->failed(reason == EXT_IMAGE_COPY_CAPTURE_FRAME_V1_FAILURE_REASON_BUFFER_CONSTRAINTS
                      ? "the compositor refused our buffer for an output"
                      : "the compositor could not copy an output");
    }
    static constexpr ext_image_copy_capture_frame_v1_listener kFrameListener = {
        onTransform, onDamage, onPresentationTime, onReady, onFailed};

    ext_image_copy_capture_session_v1* const session_;
    ext_image_copy_capture_frame_v1* frame_ = nullptr;
    bool formatChosen_ = false;
    bool over_ = false;  // copied, failed or stopped: nothing more is asked
};

}  // namespace

std::unique_ptr<ExtScreenSource> ExtScreenSource::connect() {
    std::unique_ptr<ExtScreenSource> source(new ExtScreenSource);
    if (!source->open("the compositor offers no ext-image-copy-capture for outputs: "
                      "wlr-screencopy is tried"))
        return nullptr;
    return source;
}

ExtScreenSource::~ExtScreenSource() {
    if (outputSources_) ext_output_image_capture_source_manager_v1_destroy(outputSources_);
    if (manager_) ext_image_copy_capture_manager_v1_destroy(manager_);
}

void ExtScreenSource::bindGlobal(wl_registry* registry, std::uint32_t name, const char* interface,
                                 std::uint32_t) {
    // Both are at version 1.
    if (!manager_ && std::strcmp(interface, ext_image_copy_capture_manager_v1_interface.name) == 0)
        manager_ = static_cast<ext_image_copy_capture_manager_v1*>(
            wl_registry_bind(registry, name, &ext_image_copy_capture_manager_v1_interface, 1));
    else if (!outputSources_ &&
             std::strcmp(interface, ext_output_image_capture_source_manager_v1_interface.name) == 0)
        outputSources_ = static_cast<ext_output_image_capture_source_manager_v1*>(wl_registry_bind(
            registry, name, &ext_output_image_capture_source_manager_v1_interface, 1));
}

std::unique_ptr<OutputScreenSource::Capture> ExtScreenSource::capture(const Output& output,
                                                                      bool withPointer) {
    // The source is needed only to make the session.
    ext_image_capture_source_v1* source =
        ext_output_image_capture_source_manager_v1_create_source(outputSources_, output.output);
    const std::uint32_t options =
        withPointer ? EXT_IMAGE_COPY_CAPTURE_MANAGER_V1_OPTIONS_PAINT_CURSORS : 0;
    auto session = std::make_unique<Session>(
        *this, output, ext_image_copy_capture_manager_v1_create_session(manager_, source, options));
    ext_image_capture_source_v1_destroy(source);
    return session;
}

}  // namespace numarika
