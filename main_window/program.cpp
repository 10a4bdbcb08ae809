// numarika: a desktop screen-capture tool.

#include <QApplication>
#include <QScreen>
#include <cstdio>

#include "main_window/main.h"
#include "platform/platform.h"
#include "platform/qt_translations.h"

int main(int argc, char* argv[]) {
    // The canvas shows a screen picture one screen pixel to one device pixel; Qt's own
    // scaling would stretch it on a scaled desktop.
    if (qEnvironmentVariableIsEmpty("QT_ENABLE_HIGHDPI_SCALING"))
        qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr,
                     "numarika: no X display (DISPLAY is not set). Run it on an X11 desktop.\n");
        return 2;
    }
    Q_INIT_RESOURCE(resources);
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("numarika"));
    numarika::installJapaneseTranslations(app);
    numarika::installPlatform(numarika::makeDesktopPlatform());

    numarika::main window;
    window.show();
    if (const QScreen* screen = window.screen()) {
        const QRect frame = window.frameGeometry();
        window.move(screen->geometry().center() - QPoint(frame.width() / 2, frame.height() / 2));
    }
    return app.exec();
}
