#pragma once
// The modal boxes and standard dialogs that the windows show. Each call returns when the
// user has closed the box.

#include <QColor>
#include <QString>
#include <optional>

class QDialog;

namespace numarika {

// Caption of every message box: the application's title, not the main window's caption.
inline const QString kAppTitle = QStringLiteral("ヌマリカ");

struct SaveDialogRequest {
    QString title;
    QString fileName;    // what the name box starts with
    QString defaultExt;  // e.g. ".jpg", appended to a name typed without one
    QString filter;      // "description|pattern" pairs
    bool confirmOverwrite = false;
};

class Dialogs {
  public:
    virtual ~Dialogs() = default;
    // OK button only, no icon, the application title as caption.
    virtual void messageBox(const QString& text) = 0;
    // One text field; the text on OK, an empty text on Cancel.
    virtual QString inputBox(const QString& prompt, const QString& title,
                             const QString& defaultText) = 0;
    // The confirmed colour, or nothing on Cancel.
    virtual std::optional<QColor> chooseColour(const QColor& initial) = 0;
    // The chosen path (default extension applied, overwrite confirmed), or nothing on Cancel.
    virtual std::optional<QString> saveFileName(const SaveDialogRequest& request) = 0;
    // Shows a window modally and returns when it has been closed.
    virtual void showModal(QDialog& dialog) = 0;
};

}  // namespace numarika
