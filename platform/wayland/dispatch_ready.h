#pragma once
// Dispatches what a connection of our own has received, for its socket notifier.

struct wl_display;

namespace numarika {

// Reads what the socket holds now and dispatches it, never waiting. The notifier may find the
// socket readable with nothing for us in it: an event for an object already destroyed (a new
// output announced to a registry read once) is read and dropped, and libwayland 1.23 and later
// then wait in wl_display_dispatch for the next event, which holds the whole window up until
// the compositor happens to send one. Returns what wl_display_dispatch_pending returns: -1 once
// the connection has failed.
int dispatchReady(wl_display* display);

}  // namespace numarika
