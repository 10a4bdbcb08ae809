#pragma once
// The screen picture where the compositor lets a program copy its outputs itself
// (wlr-screencopy: sway, Hyprland, river, Wayfire and the other wlroots desktops): each output
// into a shared-memory buffer of ours, at its own pixels, put together at its place in the
// desktop as the desktop portal and grim do. Nothing passes through a file, and the pointer is
// drawn by the compositor when asked for.
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
struct zxdg_output_manager_v1;
struct zwlr_screencopy_manager_v1;

namespace numarika {

class WlrScreenSource final : public ScreenSource {
  public:
    // The longest wait for the compositor's copies; it answers within a frame or two.
    static constexpr int kTimeoutMs = 5000;

    // Nothing where the compositor does not offer the protocol (or there is no Wayland).
    static std::unique_ptr<WlrScreenSource> connect();
    ~WlrScreenSource() override;

    void requestScreen(bool withPointer, Done done) override;

    // One output as the compositor describes it.
    struct Output {
        std::uint32_t name = 0;  // the registry's
        wl_output* output = nullptr;
        void* xdgOutput = nullptr;
        QRect logical;  // place and size in the desktop
        int scale = 1;
        int transform = 0;  // wl_output.transform
    };
    struct Capture;

    // The registry's events.
    static void onGlobal(void* self, wl_registry* registry, std::uint32_t name,
                         const char* interface, std::uint32_t version);
    static void onGlobalRemove(void* self, wl_registry* registry, std::uint32_t name);

  private:
    WlrScreenSource() = default;
    void dispatch();
    void finish(std::optional<QImage> picture);
    void frameDone();
    std::optional<QImage> compose() const;

    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    wl_shm* shm_ = nullptr;
    zxdg_output_manager_v1* xdgOutputs_ = nullptr;
    zwlr_screencopy_manager_v1* manager_ = nullptr;
    std::vector<std::unique_ptr<Output>> outputs_;
    std::unique_ptr<QSocketNotifier> notifier_;

    Done done_;  // the request in flight
    std::vector<std::unique_ptr<Capture>> captures_;
    QTimer timeout_;
    // The queued answers go with this object, first of all.
    std::unique_ptr<QObject> context_ = std::make_unique<QObject>();
};

}  // namespace numarika
