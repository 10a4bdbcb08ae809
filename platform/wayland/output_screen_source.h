#pragma once
// The screen picture where the compositor lets a program copy its outputs itself, whichever
// protocol asks for the copies (ext-image-copy-capture, wlr-screencopy): each output into a
// shared-memory buffer of ours, at its own pixels, put together at its place in the desktop
// (xdg-output) as the desktop portal and grim do, the compositor's pixel formats converted on
// the way. Nothing passes through a file, and the pointer is drawn by the compositor when asked
// for. The protocols' own parts live in ext_screen_source and wlr_screen_source.
//
// On a Wayland connection of its own, dispatched from the UI thread's event loop.

#include <QObject>
#include <QRect>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/screen_source.h"

struct wl_display;
struct wl_registry;
struct wl_shm;
struct wl_output;
struct wl_buffer;
struct zxdg_output_manager_v1;

namespace numarika {

class ShmBuffer;

class OutputScreenSource : public ScreenSource {
  public:
    // The longest wait for the compositor's copies; it answers within a frame or two.
    static constexpr int kTimeoutMs = 5000;

    ~OutputScreenSource() override;

    void requestScreen(bool withPointer, Done done) final;

    // One output as the compositor describes it.
    struct Output {
        std::uint32_t name = 0;  // the registry's
        wl_output* output = nullptr;
        void* xdgOutput = nullptr;
        QRect logical;  // place and size in the desktop
        int scale = 1;
        int transform = 0;  // wl_output.transform
    };

    // One output's copy for the request in flight; the protocol's objects are the subclass's.
    class Capture {
      public:
        Capture(OutputScreenSource& source, const Output& output);
        virtual ~Capture();

        // Whether the picture can be put together from pixels of this wl_shm format.
        static bool formatKnown(std::uint32_t format);
        // Whether those pixels go into the picture without a conversion of their own.
        static bool formatFast(std::uint32_t format);
        // The least stride of a row of `width` pixels, 4-byte aligned as grim makes it.
        static int strideOf(std::uint32_t format, int width);

        // A buffer of the size and format the compositor named for the copy; nothing (the
        // request failed, logged) where it cannot be made.
        wl_buffer* makeBuffer();
        // The compositor's answers: the pixels are in the buffer, or none will come.
        void copied();
        void failed(const char* why);

        OutputScreenSource& source;
        const Output output;  // as it was when asked: the picture is put together from these
        int transform;        // of the copied pixels (wl_output.transform)
        std::uint32_t format = 0;
        int width = 0, height = 0, stride = 0;
        bool yInvert = false;

      private:
        friend class OutputScreenSource;
        bool ready_ = false;
        std::unique_ptr<ShmBuffer> buffer_;
    };

    // The registry's events.
    static void onGlobal(void* self, wl_registry* registry, std::uint32_t name,
                         const char* interface, std::uint32_t version);
    static void onGlobalRemove(void* self, wl_registry* registry, std::uint32_t name);

  protected:
    // `protocol` names the copies in the log.
    explicit OutputScreenSource(const char* protocol) : protocol_(protocol) {}

    // Connects, binds the globals, learns the outputs and begins to dispatch. False (logged,
    // with `unoffered` where the protocol is missing) where there is no Wayland, no protocol,
    // or no shared memory or xdg-output.
    bool open(const char* unoffered);

    // A global of the registry the protocol may want.
    virtual void bindGlobal(wl_registry* registry, std::uint32_t name, const char* interface,
                            std::uint32_t version) = 0;
    // Whether the protocol's globals are all bound.
    virtual bool offered() const = 0;
    // Asks for a copy of the output.
    virtual std::unique_ptr<Capture> capture(const Output& output, bool withPointer) = 0;

    wl_shm* shm() const { return shm_; }
    const char* protocol() const { return protocol_; }

  private:
    void dispatch();
    void finish(std::optional<QImage> picture);
    void frameDone();
    std::optional<QImage> compose() const;

    const char* protocol_;
    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    wl_shm* shm_ = nullptr;
    zxdg_output_manager_v1* xdgOutputs_ = nullptr;
    std::vector<std::unique_ptr<Output>> outputs_;
    std::unique_ptr<QSocketNotifier> notifier_;

    Done done_;  // the request in flight
    std::vector<std::unique_ptr<Capture>> captures_;
    QTimer timeout_;
    // The queued answers go with this object, first of all.
    std::unique_ptr<QObject> context_ = std::make_unique<QObject>();
};

}  // namespace numarika
