#include "main_window/main.h"

namespace numarika {

void main::m_all_clip_Click() {}  // PENDING(output)

}  // namespace numarika
