// Print: the range, or the whole picture when no range is held, at the top-left corner of one
// page at its own size.

#include "main_window/main.h"
#include "platform/dialogs.h"
#include "platform/platform.h"
#include "platform/printer.h"

namespace numarika {

void main::m_all_print_Click() {
    const bool range = rangeHeld();
    PictureBox& source = range ? *Picture4 : *Picture2;
    CommonDialog1.CancelError = true;

    // An empty range would print a blank page: say so instead of asking for a printer.
    if (source.Image().isNull()) {
        services().dialogs->messageBox(
            range ? QStringLiteral("範囲の幅または高さが0のため印刷できません。")
                  : QStringLiteral("印刷する画像がありません。"));
        return;
    }
    if (!CommonDialog1.ShowPrinter()) return;  // Cancel: nothing printed, no message

    Printer& printer = *services().printer;
    const auto fail = [&] {
        QString text = QStringLiteral("印刷に失敗しました。");
        if (const QString why = printer.errorString(); !why.isEmpty())
            text += QLatin1Char('\n') + why;
        services().dialogs->messageBox(text);
    };
    // A job that has begun is either finished or abandoned, never left open.
    if (!printer.paintPicture(source.Image(), QPoint(0, 0))) {
        printer.killDoc();
        fail();
        return;
    }
    if (!printer.endDoc()) {
        fail();
        return;
    }
    // A finished print shows no message.
}

}  // namespace numarika
