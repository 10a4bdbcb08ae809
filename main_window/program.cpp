// numarika: a desktop screen-capture tool.

#include <xcb/xcb.h>

#include <QApplication>
#include <cstdio>
#include <optional>

#include "main_window/command_line.h"
#include "main_window/main.h"
#include "main_window/shutdown.h"
#include "main_window/window_placement.h"
#include "platform/platform.h"
#include "platform/qt_translations.h"

namespace {

// The program works with an X server only (the hot key, the screen grab and the cursor are
// X11's). Checks, before Qt would abort on its own, that there is one to talk to. Returns the
// exit code to end with, or nothing to go on.
std::optional<int> checkDisplay() {
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
        !qgetenv("QT_QPA_PLATFORM").startsWith("xcb"))
        return std::nullopt;  // another Qt platform asked for by name (the tests' offscreen)
    const QByteArray display = qgetenv("DISPLAY");
    if (display.isEmpty()) {
        std::fprintf(stderr,
                     "numarika: Xディスプレイがありません（DISPLAY が設定されていません）。"
                     "X11 のデスクトップで起動してください。\n"
                     "numarika: no X display (DISPLAY is not set). Run it on an X11 desktop.\n");
        return 2;
    }
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const int error = xcb_connection_has_error(connection);
    xcb_disconnect(connection);
    if (error != 0) {
        std::fprintf(stderr,
                     "numarika: Xディスプレイ %s に接続できませんでした。\n"
                     "numarika: cannot open X display %s (no X server there, or access "
                     "refused).\n",
                     display.constData(), display.constData());
        return 2;
    }
    // A Wayland session with X11 beside it: our services need X11.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "xcb");
    return std::nullopt;
}

}  // namespace

int main(int argc, char* argv[]) {
    // --help and --version answer without a display; a wrong argument ends here too.
    const numarika::CommandLine command = numarika::parseCommandLine(argc, argv);
    if (const std::optional<int> exitCode = numarika::answerCommandLine(command)) return *exitCode;
    // The canvas shows a screen picture one screen pixel to one device pixel; Qt's own
    // scaling would stretch it on a scaled desktop.
    if (qEnvironmentVariableIsEmpty("QT_ENABLE_HIGHDPI_SCALING"))
        qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    if (const std::optional<int> exitCode = checkDisplay()) return *exitCode;

    Q_INIT_RESOURCE(resources);
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("numarika"));
    QGuiApplication::setDesktopFileName(numarika::kApplicationId);  // launcher and task bar
    numarika::installJapaneseTranslations(app);
    numarika::installPlatform(numarika::makeDesktopPlatform());
    numarika::ShutdownPaths shutdown(app);

    int result = 0;
    {
        // Form_Load runs inside the constructor (and may show the hot key's refusal).
        numarika::main window;
        if (!shutdown.requested()) {
            numarika::centreOnScreen(window);
            window.show();
            result = app.exec();
        }
    }
    // The platform talks to Qt's X connection: let it go while that is still open.
    numarika::installPlatform(nullptr);
    return result;
}
