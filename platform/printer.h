#pragma once

#include <QImage>

namespace numarika {

// The current printer and its print dialog.
class Printer {
  public:
    virtual ~Printer() = default;
    // The modal print dialog; false on Cancel. The printer picked there takes the next job.
    virtual bool showPrintDialog() = 0;
    // Draws the picture at (x, y) twips from the top-left of the printable area, one picture
    // pixel per 1/96 inch, without lossy compression. Begins the job if none is open.
    virtual bool paintPicture(const QImage& picture, float xTwips, float yTwips) = 0;
    // Finishes the job (one page) and hands it to the printer.
    virtual bool endDoc() = 0;
    // Abandons a job that was begun.
    virtual void killDoc() = 0;
};

}  // namespace numarika
