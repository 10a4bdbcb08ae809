#include "main_window/main.h"

namespace numarika {

void main::m_help_Click() {}  // PENDING(help)
void main::m_toku_Click() {}

}  // namespace numarika
