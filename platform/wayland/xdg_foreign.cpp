#include "platform/wayland/xdg_foreign.h"

#include <qpa/qplatformnativeinterface.h>
#include <wayland-client.h>

#include <QGuiApplication>
#include <QWindow>
#include <cstring>

#include "platform/logging.h"
#include "xdg-foreign-unstable-v2-client-protocol.h"

namespace numarika {
namespace {

// Destroys with the protocol's destructor request where it has one.
template <typename Proxy>
void destroyWith(Proxy*& proxy, void (*destroy)(Proxy*)) {
    if (!proxy) return;
    destroy(proxy);
    proxy = nullptr;
}

// The export of one window, on an event queue of its own (none of Qt's events is dispatched
// from here); it ends with the window, before Qt's connection does.
class Export final : public QObject {
  public:
    explicit Export(QWindow* window) : QObject(window) {}
    ~Export() override {
        destroyWith(exported_, &zxdg_exported_v2_destroy);
        destroyWith(exporter_, &zxdg_exporter_v2_destroy);
        destroyWith(registry_, &wl_registry_destroy);
        if (queue_) wl_event_queue_destroy(queue_);
    }
    Export(const Export&) = delete;
    Export& operator=(const Export&) = delete;

    static Export& of(QWindow* window) {
        // Found by its type, not by Qt's meta-object: the class carries no Q_OBJECT, which
        // findChild demands from Qt 6.8 on.
        for (QObject* child : window->children())
            if (auto* found = dynamic_cast<Export*>(child)) return *found;
        return *new Export(window);
    }

    QString handle(wl_display* display, wl_surface* surface) {
        if (surface == surface_) return handle_;
        if (!queue_ && !bindExporter(display)) return {};
        if (!exporter_) return {};
        // A window shown again has a new surface; the old one's handle names nothing.
        destroyWith(exported_, &zxdg_exported_v2_destroy);
        handle_.clear();
        surface_ = surface;
        exported_ = zxdg_exporter_v2_export_toplevel(exporter_, surface);
        static const zxdg_exported_v2_listener kListener{
            [](void* data, zxdg_exported_v2*, const char* handle) {
                static_cast<Export*>(data)->handle_ = QString::fromUtf8(handle);
            }};
        zxdg_exported_v2_add_listener(exported_, &kListener, this);
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
        registry_ = wl_display_get_registry(wrapped);
        wl_proxy_wrapper_destroy(wrapped);
        static const wl_registry_listener listener = {
            [](void* data, wl_registry* registry, std::uint32_t name, const char* interface,
               std::uint32_t) {
                auto* self = static_cast<Export*>(data);
                if (!self->exporter_ &&
                    std::strcmp(interface, zxdg_exporter_v2_interface.name) == 0)
                    self->exporter_ = static_cast<zxdg_exporter_v2*>(
                        wl_registry_bind(registry, name, &zxdg_exporter_v2_interface, 1));
            },
            [](void*, wl_registry*, std::uint32_t) {}};
        wl_registry_add_listener(registry_, &listener, this);
        if (wl_display_roundtrip_queue(display, queue_) < 0) return false;
        if (!exporter_) qCInfo(lcPlatform) << "the compositor offers no xdg-foreign exporter";
        return true;
    }

    wl_event_queue* queue_ = nullptr;
    wl_registry* registry_ = nullptr;
    zxdg_exporter_v2* exporter_ = nullptr;
    zxdg_exported_v2* exported_ = nullptr;
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
