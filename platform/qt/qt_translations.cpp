#include "platform/qt/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace numarika {

bool installJapaneseTranslations(QCoreApplication& app) {
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    auto* translator = new QTranslator(&app);  // owned by the application
    const bool ok = translator->load(QStringLiteral("qtbase_ja"),
                                     QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    if (ok) app.installTranslator(translator);
    return ok;
}

}  // namespace numarika
