#include "platform/wayland/wayland_data_control.h"

#include <fcntl.h>
#include <unistd.h>
#include <wayland-client.h>

#include <QByteArray>
#include <QtConcurrent/QtConcurrentRun>
#include <csignal>
#include <cstring>
#include <functional>

#include "platform/logging.h"
#include "platform/qt/picture_mime_data.h"
#include "platform/write_all.h"
#include "wlr-data-control-unstable-v1-client-protocol.h"

namespace numarika {
namespace {

// Globals of the registry: the first seat and the manager.
struct Globals {
    wl_seat* seat = nullptr;
    zwlr_data_control_manager_v1* manager = nullptr;
};

void onGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
              std::uint32_t) {
    auto* globals = static_cast<Globals*>(data);
    if (!globals->seat && std::strcmp(interface, wl_seat_interface.name) == 0)
        globals->seat =
            static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    else if (!globals->manager &&
             std::strcmp(interface, zwlr_data_control_manager_v1_interface.name) == 0)
        globals->manager = static_cast<zwlr_data_control_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_data_control_manager_v1_interface, 1));
}

void onGlobalRemove(void*, wl_registry*, std::uint32_t) {}

const wl_registry_listener kRegistryListener = {onGlobal, onGlobalRemove};

void onOfferMimeType(void*, zwlr_data_control_offer_v1*, const char*) {}
// Bound at version 1: the primary selection is never announced.
void onPrimarySelection(void*, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1*) {}

void destroyOffer(zwlr_data_control_offer_v1* offer) { zwlr_data_control_offer_v1_destroy(offer); }

}  // namespace

std::unique_ptr<WaylandDataControl> WaylandDataControl::connect() {
    wl_display* display = wl_display_connect(nullptr);
    if (!display) return nullptr;
    std::unique_ptr<WaylandDataControl> control(new WaylandDataControl);
    control->display_ = display;
    wl_registry* registry = wl_display_get_registry(display);
    Globals globals;
    wl_registry_add_listener(registry, &kRegistryListener, &globals);
    wl_display_roundtrip(display);
    // Read once: the listener's globals live on this stack, and a global announced later (an
    // output plugged in) must find no listener that points there.
    wl_registry_destroy(registry);
    control->seat_ = globals.seat;
    control->manager_ = globals.manager;
    if (!control->seat_ || !control->manager_) {
        qCInfo(lcPlatform) << "the compositor offers no wlr-data-control: the clipboard is set "
                              "through Qt, which needs a key or button press in our window first";
        return nullptr;
    }
    // A program that has gone away before reading all of a picture must not end this one: the
    // write fails with EPIPE instead.
    ::signal(SIGPIPE, SIG_IGN);
    control->device_ =
        zwlr_data_control_manager_v1_get_data_device(control->manager_, control->seat_);
    static const zwlr_data_control_device_v1_listener kDeviceListener{
        onDataOffer, onSelection, onFinished, onPrimarySelection};
    zwlr_data_control_device_v1_add_listener(control->device_, &kDeviceListener, control.get());
    control->notifier_ =
        std::make_unique<QSocketNotifier>(wl_display_get_fd(display), QSocketNotifier::Read);
    QObject::connect(control->notifier_.get(), &QSocketNotifier::activated, control.get(),
                     [c = control.get()] { c->dispatch(); });
    control->flush();
    return control;
}

WaylandDataControl::~WaylandDataControl() {
    notifier_.reset();
    dropSource();
    for (zwlr_data_control_offer_v1* offer : offers_) destroyOffer(offer);
    if (device_) zwlr_data_control_device_v1_destroy(device_);
    if (manager_) zwlr_data_control_manager_v1_destroy(manager_);
    if (seat_) wl_seat_destroy(seat_);
    if (display_) {
        wl_display_flush(display_);
        wl_display_disconnect(display_);
    }
}

bool WaylandDataControl::offer(std::shared_ptr<PictureMimeData> data) {
    if (!device_ || !data) return false;
    dropSource();
    data_ = std::move(data);
    source_ = zwlr_data_control_manager_v1_create_data_source(manager_);
    static const zwlr_data_control_source_v1_listener kSourceListener{onSend, onCancelled};
    zwlr_data_control_source_v1_add_listener(source_, &kSourceListener, this);
    for (const QString& format : data_->formats())
        zwlr_data_control_source_v1_offer(source_, format.toUtf8().constData());
    zwlr_data_control_device_v1_set_selection(device_, source_);
    flush();
    return wl_display_get_error(display_) == 0;
}

void WaylandDataControl::clear() {
    if (!source_ || !device_) return;
    zwlr_data_control_device_v1_set_selection(device_, nullptr);
    dropSource();
    flush();
}

void WaylandDataControl::dropSource() {
    if (source_) zwlr_data_control_source_v1_destroy(source_);
    source_ = nullptr;
    data_.reset();
}

void WaylandDataControl::flush() {
    if (display_) wl_display_flush(display_);
}

void WaylandDataControl::dispatch() {
    if (wl_display_dispatch(display_) < 0) {
        qCInfo(lcPlatform) << "the Wayland connection of the clipboard has gone";
        notifier_.reset();
        device_ = nullptr;  // gone with the connection; nothing more can be sent on it
        source_ = nullptr;
        data_.reset();
        return;
    }
    flush();
}

void WaylandDataControl::onDataOffer(void* self, zwlr_data_control_device_v1*,
                                     zwlr_data_control_offer_v1* offer) {
    static const zwlr_data_control_offer_v1_listener kOfferListener{onOfferMimeType};
    zwlr_data_control_offer_v1_add_listener(offer, &kOfferListener, self);
    static_cast<WaylandDataControl*>(self)->offers_.push_back(offer);
}

void WaylandDataControl::onSelection(void* self, zwlr_data_control_device_v1*,
                                     zwlr_data_control_offer_v1*) {
    // This program reads its own pictures, never another's: every offer announced so far can go.
    auto* control = static_cast<WaylandDataControl*>(self);
    for (zwlr_data_control_offer_v1* offer : control->offers_) destroyOffer(offer);
    control->offers_.clear();
}

void WaylandDataControl::onFinished(void* self, zwlr_data_control_device_v1*) {
    auto* control = static_cast<WaylandDataControl*>(self);
    qCInfo(lcPlatform) << "the compositor ended the clipboard's data control";
    control->dropSource();
    zwlr_data_control_device_v1_destroy(control->device_);
    control->device_ = nullptr;
}

void WaylandDataControl::onSend(void* self, zwlr_data_control_source_v1*, const char* mimeType,
                                int fd) {
    auto* control = static_cast<WaylandDataControl*>(self);
    // Written by a worker: the pasting program reads at its own pace. The PNG (what pasting
    // programs ask for) is also awaited or encoded there, so that a paste during the rest of
    // the scan holds up neither; the other formats are encoded on the UI thread, each once.
    const QString format = QString::fromUtf8(mimeType);
    std::function<QByteArray()> bytesOf;
    if (control->data_ && (format == QLatin1String("image/png") ||
                           format == QLatin1String("application/x-qt-image"))) {
        bytesOf = control->data_->pngFromAnyThread();
    } else {
        bytesOf = [bytes = control->data_ ? control->data_->data(format) : QByteArray()] {
            return bytes;
        };
    }
    (void)QtConcurrent::run([bytesOf = std::move(bytesOf), fd] {
        const QByteArray bytes = bytesOf();
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        // A failure means the reader went away: nobody is left to tell.
        (void)writeAll(fd, bytes);
        ::close(fd);
    });
}

void WaylandDataControl::onCancelled(void* self, zwlr_data_control_source_v1* source) {
    auto* control = static_cast<WaylandDataControl*>(self);
    if (source != control->source_) {
        zwlr_data_control_source_v1_destroy(source);
        return;
    }
    control->dropSource();
}

}  // namespace numarika
