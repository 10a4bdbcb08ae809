// The help menu: the help window and the maker's web page.

#include "help/help_dlg.h"
#include "help/maker.h"
#include "main_window/main.h"
#include "platform/dialogs.h"
#include "platform/platform.h"
#include "platform/shell.h"

namespace numarika {

void main::m_help_Click() {
    // Created from its design for every showing, and destroyed when it has been closed.
    HelpDlg dialog;
    services().dialogs->showModal(dialog);
}

void main::m_toku_Click() {
    // Without a program for web addresses nothing happens, and nothing is said.
    services().shell->openUrl(kMakerUrl);
}

}  // namespace numarika
