#include "platform/wayland/xdg_foreign.h"

#include <qpa/qplatformnativeinterface.h>
#include <wayland-client.h>

#include <QGuiApplication>
#include <QWindow>
#include <cstring>

#include "platform/logging.h"

// The protocol's interfaces (xdg-foreign-unstable-v2, the exporting half), written out here in
// the protocol's order.
namespace {

extern const wl_interface kExporter;
extern const wl_interface kExported;

const wl_interface* const kNoTypes[] = {nullptr, nullptr};
const wl_interface* const kExportTypes[] = {&kExported, &wl_surface_interface};

const wl_message kExporterRequests[] = {
    {"destroy", "", const_cast<const wl_interface**>(kNoTypes)},
    {"export_toplevel", "no", const_cast<const wl_interface**>(kExportTypes)},
};
const wl_message kExportedRequests[] = {
    {"destroy", "", const_cast<const wl_interface**>(kNoTypes)},
};
const wl_message kExportedEvents[] = {
    {"handle", "s", const_cast<const wl_interface**>(kNoTypes)},
};

const wl_interface kExporter = {"zxdg_exporter_v2", 1, 2, kExporterRequests, 0, nullptr};
const wl_interface kExported = {"zxdg_exported_v2", 1, 1, kExportedRequests, 1, kExportedEvents};

constexpr std::uint32_t kDestroy = 0;
constexpr std::uint32_t kExportToplevel = 1;

}  // namespace

namespace numarika {
namespace {

struct ExportedListener {
    void (*handle)(void*, wl_proxy*, const char*);
};

void destroyWith(wl_proxy*& proxy, bool request) {
    if (!proxy) return;
    if (request) wl_proxy_marshal(proxy, kDestroy);
    wl_proxy_destroy(proxy);
    proxy = nullptr;
}

// The export of one window, on an event queue of its own (none of Qt's events is dispatched
// from here); it ends with the window, before Qt's connection does.
class Export final : public QObject {
  public:
    explicit Export(QWindow* window) : QObject(window) {}
    ~Export() override {
        destroyWith(exported_, true);
        destroyWith(exporter_, true);
        destroyWith(registry_, false);
        if (queue_) wl_event_queue_destroy(queue_);
    }
    Export(const Export&) = delete;
    Export& operator=(const Export&) = delete;

    static Export& of(QWindow* window) {
        auto* found = window->findChild<Export*>(QString(), Qt::FindDirectChildrenOnly);
        return found ? *found : *new Export(window);
    }

    QString handle(wl_display* display, wl_surface* surface) {
        if (surface == surface_) return handle_;
        if (!queue_ && !bindExporter(display)) return {};
        if (!exporter_) return {};
        // A window shown again has a new surface; the old one's handle names nothing.
        destroyWith(exported_, true);
        handle_.clear();
        surface_ = surface;
        exported_ =
            wl_proxy_marshal_constructor(exporter_, kExportToplevel, &kExported, nullptr, surface);
        static const ExportedListener kListener{[](void* data, wl_proxy*, const char* handle) {
            static_cast<Export*>(data)->handle_ = QString::fromUtf8(handle);
        }};
        wl_proxy_add_listener(
            exported_, reinterpret_cast<void (**)(void)>(const_cast<ExportedListener*>(&kListener)),
            this);
        if (wl_display_roundtrip_queue(display, queue_) < 0) handle_.clear();
        if (handle_.isEmpty()) qCInfo(lcPlatform) << "the compositor exported no window handle";
        return handle_;
    }

  private:
    bool bindExporter(wl_display* display) {
        queue_ = wl_display_create_queue(display);
        if (!queue_) return false;
        auto* wrapped = static_cast<wl_display*>(wl_proxy_create_wrapper(display));
        if (!wrapped) return false;
        wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapped), queue_);
        registry_ = reinterpret_cast<wl_proxy*>(wl_display_get_registry(wrapped));
        wl_proxy_wrapper_destroy(wrapped);
        static const wl_registry_listener listener = {
            [](void* data, wl_registry* registry, std::uint32_t name, const char* interface,
               std::uint32_t) {
                auto* self = static_cast<Export*>(data);
                if (!self->exporter_ && std::strcmp(interface, kExporter.name) == 0)
                    self->exporter_ =
                        static_cast<wl_proxy*>(wl_registry_bind(registry, name, &kExporter, 1));
            },
            [](void*, wl_registry*, std::uint32_t) {}};
        wl_registry_add_listener(reinterpret_cast<wl_registry*>(registry_), &listener, this);
        if (wl_display_roundtrip_queue(display, queue_) < 0) return false;
        if (!exporter_) qCInfo(lcPlatform) << "the compositor offers no xdg-foreign exporter";
        return true;
    }

    wl_event_queue* queue_ = nullptr;
    wl_proxy* registry_ = nullptr;
    wl_proxy* exporter_ = nullptr;
    wl_proxy* exported_ = nullptr;
    wl_surface* surface_ = nullptr;
    QString handle_;
};

}  // namespace

QString waylandWindowHandle(QWindow* window) {
    if (!window || QGuiApplication::platformName() != QLatin1String("wayland")) return {};
    QPlatformNativeInterface* native = QGuiApplication::platformNativeInterface();
    if (!native) return {};
    auto* display = static_cast<wl_display*>(native->nativeResourceForIntegration("wl_display"));
    auto* surface = static_cast<wl_surface*>(native->nativeResourceForWindow("surface", window));
    if (!display || !surface) return {};
    return Export::of(window).handle(display, surface);
}

}  // namespace numarika
