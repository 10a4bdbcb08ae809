#include "platform/wayland/output_pixels.h"

#include <wayland-client.h>

#include <QGuiApplication>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QScreen>
#include <cmath>
#include <cstring>

#include "platform/logging.h"

namespace numarika {
namespace {

struct Output {
    wl_output* proxy = nullptr;
    QString make, model;
    QSize millimetres, pixels;
    bool rotated = false;
};

void onGeometry(void* data, wl_output*, std::int32_t, std::int32_t, std::int32_t width,
                std::int32_t height, std::int32_t, const char* make, const char* model,
                std::int32_t transform) {
    auto* o = static_cast<Output*>(data);
    o->millimetres = QSize(width, height);
    o->make = QString::fromUtf8(make);
    o->model = QString::fromUtf8(model);
    o->rotated = transform % 2 == 1;  // 90 and 270 degrees, flipped or not
}

void onMode(void* data, wl_output*, std::uint32_t flags, std::int32_t width, std::int32_t height,
            std::int32_t) {
    if (flags & WL_OUTPUT_MODE_CURRENT) static_cast<Output*>(data)->pixels = QSize(width, height);
}

void onDone(void*, wl_output*) {}
void onScale(void*, wl_output*, std::int32_t) {}

// Version 2 sends no names.
const wl_output_listener kOutputListener{onGeometry, onMode, onDone, onScale, nullptr, nullptr};

void onGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
              std::uint32_t version) {
    if (std::strcmp(interface, wl_output_interface.name) != 0) return;
    auto* outputs = static_cast<QList<Output>*>(data);
    Output& o = outputs->emplace_back();
    o.proxy = static_cast<wl_output*>(
        wl_registry_bind(registry, name, &wl_output_interface, std::min(version, 2u)));
}

void onGlobalRemove(void*, wl_registry*, std::uint32_t) {}

const wl_registry_listener kRegistryListener{onGlobal, onGlobalRemove};

// Every output as the compositor describes it now, asked on a connection of our own: the
// compositor tells each client on which of its outputs a surface is, and Qt takes every
// output of its connection for one of its screens.
QList<Output> askOutputs() {
    QList<Output> outputs;
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        qCInfo(lcPlatform) << "no Wayland connection to ask for the outputs' pixels";
        return outputs;
    }
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistryListener, &outputs);
    if (wl_display_roundtrip(display) >= 0) {
        // The list is complete now: the listeners may point into it.
        for (Output& o : outputs) wl_output_add_listener(o.proxy, &kOutputListener, &o);
        wl_display_roundtrip(display);
    }
    for (Output& o : outputs) wl_output_destroy(o.proxy);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return outputs;
}

// Pixels per unit, to the 1/120 the fractional-scale protocol speaks in.
double ratioOf(const Output& o, const QScreen& screen) {
    const QSize pixels = o.rotated ? o.pixels.transposed() : o.pixels;
    const double ratio = double(pixels.width()) / screen.geometry().width();
    return std::round(ratio * 120) / 120;
}

QHash<const QScreen*, double> learn() {
    QHash<const QScreen*, double> ratios;
    if (QGuiApplication::platformName() != QLatin1String("wayland")) return ratios;
    QList<Output> outputs = askOutputs();
    // Qt names a screen by the make, model and size its output announces; outputs alike are
    // taken in the order the compositor lists them, as Qt does.
    for (const QScreen* screen : QGuiApplication::screens()) {
        for (qsizetype i = 0; i < outputs.size(); ++i) {
            const Output& o = outputs[i];
            if (o.pixels.isEmpty() || o.make != screen->manufacturer() ||
                o.model != screen->model() || screen->geometry().isEmpty())
                continue;
            ratios.insert(screen, ratioOf(o, *screen));
            outputs.removeAt(i);
            break;
        }
        if (!ratios.contains(screen))
            qCInfo(lcPlatform) << "no Wayland output found for the screen" << screen->name();
    }
    return ratios;
}

}  // namespace

std::optional<double> waylandOutputPixelsPerUnit(const QScreen& screen) {
    static QHash<const QScreen*, double> ratios;
    static bool known = false;
    static QPointer<QObject> watch;
    if (!watch && qGuiApp) {
        // Outputs come, go and change their mode or scale: asked again at the next question.
        watch = new QObject(qGuiApp);
        const auto forget = [] { known = false; };
        const auto follow = [forget](QScreen* s) {
            QObject::connect(s, &QScreen::geometryChanged, watch, forget);
        };
        QObject::connect(qGuiApp, &QGuiApplication::screenAdded, watch,
                         [forget, follow](QScreen* s) {
                             forget();
                             follow(s);
                         });
        QObject::connect(qGuiApp, &QGuiApplication::screenRemoved, watch, forget);
        for (QScreen* s : QGuiApplication::screens()) follow(s);
        known = false;
    }
    if (!known) {
        ratios = learn();
        known = true;
    }
    const auto it = ratios.constFind(&screen);
    if (it == ratios.cend()) return std::nullopt;
    return *it;
}

}  // namespace numarika
