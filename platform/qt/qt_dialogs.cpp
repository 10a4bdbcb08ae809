#include "platform/qt/qt_dialogs.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QSettings>

namespace numarika {
namespace {

QWidget* dialogParent() { return QApplication::activeWindow(); }

}  // namespace

QStringList toQtNameFilters(const QString& filter) {
    QStringList result;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i];
        const QString pattern = QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' '));
        // Qt reads the patterns from the last parentheses; a description that already shows
        // them, as "Jpegﾌｧｲﾙ(*.jpg)" does, needs nothing more.
        if (!description.contains(QLatin1Char('(') + pattern + QLatin1Char(')')))
            description += QStringLiteral(" (") + pattern + QLatin1Char(')');
        result << description;
    }
    return result;
}

QtDialogs::QtDialogs() {
    for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, QStringLiteral("/dev/null/numarika"));
}

void QtDialogs::messageBox(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, kAppTitle, text, QMessageBox::Ok, dialogParent());
#if QT_VERSION >= QT_VERSION_CHECK(6, 6, 0)
    // Qt's own box, as on every desktop: KDE Plasma 6's native one crashed Qt 6.11 when it
    // was destroyed after a scan's refusal, and it is not the program's window to find.
    box.setOption(QMessageBox::Option::DontUseNativeDialog);
#endif
    box.exec();
}

QString QtDialogs::inputBox(const QString& prompt, const QString& title,
                            const QString& defaultText) {
    QInputDialog dialog(dialogParent());
    dialog.setWindowTitle(title);
    dialog.setLabelText(prompt);
    dialog.setTextValue(defaultText);
    dialog.setInputMode(QInputDialog::TextInput);
    return dialog.exec() == QDialog::Accepted ? dialog.textValue() : QString();
}

std::optional<QColor> QtDialogs::chooseColour(const QColor& initial) {
    QColorDialog dialog(initial, dialogParent());
    dialog.setOption(QColorDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.selectedColor();
}

std::optional<QString> QtDialogs::saveFileName(const SaveDialogRequest& request) {
    QFileDialog dialog(dialogParent(), request.title);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(toQtNameFilters(request.filter));
    QString suffix = request.defaultExt;
    if (suffix.startsWith(QLatin1Char('.'))) suffix.remove(0, 1);
    dialog.setDefaultSuffix(suffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
    dialog.selectFile(request.fileName);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.first().isEmpty()) return std::nullopt;
    return files.first();
}

void QtDialogs::showModal(QDialog& dialog) { dialog.exec(); }

}  // namespace numarika
