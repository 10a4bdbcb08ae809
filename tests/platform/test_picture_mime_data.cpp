// The clipboard's picture: the same formats (and so the same X targets) as Qt's own picture on
// the clipboard, each answered with what Qt sends or, for the PNG, with exactly the pixels;
// every format encoded once however often it is asked for, also while a worker encodes.

#include <QtGui/private/qinternalmimedata_p.h>

#include <QtTest>
#include <random>
#include <thread>

#include "platform/qt/picture_mime_data.h"

using numarika::PictureMimeData;

namespace {

// Noise: any loss of a bit shows.
QImage noise(int width, int height, QImage::Format format = QImage::Format_RGB32) {
    QImage image(width, height, format);
    std::mt19937 random(7);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = format == QImage::Format_RGB32 ? (random() | 0xFF000000u) : random();
    }
    return image;
}

QImage decoded(const QByteArray& bytes, QImage::Format format = QImage::Format_RGB32) {
    return QImage::fromData(bytes).convertToFormat(format);
}

}  // namespace

class TestPictureMimeData : public QObject {
    Q_OBJECT
  private slots:
    void sameFormatsAsQt() {
        const QImage picture = noise(64, 48);
        QMimeData qt;
        qt.setImageData(picture);
        PictureMimeData ours(picture);
        QCOMPARE(QInternalMimeData::formatsHelper(&ours), QInternalMimeData::formatsHelper(&qt));
        QVERIFY(ours.formats().contains(QStringLiteral("image/png")));
        QVERIFY(ours.hasImage());
        QCOMPARE(qvariant_cast<QImage>(ours.imageData()), picture);
    }

    // As the X clipboard serves a target: PNG pixel for pixel, every other format the bytes
    // Qt itself would send.
    void everyFormatAnswers() {
        const QImage picture = noise(64, 48);
        QMimeData qt;
        qt.setImageData(picture);
        PictureMimeData ours(picture);
        for (const QString& format : QInternalMimeData::formatsHelper(&ours)) {
            QVERIFY2(QInternalMimeData::hasFormatHelper(format, &ours), qPrintable(format));
            const QByteArray bytes = QInternalMimeData::renderDataHelper(format, &ours);
            QVERIFY2(!bytes.isEmpty(), qPrintable(format));
            if (format == QLatin1String("image/png") ||
                format == QLatin1String("application/x-qt-image")) {
                QVERIFY(bytes.startsWith("\x89PNG"));
                QCOMPARE(decoded(bytes), picture);
            } else {
                QVERIFY2(bytes == QInternalMimeData::renderDataHelper(format, &qt),
                         qPrintable(format));
            }
        }
    }

    void eachFormatEncodedOnce() {
        PictureMimeData data(noise(64, 48));
        QCOMPARE(data.encodings(), 0);
        const QByteArray png = data.data(QStringLiteral("image/png"));
        QCOMPARE(data.encodings(), 1);
        QCOMPARE(data.data(QStringLiteral("image/png")), png);
        QCOMPARE(data.data(QStringLiteral("application/x-qt-image")), png);
        QCOMPARE(data.encodings(), 1);
        const QByteArray bmp = data.data(QStringLiteral("image/bmp"));
        QCOMPARE(data.data(QStringLiteral("image/bmp")), bmp);
        QCOMPARE(data.encodings(), 2);
        QVERIFY(data.data(QStringLiteral("text/plain")).isEmpty());
        QCOMPARE(data.encodings(), 2);
    }

    // The worker's PNG is the one served: asked for while it runs, it is waited for.
    void backgroundEncodingServesTheFirstRequest() {
        const QImage picture = noise(1200, 900);
        PictureMimeData data(picture);
        data.encodePngInBackground();
        data.encodePngInBackground();
        QCOMPARE(decoded(data.data(QStringLiteral("image/png"))), picture);
        QVERIFY(!data.pngIfReady().isEmpty());
        QCOMPARE(data.encodings(), 1);
    }

    // A pasting program's writer, on its own thread: the worker's PNG or one of its own, once;
    // for data gone before anybody began, nothing rather than a wait without end.
    void pngFromAnotherThread() {
        const QImage picture = noise(400, 300);
        for (const bool begun : {true, false}) {
            PictureMimeData data(picture);
            if (begun) data.encodePngInBackground();
            QByteArray png;
            std::thread writer([get = data.pngFromAnyThread(), &png] { png = get(); });
            writer.join();
            QCOMPARE(decoded(png), picture);
            QCOMPARE(data.encodings(), 1);
        }
        const auto orphan = std::make_unique<PictureMimeData>(picture)->pngFromAnyThread();
        QVERIFY(orphan().isEmpty());
    }

    // Qt deletes the data when another program takes the clipboard, maybe mid-encoding.
    void deletedWhileTheWorkerRuns() {
        for (int i = 0; i < 20; ++i) {
            auto data = std::make_unique<PictureMimeData>(noise(400, 300));
            data->encodePngInBackground(1);
            if (i % 2) QThread::usleep(500);
        }
        auto* workers = qApp->findChild<QThreadPool*>();
        QVERIFY(workers && workers->waitForDone(10000));
    }

    void handedPngIsNotEncodedAgain() {
        const QByteArray png = PictureMimeData(noise(32, 32)).png();
        PictureMimeData data(noise(32, 32), png);
        data.encodePngInBackground();
        QCOMPARE(data.data(QStringLiteral("image/png")), png);
        QCOMPARE(data.encodings(), 0);
    }

    // Transparency is kept: Qt's writer takes over from our opaque encoder.
    void transparentPictureKeepsItsAlpha() {
        const QImage picture = noise(40, 30, QImage::Format_ARGB32);
        PictureMimeData data(picture);
        QCOMPARE(decoded(data.png(), QImage::Format_ARGB32), picture);
    }
};

QTEST_MAIN(TestPictureMimeData)
#include "test_picture_mime_data.moc"
