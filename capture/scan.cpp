// The scan: a picture of the whole desktop into the canvas. The program does not read the
// screen itself; it presses Print Screen the way the system knows it, lets the system put the
// desktop on the clipboard while it yields, and takes the picture from there. Unless the user
// wants the program in the picture, the window is minimised for the capture.

#include <QAction>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QWindow>
#include <exception>
#include <memory>

#include "capture/module1.h"
#include "controls/win_types.h"
#include "main_window/main.h"
#include "platform/clipboard.h"
#include "platform/cursor.h"
#include "platform/dialogs.h"
#include "platform/hot_keys.h"
#include "platform/keyboard.h"
#include "platform/platform.h"
#include "platform/window_control.h"

namespace numarika {
namespace {

const QString kReRegisterFailed = QStringLiteral("Print Screenキーの再設定に失敗しました。");
const QString kScanFailed = QStringLiteral("エラー発生しました。もう一度スキャンして下さい");

// A failure once the error path is armed: the remaining steps are left and the error path runs.
struct ScanFailure : std::exception {
    const char* what() const noexcept override { return "scan failed"; }
};

}  // namespace

// A message box of ours on the screen would be in the picture, and a dialog of the desktop still
// asking the user about our key (GNOME's) would go away with our window: the scan waits for
// both, however it was asked for (the menu, the hot key, `numarika --scan`), and runs once.
bool main::scanWaits() {
    if (scanWaiting_) return true;
    // A dialog the user works in (the colour dialog) stays up: the scan runs beside it.
    if (auto* modal = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        scanWaiting_ = true;
        connect(
            modal, &QObject::destroyed, this,
            [this] {
                scanWaiting_ = false;
                m_n_cap_Click();
            },
            Qt::QueuedConnection);
        return true;
    }
    HotKeys& hotKeys = *services().hotKeys;
    if (!hotKeys.deciding()) return false;
    scanWaiting_ = true;
    hotKeys.afterDecided([window = QPointer<main>(this)] {
        if (!window) return;
        // The desktop's dialog closes with its answer and hands the focus back to our window:
        // hidden before that, mutter has aborted (a focused window unmanaged). Bounded, for a
        // desktop that gives no focus back.
        auto focus = std::make_shared<QMetaObject::Connection>();
        const auto resume = [window, focus] {
            QObject::disconnect(*focus);
            if (!window || !window->scanWaiting_) return;
            window->scanWaiting_ = false;
            window->m_n_cap_Click();
        };
        if (window->isActiveWindow()) {
            QTimer::singleShot(0, window, resume);
            return;
        }
        *focus = connect(qApp, &QGuiApplication::focusWindowChanged, window,
                         [window, resume](QWindow* focused) {
                             if (focused && focused == window->windowHandle())
                                 QTimer::singleShot(0, window, resume);
                         });
        QTimer::singleShot(1000, window, resume);
    });
    return true;
}

void main::m_n_cap_Click() {
    // One scan at a time: the scan yields, and a click on スキャン or the hot key delivered
    // meanwhile would start another inside it, whose picture shows the window this one hid.
    // The menu entry is off while it runs; a request by the bus waits for scanEnded.
    if (scanning() || scanWaits()) return;
    struct Running {
        main& w;
        explicit Running(main& window) : w(window) {
            ++w.scans_;
            w.m_n_cap->setEnabled(false);
        }
        ~Running() {
            w.m_n_cap->setEnabled(true);
            if (--w.scans_ == 0) emit w.scanEnded();
        }
    } running(*this);
    Platform& platform = services();
    WindowControl& windows = *platform.windows;
    const auto yield = [&windows] { windows.doEvents(); };

    // Where the pointer stands now is where the cursor is drawn later; where the desktop does
    // not tell (Wayland), no cursor is drawn rather than one in a wrong place.
    const std::optional<QPoint> start = platform.cursor->cursorPos();
    m_all_save->setEnabled(true);
    m_all_clip->setEnabled(true);
    m_all_print->setEnabled(true);
    Picture2->setVisible(true);
    Picture3->Cls();
    Picture4->setVisible(true);
    // The key press below must reach the system, not come back to us as the hot key.
    Module1::UnregisterPrintKey(hWnd());
    // The hot spot of the cursor shown now, before the window goes away.
    LoadCursorHotspot();
    yield();

    const auto reRegisterPrintKey = [this, &platform] {
        if (m_ps_key->isChecked()) return;
        // Where the desktop has no global keys at all, the start said so once; saying it after
        // every scan would tell the user nothing new.
        if (Module1::RegisterPrintKey(hWnd(), Module1::kHotKeyAtomName, 0, VK_SNAPSHOT) == 0 &&
            platform.hotKeys->everOffered())
            platform.dialogs->messageBox(kReRegisterFailed);
    };
    const auto takePicture = [this, &platform] {
        std::optional<QImage> picture = platform.clipboard->picture();
        if (!picture || picture->isNull()) throw ScanFailure();
        Picture2->setPicture(*picture);
    };
    const auto overlayCursor = [this, start] {
        if (m_mouse->isChecked() && start && !DrawCursorOverlay(start->x(), start->y()))
            throw ScanFailure();
    };
    // Where we cannot draw the pointer ourselves, the desktop may.
    const std::uint32_t extraInfo = m_mouse->isChecked() && !start ? kExtraInfoDesktopPointer : 0;
    const auto pressPrintScreen = [&platform, extraInfo] {
        platform.keyboard->keybdEvent(VK_SNAPSHOT, 1, 0, extraInfo);  // key down, whole screen
    };

    try {
        if (m_apri->isChecked()) {
            // The window stays as it is and is part of the picture.
            yield();
            pressPrintScreen();
            yield();
            takePicture();
            overlayCursor();
        } else {
            // The window leaves the screen for the picture and comes back on top of the others.
            windows.setWindowState(*this, WindowState::Minimized);
            yield();
            windows.setTopMost(*this, true);
            yield();
            yield();
            pressPrintScreen();
            yield();
            yield();
            takePicture();
            overlayCursor();
            yield();
            windows.setWindowState(*this, WindowState::Normal);
            yield();
            windows.setTopMost(*this, false);
            if (!windows.activateByTitle(windowTitle())) throw ScanFailure();
        }

        reRegisterPrintKey();
        Picture3->setHeight(Picture2->Height());
        Picture3->setWidth(Picture2->Width());
        // The picture as it came from the clipboard: the cursor is on the canvas only.
        Picture3->setPicture(Picture2->Picture());
        // A drag will want pixels of its own: copied beside the user, once the picture is shown.
        Picture2->keepSpareCopyAfterPaint();
        Form_Resize();
    } catch (const std::exception&) {
        // Also what the system throws at us, such as a picture too large for memory.
        reRegisterPrintKey();
        m_all_save->setEnabled(false);
        m_all_clip->setEnabled(false);
        m_all_print->setEnabled(false);
        windows.setWindowState(*this, WindowState::Normal);
        Picture2->setVisible(false);
        Picture4->setVisible(false);
        platform.dialogs->messageBox(kScanFailed);
        windows.setTopMost(*this, false);
    }
}

}  // namespace numarika
