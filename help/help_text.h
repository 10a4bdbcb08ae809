#pragma once
// The fixed text of the help window. It is part of the program, not read from any file.

#include <QString>
#include <QStringList>

namespace numarika {

// The 96 lines, without line ends.
const QStringList& helpLines();
// The whole text as the help window shows it: every line ended by CR LF.
QString helpText();

}  // namespace numarika
