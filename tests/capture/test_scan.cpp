// The scan and its cursor overlay against the scripted desktop: the order of the steps, what
// the window, the hot key, the canvas, the clean copy and the clipboard hold afterwards, the
// error path, and where the cursor lands.

#include <QAction>
#include <QPainter>
#include <QScrollBar>
#include <QtTest>
#include <climits>

#include "capture/module1.h"
#include "controls/twips.h"
#include "main_window/main.h"
#include "tests/support/scripted_platform.h"
#include "tests/support/test_app.h"

using namespace numarika;
using namespace numarika::testing;

namespace {

const QString kCaption = QStringLiteral("ヌマリカ Ver1.00");
const QString kReRegister = QStringLiteral("Print Screenキーの再設定に失敗しました。");
const QString kError = QStringLiteral("エラー発生しました。もう一度スキャンして下さい");
const QRgb kRed = qRgb(0xE0, 0x10, 0x10);
const QRgb kBlue = qRgb(0x10, 0x10, 0xE0);

// The cursor the desktop shows from now on.
void showCursor(Scripted& s, CursorHandle handle, const ScriptedCursor::Shape& shape) {
    s.cursor->shapes.insert(handle, shape);
    s.cursor->shown = handle;
}

// The journal from the first entry of the scan on, without the yields: how often the scan lets
// other events in is its own business, what it asks of the desktop in which order is not.
QStringList scanJournal(const Scripted& s, qsizetype from) {
    QStringList steps = s.desktop->journal.mid(from);
    steps.removeAll(QStringLiteral("yield"));
    return steps;
}

// The calls that ask for the cursor shown now, the pointer being over another program.
QStringList cursorQuery(int handle, QPoint pos = QPoint(40, 30)) {
    return {QStringLiteral("cursorPos"),
            QStringLiteral("windowFromPoint %1,%2").arg(pos.x()).arg(pos.y()),
            QStringLiteral("attach 200 on"), QStringLiteral("getCursor #%1").arg(handle),
            QStringLiteral("attach 200 off")};
}

// Messages go into the journal too, so that their place among the other calls shows.
void journalMessages(const Scripted& s) {
    ScriptedDesktop* desktop = s.desktop;
    s.dialogs->onMessage = [desktop](const QString& text) {
        desktop->log(QStringLiteral("message ") + text);
    };
}

bool hasPicture(const main& w) {
    return w.Picture2->Visible() && w.Picture4->Visible() && w.m_all_save->isEnabled() &&
           w.m_all_clip->isEnabled() && w.m_all_print->isEnabled();
}

bool showsError(const main& w) {
    return !w.Picture2->Visible() && !w.Picture4->Visible() && !w.m_all_save->isEnabled() &&
           !w.m_all_clip->isEnabled() && !w.m_all_print->isEnabled();
}

}  // namespace

class TestScan : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { initTestResources(); }

    // --- the steps, in order -----------------------------------------------------------------

    void minimisedVariantRunsItsStepsInOrder() {
        Scripted s = installScriptedPlatform();
        showCursor(s, 7, ScriptedCursor::testShape(kRed, QPoint(3, 4)));
        main w;
        journalMessages(s);
        const qsizetype from = s.desktop->journal.size();
        w.m_n_cap_Click();

        QStringList expected{QStringLiteral("cursorPos")};
        expected << cursorQuery(7) << QStringLiteral("shape #7")
                 << QStringLiteral("state Minimized") << QStringLiteral("topMost on")
                 << QStringLiteral("keybd 2C 1 0 0")
                 // The system's picture arrives while the scan yields.
                 << QStringLiteral("grab") << QStringLiteral("clipboard set")
                 << QStringLiteral("clipboard read") << cursorQuery(7) << QStringLiteral("shape #7")
                 << QStringLiteral("state Normal") << QStringLiteral("topMost off")
                 << QStringLiteral("activate ") + kCaption;
        QCOMPARE(scanJournal(s, from), expected);
        QVERIFY(hasPicture(w));
        QVERIFY(s.dialogs->messages.isEmpty());
        // The hot key was off during the key press and is back afterwards.
        QVERIFY(!s.hotKeys->calls[s.hotKeys->calls.size() - 2].registering);
        QVERIFY(s.hotKeys->calls.last().registering);
        QCOMPARE(s.hotKeys->registered.size(), 1);
    }

    void visibleVariantRunsItsStepsInOrder() {
        Scripted s = installScriptedPlatform();
        showCursor(s, 7, ScriptedCursor::testShape(kRed, QPoint(3, 4)));
        main w;
        w.m_apri->trigger();
        const qsizetype from = s.desktop->journal.size();
        w.m_n_cap_Click();

        QStringList expected{QStringLiteral("cursorPos")};
        expected << cursorQuery(7) << QStringLiteral("shape #7") << QStringLiteral("keybd 2C 1 0 0")
                 << QStringLiteral("grab") << QStringLiteral("clipboard set")
                 << QStringLiteral("clipboard read") << cursorQuery(7)
                 << QStringLiteral("shape #7");
        QCOMPARE(scanJournal(s, from), expected);
        QVERIFY(hasPicture(w));
    }

    // --- the window ------------------------------------------------------------------------------

    void windowIsInThePictureOnlyWhenShown_data() {
        QTest::addColumn<bool>("showApplication");
        QTest::addColumn<WindowState>("before");
        QTest::addColumn<WindowState>("after");
        QTest::newRow("shown, normal") << true << WindowState::Normal << WindowState::Normal;
        QTest::newRow("shown, maximised")
            << true << WindowState::Maximized << WindowState::Maximized;
        QTest::newRow("minimised, normal") << false << WindowState::Normal << WindowState::Normal;
        QTest::newRow("minimised, maximised comes back normal")
            << false << WindowState::Maximized << WindowState::Normal;
    }
    void windowIsInThePictureOnlyWhenShown() {
        QFETCH(bool, showApplication);
        QFETCH(WindowState, before);
        QFETCH(WindowState, after);
        Scripted s = installScriptedPlatform();
        main w;
        s.desktop->state = before;
        if (showApplication) w.m_apri->trigger();
        w.m_n_cap_Click();

        QVERIFY(hasPicture(w));
        QCOMPARE(s.desktop->state, after);
        QVERIFY(!s.desktop->topMost);
        const QPoint inWindow = s.desktop->windowRect.center();
        const QRgb expected =
            showApplication ? s.desktop->windowColour : s.desktop->screen.pixel(inWindow);
        QCOMPARE(w.Picture2->Picture().pixel(inWindow), expected);
        QCOMPARE(s.windows->activated, showApplication ? QStringList() : QStringList{kCaption});
        // The shown variant leaves state and placement alone altogether.
        const bool touched = s.desktop->journal.contains(QStringLiteral("topMost on")) ||
                             s.desktop->journal.contains(QStringLiteral("state Minimized"));
        QCOMPARE(touched, !showApplication);
    }

    void theWindowIsTopMostWhileItIsAway() {
        Scripted s = installScriptedPlatform();
        main w;
        QList<bool> topMostAtGrab;
        QList<WindowState> stateAtGrab;
        s.windows->onYield = [&](int) {
            if (s.keyboard->grabs == 1 && topMostAtGrab.isEmpty()) {
                topMostAtGrab.append(s.desktop->topMost);
                stateAtGrab.append(s.desktop->state);
            }
        };
        w.m_n_cap_Click();
        QCOMPARE(topMostAtGrab, QList<bool>{true});
        QCOMPARE(stateAtGrab, QList<WindowState>{WindowState::Minimized});
    }

    // --- the picture ---------------------------------------------------------------------------

    void pictureFillsTheCanvasAndTheCleanCopy() {
        Scripted s = installScriptedPlatform();
        s.desktop->screen = patternPicture(QSize(1920, 1080));
        main w;
        s.clipboard->content = QImage(4, 4, QImage::Format_RGB32);  // what was there before
        w.m_n_cap_Click();

        QCOMPARE(w.Picture2->Picture(), s.desktop->screen);
        // One picture pixel to one screen pixel: the canvas has the picture's size.
        QCOMPARE(w.Picture2->Width(), 1920.0f * kTwipsPerPixel);
        QCOMPARE(w.Picture2->Height(), 1080.0f * kTwipsPerPixel);
        QCOMPARE(w.Picture3->Width(), w.Picture2->Width());
        QCOMPARE(w.Picture3->Height(), w.Picture2->Height());
        QCOMPARE(w.Picture3->Picture(), s.desktop->screen);
        QVERIFY(!w.Picture3->Visible());
        // The clipboard now holds the screen, not what it held before.
        QVERIFY(s.clipboard->content.has_value());
        QCOMPARE(*s.clipboard->content, s.desktop->screen);
        // The layout ran for the new size: the picture is larger than the view.
        QVERIFY(w.HScroll1->isEnabled());
        QVERIFY(w.VScroll1->isEnabled());
        QCOMPARE(
            w.HScroll1->maximum(),
            static_cast<int>(roundHalfEven((w.Picture2->Width() - w.Picture1->ScaleWidth()) / 30)));
        QCOMPARE(w.Picture2->Left(), 0.0f);
        QCOMPARE(w.Picture2->Top(), 0.0f);
    }

    void aHeldRangeSurvivesTheScan() {
        Scripted s = installScriptedPlatform();
        main w;
        w.m_n_cap_Click();
        // A range held on the first picture.
        QImage range(30, 20, QImage::Format_RGB32);
        range.fill(qRgb(1, 2, 3));
        w.Picture4->setPicture(range);
        w.Picture4->setAutoRedraw(true);
        w.blnDragging = kTrue;
        w.blnBandDrawn = kTrue;
        w.sngRangeX = {150, 600};
        w.sngRangeY = {75, 450};
        w.sngRangeWidth = 450;
        w.sngRangeHeight = 375;
        const QImage rangeImage = w.Picture4->Image();

        s.desktop->screen = patternPicture(QSize(800, 600));
        w.m_n_cap_Click();
        QVERIFY(hasPicture(w));
        QCOMPARE(w.Picture2->Picture(), s.desktop->screen);
        QVERIFY(w.rangeHeld());
        QCOMPARE(w.Picture4->Image(), rangeImage);
        QCOMPARE(w.blnDragging, kTrue);
        QCOMPARE(w.blnBandDrawn, kTrue);
        QCOMPARE(w.sngRangeX, (std::array<float, 2>{150, 600}));
        QCOMPARE(w.sngRangeY, (std::array<float, 2>{75, 450}));
        QCOMPARE(w.sngRangeWidth, 450.0f);
        QCOMPARE(w.sngRangeHeight, 375.0f);
    }

    // --- the hot key ---------------------------------------------------------------------------

    void aScanAskedForWhileOneRunsIsNotASecondScan() {
        Scripted s = installScriptedPlatform();
        main w;
        // While the scan waits for its picture, the user clicks スキャン again and the key comes.
        bool offWhileScanning = false;
        s.windows->onYield = [&](int n) {
            if (n != 2) return;
            offWhileScanning = !w.m_n_cap->isEnabled();
            w.m_n_cap->trigger();
            w.HotKeyProc();
        };
        w.m_n_cap_Click();
        QVERIFY(offWhileScanning);
        QVERIFY(w.m_n_cap->isEnabled());
        QCOMPARE(s.keyboard->grabs, 1);
        QCOMPARE(s.desktop->journal.count(QStringLiteral("state Minimized")), 1);
        QVERIFY(hasPicture(w));
        QCOMPARE(w.Picture2->Image(), s.desktop->screen);
    }

    void theHotKeyRunsTheScan() {
        Scripted s = installScriptedPlatform();
        main w;
        QVERIFY(s.hotKeys->press());
        QTRY_VERIFY(hasPicture(w));
        QCOMPARE(w.Picture2->Picture(), s.desktop->screen);
        // Registered again afterwards, under a new identifier.
        QCOMPARE(s.hotKeys->registered.size(), 1);
        QVERIFY(s.hotKeys->registered.contains(Module1::lngHotKeyAtom));
    }

    void printKeyOptionOnMeansNoReRegistration() {
        Scripted s = installScriptedPlatform();
        main w;
        w.m_ps_key->trigger();  // scanning by the key switched off
        const int calls = s.hotKeys->calls.size();
        s.hotKeys->refuse = true;  // would show a message if anything tried
        w.m_n_cap_Click();
        QVERIFY(hasPicture(w));
        QCOMPARE(s.hotKeys->calls.size(), calls);
        QVERIFY(s.hotKeys->registered.isEmpty());
        QVERIFY(s.dialogs->messages.isEmpty());

        // The same on the error path.
        s.keyboard->ignorePrintScreen = true;
        s.clipboard->content.reset();
        w.m_n_cap_Click();
        QCOMPARE(s.hotKeys->calls.size(), calls);
        QCOMPARE(s.dialogs->messages, QStringList{kError});
    }

    void refusedReRegistrationIsReportedAndTheScanGoesOn() {
        Scripted s = installScriptedPlatform();
        main w;
        s.hotKeys->refuse = true;
        w.m_n_cap_Click();
        QCOMPARE(s.dialogs->messages, QStringList{kReRegister});
        QVERIFY(hasPicture(w));
        QCOMPARE(w.Picture3->Picture(), s.desktop->screen);
    }

    // --- the error path ------------------------------------------------------------------------

    void noPictureRunsTheErrorPathInItsOrder() {
        Scripted s = installScriptedPlatform();
        s.desktop->state = WindowState::Maximized;
        main w;
        w.m_n_cap_Click();  // a first picture, and its clean copy
        const QImage first = w.Picture3->Picture();
        QVERIFY(!first.isNull());

        journalMessages(s);
        s.hotKeys->refuse = true;
        s.keyboard->ignorePrintScreen = true;
        s.clipboard->content.reset();
        s.desktop->screen = patternPicture(QSize(100, 100));
        const qsizetype from = s.desktop->journal.size();
        w.m_n_cap_Click();

        const QStringList journal = scanJournal(s, from);
        const qsizetype read = journal.indexOf(QStringLiteral("clipboard read"));
        QVERIFY(read > 0);
        // Nothing after the failed read but the error path.
        QCOMPARE(
            journal.mid(read + 1),
            (QStringList{QStringLiteral("message ") + kReRegister, QStringLiteral("state Normal"),
                         QStringLiteral("message ") + kError, QStringLiteral("topMost off")}));
        QCOMPARE(s.dialogs->messages, (QStringList{kReRegister, kError}));
        QVERIFY(showsError(w));
        QCOMPARE(s.desktop->state, WindowState::Normal);
        QVERIFY(!s.desktop->topMost);
        QVERIFY(s.windows->activated.size() == 1);  // only the first scan activated
        QCOMPARE(w.Picture3->Picture(), first);
    }

    void errorPathBringsAMaximisedWindowBackNormalInBothVariants_data() {
        QTest::addColumn<bool>("showApplication");
        QTest::newRow("shown") << true;
        QTest::newRow("minimised") << false;
    }
    void errorPathBringsAMaximisedWindowBackNormalInBothVariants() {
        QFETCH(bool, showApplication);
        Scripted s = installScriptedPlatform();
        main w;
        if (showApplication) w.m_apri->trigger();
        s.desktop->state = WindowState::Maximized;
        s.clipboard->refuseRead = true;
        w.m_n_cap_Click();
        QVERIFY(showsError(w));
        QCOMPARE(s.desktop->state, WindowState::Normal);
        QVERIFY(!s.desktop->topMost);
        QCOMPARE(s.dialogs->messages, QStringList{kError});
    }

    void failureAfterThePictureHidesItButKeepsIt() {
        Scripted s = installScriptedPlatform();
        main w;
        w.m_n_cap_Click();
        const QImage before = w.Picture3->Picture();

        s.desktop->screen = patternPicture(QSize(300, 200));
        s.windows->refuseActivation = true;
        w.m_n_cap_Click();
        QVERIFY(showsError(w));
        QCOMPARE(w.Picture2->Picture(), s.desktop->screen);
        QCOMPARE(w.Picture3->Picture(), before);
        QCOMPARE(s.dialogs->messages, QStringList{kError});

        // The next scan that succeeds shows the canvas again.
        s.windows->refuseActivation = false;
        w.m_n_cap_Click();
        QVERIFY(hasPicture(w));
        QCOMPARE(w.Picture3->Picture(), s.desktop->screen);
    }

    void overflowingCursorPositionRunsTheErrorPath_data() {
        QTest::addColumn<QPoint>("position");
        QTest::addColumn<QPoint>("hotspot");
        QTest::newRow("x") << QPoint(INT_MIN + 2, 10) << QPoint(5, 0);
        QTest::newRow("y") << QPoint(10, INT_MIN) << QPoint(0, 1);
        QTest::newRow("edge, no overflow") << QPoint(INT_MIN + 5, 10) << QPoint(5, 0);
    }
    void overflowingCursorPositionRunsTheErrorPath() {
        QFETCH(QPoint, position);
        QFETCH(QPoint, hotspot);
        Scripted s = installScriptedPlatform();
        showCursor(s, 3, ScriptedCursor::testShape(kRed, hotspot));
        s.cursor->position = position;
        main w;
        w.m_n_cap_Click();
        const bool overflows = QByteArray(QTest::currentDataTag()) != "edge, no overflow";
        QCOMPARE(showsError(w), overflows);
        QCOMPARE(s.dialogs->messages, overflows ? QStringList{kError} : QStringList());
        // The picture was taken before the overlay failed.
        QCOMPARE(w.Picture2->Picture(), s.desktop->screen);
    }

    // --- the cursor ----------------------------------------------------------------------------

    void cursorIsOnTheCanvasOnly() {
        Scripted s = installScriptedPlatform();
        const QPoint hotspot(3, 4);
        showCursor(s, 7, ScriptedCursor::testShape(kRed, hotspot));
        s.cursor->position = QPoint(100, 50);
        main w;
        w.m_n_cap_Click();

        // Kept aside on the canvas: the scan made no copy of the whole picture for it.
        QCOMPARE(w.Picture2->patchCount(), 1);
        const QImage canvas = w.Picture2->Image();
        const QPoint topLeft = QPoint(100, 50) - hotspot;
        // An opaque pixel of the cursor, a transparent one, and a half-transparent one.
        QCOMPARE(canvas.pixel(topLeft + QPoint(2, 9)), kRed);
        QCOMPARE(canvas.pixel(topLeft + QPoint(9, 2)),
                 s.desktop->screen.pixel(topLeft + QPoint(9, 2)));
        const QRgb below = s.desktop->screen.pixel(topLeft + QPoint(0, 9));
        const QRgb blended = canvas.pixel(topLeft + QPoint(0, 9));
        QVERIFY(blended != kRed && blended != below);
        QVERIFY(qAbs(qRed(blended) - (qRed(kRed) + qRed(below)) / 2) <= 2);
        // Nowhere else.
        QImage outside = canvas;
        QPainter(&outside).fillRect(QRect(topLeft, QSize(12, 16)), Qt::black);
        QImage expected = s.desktop->screen;
        QPainter(&expected).fillRect(QRect(topLeft, QSize(12, 16)), Qt::black);
        QCOMPARE(outside, expected);
        // Not in the picture, the clean copy or the clipboard.
        QCOMPARE(w.Picture2->Picture(), s.desktop->screen);
        QCOMPARE(w.Picture3->Picture(), s.desktop->screen);
        QCOMPARE(*s.clipboard->content, s.desktop->screen);
    }

    void hotspotIsReadBeforeTheWindowGoesAndTheImageAfterThePicture() {
        Scripted s = installScriptedPlatform();
        s.cursor->shapes.insert(1, ScriptedCursor::testShape(kRed, QPoint(2, 3)));
        s.cursor->shapes.insert(2, ScriptedCursor::testShape(kBlue, QPoint(8, 9)));
        s.cursor->shown = 1;
        s.cursor->position = QPoint(200, 100);
        // The shape changes once the scan has yielded the first time (the window goes away).
        s.windows->onYield = [&](int) { s.cursor->shown = 2; };
        main w;
        const qsizetype from = s.desktop->journal.size();
        w.m_n_cap_Click();
        const QStringList journal = scanJournal(s, from);
        // The hot spot of the first shape, the image of the second, and nothing else asked.
        QCOMPARE(journal.filter(QStringLiteral("shape #")),
                 (QStringList{QStringLiteral("shape #1"), QStringLiteral("shape #2")}));
        QCOMPARE(w.lngHotspotX, 2);
        QCOMPARE(w.lngHotspotY, 3);
        QCOMPARE(w.Picture2->Image().pixel(QPoint(198, 97) + QPoint(2, 9)), kBlue);
    }

    void unknownPointerPositionDrawsNoCursor() {
        // Wayland tells a program nothing of the pointer outside its own windows.
        Scripted s = installScriptedPlatform();
        showCursor(s, 7, ScriptedCursor::testShape(kRed, QPoint(3, 4)));
        s.cursor->position = std::nullopt;
        main w;
        w.m_n_cap_Click();
        QVERIFY(hasPicture(w));
        QCOMPARE(w.Picture2->Image(), s.desktop->screen);
        QVERIFY(s.dialogs->messages.isEmpty());
        // The desktop is asked to draw it instead (KWin can), and only while the option is on.
        const QString asked = QStringLiteral("keybd 2C 1 0 %1").arg(kExtraInfoDesktopPointer);
        QCOMPARE(s.desktop->journal.count(asked), 1);
        w.m_mouse->trigger();
        w.m_n_cap_Click();
        QCOMPARE(s.desktop->journal.count(asked), 1);
        QVERIFY(s.desktop->journal.contains(QStringLiteral("keybd 2C 1 0 0")));
    }

    void cursorInTheCornerIsClippedWithItsHotspotOnTheStart() {
        Scripted s = installScriptedPlatform();
        const QPoint hotspot(5, 7);
        showCursor(s, 4, ScriptedCursor::testShape(kRed, hotspot));
        s.cursor->position = QPoint(2, 1);
        main w;
        w.m_n_cap_Click();
        QVERIFY(hasPicture(w));
        const QImage canvas = w.Picture2->Image();
        // The cursor's own pixel (x, y) lands on canvas (x - 3, y - 6).
        QCOMPARE(canvas.pixel(2, 1), kRed);                           // the hot spot (5, 7) itself
        QCOMPARE(canvas.pixel(0, 0), kRed);                           // cursor pixel (3, 6)
        QCOMPARE(canvas.pixel(5, 2), kRed);                           // (8, 8)
        QCOMPARE(canvas.pixel(6, 2), s.desktop->screen.pixel(6, 2));  // (9, 8): transparent
        QCOMPARE(canvas.pixel(4, 0), s.desktop->screen.pixel(4, 0));  // (7, 6): transparent
        QCOMPARE(canvas.pixel(8, 9), kRed);                           // (11, 15): last column
        QCOMPARE(canvas.pixel(9, 9), s.desktop->screen.pixel(9, 9));  // beyond the cursor
        QCOMPARE(canvas.pixel(0, 10), s.desktop->screen.pixel(0, 10));  // (3, 16): below it
    }

    void attachAndOwnWindow() {
        // Over our own window nothing is attached.
        {
            Scripted s = installScriptedPlatform();
            showCursor(s, 7, ScriptedCursor::testShape(kRed, QPoint(3, 4)));
            s.cursor->overOwnWindow = true;
            main w;
            w.m_n_cap_Click();
            QCOMPARE(s.cursor->attaches, 0);
            QCOMPARE(w.Picture2->Image().pixel(QPoint(37, 26) + QPoint(2, 9)), kRed);
        }
        // A refused attach at the hot spot: (0, 0), the cursor's corner on the start position.
        {
            Scripted s = installScriptedPlatform();
            showCursor(s, 7, ScriptedCursor::testShape(kRed, QPoint(3, 4)));
            s.cursor->refuseAttach = true;
            s.windows->onYield = [&](int) { s.cursor->refuseAttach = false; };
            main w;
            w.m_n_cap_Click();
            QCOMPARE(w.lngHotspotX, 0);
            QCOMPARE(w.lngHotspotY, 0);
            QCOMPARE(w.Picture2->Image().pixel(QPoint(40, 30) + QPoint(2, 9)), kRed);
            QCOMPARE(s.cursor->attaches, s.cursor->detaches);
        }
        // A refused attach at the overlay: nothing drawn, and the scan succeeds.
        {
            Scripted s = installScriptedPlatform();
            showCursor(s, 7, ScriptedCursor::testShape(kRed, QPoint(3, 4)));
            s.windows->onYield = [&](int) { s.cursor->refuseAttach = true; };
            main w;
            w.m_n_cap_Click();
            QVERIFY(hasPicture(w));
            QCOMPARE(w.Picture2->Image(), s.desktop->screen);
            QCOMPARE(s.cursor->attachedTo, 0);
        }
    }

    void cursorOptionOffStillReadsTheHotspotButDrawsNothing() {
        Scripted s = installScriptedPlatform();
        showCursor(s, 7, ScriptedCursor::testShape(kRed, QPoint(3, 4)));
        main w;
        w.m_mouse->trigger();
        QVERIFY(!w.m_mouse->isChecked());
        w.m_n_cap_Click();
        QVERIFY(hasPicture(w));
        QVERIFY(s.desktop->journal.contains(QStringLiteral("shape #7")));
        QCOMPARE(w.lngHotspotX, 3);
        QCOMPARE(w.Picture2->Image(), s.desktop->screen);
    }

    void optionToggledDuringAYieldTakesEffectInTheSameScan() {
        Scripted s = installScriptedPlatform();
        showCursor(s, 7, ScriptedCursor::testShape(kRed, QPoint(3, 4)));
        main w;
        w.m_apri->trigger();
        // The user switches the cursor off while the scan waits for the picture.
        s.windows->onYield = [&](int n) {
            if (n == 2) w.m_mouse->trigger();
        };
        w.m_n_cap_Click();
        QVERIFY(hasPicture(w));
        QCOMPARE(w.Picture2->Image(), w.Picture2->Picture());
    }
};

QTEST_MAIN(TestScan)
#include "test_scan.moc"
