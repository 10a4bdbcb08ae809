#include "main_window/main.h"

namespace numarika {

void main::mnuOptionColor_Click() {}  // PENDING(range)
void main::m_sen_Click() {}
void main::m_cls_Click() {}

}  // namespace numarika
