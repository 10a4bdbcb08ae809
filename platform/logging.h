#pragma once
// The desktop services' own log. Every fallback (shared memory refused, no XFixes, a portal
// missing) and every refusal leaves one line here, so that a user's report can be diagnosed;
// it is quiet unless asked for: QT_LOGGING_RULES="numarika.platform.debug=true".

#include <QLoggingCategory>

namespace numarika {

Q_DECLARE_LOGGING_CATEGORY(lcPlatform)

}  // namespace numarika
