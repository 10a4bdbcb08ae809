// A mouse for the headless Wayland desktop, which has none: a virtual pointer (wlr), placed
// once at X,Y of the desktop and kept there until the tool is ended (the compositor shows a
// pointer only while a device is there).
//
//   wl_pointer X Y DESKTOP_WIDTH DESKTOP_HEIGHT

#include <wayland-client.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

namespace {

struct Globals {
    wl_seat* seat = nullptr;
    zwlr_virtual_pointer_manager_v1* manager = nullptr;
};

void onGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
              std::uint32_t) {
    auto* g = static_cast<Globals*>(data);
    if (!g->seat && std::strcmp(interface, wl_seat_interface.name) == 0)
        g->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    else if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
        g->manager = static_cast<zwlr_virtual_pointer_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
}

void onGlobalRemove(void*, wl_registry*, std::uint32_t) {}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: wl_pointer X Y DESKTOP_WIDTH DESKTOP_HEIGHT\n");
        return 2;
    }
    wl_display* display = wl_display_connect(nullptr);
    if (!display) return 1;
    Globals globals;
    const wl_registry_listener listener{onGlobal, onGlobalRemove};
    wl_registry_add_listener(wl_display_get_registry(display), &listener, &globals);
    wl_display_roundtrip(display);
    if (!globals.manager) {
        std::fprintf(stderr, "wl_pointer: no virtual pointers on this desktop\n");
        return 1;
    }
    zwlr_virtual_pointer_v1* pointer =
        zwlr_virtual_pointer_manager_v1_create_virtual_pointer(globals.manager, globals.seat);
    const auto at = [argv](int i) { return static_cast<std::uint32_t>(std::atoi(argv[i])); };
    zwlr_virtual_pointer_v1_motion_absolute(pointer, 0, at(1), at(2), at(3), at(4));
    zwlr_virtual_pointer_v1_frame(pointer);
    wl_display_roundtrip(display);
    std::printf("ready\n");
    std::fflush(stdout);
    // Until ended, or until the desktop goes.
    while (wl_display_dispatch(display) >= 0) {
    }
    return 0;
}
