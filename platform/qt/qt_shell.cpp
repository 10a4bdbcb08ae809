#include "platform/qt/qt_shell.h"

#include <QDesktopServices>
#include <QUrl>

namespace numarika {

bool QtShell::openUrl(const QString& url) {
    return QDesktopServices::openUrl(QUrl(url, QUrl::StrictMode));
}

}  // namespace numarika
