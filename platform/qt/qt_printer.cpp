#include "platform/qt/qt_printer.h"

#include <QApplication>
#include <QFile>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <cmath>

namespace numarika {
namespace {

// Screen pixels per inch at the display's usual logical resolution.
constexpr double kPictureDpi = 96.0;

// Where the printable area begins, rounded up to a whole picture pixel from the paper's
// edge, in the painter's device units. Renderers then map picture pixels one to one onto
// page pixels at 96 dpi instead of resampling them across a fractional offset.
QPointF pictureOrigin(QPrinter& printer, double unitsPerPixel) {
    const QRectF paper = printer.paperRect(QPrinter::DevicePixel);
    const QRectF printable = printer.pageRect(QPrinter::DevicePixel);
    const QPointF margin = printable.topLeft() - paper.topLeft();
    // In full-page mode the painter's origin is the paper's corner, else the printable area's.
    const QPointF deviceOrigin = printer.fullPage() ? QPointF() : margin;
    const auto wholePixels = [&](double units) {
        return std::ceil(units / unitsPerPixel - 1e-9) * unitsPerPixel;
    };
    return QPointF(wholePixels(margin.x()), wholePixels(margin.y())) - deviceOrigin;
}

QString cannotOpen(const QPrinter& printer) {
    if (!printer.outputFileName().isEmpty())
        return QStringLiteral("出力ファイルを作成できません。\n") + printer.outputFileName();
    if (!printer.isValid()) return QStringLiteral("使用できるプリンターがありません。");
    return QStringLiteral("プリンター「%1」を使用できません。").arg(printer.printerName());
}

}  // namespace

QtPrinter::QtPrinter() = default;
QtPrinter::~QtPrinter() = default;

QPrinter& QtPrinter::qprinter() {
    // Made at first use: it asks the print system for the default printer.
    if (!printer_) printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *printer_;
}

bool QtPrinter::showPrintDialog() {
    QPrintDialog dialog(&qprinter(), QApplication::activeWindow());
    // One page of one picture: there is no page range or selection to choose.
    dialog.setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintShowPageSize);
    return dialog.exec() == QDialog::Accepted;
}

bool QtPrinter::paintPicture(const QImage& picture, QPoint at) {
    error_.clear();
    if (picture.isNull()) {
        error_ = QStringLiteral("印刷する画像がありません。");
        return false;
    }
    jobOpen_ = true;
    page_.push_back({picture, at});
    return true;
}

bool QtPrinter::endDoc() {
    error_.clear();
    if (!jobOpen_) return true;  // nothing was printed: no job to finish
    std::vector<Placement> page;
    page.swap(page_);
    jobOpen_ = false;

    QPrinter& printer = qprinter();
    QPainter painter;
    if (!painter.begin(&printer)) {
        error_ = cannotOpen(printer);
        return false;
    }
    // Qt's PDF output would otherwise store pictures as JPEG and blur fine detail.
    painter.setRenderHint(QPainter::LosslessImageRendering);
    const double unitsPerPixel = printer.resolution() / kPictureDpi;
    const QPointF origin = pictureOrigin(printer, unitsPerPixel);
    for (const Placement& p : page) {
        const QRectF target(origin + QPointF(p.pixels) * unitsPerPixel,
                            QSizeF(p.picture.size()) * unitsPerPixel);
        painter.drawImage(target, p.picture);
    }
    if (printer.printerState() == QPrinter::Error || !painter.isActive()) {
        // Abandon rather than hand over a page that may be incomplete. Engines that cannot
        // abort still close the job when the painter ends; a file they wrote is removed.
        printer.abort();
        painter.end();
        if (!printer.outputFileName().isEmpty()) QFile::remove(printer.outputFileName());
        error_ = QStringLiteral("ページを描けませんでした。");
        return false;
    }
    if (!painter.end() || printer.printerState() == QPrinter::Error) {
        error_ = QStringLiteral("印刷データを送れませんでした。");
        return false;
    }
    return true;
}

void QtPrinter::killDoc() {
    page_.clear();
    jobOpen_ = false;
}

QString QtPrinter::errorString() const { return error_; }

}  // namespace numarika
