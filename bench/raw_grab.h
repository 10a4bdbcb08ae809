#pragma once
// The baseline of the scan benchmarks (bench/scan, bench/hide).

#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/shm.h>

#include <chrono>
#include <optional>

#include "platform/x11/x11_connection.h"

namespace numarika::bench {

// The fastest way to the screen's pixels: the server writes them into memory we share,
// attached once.
class RawSharedMemoryGrab {
  public:
    RawSharedMemoryGrab() {
        c_ = x11::connection();
        screen_ = x11::defaultScreen(c_);
        if (!screen_) return;
        const std::size_t size =
            std::size_t{screen_->width_in_pixels} * screen_->height_in_pixels * 4;
        const int shmid = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
        if (shmid < 0) return;
        void* memory = shmat(shmid, nullptr, 0);
        if (memory != reinterpret_cast<void*>(-1)) memory_ = memory;
        seg_ = xcb_generate_id(c_);
        x11::Reply<xcb_generic_error_t> error(
            xcb_request_check(c_, xcb_shm_attach_checked(c_, seg_, shmid, 0)));
        shmctl(shmid, IPC_RMID, nullptr);
        attached_ = !error && memory_;
    }
    ~RawSharedMemoryGrab() {
        if (attached_) xcb_shm_detach(c_, seg_);
        if (memory_) shmdt(memory_);
    }
    RawSharedMemoryGrab(const RawSharedMemoryGrab&) = delete;
    RawSharedMemoryGrab& operator=(const RawSharedMemoryGrab&) = delete;

    // Milliseconds for one grab; nothing when it failed.
    std::optional<double> grab() {
        using Clock = std::chrono::steady_clock;
        if (!attached_) return std::nullopt;
        const auto t0 = Clock::now();
        x11::Reply<xcb_shm_get_image_reply_t> reply(xcb_shm_get_image_reply(
            c_,
            xcb_shm_get_image(c_, screen_->root, 0, 0, screen_->width_in_pixels,
                              screen_->height_in_pixels, ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, seg_, 0),
            nullptr));
        const auto t1 = Clock::now();
        if (!reply) return std::nullopt;
        return std::chrono::duration<double, std::milli>(t1 - t0).count();
    }

  private:
    xcb_connection_t* c_ = nullptr;
    xcb_screen_t* screen_ = nullptr;
    void* memory_ = nullptr;
    xcb_shm_seg_t seg_ = 0;
    bool attached_ = false;
};

}  // namespace numarika::bench
