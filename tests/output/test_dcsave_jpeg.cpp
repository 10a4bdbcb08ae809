// The JPEG writer on its own: what it reads from a device context, how it encodes, and that
// a failure names its reason and leaves nothing behind.

#include <sys/stat.h>
#include <turbojpeg.h>

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include "controls/picture_box.h"
#include "output/dcsave_jpeg.h"
#include "tests/support/picture_checks.h"

using namespace numarika;
using namespace numarika::testing;
using Status = JpegSaveResult::Status;

class TestDCSavetoJpeg : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        tmp_ = std::make_unique<QTemporaryDir>();
        QVERIFY(tmp_->isValid());
    }

    void writesThePersistentImageWhole() {
        // Larger than any view: the device context holds all of it, drawing included.
        PictureBox box(nullptr);
        box.setPicture(screenLikePicture(1500, 1100));
        box.drawingImage().setPixel(1499, 1099, qRgb(255, 0, 0));
        box.drawingImage().setPixel(1498, 1099, qRgb(255, 0, 0));
        const QString path = tmp_->filePath(QStringLiteral("whole.jpg"));
        const JpegSaveResult r = DCSavetoJPEG(box.hDC(), 1500, 1100, path, 100);
        QVERIFY2(r.ok(), qPrintable(r.reason()));
        QVERIFY(r.reason().isEmpty());
        const auto decoded = decodeJpegFile(path);
        QVERIFY(decoded);
        QCOMPARE(decoded->image.size(), QSize(1500, 1100));
        QCOMPARE(decoded->subsampling, int(TJSAMP_444));
        const double db = psnr(decoded->image, box.Image());
        QVERIFY2(db >= 45, qPrintable(QString::number(db)));
        QVERIFY(qRed(decoded->image.pixel(1499, 1099)) > 200);
    }

    void qualityDecidesTheSubsampling() {
        PictureBox box(nullptr);
        box.setPicture(screenLikePicture(64, 48));
        const QString high = tmp_->filePath(QStringLiteral("q90.jpg"));
        const QString low = tmp_->filePath(QStringLiteral("q50.jpg"));
        QVERIFY(DCSavetoJPEG(box.hDC(), 64, 48, high, 90).ok());
        QVERIFY(DCSavetoJPEG(box.hDC(), 64, 48, low, 50).ok());
        QCOMPARE(decodeJpegFile(high)->subsampling, int(TJSAMP_444));
        QCOMPARE(decodeJpegFile(low)->subsampling, int(TJSAMP_420));
        QVERIFY(QFileInfo(low).size() < QFileInfo(high).size());
        // Quality 0 is taken as the lowest, not refused.
        QVERIFY(DCSavetoJPEG(box.hDC(), 64, 48, tmp_->filePath(QStringLiteral("q0.jpg")), 0));
    }

    void sizesSmallerOrLargerThanTheImage() {
        PictureBox box(nullptr);
        const QImage picture = screenLikePicture(300, 200);
        box.setPicture(picture);
        // Smaller: the top-left part.
        const QString part = tmp_->filePath(QStringLiteral("part.jpg"));
        QVERIFY(DCSavetoJPEG(box.hDC(), 101, 37, part, 100));
        const auto small = decodeJpegFile(part);
        QCOMPARE(small->image.size(), QSize(101, 37));
        QVERIFY(psnr(small->image, picture.copy(0, 0, 101, 37)) >= 45);
        // Larger: the picture, then the box's background colour.
        const QString more = tmp_->filePath(QStringLiteral("more.jpg"));
        QVERIFY(DCSavetoJPEG(box.hDC(), 340, 230, more, 100));
        const auto large = decodeJpegFile(more);
        QCOMPARE(large->image.size(), QSize(340, 230));
        QVERIFY(psnr(large->image.copy(0, 0, 300, 200), picture) >= 45);
        const QRgb back = rgbOf(box.BackColor());
        const QRgb b = large->image.pixel(330, 220);
        QVERIFY(std::abs(qRed(b) - qRed(back)) <= 2);
        QVERIFY(std::abs(qGreen(b) - qGreen(back)) <= 2);
        QVERIFY(std::abs(qBlue(b) - qBlue(back)) <= 2);
    }

    void refusesWhatCannotBeAJpeg_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<bool>("knownDC");
        QTest::addColumn<int>("status");
        QTest::newRow("no such device context") << 10 << 10 << false << int(Status::NoSurface);
        QTest::newRow("zero wide") << 0 << 10 << true << int(Status::EmptySize);
        QTest::newRow("zero high") << 10 << 0 << true << int(Status::EmptySize);
        QTest::newRow("negative") << -5 << 10 << true << int(Status::EmptySize);
        QTest::newRow("beyond the encoder")
            << 100000 << 100000 << true << int(Status::EncodeFailed);
    }
    void refusesWhatCannotBeAJpeg() {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(bool, knownDC);
        QFETCH(int, status);
        PictureBox box(nullptr);
        box.setPicture(screenLikePicture(20, 20));
        const QString path = tmp_->filePath(QStringLiteral("refused.jpg"));
        const Int32 dc = knownDC ? box.hDC() : box.hDC() + 1;
        const JpegSaveResult r = DCSavetoJPEG(dc, width, height, path, 100);
        QVERIFY(!r);
        QCOMPARE(int(r.status()), status);
        QVERIFY(!r.reason().isEmpty());
        QVERIFY(!QFileInfo::exists(path));
    }

    void aDestroyedBoxIsNoLongerADeviceContext() {
        Int32 dc = 0;
        {
            PictureBox box(nullptr);
            box.setPicture(screenLikePicture(20, 20));
            dc = box.hDC();
        }
        const QString path = tmp_->filePath(QStringLiteral("gone.jpg"));
        QCOMPARE(DCSavetoJPEG(dc, 20, 20, path, 100).status(), Status::NoSurface);
        QVERIFY(!QFileInfo::exists(path));
    }

    void aFileThatCannotBeCreatedIsReportedWithTheSystemsWords() {
        PictureBox box(nullptr);
        box.setPicture(screenLikePicture(20, 20));
        QFile plain(tmp_->filePath(QStringLiteral("plain")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        const JpegSaveResult r =
            DCSavetoJPEG(box.hDC(), 20, 20, plain.fileName() + QStringLiteral("/x.jpg"), 100);
        QCOMPARE(r.status(), Status::CreateFailed);
        QVERIFY(!r.detail().isEmpty());
        QVERIFY(r.reason().startsWith(QStringLiteral("ファイルを作成できません。")));
        QVERIFY(r.reason().contains(r.detail()));
        QCOMPARE(QDir(tmp_->path()).entryList(QDir::Files | QDir::Hidden), QStringList{"plain"});
    }

    void aNewFileHasWhatTheUmaskLeavesAndAReplacedOneKeepsItsMode() {
        PictureBox box(nullptr);
        box.setPicture(screenLikePicture(20, 20));
        const QByteArray path = QFile::encodeName(tmp_->filePath(QStringLiteral("mode.jpg")));
        const auto mode = [&path] {
            struct stat st {};
            return ::stat(path.constData(), &st) == 0 ? st.st_mode & 07777 : 0u;
        };
        const mode_t before = ::umask(027);
        const bool written = DCSavetoJPEG(box.hDC(), 20, 20, QFile::decodeName(path), 100).ok();
        ::umask(before);
        QVERIFY(written);
        QCOMPARE(mode(), 0640u);
        QCOMPARE(::chmod(path.constData(), 0604), 0);
        QVERIFY(DCSavetoJPEG(box.hDC(), 20, 20, QFile::decodeName(path), 100).ok());
        QCOMPARE(mode(), 0604u);
    }

  private:
    std::unique_ptr<QTemporaryDir> tmp_;
};

QTEST_MAIN(TestDCSavetoJpeg)
#include "test_dcsave_jpeg.moc"
