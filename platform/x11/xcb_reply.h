#pragma once
// What every xcb client of ours needs, the test tools' too: replies, errors and events that
// free themselves (xcb hands them over as malloc'd blocks), and an event's kind.

#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace numarika::x11 {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

// The kind of an event, without the bit that marks one sent by another client.
inline std::uint8_t eventType(const xcb_generic_event_t* event) {
    return event->response_type & 0x7F;
}

}  // namespace numarika::x11
