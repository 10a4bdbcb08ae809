#pragma once
// The clipboard outlives the program. On X11 a selection is served by its owner, so the
// picture would go with the program unless a clipboard manager takes it over (Qt hands it to
// one, SAVE_TARGETS, as it quits). Where none runs, a small process of our own, the same
// binary started with an internal argument, takes the clipboard over: it is handed the
// picture's pixels and its PNG through an inherited memory file, serves exactly that picture
// in the same formats, and ends when another program takes the clipboard or the X server goes
// away. On Wayland only a focused window may set the clipboard, so the picture goes with the
// program there.

#include <optional>

namespace numarika {

class PictureMimeData;

// The entry point's first call. In a process started as the keeper it runs the keeper and
// gives its exit code; otherwise it lets this program leave keepers behind and gives nothing.
std::optional<int> clipboardKeeperEntry(int argc, char* argv[]);

// At the end of the program, with `data` still on the clipboard and ours: starts a keeper for
// it where it is needed and possible, and waits (bounded, serving the clipboard meanwhile)
// until the keeper owns the clipboard, so that no paste finds it empty. True when a keeper
// took it over.
bool keepClipboardAfterExit(const PictureMimeData& data);

}  // namespace numarika
