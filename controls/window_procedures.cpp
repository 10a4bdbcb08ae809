#include "controls/window_procedures.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>

namespace numarika {
namespace {

// What a window does with a message nobody handled.
Int32 defWindowProc(Hwnd, std::uint32_t, Int32, Int32) { return 0; }

}  // namespace

WindowProcedures::WindowProcedures() { defaultHandle_ = handleOf(&defWindowProc); }

Int32 WindowProcedures::handleOf(WndProc proc) {
    for (auto it = procs_.cbegin(); it != procs_.cend(); ++it)
        if (it.value() == proc) return it.key();
    const Int32 handle = nextHandle_;
    nextHandle_ += 0x10;
    procs_.insert(handle, proc);
    return handle;
}

Int32 WindowProcedures::setWindowProc(Hwnd hwnd, Int32 procHandle) {
    if (!procs_.contains(procHandle)) return 0;
    const Int32 previous = currentProc(hwnd);
    current_.insert(hwnd, procHandle);
    return previous;
}

Int32 WindowProcedures::currentProc(Hwnd hwnd) const {
    return current_.value(hwnd, defaultHandle_);
}

Int32 WindowProcedures::callWindowProc(Int32 procHandle, Hwnd hwnd, std::uint32_t msg, Int32 wParam,
                                       Int32 lParam) {
    const WndProc proc = procs_.value(procHandle, nullptr);
    return proc ? proc(hwnd, msg, wParam, lParam) : 0;
}

Int32 WindowProcedures::sendMessage(Hwnd hwnd, std::uint32_t msg, Int32 wParam, Int32 lParam) {
    return callWindowProc(currentProc(hwnd), hwnd, msg, wParam, lParam);
}

void WindowProcedures::postMessage(Hwnd hwnd, std::uint32_t msg, Int32 wParam, Int32 lParam) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return;
    QMetaObject::invokeMethod(
        app, [this, hwnd, msg, wParam, lParam] { sendMessage(hwnd, msg, wParam, lParam); },
        Qt::QueuedConnection);
}

}  // namespace numarika
