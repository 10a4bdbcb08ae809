#pragma once

class QCoreApplication;

namespace numarika {

// Loads Qt's own Japanese translations, so that the standard dialogs speak Japanese.
// Returns false when they are not installed.
bool installJapaneseTranslations(QCoreApplication& app);

}  // namespace numarika
