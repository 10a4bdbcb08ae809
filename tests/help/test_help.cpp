// The help text, the help window's layout and life cycle, and the maker's web page.

#include <QAction>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTimer>
#include <QUrl>
#include <QtTest>

#include "help/help_dlg.h"
#include "help/help_text.h"
#include "help/maker.h"
#include "main_window/main.h"
#include "platform/null_services.h"
#include "platform/qt/qt_dialogs.h"
#include "tests/support/scripted_platform.h"
#include "tests/support/test_app.h"

using namespace numarika;
using namespace numarika::testing;

namespace {

const QString kHyphens = QString(69, QLatin1Char('-'));

// Line n of the help text, counted from 1 as a reader would.
QString line(int n) { return helpLines().at(n - 1); }

// Sets the client area to a size in twips (a multiple of 15, one pixel) and waits for the
// layout to have run.
void resizeClientTwips(HelpDlg& dlg, int widthTwips, int heightTwips) {
    dlg.resize(widthTwips / 15, heightTwips / 15);
    QTRY_COMPARE(dlg.ScaleWidth(), float(widthTwips));
    QCOMPARE(dlg.ScaleHeight(), float(heightTwips));
}

}  // namespace

class TestHelp : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { initTestResources(); }

    void helpTextHas96CrLfLines() {
        const QString text = helpText();
        QCOMPARE(helpLines().size(), 96);
        QVERIFY(text.endsWith(QStringLiteral("\r\n")));
        // CR LF between all lines, and no bare CR or LF anywhere.
        QCOMPARE(text.count(QStringLiteral("\r\n")), 96);
        QCOMPARE(text.count(QLatin1Char('\r')), 96);
        QCOMPARE(text.count(QLatin1Char('\n')), 96);
        QCOMPARE(text, helpLines().join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
    }

    void helpTextLines() {
        for (int n : {1, 9, 91, 96}) QCOMPARE(line(n), kHyphens);
        QCOMPARE(line(2), QStringLiteral("ソフト名：ヌマリカ Ver1.00"));
        // A full-width space inside, one ASCII space at the end.
        QCOMPARE(line(3), QStringLiteral("書庫名\u3000：numarika10.ZIP "));
        QCOMPARE(line(5), QStringLiteral("対応機種：Windows95/98"));
        QCOMPARE(line(7), QString());
        QCOMPARE(line(11), QStringLiteral("\u3000コンピュータの画面を取込み、印刷・保存・"
                                          "クリップボード転送が出来ます。"));
        // These few begin with two ASCII spaces, the other indents are full-width.
        QCOMPARE(line(24), QStringLiteral("  ダウンロードした書庫ファイルを一時的に"
                                          "フォルダに展開して下さい。"));
        QCOMPARE(line(25),
                 QStringLiteral("  「Setup.exe」を実行すると、インストーラが起動します。"));
        QCOMPARE(line(29), QStringLiteral("  削除して構いません。"));
        QCOMPARE(line(36), QStringLiteral("\u3000\u3000\u3000\u3000\u3000\u3000範囲指定した場合は、"
                                          "範囲指定内の画像を保存する"));
        QCOMPARE(line(54), QStringLiteral("\u3000\u3000\u3000\u3000\u3000デスクトップに表示されいる"
                                          "状態をスキャンする事が出来ます。"));
        QCOMPARE(line(77), QStringLiteral("（転載及び著作権について）"));
        QCOMPARE(line(78), QStringLiteral("\u3000"));
        QCOMPARE(line(79), QStringLiteral("  "));
        QCOMPARE(line(80), QStringLiteral("\u3000\u3000"));
        QCOMPARE(line(87), QStringLiteral("（謝辞）"));
        QCOMPARE(line(95), QStringLiteral("2000/08/31"));
        int asciiIndented = 0;
        for (const QString& l : helpLines())
            if (l.startsWith(QStringLiteral("  "))) ++asciiIndented;
        QCOMPARE(asciiIndented, 6);
    }

    void makerLinesUseTheMakerConstants() {
        QVERIFY(line(4).contains(kMakerName));
        QVERIFY(line(4).contains(kMakerContact));
        QVERIFY(line(4).contains(kMakerEmail));
        QVERIFY(line(6).contains(kDevelopmentEnvironment));
        QVERIFY(line(92).contains(kMakerName));
        QVERIFY(line(93).contains(kMakerEmail));
        QVERIFY(line(94).contains(kMakerUrl));
        // Addresses under the reserved example domain only.
        const QUrl url(kMakerUrl, QUrl::StrictMode);
        QVERIFY(url.isValid());
        QCOMPARE(url.scheme(), QStringLiteral("https"));
        QVERIFY(url.host() == QStringLiteral("example.com") ||
                url.host().endsWith(QStringLiteral(".example.com")));
        QVERIFY(kMakerEmail.endsWith(QStringLiteral("@example.com")));
        // The help menu names the same maker.
        QVERIFY(QStringLiteral("（株）ソラメトホームページ").startsWith(kMakerName));
    }

    void windowAtItsDesignSize() {
        HelpDlg dlg;
        QCOMPARE(dlg.windowTitle(), QStringLiteral("ヘルプ"));
        QVERIFY(dlg.windowIcon().isNull());
        QCOMPARE(dlg.Command1->text(), QStringLiteral("閉じる"));
        QVERIFY(!dlg.Command1->isDefault());
        QVERIFY(!dlg.Command1->autoDefault());
        QCOMPARE(dlg.Text1->toPlainText(), helpLines().join(QLatin1Char('\n')) + '\n');
        QCOMPARE(dlg.focusWidget(), dlg.Text1);
        QCOMPARE(dlg.nextInFocusChain(), dlg.Text1);

        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QCOMPARE(dlg.ScaleWidth(), 7095.0f);
        QCOMPARE(dlg.ScaleHeight(), 7110.0f);
        QCOMPARE(dlg.command1Rect(), (HelpDlg::Rect{5800, 6725, 1215, 305}));
        QCOMPARE(dlg.text1Rect(), (HelpDlg::Rect{80, 80, 6935, 6565}));
        // On whole pixels: 5800/15 = 386.7, 6725/15 = 448.3, 6935/15 = 462.3, 6565/15 = 437.7.
        QCOMPARE(dlg.Command1->geometry(), QRect(387, 448, 81, 20));
        QCOMPARE(dlg.Text1->geometry(), QRect(5, 5, 462, 438));
        // Centred on the screen.
        const QRect screen = dlg.screen()->geometry();
        QVERIFY(qAbs(dlg.frameGeometry().center().x() - screen.center().x()) <= 1);
        QVERIFY(qAbs(dlg.frameGeometry().center().y() - screen.center().y()) <= 1);
    }

    void layoutFollowsResizesAndKeepsTheTextBoxWhenTooSmall() {
        HelpDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));

        resizeClientTwips(dlg, 9000, 6000);
        QCOMPARE(dlg.command1Rect(), (HelpDlg::Rect{7705, 5615, 1215, 305}));
        QCOMPARE(dlg.text1Rect(), (HelpDlg::Rect{80, 80, 8840, 5455}));

        // The button may leave the window: its Left is negative below 1295 twips.
        resizeClientTwips(dlg, 1305, 6000);
        QCOMPARE(dlg.command1Rect().Left, 10.0f);
        resizeClientTwips(dlg, 1290, 6000);
        QCOMPARE(dlg.command1Rect().Left, -5.0f);
        QCOMPARE(dlg.text1Rect().Width, 1130.0f);

        // Inner width of 160 twips or less: the text box keeps its width.
        resizeClientTwips(dlg, 165, 6000);
        QCOMPARE(dlg.text1Rect().Width, 5.0f);
        resizeClientTwips(dlg, 150, 6000);
        QCOMPARE(dlg.text1Rect().Width, 5.0f);
        QCOMPARE(dlg.command1Rect().Left, 150.0f - 1215 - 80);
        QCOMPARE(dlg.text1Rect().Height, 5455.0f);

        // Inner height of 545 twips or less: the text box keeps its height.
        resizeClientTwips(dlg, 3000, 555);
        QCOMPARE(dlg.text1Rect().Height, 10.0f);
        resizeClientTwips(dlg, 3000, 540);
        QCOMPARE(dlg.text1Rect().Height, 10.0f);
        QCOMPARE(dlg.text1Rect().Width, 2840.0f);
        QCOMPARE(dlg.command1Rect().Top, 540.0f - 305 - 80);
        QCOMPARE(dlg.Text1->geometry(), QRect(5, 5, 189, 1));
    }

    void enterInTheTextDoesNotPressTheButton() {
        HelpDlg dlg;
        QSignalSpy clicks(dlg.Command1, &QPushButton::clicked);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QTest::keyClick(dlg.Text1, Qt::Key_Return);
        QTest::keyClick(dlg.Text1, Qt::Key_Enter);
        QCOMPARE(clicks.count(), 0);
        QVERIFY(dlg.isVisible());
        dlg.Command1->click();
        QCOMPARE(clicks.count(), 1);
        QVERIFY(!dlg.isVisible());
    }

    void everyOpeningShowsTheFirstLine() {
        Scripted s = installScriptedPlatform();
        main w;
        int openings = 0;
        s.dialogs->onModal = [&](QDialog& d) {
            auto* dlg = qobject_cast<HelpDlg*>(&d);
            QVERIFY(dlg);
            ++openings;
            // No owner, and no icon taken from the main window.
            QVERIFY(!dlg->parentWidget());
            QVERIFY(dlg->windowIcon().isNull());
            dlg->show();
            QVERIFY(QTest::qWaitForWindowExposed(dlg));
            QScrollBar* bar = dlg->Text1->verticalScrollBar();
            QCOMPARE(bar->value(), 0);
            QCOMPARE(dlg->Text1->cursorForPosition(QPoint(2, 2)).blockNumber(), 0);
            // The reader scrolls down before closing.
            bar->setValue(bar->maximum());
            QVERIFY(bar->value() > 0);
            dlg->Command1->click();
            QVERIFY(!dlg->isVisible());
        };
        w.m_help->trigger();
        w.m_help->trigger();
        QCOMPARE(openings, 2);
        QCOMPARE(s.dialogs->modalShows, 2);
        QVERIFY(s.shell->opened.isEmpty());
        QVERIFY(s.dialogs->messages.isEmpty());
    }

    void theRealModalShowReturnsWhenTheButtonCloses() {
        HelpDlg dlg;
        bool wasModal = false;
        QTimer driver;
        driver.setInterval(10);
        connect(&driver, &QTimer::timeout, [&] {
            if (QApplication::activeModalWidget() != &dlg) return;
            wasModal = dlg.isModal() || dlg.windowModality() != Qt::NonModal;
            dlg.Command1->click();
        });
        driver.start();
        QTimer watchdog;
        watchdog.setSingleShot(true);
        connect(&watchdog, &QTimer::timeout, &dlg, &QDialog::reject);
        watchdog.start(10000);
        QtDialogs().showModal(dlg);
        QVERIFY(watchdog.isActive());  // closed by the button, not by the watchdog
        QVERIFY(wasModal);
        QVERIFY(!dlg.isVisible());
    }

    void homePageOpensTheMakerUrl() {
        Scripted s = installScriptedPlatform();
        main w;
        w.m_toku->trigger();
        QCOMPARE(s.shell->opened, QStringList{kMakerUrl});
        QCOMPARE(s.dialogs->modalShows, 0);
        QVERIFY(s.dialogs->messages.isEmpty());
        // Without a program for web addresses nothing is said either.
        s.platform->shell = std::make_unique<NullShell>();
        w.m_toku->trigger();
        QVERIFY(s.dialogs->messages.isEmpty());
    }
};

QTEST_MAIN(TestHelp)
#include "test_help.moc"
