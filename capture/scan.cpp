#include "main_window/main.h"

namespace numarika {

void main::m_n_cap_Click() {}  // PENDING(scan)

}  // namespace numarika
