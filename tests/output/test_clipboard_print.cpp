// Clipboard transfer and print from the main window: which picture goes out, the messages,
// and what the user is told when the clipboard or the printer fails.

#include <QAction>
#include <QtTest>

#include "main_window/main.h"
#include "platform/clipboard.h"
#include "platform/null_services.h"
#include "tests/support/picture_checks.h"
#include "tests/support/scripted_platform.h"
#include "tests/support/test_app.h"

using namespace numarika;
using namespace numarika::testing;

namespace {

const QString kRangeCopied = QStringLiteral("範囲内画像をクリップボードへ転送しました");
const QString kWholeCopied = QStringLiteral("全体画像をクリップボードへ転送しました");
const QString kCopyFailed = QStringLiteral("クリップボードへの転送に失敗しました。");

// A clipboard that another program holds open: it cannot be written.
class BusyClipboard final : public Clipboard {
  public:
    int clears = 0;
    std::optional<QImage> picture() override { return std::nullopt; }
    void clear() override { ++clears; }
    bool setPicture(const QImage&) override { return false; }
};

QStringList clipboardCalls(const Scripted& s) {
    return s.desktop->journal.filter(QStringLiteral("clipboard"));
}

// A red mark drawn on the canvas after the scan, as the cursor overlay is.
void drawOverlay(main& w) {
    QImage& image = w.Picture2->drawingImage();
    for (int y = 20; y < 30; ++y)
        for (int x = 40; x < 50; ++x) image.setPixel(x, y, qRgb(255, 0, 0));
}

}  // namespace

class TestClipboardPrint : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { initTestResources(); }

    // --- clipboard ------------------------------------------------------------------------

    void rangeGoesToTheClipboardAtItsSize() {
        Scripted s = installScriptedPlatform();
        s.clipboard->content = QImage(5, 5, QImage::Format_RGB32);  // something from before
        main w;
        const QImage picture = screenLikePicture(400, 300);
        w.Picture2->setPicture(picture);
        holdRange(w, 31, 17, 150, 90);
        w.m_all_clip->setEnabled(true);
        w.m_all_clip->trigger();

        QCOMPARE(clipboardCalls(s), (QStringList{"clipboard clear", "clipboard set"}));
        QVERIFY(s.clipboard->content);
        QCOMPARE(s.clipboard->content->size(), QSize(150, 90));
        QCOMPARE(s.clipboard->content->convertToFormat(QImage::Format_RGB32),
                 picture.copy(31, 17, 150, 90));
        QCOMPARE(s.dialogs->messages, QStringList{kRangeCopied});
        QVERIFY(w.rangeHeld());
    }

    void wholePictureGoesWithItsOverlayAndStaysAsItWas() {
        Scripted s = installScriptedPlatform();
        main w;
        w.Picture2->setPicture(screenLikePicture(300, 200));
        drawOverlay(w);
        const QImage shown = w.Picture2->Image().copy();
        w.m_all_clip_Click();

        QCOMPARE(s.dialogs->messages, QStringList{kWholeCopied});
        QVERIFY(s.clipboard->content);
        QCOMPARE(*s.clipboard->content, shown);
        QCOMPARE(s.clipboard->content->pixel(45, 25), qRgb(255, 0, 0));

        // Later drawing and a new picture on the canvas do not reach the copy.
        w.Picture2->setDrawMode(kDrawModeCopyPen);
        w.Picture2->LineBox(0, 0, 100 * 15, 100 * 15, 0x00FF00);
        w.Picture2->setPicture(screenLikePicture(50, 50));
        QCOMPARE(*s.clipboard->content, shown);
    }

    void aRefusedClipboardIsReportedWithoutSuccess() {
        Scripted s = installScriptedPlatform();
        auto busy = std::make_unique<BusyClipboard>();
        BusyClipboard* clipboard = busy.get();
        s.platform->clipboard = std::move(busy);
        main w;
        w.Picture2->setPicture(screenLikePicture(64, 64));
        w.m_all_clip_Click();
        QCOMPARE(clipboard->clears, 1);
        QCOMPARE(s.dialogs->messages, QStringList{kCopyFailed});

        // A desktop without a clipboard: the same.
        s.platform->clipboard = std::make_unique<NullClipboard>();
        w.m_all_clip_Click();
        QCOMPARE(s.dialogs->messages, (QStringList{kCopyFailed, kCopyFailed}));
    }

    void anEmptyRangeLeavesTheClipboardAlone() {
        Scripted s = installScriptedPlatform();
        const QImage before(7, 7, QImage::Format_RGB32);
        s.clipboard->content = before;
        main w;
        w.Picture2->setPicture(screenLikePicture(64, 64));
        holdRange(w, 10, 10, 0, 30);
        w.m_all_clip_Click();
        QVERIFY(clipboardCalls(s).isEmpty());
        QCOMPARE(*s.clipboard->content, before);
        QCOMPARE(s.dialogs->messages,
                 QStringList{QStringLiteral(
                     "範囲の幅または高さが0のためクリップボードへ転送できません。")});
    }

    // --- print ----------------------------------------------------------------------------

    void cancelInThePrintDialogIsSilent() {
        Scripted s = installScriptedPlatform();
        main w;
        w.Picture2->setPicture(screenLikePicture(64, 64));
        w.m_all_print_Click();  // no answer queued: Cancel
        QCOMPARE(s.printer->dialogsShown, 1);
        QVERIFY(w.CommonDialog1.CancelError);
        QVERIFY(!s.printer->jobOpen);
        QVERIFY(s.printer->printed.isEmpty());
        QCOMPARE(s.printer->endDocCalls, 0);
        QVERIFY(s.dialogs->messages.isEmpty());
    }

    void rangeIsPrintedAtTheCornerOnOnePageWithoutAMessage() {
        Scripted s = installScriptedPlatform();
        main w;
        const QImage picture = screenLikePicture(500, 400);
        w.Picture2->setPicture(picture);
        holdRange(w, 100, 50, 210, 130);
        s.printer->dialogAnswers << true;
        w.m_all_print->setEnabled(true);
        w.m_all_print->trigger();

        QCOMPARE(s.printer->printed.size(), 1);
        const ScriptedPrinter::Job& job = s.printer->printed.first();
        QCOMPARE(job.size(), 1);
        QCOMPARE(job.first().at, QPoint(0, 0));
        QCOMPARE(job.first().picture.size(), QSize(210, 130));
        QCOMPARE(job.first().picture, picture.copy(100, 50, 210, 130));
        QVERIFY(!s.printer->jobOpen);
        QVERIFY(s.dialogs->messages.isEmpty());

        // After a plain click: the whole picture, overlay included.
        w.Picture4->setAutoRedraw(false);
        drawOverlay(w);
        s.printer->dialogAnswers << true;
        w.m_all_print_Click();
        QCOMPARE(s.printer->printed.size(), 2);
        QCOMPARE(s.printer->printed.last().first().picture, w.Picture2->Image());
        QVERIFY(s.dialogs->messages.isEmpty());
    }

    void aFailedJobIsAbandonedAndReported() {
        Scripted s = installScriptedPlatform();
        main w;
        w.Picture2->setPicture(screenLikePicture(64, 64));

        // Drawing fails: the begun job is killed, not finished.
        s.printer->dialogAnswers << true;
        s.printer->failPaint = true;
        w.m_all_print_Click();
        QCOMPARE(s.printer->killDocCalls, 1);
        QCOMPARE(s.printer->endDocCalls, 0);
        QVERIFY(!s.printer->jobOpen);
        QVERIFY(s.printer->printed.isEmpty());
        const QString expected = QStringLiteral("印刷に失敗しました。\n") + s.printer->failure;
        QCOMPARE(s.dialogs->messages, QStringList{expected});

        // Handing the job over fails.
        s.printer->dialogAnswers << true;
        s.printer->failEndDoc = true;
        w.m_all_print_Click();
        QVERIFY(!s.printer->jobOpen);
        QVERIFY(s.printer->printed.isEmpty());
        QCOMPARE(s.dialogs->messages, (QStringList{expected, expected}));
    }

    void anEmptyRangeIsNotPrinted() {
        Scripted s = installScriptedPlatform();
        main w;
        w.Picture2->setPicture(screenLikePicture(64, 64));
        holdRange(w, 5, 5, 40, 0);
        s.printer->dialogAnswers << true;
        w.m_all_print_Click();
        QCOMPARE(s.printer->dialogsShown, 0);
        QVERIFY(s.printer->printed.isEmpty());
        QCOMPARE(s.dialogs->messages,
                 QStringList{QStringLiteral("範囲の幅または高さが0のため印刷できません。")});
    }
};

QTEST_MAIN(TestClipboardPrint)
#include "test_clipboard_print.moc"
