#include "platform/wayland/wayland_data_control.h"

#include <fcntl.h>
#include <unistd.h>
#include <wayland-client.h>

#include <QByteArray>
#include <QSocketNotifier>
#include <QtConcurrent/QtConcurrentRun>
#include <csignal>
#include <cstring>
#include <functional>
#include <vector>

#include "ext-data-control-v1-client-protocol.h"
#include "platform/logging.h"
#include "platform/qt/picture_mime_data.h"
#include "platform/wayland/dispatch_ready.h"
#include "platform/write_all.h"
#include "wlr-data-control-unstable-v1-client-protocol.h"

namespace numarika {
namespace {

// The two protocols are one in all but their names: each is described by the same table of
// its types and requests, and one implementation serves both.
#define NUMARIKA_DATA_CONTROL(Name, prefix, label)                                                \
    struct Name {                                                                                 \
        static constexpr const char* kName = label;                                               \
        using Manager = prefix##_data_control_manager_v1;                                         \
        using Device = prefix##_data_control_device_v1;                                           \
        using Source = prefix##_data_control_source_v1;                                           \
        using Offer = prefix##_data_control_offer_v1;                                             \
        using DeviceListener = prefix##_data_control_device_v1_listener;                          \
        using SourceListener = prefix##_data_control_source_v1_listener;                          \
        using OfferListener = prefix##_data_control_offer_v1_listener;                            \
        static const wl_interface* manager() {                                                    \
            return &prefix##_data_control_manager_v1_interface;                                   \
        }                                                                                         \
        static constexpr auto getDevice = prefix##_data_control_manager_v1_get_data_device;       \
        static constexpr auto createSource = prefix##_data_control_manager_v1_create_data_source; \
        static constexpr auto destroyManager = prefix##_data_control_manager_v1_destroy;          \
        static constexpr auto listenDevice = prefix##_data_control_device_v1_add_listener;        \
        static constexpr auto setSelection = prefix##_data_control_device_v1_set_selection;       \
        static constexpr auto destroyDevice = prefix##_data_control_device_v1_destroy;            \
        static constexpr auto listenSource = prefix##_data_control_source_v1_add_listener;        \
        static constexpr auto offer = prefix##_data_control_source_v1_offer;                      \
        static constexpr auto destroySource = prefix##_data_control_source_v1_destroy;            \
        static constexpr auto listenOffer = prefix##_data_control_offer_v1_add_listener;          \
        static constexpr auto destroyOffer = prefix##_data_control_offer_v1_destroy;              \
    };
NUMARIKA_DATA_CONTROL(Ext, ext, "ext-data-control")
NUMARIKA_DATA_CONTROL(Wlr, zwlr, "wlr-data-control")
#undef NUMARIKA_DATA_CONTROL

template <class P>
class DataControl final : public WaylandDataControl {
  public:
    // Takes the connection, the seat and the manager (bound at version 1: the primary
    // selection of wlr-data-control is never announced, ext-data-control's is not read).
    DataControl(wl_display* display, wl_seat* seat, typename P::Manager* manager)
        : display_(display), seat_(seat), manager_(manager) {
        // A program that has gone away before reading all of a picture must not end this one:
        // the write fails with EPIPE instead.
        ::signal(SIGPIPE, SIG_IGN);
        device_ = P::getDevice(manager_, seat_);
        static constexpr typename P::DeviceListener kDeviceListener{onDataOffer, onSelection,
                                                                    onFinished, onSelection};
        P::listenDevice(device_, &kDeviceListener, this);
        notifier_ =
            std::make_unique<QSocketNotifier>(wl_display_get_fd(display), QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, this,
                         [this] { dispatch(); });
        flush();
    }

    ~DataControl() override {
        notifier_.reset();
        dropSource();
        for (typename P::Offer* offer : offers_) P::destroyOffer(offer);
        if (device_) P::destroyDevice(device_);
        P::destroyManager(manager_);
        wl_seat_destroy(seat_);
        wl_display_flush(display_);
        wl_display_disconnect(display_);
    }

    bool offer(std::shared_ptr<PictureMimeData> data) override {
        if (!device_ || !data) return false;
        dropSource();
        data_ = std::move(data);
        source_ = P::createSource(manager_);
        static constexpr typename P::SourceListener kSourceListener{onSend, onCancelled};
        P::listenSource(source_, &kSourceListener, this);
        for (const QString& format : data_->formats())
            P::offer(source_, format.toUtf8().constData());
        P::setSelection(device_, source_);
        flush();
        return wl_display_get_error(display_) == 0;
    }

    void clear() override {
        if (!source_ || !device_) return;
        P::setSelection(device_, nullptr);
        dropSource();
        flush();
    }

    bool owns() const override { return source_ != nullptr; }

  private:
    void dropSource() {
        if (source_) P::destroySource(source_);
        source_ = nullptr;
        data_.reset();
    }

    void flush() { wl_display_flush(display_); }

    void dispatch() {
        if (dispatchReady(display_) < 0) {
            qCInfo(lcPlatform) << "the Wayland connection of the clipboard has gone";
            notifier_.reset();
            device_ = nullptr;  // gone with the connection; nothing more can be sent on it
            source_ = nullptr;
            data_.reset();
        }
    }

    static void onOfferMimeType(void*, typename P::Offer*, const char*) {}

    static void onDataOffer(void* self, typename P::Device*, typename P::Offer* offer) {
        static constexpr typename P::OfferListener kOfferListener{onOfferMimeType};
        P::listenOffer(offer, &kOfferListener, self);
        static_cast<DataControl*>(self)->offers_.push_back(offer);
    }

    // The clipboard or the primary selection has changed. This program reads its own
    // pictures, never another's: every offer announced so far can go.
    static void onSelection(void* self, typename P::Device*, typename P::Offer*) {
        auto* control = static_cast<DataControl*>(self);
        for (typename P::Offer* offer : control->offers_) P::destroyOffer(offer);
        control->offers_.clear();
    }

    static void onFinished(void* self, typename P::Device*) {
        auto* control = static_cast<DataControl*>(self);
        qCInfo(lcPlatform).nospace() << "the compositor ended the clipboard's " << P::kName;
        control->dropSource();
        P::destroyDevice(control->device_);
        control->device_ = nullptr;
    }

    static void onSend(void* self, typename P::Source*, const char* mimeType, int fd) {
        auto* control = static_cast<DataControl*>(self);
        // Written by a worker: the pasting program reads at its own pace. The PNG (what pasting
        // programs ask for) is also awaited or encoded there, so that a paste during the rest
        // of the scan holds up neither; the other formats are encoded on the UI thread, each
        // once.
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

    static void onCancelled(void* self, typename P::Source* source) {
        auto* control = static_cast<DataControl*>(self);
        if (source != control->source_) {
            P::destroySource(source);
            return;
        }
        control->dropSource();
    }

    wl_display* const display_;
    wl_seat* const seat_;
    typename P::Manager* const manager_;
    typename P::Device* device_ = nullptr;
    typename P::Source* source_ = nullptr;
    std::vector<typename P::Offer*> offers_;  // other programs' offers, never read
    std::shared_ptr<PictureMimeData> data_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

// Globals of the registry: the first seat and the managers' names.
struct Globals {
    wl_seat* seat = nullptr;
    std::uint32_t ext = 0, wlr = 0;
};

void onGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
              std::uint32_t) {
    auto* globals = static_cast<Globals*>(data);
    if (!globals->seat && std::strcmp(interface, wl_seat_interface.name) == 0)
        globals->seat =
            static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    else if (!globals->ext && std::strcmp(interface, Ext::manager()->name) == 0)
        globals->ext = name;
    else if (!globals->wlr && std::strcmp(interface, Wlr::manager()->name) == 0)
        globals->wlr = name;
}

void onGlobalRemove(void*, wl_registry*, std::uint32_t) {}

const wl_registry_listener kRegistryListener = {onGlobal, onGlobalRemove};

template <class P>
std::unique_ptr<WaylandDataControl> make(wl_display* display, wl_registry* registry, wl_seat* seat,
                                         std::uint32_t name) {
    auto* manager =
        static_cast<typename P::Manager*>(wl_registry_bind(registry, name, P::manager(), 1));
    qCInfo(lcPlatform) << "the clipboard is set through" << P::kName;
    return std::make_unique<DataControl<P>>(display, seat, manager);
}

}  // namespace

std::unique_ptr<WaylandDataControl> WaylandDataControl::connect() {
    wl_display* display = wl_display_connect(nullptr);
    if (!display) return nullptr;
    wl_registry* registry = wl_display_get_registry(display);
    Globals globals;
    wl_registry_add_listener(registry, &kRegistryListener, &globals);
    wl_display_roundtrip(display);
    std::unique_ptr<WaylandDataControl> control;
    if (globals.seat && globals.ext)
        control = make<Ext>(display, registry, globals.seat, globals.ext);
    else if (globals.seat && globals.wlr)
        control = make<Wlr>(display, registry, globals.seat, globals.wlr);
    // Read once: the listener's globals live on this stack, and a global announced later (an
    // output plugged in) must find no listener that points there.
    wl_registry_destroy(registry);
    if (control) return control;
    qCInfo(lcPlatform) << "the compositor offers no ext-data-control or wlr-data-control: the "
                          "clipboard is set through Qt, which needs a key or button press in "
                          "our window first";
    if (globals.seat) wl_seat_destroy(globals.seat);
    wl_display_disconnect(display);
    return nullptr;
}

}  // namespace numarika
