#pragma once

#include "platform/dialogs.h"

namespace numarika {

// Qt's own standard dialogs (in Japanese once Qt's translations are loaded).
class QtDialogs final : public Dialogs {
  public:
    // Qt's standard dialogs keep their history (last folder, file names, custom colours) in
    // the user's settings; the program keeps nothing between runs, so from here on those
    // settings lead nowhere: a place below a file, where nothing can be written or read.
    QtDialogs();

    void messageBox(const QString& text) override;
    QString inputBox(const QString& prompt, const QString& title,
                     const QString& defaultText) override;
    std::optional<QColor> chooseColour(const QColor& initial) override;
    std::optional<QString> saveFileName(const SaveDialogRequest& request) override;
    void showModal(QDialog& dialog) override;
};

// "description|pattern|description|pattern" as Qt's name filters ("description (pattern)").
QStringList toQtNameFilters(const QString& filter);

}  // namespace numarika
