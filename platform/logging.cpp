#include "platform/logging.h"

namespace numarika {

// Warnings are for what should never happen; fallbacks and refusals are debug and info.
Q_LOGGING_CATEGORY(lcPlatform, "numarika.platform", QtWarningMsg)

}  // namespace numarika
