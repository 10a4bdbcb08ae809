#pragma once
// The maker of the program, as the help text and the help menu name it. Written once here:
// the help text and the web page link both take them from this file.

#include <QString>

namespace numarika {

inline const QString kMakerName = QStringLiteral("（株）ソラメト");
inline const QString kMakerContact = QStringLiteral("サポート窓口");
inline const QString kMakerEmail = QStringLiteral("info@example.com");
// Opened by the help menu's home page entry.
inline const QString kMakerUrl = QStringLiteral("https://www.example.com/sorameto/");
// What the program is built with, for the help text.
inline const QString kDevelopmentEnvironment = QStringLiteral("C++20・Qt 6・X11");

}  // namespace numarika
