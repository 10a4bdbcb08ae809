// Save as JPEG from the main window: the dialog it shows, what it writes for the range and
// for the whole picture, and every way a save can fail without losing anything.

#include <sys/resource.h>
#include <unistd.h>

#include <QAction>
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>

#include "main_window/main.h"
#include "tests/support/picture_checks.h"
#include "tests/support/scripted_platform.h"
#include "tests/support/test_app.h"

using namespace numarika;
using namespace numarika::testing;

namespace {

const QString kWholeTitle = QStringLiteral("画像全体を保存");
const QString kRangeTitle = QStringLiteral("範囲内画像を保存");
const QString kWholeDone = QStringLiteral("画像全体を保存終了しました。");
const QString kRangeDone = QStringLiteral("範囲内画像を保存終了しました。");
const QString kFailed = QStringLiteral("画像を保存できませんでした。\n");

// Writes past `bytes` into any regular file fail with EFBIG, as on a full disk.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{bytes, old_.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, previous_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    rlimit old_{};
    void (*previous_)(int) = nullptr;
};

QStringList filesIn(const QString& dir) {
    return QDir(dir).entryList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot,
                               QDir::Name);
}

}  // namespace

class TestSaveJpeg : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { initTestResources(); }
    void init() {
        tmp_ = std::make_unique<QTemporaryDir>();
        QVERIFY(tmp_->isValid());
    }

    void wholePictureIsSavedWholeWithItsDialogAndMessage() {
        Scripted s = installScriptedPlatform();
        main w;
        // Larger than the view, so most of it is scrolled out of sight.
        const QImage picture = screenLikePicture(1000, 700);
        w.Picture2->setPicture(picture);
        // What is drawn on the canvas (the cursor overlay) is part of what is saved.
        for (int y = 600; y < 620; ++y)
            for (int x = 900; x < 920; ++x)
                w.Picture2->drawingImage().setPixel(x, y, qRgb(255, 0, 0));
        w.CommonDialog1.FileName = QStringLiteral("/somewhere/earlier.jpg");

        const QString path = tmp_->filePath(QStringLiteral("whole.jpg"));
        s.dialogs->saveAnswers.enqueue(path);
        int scaleDuringMessage = 0;
        s.dialogs->onMessage = [&](const QString&) {
            scaleDuringMessage = w.Picture2->ScaleMode();
        };
        w.m_all_save->setEnabled(true);
        w.m_all_save->trigger();

        QCOMPARE(s.dialogs->saves.size(), 1);
        const SaveDialogRequest& request = s.dialogs->saves.first();
        QCOMPARE(request.title, kWholeTitle);
        QCOMPARE(request.fileName, QString());
        QCOMPARE(request.defaultExt, QStringLiteral(".jpg"));
        QCOMPARE(request.filter, QStringLiteral("Jpegﾌｧｲﾙ(*.jpg)|*.jpg"));
        QCOMPARE(w.CommonDialog1.Flags, 0x80006);
        QVERIFY(request.confirmOverwrite);
        QVERIFY(w.CommonDialog1.CancelError);
        QCOMPARE(s.dialogs->messages, QStringList{kWholeDone});
        QCOMPARE(scaleDuringMessage, kScalePixels);
        QCOMPARE(w.Picture2->ScaleMode(), kScaleTwips);
        QCOMPARE(w.Picture2->ScaleWidth(), 1000.0f * 15);

        const auto decoded = decodeJpegFile(path);
        QVERIFY(decoded);
        QCOMPARE(decoded->image.size(), QSize(1000, 700));
        const double db = psnr(decoded->image, w.Picture2->Image());
        QVERIFY2(db >= 45, qPrintable(QString::number(db)));
        QVERIFY(qRed(decoded->image.pixel(910, 610)) > 240);
        QCOMPARE(filesIn(tmp_->path()), QStringList{"whole.jpg"});
    }

    void rangeIsSavedAtItsSizeAndTheNameBoxStartsEmptyEachTime() {
        Scripted s = installScriptedPlatform();
        main w;
        const QImage picture = screenLikePicture(800, 600);
        w.Picture2->setPicture(picture);
        holdRange(w, 217, 133, 123, 45);
        const QString first = tmp_->filePath(QStringLiteral("range1.jpg"));
        const QString second = tmp_->filePath(QStringLiteral("range2.jpg"));
        s.dialogs->saveAnswers << first << second;
        int scaleDuringMessage = 0;
        s.dialogs->onMessage = [&](const QString&) {
            scaleDuringMessage = w.Picture4->ScaleMode();
        };
        w.m_all_save_Click();
        w.m_all_save_Click();

        QCOMPARE(s.dialogs->saves.size(), 2);
        for (const SaveDialogRequest& request : s.dialogs->saves) {
            QCOMPARE(request.title, kRangeTitle);
            QCOMPARE(request.fileName, QString());  // also after a save that set a name
        }
        QCOMPARE(s.dialogs->messages, (QStringList{kRangeDone, kRangeDone}));
        QCOMPARE(scaleDuringMessage, kScalePixels);
        QCOMPARE(w.Picture4->ScaleMode(), kScaleTwips);
        QCOMPARE(w.Picture2->ScaleMode(), kScaleTwips);
        QVERIFY(w.rangeHeld());  // the range stays held
        for (const QString& path : {first, second}) {
            const auto decoded = decodeJpegFile(path);
            QVERIFY(decoded);
            QCOMPARE(decoded->image.size(), QSize(123, 45));
            const double db = psnr(decoded->image, picture.copy(217, 133, 123, 45));
            QVERIFY2(db >= 45, qPrintable(QString::number(db)));
        }

        // A plain click dropped the range: the whole picture again.
        w.Picture4->setAutoRedraw(false);
        const QString whole = tmp_->filePath(QStringLiteral("after-click.jpg"));
        s.dialogs->saveAnswers << whole;
        w.m_all_save_Click();
        QCOMPARE(s.dialogs->saves.last().title, kWholeTitle);
        QCOMPARE(s.dialogs->messages.last(), kWholeDone);
        QCOMPARE(decodeJpegFile(whole)->image.size(), QSize(800, 600));
    }

    void cancelWritesNothingSaysNothingAndRestoresTwips() {
        Scripted s = installScriptedPlatform();
        main w;
        w.Picture2->setPicture(screenLikePicture(200, 100));
        w.m_all_save_Click();  // an empty answer queue is Cancel
        holdRange(w, 0, 0, 50, 40);
        w.m_all_save_Click();
        QCOMPARE(s.dialogs->saves.size(), 2);
        QVERIFY(s.dialogs->messages.isEmpty());
        QCOMPARE(w.Picture2->ScaleMode(), kScaleTwips);
        QCOMPARE(w.Picture4->ScaleMode(), kScaleTwips);
        QVERIFY(filesIn(tmp_->path()).isEmpty());
    }

    void aZeroSizedRangeIsRefusedBeforeTheDialog_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("zero wide") << 0 << 40;
        QTest::newRow("zero high") << 60 << 0;
    }
    void aZeroSizedRangeIsRefusedBeforeTheDialog() {
        QFETCH(int, width);
        QFETCH(int, height);
        Scripted s = installScriptedPlatform();
        main w;
        w.Picture2->setPicture(screenLikePicture(200, 100));
        holdRange(w, 10, 10, width, height);
        s.dialogs->saveAnswers << tmp_->filePath(QStringLiteral("empty.jpg"));
        w.m_all_save_Click();
        QVERIFY(s.dialogs->saves.isEmpty());
        QCOMPARE(s.dialogs->messages,
                 QStringList{QStringLiteral("範囲の幅または高さが0のため保存できません。")});
        QCOMPARE(w.Picture4->ScaleMode(), kScaleTwips);
        QVERIFY(filesIn(tmp_->path()).isEmpty());
    }

    void aNameThatCannotBeCreatedIsReportedNotConfirmed_data() {
        QTest::addColumn<QString>("name");
        // Tests run as root, which ignores permission bits: these fail for everyone.
        QTest::newRow("parent is a file") << QStringLiteral("plain.txt/picture.jpg");
        QTest::newRow("name too long") << QString(300, QLatin1Char('n')) + QStringLiteral(".jpg");
        QTest::newRow("no such folder") << QStringLiteral("missing/picture.jpg");
        QTest::newRow("a folder of that name") << QStringLiteral("folder.jpg");
        QTest::newRow("inside /proc") << QStringLiteral("/proc/numarika-picture.jpg");
    }
    void aNameThatCannotBeCreatedIsReportedNotConfirmed() {
        QFETCH(QString, name);
        Scripted s = installScriptedPlatform();
        main w;
        w.Picture2->setPicture(screenLikePicture(120, 80));
        QFile plain(tmp_->filePath(QStringLiteral("plain.txt")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.write("keep");
        plain.close();
        QVERIFY(QDir(tmp_->path()).mkdir(QStringLiteral("folder.jpg")));
        const QString path = name.startsWith('/') ? name : tmp_->filePath(name);
        s.dialogs->saveAnswers << path;
        w.m_all_save_Click();

        QCOMPARE(s.dialogs->messages.size(), 1);
        const QString message = s.dialogs->messages.first();
        QVERIFY2(message.startsWith(kFailed + QDir::toNativeSeparators(path) + '\n'),
                 qPrintable(message));
        QVERIFY(message.section('\n', 2).size() > 0);  // the reason
        QCOMPARE(w.Picture2->ScaleMode(), kScaleTwips);
        QCOMPARE(filesIn(tmp_->path()), (QStringList{"folder.jpg", "plain.txt"}));
        QCOMPARE(readAll(plain.fileName()), QByteArray("keep"));
    }

    void aFullDiskLeavesTheExistingFileIntactAndNoPartialFile() {
        Scripted s = installScriptedPlatform();
        main w;
        w.Picture2->setPicture(screenLikePicture(640, 480));
        const QString path = tmp_->filePath(QStringLiteral("existing.jpg"));
        QFile existing(path);
        QVERIFY(existing.open(QIODevice::WriteOnly));
        const QByteArray before = QByteArray("an earlier picture ").repeated(100);
        existing.write(before);
        existing.close();

        s.dialogs->saveAnswers << path;
        {
            // Room for a few kilobytes only: the picture needs far more.
            const FileSizeLimit full(4096);
            w.m_all_save_Click();
        }
        QCOMPARE(s.dialogs->messages.size(), 1);
        QVERIFY2(s.dialogs->messages.first().startsWith(kFailed + path + '\n'),
                 qPrintable(s.dialogs->messages.first()));
        // The system's reason, not an unknown error.
        QVERIFY(s.dialogs->messages.first().contains(QStringLiteral("ファイルが大きすぎます")));
        QVERIFY(!s.dialogs->messages.contains(kWholeDone));
        QCOMPARE(readAll(path), before);
        QCOMPARE(filesIn(tmp_->path()), QStringList{"existing.jpg"});
        QCOMPARE(w.Picture2->ScaleMode(), kScaleTwips);

        // With room again the same name is replaced by the new picture.
        s.dialogs->saveAnswers << path;
        w.m_all_save_Click();
        QCOMPARE(s.dialogs->messages.last(), kWholeDone);
        QCOMPARE(decodeJpegFile(path)->image.size(), QSize(640, 480));
        QCOMPARE(filesIn(tmp_->path()), QStringList{"existing.jpg"});
    }

    void theChosenNameIsUsedExactly() {
        Scripted s = installScriptedPlatform();
        main w;
        w.Picture2->setPicture(screenLikePicture(90, 60));
        // Characters of no narrow code page: a CJK ideograph, an emoji, a Latin-1 letter.
        const QString name = QStringLiteral("画像😀ü.jpg");
        s.dialogs->saveAnswers << tmp_->filePath(name);
        w.m_all_save_Click();
        QCOMPARE(s.dialogs->messages, QStringList{kWholeDone});
        QCOMPARE(filesIn(tmp_->path()), QStringList{name});
        // On disk, byte for byte the UTF-8 of the name.
        const QByteArray bytes = QFile::encodeName(tmp_->filePath(name));
        QCOMPARE(bytes, tmp_->filePath(name).toUtf8());
        QCOMPARE(::access(bytes.constData(), F_OK), 0);
        QCOMPARE(decodeJpegFile(tmp_->filePath(name))->image.size(), QSize(90, 60));
    }

  private:
    std::unique_ptr<QTemporaryDir> tmp_;
};

QTEST_MAIN(TestSaveJpeg)
#include "test_save_jpeg.moc"
