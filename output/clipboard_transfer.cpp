// Clipboard transfer: a copy of the range, or of the whole picture when no range is held, as
// a picture that other programs can paste.

#include "main_window/main.h"
#include "platform/clipboard.h"
#include "platform/dialogs.h"
#include "platform/platform.h"

namespace numarika {

void main::m_all_clip_Click() {
    const bool range = rangeHeld();
    // The persistent image: for the whole picture that includes the cursor overlay.
    const QImage& picture = range ? Picture4->Image() : Picture2->Image();
    Dialogs& dialogs = *services().dialogs;

    // An empty range is no picture; the clipboard keeps what it holds.
    if (picture.isNull()) {
        dialogs.messageBox(
            range ? QStringLiteral("範囲の幅または高さが0のためクリップボードへ転送できません。")
                  : QStringLiteral("転送する画像がありません。"));
        return;
    }
    Clipboard* clipboard = services().clipboard.get();
    clipboard->clear();
    // The clipboard keeps its own copy: later drawing on the canvas does not reach it.
    if (!clipboard->setPicture(picture)) {
        dialogs.messageBox(QStringLiteral("クリップボードへの転送に失敗しました。"));
        return;
    }
    dialogs.messageBox(range ? QStringLiteral("範囲内画像をクリップボードへ転送しました")
                             : QStringLiteral("全体画像をクリップボードへ転送しました"));
}

}  // namespace numarika
