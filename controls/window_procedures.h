#pragma once
// The message procedure slot of our windows. Only messages that the platform layer itself
// delivers (the hot key) travel through it; Qt's own events do not. A procedure is known by a
// 32-bit handle, as the window system hands it out, so that the previous one can be stored
// and called later.

#include <QHash>

#include "controls/win_types.h"

namespace numarika {

using WndProc = Int32 (*)(Hwnd hwnd, std::uint32_t msg, Int32 wParam, Int32 lParam);

class WindowProcedures {
  public:
    WindowProcedures();

    // The handle of a procedure (the AddressOf of the original program).
    Int32 handleOf(WndProc proc);
    // Installs `procHandle` as the window's procedure and returns the one it replaced
    // (the default procedure for a window never set before); 0 for an unknown handle.
    Int32 setWindowProc(Hwnd hwnd, Int32 procHandle);
    Int32 currentProc(Hwnd hwnd) const;
    // Runs the procedure behind `procHandle`; 0 for an unknown handle.
    Int32 callWindowProc(Int32 procHandle, Hwnd hwnd, std::uint32_t msg, Int32 wParam,
                         Int32 lParam);
    // Delivers a message through the window's current procedure, now.
    Int32 sendMessage(Hwnd hwnd, std::uint32_t msg, Int32 wParam, Int32 lParam);
    // Queues a message for the UI thread's event loop (call from the UI thread).
    void postMessage(Hwnd hwnd, std::uint32_t msg, Int32 wParam, Int32 lParam);

    Int32 defaultProcHandle() const { return defaultHandle_; }
    // Windows that are gone must not keep a procedure.
    void forgetWindow(Hwnd hwnd) { current_.remove(hwnd); }

  private:
    QHash<Int32, WndProc> procs_;
    QHash<Hwnd, Int32> current_;
    Int32 nextHandle_ = 0x00401000;
    Int32 defaultHandle_ = 0;
};

}  // namespace numarika
