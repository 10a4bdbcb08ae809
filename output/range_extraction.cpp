#include "main_window/main.h"

namespace numarika {

void main::CopyRangeToBuffer() {}  // PENDING(range)

}  // namespace numarika
