#include "main_window/main.h"

namespace numarika {

void main::m_all_print_Click() {}  // PENDING(output)

}  // namespace numarika
