#pragma once

#include <QImage>
#include <QPoint>
#include <QString>

namespace numarika {

// The current printer and its print dialog. A job is composed from the first paintPicture
// on and reaches the printer only at endDoc, so that a job abandoned half-way (killDoc)
// prints nothing.
class Printer {
  public:
    virtual ~Printer() = default;
    // The modal print dialog; false on Cancel. The printer picked there takes the next job.
    virtual bool showPrintDialog() = 0;
    // Places the picture `at` pixels of 1/96 inch from the top-left of the printable area, one
    // picture pixel per 1/96 inch, without lossy compression. Begins the job if none is open.
    virtual bool paintPicture(const QImage& picture, QPoint at) = 0;
    // Finishes the job (one page) and hands it to the printer. On failure the job is
    // abandoned, and errorString() says why.
    virtual bool endDoc() = 0;
    // Abandons a job that was begun; nothing of it is printed.
    virtual void killDoc() = 0;
    // Why the last paintPicture or endDoc failed, in the user's language; may be empty.
    virtual QString errorString() const = 0;
};

}  // namespace numarika
