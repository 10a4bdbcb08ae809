#include "controls/common_dialog.h"

#include "platform/dialogs.h"
#include "platform/platform.h"
#include "platform/printer.h"

namespace numarika {

bool CommonDialog::ShowColor() {
    const auto chosen = services().dialogs->chooseColour(QColor(rgbOf(color_)));
    if (!chosen) return false;
    color_ = colourOf(chosen->rgb());
    return true;
}

bool CommonDialog::ShowSave() {
    SaveDialogRequest request;
    request.title = DialogTitle;
    request.fileName = FileName;
    request.defaultExt = DefaultExt;
    request.filter = Filter;
    // Of the flags only the overwrite question changes what a desktop dialog does.
    request.confirmOverwrite = (Flags & OFN_OVERWRITEPROMPT) != 0;
    const auto chosen = services().dialogs->saveFileName(request);
    if (!chosen) return false;
    FileName = *chosen;
    return true;
}

bool CommonDialog::ShowPrinter() { return services().printer->showPrintDialog(); }

}  // namespace numarika
