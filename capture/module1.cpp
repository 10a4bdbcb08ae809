#include "capture/module1.h"

#include <memory>

#include "controls/user32.h"
#include "main_window/main.h"
#include "platform/dialogs.h"
#include "platform/hot_keys.h"
#include "platform/platform.h"

namespace numarika::Module1 {

Int32 lngPrevWndProc = 0;
Int32 lngHotKeyAtom = 0;

void HookWindow(Hwnd hwnd) {
    WindowProcedures& procs = user32().windowProcedures;
    lngPrevWndProc = procs.setWindowProc(hwnd, procs.handleOf(&HotKeyWndProc));
}

void UnhookWindow(Hwnd hwnd) {
    if (lngPrevWndProc == 0) return;
    user32().windowProcedures.setWindowProc(hwnd, lngPrevWndProc);
    lngPrevWndProc = 0;
}

Int32 HotKeyWndProc(Hwnd hwnd, std::uint32_t msg, Int32 wParam, Int32 lParam) {
    if (msg != WM_HOTKEY)
        return user32().windowProcedures.callWindowProc(lngPrevWndProc, hwnd, msg, wParam, lParam);
    if (wParam == lngHotKeyAtom) {
        if (main* window = main::instance()) window->HotKeyProc();
    }
    return 0;
}

Int32 RegisterPrintKey(Hwnd hwnd, const QString& atomName, Int32 modifiers, Int32 virtualKey) {
    if (lngHotKeyAtom != 0) UnregisterPrintKey(hwnd);
    // The atom is 16-bit; the identifier keeps it sign-extended.
    lngHotKeyAtom = static_cast<std::int16_t>(user32().atoms.add(atomName));
    const bool ok = RegisterHotKey(hwnd, lngHotKeyAtom, static_cast<std::uint32_t>(modifiers),
                                   static_cast<std::uint32_t>(virtualKey));
    return ok ? 1 : 0;
}

void UnregisterPrintKey(Hwnd hwnd) {
    if (lngHotKeyAtom == 0) return;
    UnregisterHotKey(hwnd, lngHotKeyAtom);
    user32().atoms.remove(static_cast<std::uint16_t>(lngHotKeyAtom));
    lngHotKeyAtom = 0;
}

}  // namespace numarika::Module1

namespace numarika {
namespace {

// Never into the picture: a refusal heard in a scan's middle is told after it.
void tellKeyRefused() {
    main* window = main::instance();
    if (window && window->scanning()) {
        auto once = std::make_shared<QMetaObject::Connection>();
        *once = QObject::connect(
            window, &main::scanEnded, window,
            [once] {
                QObject::disconnect(*once);
                tellKeyRefused();
            },
            Qt::QueuedConnection);
        return;
    }
    services().dialogs->messageBox(QStringLiteral("Print Screenキーの設定に失敗しました。"));
    // Where the desktop has a page of its own for our shortcut, the box's OK leads there: the
    // user can give it another key, or free Print for it.
    services().hotKeys->configure();
}

}  // namespace

void main::HookHotKey() {
    // The desktop may take the key back later (the keyboard map changed and Print could not
    // be had again): that is said as a refused registration is.
    user32().onHotKeyLost = [](Hwnd, Int32 id) {
        if (id == Module1::lngHotKeyAtom) tellKeyRefused();
    };
    Module1::HookWindow(hWnd());
}

void main::UnhookHotKey() {
    Module1::UnregisterPrintKey(hWnd());
    Module1::UnhookWindow(hWnd());
}

void main::HotKeyProc() { m_n_cap_Click(); }

}  // namespace numarika
