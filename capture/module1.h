#pragma once
// Module1: what must live outside the window. It replaces the main window's message
// procedure so that the hot-key message can be seen, and registers the Print Screen hot key
// under an identifier taken from a global atom.

#include <QString>

#include "controls/win_types.h"

namespace numarika::Module1 {

inline const QString kHotKeyAtomName = QStringLiteral("VBSHOTKEY");

// The procedure the window had before HookWindow; 0 when the window is not hooked.
extern Int32 lngPrevWndProc;
// The hot key's identifier: its atom, sign-extended (atom 0xC001 is -16383); 0 for none.
extern Int32 lngHotKeyAtom;

void HookWindow(Hwnd hwnd);
void UnhookWindow(Hwnd hwnd);
// Non-zero when the hot key was registered, 0 when the system refused it.
Int32 RegisterPrintKey(Hwnd hwnd, const QString& atomName, Int32 modifiers, Int32 virtualKey);
void UnregisterPrintKey(Hwnd hwnd);
Int32 HotKeyWndProc(Hwnd hwnd, std::uint32_t msg, Int32 wParam, Int32 lParam);

}  // namespace numarika::Module1
