// Qt's own dialogs speak Japanese once the program has loaded Qt's translations.

#include <QDialogButtonBox>
#include <QPushButton>
#include <QtTest>

#include "platform/qt/qt_translations.h"

class TestQtTranslations : public QObject {
    Q_OBJECT
  private slots:
    void standardDialogsSpeakJapanese() {
        QVERIFY2(numarika::installJapaneseTranslations(*QCoreApplication::instance()),
                 "qtbase_ja.qm not found (package qt6-translations-l10n)");
        QCOMPARE(QLocale().language(), QLocale::Japanese);
        // The buttons of every standard dialog and message box.
        QDialogButtonBox box(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        QCOMPARE(box.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("キャンセル"));
        // The file dialog's overwrite question.
        const QString overwrite = QCoreApplication::translate(
            "QFileDialog", "%1 already exists.\nDo you want to replace it?");
        QVERIFY2(overwrite.contains(QStringLiteral("置き換え")), qPrintable(overwrite));
    }
};

QTEST_MAIN(TestQtTranslations)
#include "test_qt_translations.moc"
