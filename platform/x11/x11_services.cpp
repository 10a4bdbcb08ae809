#include "platform/x11/x11_services.h"

#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_cursor.h"
#include "platform/x11/x11_screen_grab.h"

namespace numarika::x11 {

bool qtConnected() { return connection() != nullptr; }

bool onXwayland() { return isXwayland(connection()); }

std::unique_ptr<ScreenSource> makeScreenSource() { return std::make_unique<X11ScreenSource>(); }

std::unique_ptr<CursorService> makeCursorService() { return std::make_unique<X11CursorService>(); }

}  // namespace numarika::x11
