// The colour and the line thickness of the range box, and the clear command.

#include <QAction>
#include <QScrollBar>
#include <QtTest>

#include "main_window/main.h"
#include "tests/canvas/canvas_support.h"
#include "tests/support/scripted_platform.h"
#include "tests/support/test_app.h"

using namespace numarika;
using namespace numarika::testing;

namespace {

const QString kPrompt = QStringLiteral(
    "線の太さを指定して下さい\r\n\u3000指定値は、1 から 5 の数字を入力（デフォルト=2）");
const QString kReset = QStringLiteral("線の太さをデフォルト(2)に戻しました");

}  // namespace

class TestPenSettings : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { initTestResources(); }

    void lineThickness_data() {
        QTest::addColumn<int>("before");
        QTest::addColumn<QString>("entry");  // a null string is Cancel
        QTest::addColumn<int>("after");
        QTest::addColumn<bool>("reset");
        QTest::newRow("1") << 2 << QStringLiteral("1") << 1 << false;
        QTest::newRow("5") << 2 << QStringLiteral("5") << 5 << false;
        QTest::newRow("3") << 5 << QStringLiteral("3") << 3 << false;
        QTest::newRow("0") << 4 << QStringLiteral("0") << 2 << true;
        QTest::newRow("6") << 4 << QStringLiteral("6") << 2 << true;
        QTest::newRow("-1") << 4 << QStringLiteral("-1") << 2 << true;
        QTest::newRow("10") << 4 << QStringLiteral("10") << 2 << true;
        QTest::newRow("5.5 rounds up to even") << 2 << QStringLiteral("5.5") << 6 << false;
        QTest::newRow("2.5 rounds down to even") << 5 << QStringLiteral("2.5") << 2 << false;
        QTest::newRow("1.5 rounds up to even") << 5 << QStringLiteral("1.5") << 2 << false;
        QTest::newRow("4.4") << 2 << QStringLiteral("4.4") << 4 << false;
        QTest::newRow("empty") << 4 << QStringLiteral("") << 4 << false;
        QTest::newRow("Cancel") << 3 << QString() << 3 << false;
        QTest::newRow("no number") << 4 << QStringLiteral("abc") << 2 << true;
        QTest::newRow("number and text") << 4 << QStringLiteral("3px") << 2 << true;
        QTest::newRow("only blanks") << 4 << QStringLiteral("  ") << 2 << true;
        QTest::newRow("infinity") << 4 << QStringLiteral("inf") << 2 << true;
        QTest::newRow("full-width 3") << 2 << QStringLiteral("３") << 3 << false;
        QTest::newRow("full-width 2.5") << 4 << QStringLiteral("２．５") << 2 << false;
        QTest::newRow("ideographic spaces") << 2 << QStringLiteral("\u3000４\u3000") << 4 << false;
        QTest::newRow("full-width minus") << 4 << QStringLiteral("－１") << 2 << true;
        QTest::newRow("0.3 rounds to no width") << 4 << QStringLiteral("0.3") << 2 << true;
        QTest::newRow("0.5 rounds to no width") << 4 << QStringLiteral("0.5") << 2 << true;
        QTest::newRow("0.51") << 4 << QStringLiteral("0.51") << 1 << false;
    }
    void lineThickness() {
        QFETCH(int, before);
        QFETCH(QString, entry);
        QFETCH(int, after);
        QFETCH(bool, reset);
        Scripted s = installScriptedPlatform();
        main w;
        w.gintCurPen = Int16(before);
        s.dialogs->inputAnswers.enqueue(entry);
        w.m_sen->trigger();

        QCOMPARE(s.dialogs->inputs.size(), 1);
        QCOMPARE(s.dialogs->inputs[0].prompt, kPrompt);
        QCOMPARE(s.dialogs->inputs[0].title, QStringLiteral("線の太さ"));
        QCOMPARE(s.dialogs->inputs[0].defaultText, QString::number(before));
        QCOMPARE(w.gintCurPen, Int16(after));
        QCOMPARE(s.dialogs->messages, reset ? QStringList{kReset} : QStringList{});

        // The next opening offers the width now in force.
        w.m_sen->trigger();  // the exhausted queue answers Cancel
        QCOMPARE(s.dialogs->inputs.size(), 2);
        QCOMPARE(s.dialogs->inputs[1].defaultText, QString::number(after));
        QCOMPARE(w.gintCurPen, Int16(after));
        QCOMPARE(s.dialogs->messages.size(), reset ? 1 : 0);
    }

    void colourCancelKeepsTheLastConfirmedColour() {
        Scripted s = installScriptedPlatform();
        main w;
        QCOMPARE(w.lngPenColor, Colour{1});
        w.mnuOptionColor->trigger();  // Cancel before any colour was confirmed: black
        QCOMPARE(w.lngPenColor, Colour{0});
        s.dialogs->colourAnswers.enqueue(Colour{0x00123456});
        w.mnuOptionColor->trigger();
        QCOMPARE(w.lngPenColor, Colour{0x00123456});
        w.lngPenColor = 7;
        w.mnuOptionColor->trigger();  // Cancel: the colour confirmed last
        QCOMPARE(w.lngPenColor, Colour{0x00123456});
        QCOMPARE(s.dialogs->colourDialogs, 3);
        QVERIFY(s.dialogs->messages.isEmpty());
    }

    void clearKeepsTheRangeAndShowsTheStartView() {
        Scripted s = installScriptedPlatform();
        const QImage picture = patternPicture(900, 700);
        main w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        loadPicture(w, picture);
        for (QAction* a : {w.m_all_save, w.m_all_clip, w.m_all_print}) a->setEnabled(true);
        w.HScroll1->setValue(12);
        w.setWidth(9000);
        w.setHeight(7000);
        QTest::mousePress(w.Picture2, Qt::LeftButton, {}, {10, 10});
        QTest::mouseMove(w.Picture2, {60, 50});
        QTest::mouseRelease(w.Picture2, Qt::LeftButton, {}, {60, 50});
        QVERIFY(w.rangeHeld());
        const QImage buffer = w.Picture4->Image();
        w.gintCurPen = 4;

        w.m_cls->trigger();
        QVERIFY(!w.m_all_save->isEnabled());
        QVERIFY(!w.m_all_clip->isEnabled());
        QVERIFY(!w.m_all_print->isEnabled());
        QVERIFY(!w.Picture2->Visible());
        QVERIFY(!w.Picture4->Visible());
        QVERIFY(!w.Picture3->Visible());
        QCOMPARE(w.Width(), 7665.0f);
        QCOMPARE(w.Height(), 6060.0f);
        // Nothing else changes: flag, buffer, pictures, pen, scroll value.
        QVERIFY(w.rangeHeld());
        COMPARE_IMAGES(w.Picture4->Image(), buffer);
        COMPARE_IMAGES(w.Picture3->Picture(), picture);
        COMPARE_IMAGES(w.Picture2->Picture(), picture);
        QCOMPARE(w.gintCurPen, Int16{4});
        QCOMPARE(w.lngPenColor, Colour{1});
        QVERIFY(w.m_n_cap->isEnabled());
        QVERIFY(s.dialogs->messages.isEmpty());
    }

    void clearRestoresAMaximisedWindowFirst() {
        installScriptedPlatform();
        main w;
        w.showMaximized();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTRY_COMPARE(w.formState(), WindowState::Maximized);
        w.m_cls->trigger();
        QCOMPARE(w.formState(), WindowState::Normal);
        QCOMPARE(w.Width(), 7665.0f);
        QCOMPARE(w.Height(), 6060.0f);
        // The size holds once the pending window-system events are through.
        QCoreApplication::processEvents();
        QCOMPARE(w.formState(), WindowState::Normal);
        QCOMPARE(w.Width(), 7665.0f);
        QCOMPARE(w.Height(), 6060.0f);
    }
};

QTEST_MAIN(TestPenSettings)
#include "test_pen_settings.moc"
