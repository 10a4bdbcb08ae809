// Start-up, the hot key and its option, and every way of closing the main window.

#include <QAction>
#include <QScrollBar>
#include <QtTest>

#include "capture/module1.h"
#include "controls/user32.h"
#include "main_window/main.h"
#include "main_window/scan_service.h"
#include "tests/support/scripted_platform.h"
#include "tests/support/test_app.h"

using namespace numarika;
using namespace numarika::testing;

namespace {

int g_previousProcCalls = 0;
Int32 countingProc(Hwnd, std::uint32_t, Int32, Int32) {
    ++g_previousProcCalls;
    return 77;
}

}  // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { initTestResources(); }

    void startStateAfterFormLoad() {
        Scripted s = installScriptedPlatform();
        main w;
        QCOMPARE(w.windowTitle(), QStringLiteral("ヌマリカ Ver1.00"));
        QCOMPARE(w.lngPenColor, Colour{1});
        QCOMPARE(w.gintCurPen, Int16{2});
        QVERIFY(!w.m_all_save->isEnabled());
        QVERIFY(!w.m_all_clip->isEnabled());
        QVERIFY(!w.m_all_print->isEnabled());
        QVERIFY(w.m_end->isEnabled() && w.m_n_cap->isEnabled() && w.m_cls->isEnabled());
        QVERIFY(w.m_mouse->isChecked());
        QVERIFY(!w.m_apri->isChecked());
        QVERIFY(!w.m_ps_key->isChecked());
        QVERIFY(!w.Picture2->Visible());
        QVERIFY(!w.Picture3->Visible());
        QVERIFY(!w.Picture4->Visible());
        QVERIFY(!w.rangeHeld());
        QVERIFY(s.dialogs->messages.isEmpty());

        // Hooked, and the key registered under the sign-extended atom of "VBSHOTKEY".
        QVERIFY(Module1::lngPrevWndProc != 0);
        QVERIFY(Module1::lngHotKeyAtom < 0);
        QCOMPARE(static_cast<std::uint16_t>(Module1::lngHotKeyAtom),
                 user32().atoms.add(QStringLiteral("VBSHOTKEY")));
        user32().atoms.remove(static_cast<std::uint16_t>(Module1::lngHotKeyAtom));
        QCOMPARE(s.hotKeys->calls.size(), 1);
        const auto& call = s.hotKeys->calls.first();
        QVERIFY(call.registering);
        QCOMPARE(call.id, Module1::lngHotKeyAtom);
        QCOMPARE(user32().hotKeys.value(call.id).hwnd, w.hWnd());
        QCOMPARE(call.modifiers, 0u);
        QCOMPARE(call.virtualKey, 0x2Cu);
    }

    // `numarika --scan` while the start-up's refusal is up: the requests wait for the window,
    // make one scan once it is shown, and hand the desktop's token on. Where the desktop has
    // no global keys at all, the refusal is said at the start only, not after every scan.
    void scanRequestsDuringStartUpMakeOneScanOnceShown() {
        Scripted s = installScriptedPlatform();
        s.hotKeys->noService = true;
        ScanService service;
        s.dialogs->onMessage = [&service](const QString&) {
            service.Scan();
            service.ScanWithPlatformData({{kActivationTokenKey, QStringLiteral("token-1")}});
        };
        main w;
        s.dialogs->onMessage = nullptr;
        const QStringList refusal{QStringLiteral("Print Screenキーの設定に失敗しました。")};
        QCOMPARE(s.dialogs->messages, refusal);
        QCoreApplication::processEvents();
        QCOMPARE(s.keyboard->grabs, 0);
        service.serve(w);
        w.show();
        QTRY_COMPARE(s.keyboard->grabs, 1);
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
        QCOMPARE(s.keyboard->grabs, 1);
        QCOMPARE(s.windows->activationTokens, QStringList{QStringLiteral("token-1")});
        QCOMPARE(s.windows->activated.last(), w.windowTitle());
        service.Scan();
        QTRY_COMPARE(s.keyboard->grabs, 2);
        QCOMPARE(s.dialogs->messages, refusal);
    }

    void designGeometry() {
        installScriptedPlatform();
        main w;
        QCOMPARE(w.ScaleWidth(), 7545.0f);
        QCOMPARE(w.ScaleHeight(), 5370.0f);
        QCOMPARE(w.Picture1->Width(), 7290.0f);
        QCOMPARE(w.Picture1->Height(), 5130.0f);
        // The start picture fills the frame inside its sunken border.
        QCOMPARE(w.Picture1->ScaleWidth(), 482.0f * 15);
        QCOMPARE(w.Picture1->ScaleHeight(), 338.0f * 15);
        QCOMPARE(w.Picture2->Width(), 6165.0f);
        QCOMPARE(w.Picture2->Height(), 3240.0f);
        QCOMPARE(w.Picture4->Left(), 975.0f);
        QCOMPARE(w.Picture4->Top(), 3375.0f);
    }

    void refusedHotKeyShowsOneMessageAndStillOpens() {
        Scripted s = installScriptedPlatform();
        s.hotKeys->refuse = true;
        main w;
        QCOMPARE(s.dialogs->messages,
                 QStringList{QStringLiteral("Print Screenキーの設定に失敗しました。")});
        QVERIFY(!w.m_ps_key->isChecked());
        QVERIFY(!w.m_all_save->isEnabled());
        // The atom stays held after a refusal; the next unregister releases it.
        QVERIFY(Module1::lngHotKeyAtom != 0);
        QCOMPARE(user32().atoms.references(QStringLiteral("VBSHOTKEY")), 1);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.close();
        QCOMPARE(Module1::lngHotKeyAtom, 0);
        QCOMPARE(user32().atoms.references(QStringLiteral("VBSHOTKEY")), 0);
        QVERIFY(!s.hotKeys->calls.last().registering);
    }

    void togglingThePrintKeyOptionKeepsOneAtom() {
        Scripted s = installScriptedPlatform();
        main w;
        for (int i = 0; i < 7; ++i) {
            w.m_ps_key->trigger();
            const bool off = w.m_ps_key->isChecked();
            QCOMPARE(off, i % 2 == 0);
            QCOMPARE(s.hotKeys->registered.isEmpty(), off);
            QCOMPARE(Module1::lngHotKeyAtom == 0, off);
            QCOMPARE(user32().atoms.references(QStringLiteral("VBSHOTKEY")), off ? 0 : 1);
        }
        // Registering over a registration releases the old one first.
        Module1::RegisterPrintKey(w.hWnd(), Module1::kHotKeyAtomName, 0, VK_SNAPSHOT);
        QCOMPARE(user32().atoms.references(QStringLiteral("VBSHOTKEY")), 1);
        QCOMPARE(s.hotKeys->registered.size(), 1);
        QVERIFY(s.dialogs->messages.isEmpty());
    }

    void plainTogglesOnlyFlipTheirMark() {
        Scripted s = installScriptedPlatform();
        main w;
        const int calls = s.hotKeys->calls.size();
        w.m_apri->trigger();
        QVERIFY(w.m_apri->isChecked());
        w.m_apri->trigger();
        QVERIFY(!w.m_apri->isChecked());
        w.m_mouse->trigger();
        QVERIFY(!w.m_mouse->isChecked());
        w.m_mouse->trigger();
        QVERIFY(w.m_mouse->isChecked());
        QCOMPARE(s.hotKeys->calls.size(), calls);
    }

    void hotKeyMessagesAndTheOtherMessages() {
        Scripted s = installScriptedPlatform();
        auto& procs = user32().windowProcedures;
        main w;
        // Put a counting procedure under the hook to see what is passed on.
        Module1::UnhookWindow(w.hWnd());
        procs.setWindowProc(w.hWnd(), procs.handleOf(&countingProc));
        Module1::HookWindow(w.hWnd());
        g_previousProcCalls = 0;

        QCOMPARE(procs.sendMessage(w.hWnd(), 0x000F, 1, 2), 77);  // passed on, result returned
        QCOMPARE(g_previousProcCalls, 1);
        QCOMPARE(procs.sendMessage(w.hWnd(), WM_HOTKEY, Module1::lngHotKeyAtom + 1, 0), 0);
        QCOMPARE(g_previousProcCalls, 1);  // a foreign identifier is not passed on

        // The real identifier reaches HotKeyProc through the event loop.
        QVERIFY(s.hotKeys->press());
        QCoreApplication::processEvents();
        QCOMPARE(g_previousProcCalls, 1);

        Module1::UnhookWindow(w.hWnd());
        QCOMPARE(procs.currentProc(w.hWnd()), procs.handleOf(&countingProc));
        QCOMPARE(Module1::lngPrevWndProc, 0);
        Module1::UnhookWindow(w.hWnd());  // not hooked: nothing happens
        QCOMPARE(procs.currentProc(w.hWnd()), procs.handleOf(&countingProc));
    }

    void everyClosePathReleasesTheKeyAndUnhooks_data() {
        QTest::addColumn<int>("path");
        QTest::newRow("menu 終了") << 0;
        QTest::newRow("close box") << 1;
        QTest::newRow("key already off") << 2;
    }
    void everyClosePathReleasesTheKeyAndUnhooks() {
        QFETCH(int, path);
        Scripted s = installScriptedPlatform();
        auto& procs = user32().windowProcedures;
        {
            main w;
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            const Hwnd hwnd = w.hWnd();
            QVERIFY(procs.currentProc(hwnd) != procs.defaultProcHandle());
            if (path == 2) w.m_ps_key->trigger();
            const int callsBefore = s.hotKeys->calls.size();
            if (path == 0) {
                w.m_end->trigger();
            } else {
                QCloseEvent ev;
                QCoreApplication::sendEvent(&w, &ev);
                QVERIFY(ev.isAccepted());
            }
            QCOMPARE(Module1::lngHotKeyAtom, 0);
            QCOMPARE(Module1::lngPrevWndProc, 0);
            QVERIFY(s.hotKeys->registered.isEmpty());
            QCOMPARE(procs.currentProc(hwnd), procs.defaultProcHandle());
            QCOMPARE(user32().atoms.size(), 0);
            // With the key already off, the close releases nothing more.
            QCOMPARE(s.hotKeys->calls.size() == callsBefore, path == 2);
        }
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
