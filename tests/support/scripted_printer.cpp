#include "tests/support/scripted_printer.h"

namespace numarika::testing {

bool ScriptedPrinter::showPrintDialog() {
    ++dialogsShown;
    if (onDialog) onDialog();
    return !dialogAnswers.isEmpty() && dialogAnswers.dequeue();
}

bool ScriptedPrinter::paintPicture(const QImage& picture, QPoint at) {
    error_.clear();
    jobOpen = true;  // a failing draw still begins the job, as a real printer's would
    if (failPaint) {
        failPaint = false;
        error_ = failure;
        return false;
    }
    openJob.append({picture.copy(), at});
    return true;
}

bool ScriptedPrinter::endDoc() {
    ++endDocCalls;
    error_.clear();
    if (!jobOpen) return true;
    jobOpen = false;
    if (failEndDoc) {
        failEndDoc = false;
        error_ = failure;
        abandoned.append(openJob);
        openJob.clear();
        return false;
    }
    printed.append(openJob);
    openJob.clear();
    return true;
}

void ScriptedPrinter::killDoc() {
    ++killDocCalls;
    if (jobOpen) abandoned.append(openJob);
    openJob.clear();
    jobOpen = false;
}

}  // namespace numarika::testing
