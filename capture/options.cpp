// The capture options: each is only the check mark of its menu entry.

#include <QAction>

#include "capture/module1.h"
#include "main_window/main.h"
#include "platform/dialogs.h"
#include "platform/platform.h"

namespace numarika {

void main::m_apri_Click() { m_apri->setChecked(!m_apri->isChecked()); }

void main::m_mouse_Click() { m_mouse->setChecked(!m_mouse->isChecked()); }

void main::m_ps_key_Click() {
    if (m_ps_key->isChecked()) {
        if (Module1::RegisterPrintKey(hWnd(), Module1::kHotKeyAtomName, 0, VK_SNAPSHOT) == 0)
            services().dialogs->messageBox(
                QStringLiteral("Print Screenキーの設定に失敗しました。"));
        m_ps_key->setChecked(false);
    } else {
        m_ps_key->setChecked(true);
        Module1::UnregisterPrintKey(hWnd());
    }
}

}  // namespace numarika
