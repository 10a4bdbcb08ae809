#include "platform/wayland_data_control.h"

#include <fcntl.h>
#include <unistd.h>
#include <wayland-client.h>

#include <QByteArray>
#include <QtConcurrent/QtConcurrentRun>
#include <cerrno>
#include <csignal>
#include <cstring>

#include "platform/logging.h"
#include "platform/picture_mime_data.h"

// The protocol's interfaces (wlr-data-control-unstable-v1, version 1), written out here: the
// requests and events this program uses, in the protocol's order.
namespace {

extern const wl_interface kManager;
extern const wl_interface kDevice;
extern const wl_interface kSource;
extern const wl_interface kOffer;

const wl_interface* const kNoTypes[] = {nullptr, nullptr};
const wl_interface* const kNewSource[] = {&kSource};
const wl_interface* const kNewDeviceOnSeat[] = {&kDevice, &wl_seat_interface};
const wl_interface* const kSourceArg[] = {&kSource};
const wl_interface* const kOfferArg[] = {&kOffer};

const wl_message kManagerRequests[] = {
    {"create_data_source", "n", const_cast<const wl_interface**>(kNewSource)},
    {"get_data_device", "no", const_cast<const wl_interface**>(kNewDeviceOnSeat)},
    {"destroy", "", const_cast<const wl_interface**>(kNoTypes)},
};
const wl_message kDeviceRequests[] = {
    {"set_selection", "?o", const_cast<const wl_interface**>(kSourceArg)},
    {"destroy", "", const_cast<const wl_interface**>(kNoTypes)},
};
const wl_message kDeviceEvents[] = {
    {"data_offer", "n", const_cast<const wl_interface**>(kOfferArg)},
    {"selection", "?o", const_cast<const wl_interface**>(kOfferArg)},
    {"finished", "", const_cast<const wl_interface**>(kNoTypes)},
};
const wl_message kSourceRequests[] = {
    {"offer", "s", const_cast<const wl_interface**>(kNoTypes)},
    {"destroy", "", const_cast<const wl_interface**>(kNoTypes)},
};
const wl_message kSourceEvents[] = {
    {"send", "sh", const_cast<const wl_interface**>(kNoTypes)},
    {"cancelled", "", const_cast<const wl_interface**>(kNoTypes)},
};
const wl_message kOfferRequests[] = {
    {"receive", "sh", const_cast<const wl_interface**>(kNoTypes)},
    {"destroy", "", const_cast<const wl_interface**>(kNoTypes)},
};
const wl_message kOfferEvents[] = {
    {"offer", "s", const_cast<const wl_interface**>(kNoTypes)},
};

const wl_interface kManager = {"zwlr_data_control_manager_v1", 1, 3, kManagerRequests, 0, nullptr};
const wl_interface kDevice = {
    "zwlr_data_control_device_v1", 1, 2, kDeviceRequests, 3, kDeviceEvents};
const wl_interface kSource = {
    "zwlr_data_control_source_v1", 1, 2, kSourceRequests, 2, kSourceEvents};
const wl_interface kOffer = {"zwlr_data_control_offer_v1", 1, 2, kOfferRequests, 1, kOfferEvents};

enum : std::uint32_t {
    kManagerCreateDataSource = 0,
    kManagerGetDataDevice = 1,
    kManagerDestroy = 2,
    kDeviceSetSelection = 0,
    kDeviceDestroy = 1,
    kSourceOffer = 0,
    kSourceDestroy = 1,
    kOfferDestroy = 1,
};

void destroyProxy(wl_proxy* proxy, std::uint32_t destructorOpcode) {
    if (!proxy) return;
    wl_proxy_marshal(proxy, destructorOpcode);
    wl_proxy_destroy(proxy);
}

// Globals of the registry: the first seat and the manager.
struct Globals {
    wl_proxy* seat = nullptr;
    wl_proxy* manager = nullptr;
};

void onGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
              std::uint32_t) {
    auto* globals = static_cast<Globals*>(data);
    if (!globals->seat && std::strcmp(interface, wl_seat_interface.name) == 0)
        globals->seat =
            static_cast<wl_proxy*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    else if (!globals->manager && std::strcmp(interface, kManager.name) == 0)
        globals->manager = static_cast<wl_proxy*>(wl_registry_bind(registry, name, &kManager, 1));
}

void onGlobalRemove(void*, wl_registry*, std::uint32_t) {}

const wl_registry_listener kRegistryListener = {onGlobal, onGlobalRemove};

}  // namespace

namespace numarika {
namespace {

struct DeviceListener {
    void (*dataOffer)(void*, wl_proxy*, wl_proxy*);
    void (*selection)(void*, wl_proxy*, wl_proxy*);
    void (*finished)(void*, wl_proxy*);
};
struct SourceListener {
    void (*send)(void*, wl_proxy*, const char*, int);
    void (*cancelled)(void*, wl_proxy*);
};
struct OfferListener {
    void (*offer)(void*, wl_proxy*, const char*);
};

}  // namespace

std::unique_ptr<WaylandDataControl> WaylandDataControl::connect() {
    wl_display* display = wl_display_connect(nullptr);
    if (!display) return nullptr;
    std::unique_ptr<WaylandDataControl> control(new WaylandDataControl);
    control->display_ = display;
    control->registry_ = reinterpret_cast<wl_proxy*>(wl_display_get_registry(display));
    Globals globals;
    wl_registry_add_listener(reinterpret_cast<wl_registry*>(control->registry_), &kRegistryListener,
                             &globals);
    wl_display_roundtrip(display);
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
    control->device_ = wl_proxy_marshal_constructor(control->manager_, kManagerGetDataDevice,
                                                    &kDevice, nullptr, control->seat_);
    static const DeviceListener kDeviceListener{onDataOffer, onSelection, onFinished};
    wl_proxy_add_listener(
        control->device_,
        reinterpret_cast<void (**)(void)>(const_cast<DeviceListener*>(&kDeviceListener)),
        control.get());
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
    for (wl_proxy* offer : offers_) destroyProxy(offer, kOfferDestroy);
    destroyProxy(device_, kDeviceDestroy);
    destroyProxy(manager_, kManagerDestroy);
    if (seat_) wl_proxy_destroy(seat_);
    if (registry_) wl_proxy_destroy(registry_);
    if (display_) {
        wl_display_flush(display_);
        wl_display_disconnect(display_);
    }
}

bool WaylandDataControl::offer(std::shared_ptr<PictureMimeData> data) {
    if (!device_ || !data) return false;
    dropSource();
    data_ = std::move(data);
    source_ = wl_proxy_marshal_constructor(manager_, kManagerCreateDataSource, &kSource, nullptr);
    static const SourceListener kSourceListener{onSend, onCancelled};
    wl_proxy_add_listener(
        source_, reinterpret_cast<void (**)(void)>(const_cast<SourceListener*>(&kSourceListener)),
        this);
    for (const QString& format : data_->formats())
        wl_proxy_marshal(source_, kSourceOffer, format.toUtf8().constData());
    wl_proxy_marshal(device_, kDeviceSetSelection, source_);
    flush();
    return wl_display_get_error(display_) == 0;
}

void WaylandDataControl::clear() {
    if (!source_ || !device_) return;
    wl_proxy_marshal(device_, kDeviceSetSelection, nullptr);
    dropSource();
    flush();
}

void WaylandDataControl::dropSource() {
    destroyProxy(source_, kSourceDestroy);
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

void WaylandDataControl::onDataOffer(void* self, wl_proxy*, wl_proxy* offer) {
    static const OfferListener kOfferListener{onOfferMimeType};
    wl_proxy_add_listener(
        offer, reinterpret_cast<void (**)(void)>(const_cast<OfferListener*>(&kOfferListener)),
        self);
    static_cast<WaylandDataControl*>(self)->offers_.push_back(offer);
}

void WaylandDataControl::onSelection(void* self, wl_proxy*, wl_proxy*) {
    // This program reads its own pictures, never another's: every offer announced so far can go.
    auto* control = static_cast<WaylandDataControl*>(self);
    for (wl_proxy* offer : control->offers_) destroyProxy(offer, kOfferDestroy);
    control->offers_.clear();
}

void WaylandDataControl::onFinished(void* self, wl_proxy*) {
    auto* control = static_cast<WaylandDataControl*>(self);
    qCInfo(lcPlatform) << "the compositor ended the clipboard's data control";
    control->dropSource();
    destroyProxy(control->device_, kDeviceDestroy);
    control->device_ = nullptr;
}

void WaylandDataControl::onSend(void* self, wl_proxy*, const char* mimeType, int fd) {
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
        const char* next = bytes.constData();
        qsizetype left = bytes.size();
        while (left > 0) {
            const ssize_t written = ::write(fd, next, static_cast<size_t>(left));
            if (written < 0 && errno == EINTR) continue;
            if (written <= 0) break;  // the reader went away
            next += written;
            left -= written;
        }
        ::close(fd);
    });
}

void WaylandDataControl::onCancelled(void* self, wl_proxy* source) {
    auto* control = static_cast<WaylandDataControl*>(self);
    if (source != control->source_) {
        destroyProxy(source, kSourceDestroy);
        return;
    }
    control->dropSource();
}

void WaylandDataControl::onOfferMimeType(void*, wl_proxy*, const char*) {}

}  // namespace numarika
