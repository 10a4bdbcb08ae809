// The roads out of the program that are not a close of the main window: termination
// signals and the application quitting. Each must end in Form_QueryUnload.

#include <QAction>
#include <QTimer>
#include <QtTest>
#include <csignal>

#include "capture/module1.h"
#include "controls/user32.h"
#include "main_window/main.h"
#include "main_window/shutdown.h"
#include "platform/qt/qt_dialogs.h"
#include "tests/support/scripted_platform.h"
#include "tests/support/test_app.h"

using namespace numarika;
using namespace numarika::testing;

namespace {

int g_customHandlerCalls = 0;
extern "C" void customHandler(int) { ++g_customHandlerCalls; }

// The hot key released and the message procedure given back.
void verifyUnloaded(const Scripted& s, Hwnd hwnd) {
    QCOMPARE(Module1::lngHotKeyAtom, 0);
    QCOMPARE(Module1::lngPrevWndProc, 0);
    QVERIFY(s.hotKeys->registered.isEmpty());
    QCOMPARE(user32().windowProcedures.currentProc(hwnd),
             user32().windowProcedures.defaultProcHandle());
}

}  // namespace

class TestShutdown : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { initTestResources(); }

    void terminationSignalsCloseTheWindow_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGHUP") << SIGHUP;
    }
    void terminationSignalsCloseTheWindow() {
        QFETCH(int, signal);
        Scripted s = installScriptedPlatform();
        ShutdownPaths paths(*qApp);
        main w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(!s.hotKeys->registered.isEmpty());
        QVERIFY(!paths.requested());

        std::raise(signal);
        QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), 5000);
        QVERIFY(paths.requested());
        verifyUnloaded(s, w.hWnd());
    }

    void aSignalDuringTheStartUpMessageClosesItAndTheWindow() {
        // The second copy of the program: its start-up shows the refusal and waits for OK.
        Scripted s = installScriptedPlatform();
        s.hotKeys->refuse = true;
        s.platform->dialogs = std::make_unique<QtDialogs>();
        ShutdownPaths paths(*qApp);
        QTimer signaller;
        signaller.setInterval(10);
        bool boxSeen = false;
        connect(&signaller, &QTimer::timeout, [&] {
            if (!QApplication::activeModalWidget() || boxSeen) return;
            boxSeen = true;
            std::raise(SIGTERM);
        });
        signaller.start();
        QTimer watchdog;  // never hang on a box nobody closes
        watchdog.setSingleShot(true);
        connect(&watchdog, &QTimer::timeout, [] {
            if (QWidget* box = QApplication::activeModalWidget()) box->close();
        });
        watchdog.start(10000);

        main w;  // Form_Load runs here, the box with it
        QVERIFY(boxSeen);
        QVERIFY(watchdog.isActive());
        QVERIFY(paths.requested());
        verifyUnloaded(s, w.hWnd());
        QVERIFY(!w.m_ps_key->isChecked());
    }

    void previousSignalHandlersComeBack() {
        installScriptedPlatform();
        struct sigaction custom = {};
        custom.sa_handler = customHandler;
        sigemptyset(&custom.sa_mask);
        struct sigaction old = {};
        QCOMPARE(sigaction(SIGTERM, &custom, &old), 0);
        {
            ShutdownPaths paths(*qApp);
            struct sigaction now = {};
            sigaction(SIGTERM, nullptr, &now);
            QVERIFY(now.sa_handler != customHandler);
        }
        std::raise(SIGTERM);
        QCOMPARE(g_customHandlerCalls, 1);
        sigaction(SIGTERM, &old, nullptr);
    }

    // Last: it runs and ends the application's own event loop.
    void quittingTheApplicationUnloadsTheWindow() {
        Scripted s = installScriptedPlatform();
        ShutdownPaths paths(*qApp);
        main w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(!s.hotKeys->registered.isEmpty());
        // exit(), unlike quit(), does not close the windows first.
        QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
        QTimer watchdog;
        watchdog.setSingleShot(true);
        connect(&watchdog, &QTimer::timeout, qApp, [] { QCoreApplication::exit(1); });
        watchdog.start(10000);
        QCOMPARE(QApplication::exec(), 0);
        verifyUnloaded(s, w.hWnd());
        QVERIFY(!paths.requested());
    }
};

QTEST_MAIN(TestShutdown)
#include "test_shutdown.moc"
