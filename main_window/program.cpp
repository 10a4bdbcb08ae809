// numarika: a desktop screen-capture tool.

#include <QApplication>
#include <QCoreApplication>
#include <cstdio>
#include <optional>

#include "main_window/command_line.h"
#include "main_window/main.h"
#include "main_window/scan_service.h"
#include "main_window/shutdown.h"
#include "platform/desktop/desktop_platform.h"
#include "platform/desktop/session.h"
#include "platform/platform.h"
#include "platform/qt/qt_translations.h"
#include "platform/window_control.h"

int main(int argc, char* argv[]) {
    // Started as the keeper of a picture on the clipboard, this process is nothing else.
    if (const std::optional<int> kept = numarika::desktopHelperEntry(argc, argv)) return *kept;
    // --help and --version answer without a display; a wrong argument ends here too.
    const numarika::CommandLine command = numarika::parseCommandLine(argc, argv);
    if (const std::optional<int> exitCode = numarika::answerCommandLine(command)) return *exitCode;
    const bool scan = command.action == numarika::CommandLine::Action::Scan;
    if (scan) {
        // A key binding of the desktop runs this: the copy already running scans, and this
        // process ends at once, without ever showing a window.
        QCoreApplication messenger(argc, argv);
        if (numarika::askRunningCopyToScan()) return 0;
    }

    // The window takes the desktop's scale as it is, 1.5 included (the canvas keeps to the
    // screen's own pixels whatever the scale).
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
    // Wayland natively where the session is Wayland, X11 otherwise; said clearly, before Qt
    // would abort on its own, when there is no desktop to run on.
    const numarika::SessionChoice session =
        numarika::chooseSession(numarika::SessionEnvironment::current());
    if (!session.error.isEmpty()) {
        for (const QString& line : session.error.split(QLatin1Char('\n')))
            std::fprintf(stderr, "numarika: %s\n", qPrintable(line));
        return 2;
    }
    if (!session.qpaPlatform.isEmpty()) qputenv("QT_QPA_PLATFORM", session.qpaPlatform);

    Q_INIT_RESOURCE(resources);
    // Launcher and task bar; before the application, whose start (Qt 6.11) tells the portal
    // this name as our application id before its first other call there. Named later, the
    // portal has filed the connection without an id, and nobody can register it any more.
    QGuiApplication::setDesktopFileName(numarika::kApplicationId);
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("numarika"));
    // The name on the session bus first, before the desktop's services are asked for (the
    // portal may take seconds) and the start-up may show a message (the hot key's refusal):
    // a `numarika --scan` of the desktop's key binding that comes meanwhile must find this
    // copy, not start another one.
    numarika::ScanService service;
    // Another copy began at the same moment and took the name: it scans, this one ends.
    if (!service.publish() && scan && numarika::ScanService::anotherCopyRuns() &&
        numarika::askRunningCopyToScan())
        return 0;
    numarika::installJapaneseTranslations(app);
    numarika::installPlatform(numarika::makeDesktopPlatform());
    numarika::ShutdownPaths shutdown(app);

    int result = 0;
    {
        // Form_Load runs inside the constructor (and may show the hot key's refusal).
        numarika::main window;
        if (!shutdown.requested()) {
            service.serve(window);
            if (scan) service.requestScan(numarika::desktopActivationToken());
            numarika::services().windows->centreOnScreen(window);
            window.show();
            result = app.exec();
        }
    }
    // The platform talks to Qt's connection to the desktop: let it go while that is still open.
    numarika::installPlatform(nullptr);
    return result;
}
