// The real printer service, printing to PDF files: the page is read back with poppler's
// cairo renderer at 96 dpi and must carry the picture's own pixels at the top-left of the
// printable area.

#include <QPageLayout>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <cmath>

#include "platform/qt/qt_printer.h"
#include "tests/support/picture_checks.h"

using namespace numarika;
using namespace numarika::testing;

namespace {

// One-pixel detail that any resampling or lossy compression would blur.
QImage detailPicture(int width, int height) {
    QImage image = screenLikePicture(width, height);
    for (int y = 0; y < height; y += 2)
        for (int x = (y / 2) % 2; x < width; x += 7) image.setPixel(x, y, qRgb(255, 0, 255));
    return image;
}

// The page at 96 dpi.
QImage renderPage(const QString& pdf, const QString& dir) {
    const QString base = dir + QStringLiteral("/page");
    QProcess p;
    p.start(QStringLiteral("pdftocairo"),
            {QStringLiteral("-r"), QStringLiteral("96"), QStringLiteral("-png"),
             QStringLiteral("-singlefile"), pdf, base});
    if (!p.waitForFinished(60000) || p.exitCode() != 0) return {};
    return QImage(base + QStringLiteral(".png")).convertToFormat(QImage::Format_RGB32);
}

int pageCount(const QString& pdf) {
    QProcess p;
    p.start(QStringLiteral("pdfinfo"), {pdf});
    if (!p.waitForFinished(30000)) return -1;
    for (const QByteArray& line : p.readAllStandardOutput().split('\n'))
        if (line.startsWith("Pages:")) return line.mid(6).trimmed().toInt();
    return -1;
}

// The printable area's corner on the 96-dpi page, rounded up to a whole pixel.
QPoint printableCorner(const QPrinter& printer) {
    const QPointF points = printer.pageLayout().paintRectPoints().topLeft();
    return {static_cast<int>(std::ceil(points.x() * 96 / 72 - 1e-6)),
            static_cast<int>(std::ceil(points.y() * 96 / 72 - 1e-6))};
}

}  // namespace

class TestQtPrinter : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() {
        if (QStandardPaths::findExecutable(QStringLiteral("pdftocairo")).isEmpty())
            QSKIP("pdftocairo (poppler-utils) is not installed");
    }
    void init() {
        tmp_ = std::make_unique<QTemporaryDir>();
        QVERIFY(tmp_->isValid());
    }

    void thePageCarriesThePicturesOwnPixelsAtTheCorner_data() {
        QTest::addColumn<int>("pageSize");
        QTest::addColumn<double>("marginMm");
        QTest::newRow("A4, Qt's margins") << int(QPageSize::A4) << -1.0;
        QTest::newRow("Letter, odd margins") << int(QPageSize::Letter) << 7.3;
        QTest::newRow("A4, no margins") << int(QPageSize::A4) << 0.0;
    }
    void thePageCarriesThePicturesOwnPixelsAtTheCorner() {
        QFETCH(int, pageSize);
        QFETCH(double, marginMm);
        QtPrinter printer;
        QPrinter& q = printer.qprinter();
        const QString pdf = tmp_->filePath(QStringLiteral("page.pdf"));
        q.setOutputFormat(QPrinter::PdfFormat);
        q.setOutputFileName(pdf);
        q.setPageSize(QPageSize(QPageSize::PageSizeId(pageSize)));
        if (marginMm >= 0)
            q.setPageMargins(QMarginsF(marginMm, marginMm, marginMm, marginMm),
                             QPageLayout::Millimeter);
        const QImage picture = detailPicture(333, 217);
        QVERIFY(printer.paintPicture(picture, QPoint(0, 0)));
        QVERIFY(printer.jobOpen());
        QVERIFY2(printer.endDoc(), qPrintable(printer.errorString()));
        QVERIFY(!printer.jobOpen());
        QCOMPARE(pageCount(pdf), 1);

        const QImage page = renderPage(pdf, tmp_->path());
        QVERIFY(!page.isNull());
        const QPoint corner = printableCorner(q);
        QVERIFY(corner.x() < 96 && corner.y() < 96);  // within an inch of the paper's edge
        const QImage printed = page.copy(QRect(corner, picture.size()));
        QCOMPARE(maxChannelError(printed, picture), 0);
        // Paper, not picture, just outside it.
        if (corner.x() > 0)
            QCOMPARE(page.pixel(corner.x() - 1, corner.y() + 5), qRgb(255, 255, 255));
        if (corner.y() > 0)
            QCOMPARE(page.pixel(corner.x() + 5, corner.y() - 1), qRgb(255, 255, 255));
        QCOMPARE(page.pixel(corner.x() + picture.width(), corner.y() + 5), qRgb(255, 255, 255));
    }

    void aPositionMovesThePictureByWholePixels() {
        QtPrinter printer;
        QPrinter& q = printer.qprinter();
        const QString pdf = tmp_->filePath(QStringLiteral("moved.pdf"));
        q.setOutputFormat(QPrinter::PdfFormat);
        q.setOutputFileName(pdf);
        const QImage picture = detailPicture(40, 30);
        QVERIFY(printer.paintPicture(picture, QPoint(10, 3)));
        QVERIFY(printer.endDoc());
        const QImage page = renderPage(pdf, tmp_->path());
        const QPoint at = printableCorner(q) + QPoint(10, 3);
        QCOMPARE(maxChannelError(page.copy(QRect(at, picture.size())), picture), 0);
    }

    void aPictureLargerThanThePageIsCutOnOnePage() {
        QtPrinter printer;
        QPrinter& q = printer.qprinter();
        const QString pdf = tmp_->filePath(QStringLiteral("large.pdf"));
        q.setOutputFormat(QPrinter::PdfFormat);
        q.setOutputFileName(pdf);
        q.setPageSize(QPageSize(QPageSize::A4));
        const QImage picture = detailPicture(1500, 1400);  // A4 is 794 x 1123 at 96 dpi
        QVERIFY(printer.paintPicture(picture, QPoint(0, 0)));
        QVERIFY(printer.endDoc());
        QCOMPARE(pageCount(pdf), 1);
        const QImage page = renderPage(pdf, tmp_->path());
        QCOMPARE(page.size(), QSize(794, 1123));
        const QPoint corner = printableCorner(q);
        const QRect visible(corner, QSize(300, 300));
        QCOMPARE(maxChannelError(page.copy(visible), picture.copy(0, 0, 300, 300)), 0);
    }

    void anAbandonedJobPrintsNothing() {
        QtPrinter printer;
        QPrinter& q = printer.qprinter();
        const QString pdf = tmp_->filePath(QStringLiteral("abandoned.pdf"));
        q.setOutputFormat(QPrinter::PdfFormat);
        q.setOutputFileName(pdf);
        QVERIFY(printer.paintPicture(detailPicture(20, 20), QPoint(0, 0)));
        printer.killDoc();
        QVERIFY(!printer.jobOpen());
        QVERIFY(printer.endDoc());  // no job: nothing to finish
        QVERIFY(!QFileInfo::exists(pdf));
        // An empty picture is refused and begins nothing.
        QVERIFY(!printer.paintPicture(QImage(), QPoint(0, 0)));
        QVERIFY(!printer.jobOpen());
        QVERIFY(!printer.errorString().isEmpty());
    }

    void anOutputThatCannotBeOpenedFailsWithAReason() {
        QtPrinter printer;
        QPrinter& q = printer.qprinter();
        QFile plain(tmp_->filePath(QStringLiteral("plain")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        const QString pdf = plain.fileName() + QStringLiteral("/out.pdf");
        q.setOutputFormat(QPrinter::PdfFormat);
        q.setOutputFileName(pdf);
        QVERIFY(printer.paintPicture(detailPicture(20, 20), QPoint(0, 0)));
        QVERIFY(!printer.endDoc());
        QVERIFY(!printer.jobOpen());
        QVERIFY(printer.errorString().contains(pdf));
    }

    void thePrintDialogAnswersCancelAndOk() {
        QtPrinter printer;
        const auto answer = [](bool ok) {
            auto* timer = new QTimer(qApp);
            QObject::connect(timer, &QTimer::timeout, [timer, ok] {
                auto* dialog = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget());
                if (!dialog) return;
                timer->stop();
                timer->deleteLater();
                QVERIFY(dialog->testOption(QAbstractPrintDialog::PrintToFile));
                QVERIFY(!dialog->testOption(QAbstractPrintDialog::PrintPageRange));
                ok ? dialog->accept() : dialog->reject();
            });
            timer->start(10);
        };
        answer(false);
        QVERIFY(!printer.showPrintDialog());
        answer(true);
        QVERIFY(printer.showPrintDialog());
    }

  private:
    std::unique_ptr<QTemporaryDir> tmp_;
};

QTEST_MAIN(TestQtPrinter)
#include "test_qt_printer.moc"
