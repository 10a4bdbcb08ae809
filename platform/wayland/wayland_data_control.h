#pragma once
// The clipboard of a Wayland desktop set without the keyboard focus, through the
// wlr-data-control protocol (wlroots desktops such as sway and Hyprland, KDE Plasma). A
// Wayland program may otherwise set the clipboard only with the serial of a key or button
// press it received; a scan by the desktop's shortcut or `numarika --scan`, with the window
// never touched, would leave the clipboard empty.
//
// On a connection of its own, dispatched from the UI thread's event loop; the pictures are
// written to the pasting program from a worker, so that a large one never holds up the UI.

#include <QObject>
#include <QSocketNotifier>
#include <memory>
#include <vector>

#include "platform/qt/qt_clipboard.h"

struct wl_display;
struct wl_seat;
struct zwlr_data_control_manager_v1;
struct zwlr_data_control_device_v1;
struct zwlr_data_control_source_v1;
struct zwlr_data_control_offer_v1;

namespace numarika {

class PictureMimeData;

class WaylandDataControl final : public QObject, public DirectClipboard {
  public:
    // Nothing where the compositor does not offer the protocol (or there is no Wayland).
    static std::unique_ptr<WaylandDataControl> connect();
    ~WaylandDataControl() override;

    // Offers the data as the clipboard's content, in each of its formats, until another
    // program takes the clipboard. False when the connection has gone.
    bool offer(std::shared_ptr<PictureMimeData> data) override;
    // Empties the clipboard if the content is ours.
    void clear() override;
    // Whether the clipboard's content is still ours.
    bool owns() const { return source_ != nullptr; }

  private:
    WaylandDataControl() = default;
    void dispatch();
    void flush();
    void dropSource();

    static void onDataOffer(void* self, zwlr_data_control_device_v1* device,
                            zwlr_data_control_offer_v1* offer);
    static void onSelection(void* self, zwlr_data_control_device_v1* device,
                            zwlr_data_control_offer_v1* offer);
    static void onFinished(void* self, zwlr_data_control_device_v1* device);
    static void onSend(void* self, zwlr_data_control_source_v1* source, const char* mimeType,
                       int fd);
    static void onCancelled(void* self, zwlr_data_control_source_v1* source);

    wl_display* display_ = nullptr;
    wl_seat* seat_ = nullptr;
    zwlr_data_control_manager_v1* manager_ = nullptr;
    zwlr_data_control_device_v1* device_ = nullptr;
    zwlr_data_control_source_v1* source_ = nullptr;
    std::vector<zwlr_data_control_offer_v1*> offers_;  // other programs' offers, never read
    std::shared_ptr<PictureMimeData> data_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace numarika
