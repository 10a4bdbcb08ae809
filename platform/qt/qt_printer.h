#pragma once

#include <QImage>
#include <QPoint>
#include <memory>
#include <vector>

#include "platform/printer.h"

class QPrinter;

namespace numarika {

// Printing through Qt: the standard print dialog (with printing to a PDF file), then the
// page drawn on the chosen printer. A picture pixel takes 1/96 inch and is placed on whole
// 1/96-inch steps from the paper's edge, so that the page carries the picture's own pixels,
// unscaled and losslessly compressed.
class QtPrinter final : public Printer {
  public:
    QtPrinter();
    ~QtPrinter() override;

    bool showPrintDialog() override;
    bool paintPicture(const QImage& picture, QPoint at) override;
    bool endDoc() override;
    void killDoc() override;
    QString errorString() const override;

    // The Qt printer that takes the jobs; the print dialog keeps the user's choices in it.
    QPrinter& qprinter();
    // Whether a job is being composed (begun and neither finished nor abandoned).
    bool jobOpen() const { return jobOpen_; }

  private:
    struct Placement {
        QImage picture;
        QPoint pixels;  // from the top-left of the printable area
    };
    std::unique_ptr<QPrinter> printer_;
    std::vector<Placement> page_;
    bool jobOpen_ = false;
    QString error_;
};

}  // namespace numarika
