#pragma once
// The one common-dialog object of the main window, shared by the colour, save and print
// dialogs. Properties set for one dialog stay in force for the next.

#include <QString>

#include "controls/win_types.h"

namespace numarika {

// Flags of the save dialog.
inline constexpr Int32 OFN_OVERWRITEPROMPT = 0x2;
inline constexpr Int32 OFN_HIDEREADONLY = 0x4;
inline constexpr Int32 OFN_EXPLORER = 0x80000;

class CommonDialog {
  public:
    QString FileName;
    QString DefaultExt;
    QString Filter;
    QString DialogTitle;
    Int32 Flags = 0;
    bool CancelError = false;

    // The colour confirmed last; black until one is confirmed.
    Colour Color() const { return color_; }

    // Each returns false when the user cancelled. With CancelError set, a cancel is the
    // caller's error path.
    bool ShowColor();
    bool ShowSave();
    bool ShowPrinter();

  private:
    Colour color_ = 0;
};

}  // namespace numarika
