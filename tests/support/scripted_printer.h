#pragma once
// A printer that the tests script: it records the jobs that the program composes, finishes
// and abandons, and answers the print dialog and fails as the test told it to.

#include <QImage>
#include <QList>
#include <QQueue>
#include <QString>
#include <functional>

#include "platform/printer.h"

namespace numarika::testing {

class ScriptedPrinter final : public Printer {
  public:
    struct Paint {
        QImage picture;  // a copy, as the page got it
        QPoint at;
    };
    using Job = QList<Paint>;

    // Answers of the print dialog, taken in order; an exhausted queue answers Cancel.
    QQueue<bool> dialogAnswers;
    int dialogsShown = 0;
    // Runs while the dialog is "open".
    std::function<void()> onDialog;

    bool failPaint = false;   // the next paintPicture fails
    bool failEndDoc = false;  // the next endDoc fails (the job is abandoned)
    QString failure = QStringLiteral("プリンターが応答しません。");

    Job openJob;           // the job being composed
    bool jobOpen = false;  // begun and neither finished nor abandoned
    QList<Job> printed;    // finished jobs, as handed to the printer
    QList<Job> abandoned;  // jobs ended by killDoc or by a failed endDoc
    int endDocCalls = 0;
    int killDocCalls = 0;

    bool showPrintDialog() override;
    bool paintPicture(const QImage& picture, QPoint at) override;
    bool endDoc() override;
    void killDoc() override;
    QString errorString() const override { return error_; }

  private:
    QString error_;
};

}  // namespace numarika::testing
