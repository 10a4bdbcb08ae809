#include "platform/common_dialog.h"

#include "platform/dialogs.h"
#include "platform/platform.h"
#include "platform/printer.h"

namespace numarika {

bool CommonDialog::ShowColor() {
    const auto chosen = services().dialogs->chooseColour(color_);
    if (!chosen) return false;
    color_ = *chosen;
    return true;
}

bool CommonDialog::ShowSave() {
    SaveDialogRequest request;
    request.title = DialogTitle;
    request.fileName = FileName;
    request.defaultExt = DefaultExt;
    request.filter = Filter;
    request.flags = Flags;
    const auto chosen = services().dialogs->saveFileName(request);
    if (!chosen) return false;
    FileName = *chosen;
    return true;
}

bool CommonDialog::ShowPrinter() {
    Printer* printer = services().printer.get();
    return printer && printer->showPrintDialog();
}

}  // namespace numarika
