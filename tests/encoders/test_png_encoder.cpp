// encodePng: pictures of every kind and size come back pixel for pixel through Qt's reader
// and through ImageMagick, whatever the number of threads, in a file whose chunks all check.

#include <zlib.h>

#include <QPainter>
#include <QProcess>
#include <QtTest>
#include <random>

#include "encoders/png_encoder.h"

namespace {

// Screens (flat, text, gradients), photographs (noise) and both in one picture, which
// makes neighbouring strips deflate differently.
QImage picture(const QByteArray& kind, int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(30, 80, 120));
    std::mt19937 random(static_cast<unsigned>(width * 7919 + height));
    const int noiseRows = kind == "noise" ? height : kind == "mixed" ? height / 2 : 0;
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            if (y < noiseRows)
                line[x] = random() | 0xFF000000u;
            else if (kind == "gradient")
                line[x] = qRgb(x * 255 / width, y * 255 / height, (x + y) & 255);
        }
    }
    if (kind == "text" || kind == "mixed") {
        QPainter p(&image);
        for (int y = noiseRows; y < height; y += 240) {
            p.fillRect(20, y + 10, width - 40, 200, Qt::white);
            for (int line = 0; line < 10; ++line) {
                p.setPen(line % 3 ? Qt::black : Qt::blue);
                p.drawText(
                    24, y + 30 + line * 18,
                    QStringLiteral("ファイル(F) 編集(E) %1 The quick brown fox").arg(y + line));
            }
        }
    }
    return image;
}

// Walks the chunks: signature, IHDR for 8-bit RGB, IDATs, IEND last; every CRC right.
QString structureFault(const QByteArray& png, const QImage& image) {
    if (!png.startsWith("\x89PNG\r\n\x1A\n")) return QStringLiteral("signature");
    const auto* p = reinterpret_cast<const uchar*>(png.constData());
    const auto be32 = [&](qsizetype at) { return qFromBigEndian<quint32>(p + at); };
    QByteArrayList types;
    for (qsizetype at = 8; at < png.size();) {
        const qsizetype length = be32(at);
        if (at + 12 + length > png.size()) return QStringLiteral("chunk beyond the end");
        if (crc32(0, p + at + 4, static_cast<uInt>(length + 4)) != be32(at + 8 + length))
            return QStringLiteral("CRC");
        types << png.mid(at + 4, 4);
        if (types.size() == 1 &&
            (be32(at + 8) != quint32(image.width()) || be32(at + 12) != quint32(image.height()) ||
             png.mid(at + 16, 5) != QByteArray("\x08\x02\0\0\0", 5)))
            return QStringLiteral("IHDR");
        at += 12 + length;
    }
    if (types.first() != "IHDR" || types.last() != "IEND" ||
        types.count("IDAT") != types.size() - 2)
        return QStringLiteral("chunk order ") + QString::fromLatin1(types.join(' '));
    return {};
}

}  // namespace

class TestPngEncoder : public QObject {
    Q_OBJECT
  private slots:
    void roundTrip_data() {
        QTest::addColumn<QByteArray>("kind");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("threads");
        // Strips are 64 KiB of rows at most: most pictures have many; 640x480 has 15, fewer than
        // 64 threads; a 30000-pixel row is longer than a strip.
        const struct {
            const char* kind;
            QSize size;
            int threads;
        } cases[] = {
            {"flat", {1, 1}, 0},        {"noise", {1, 1}, 3},       {"noise", {7, 3}, 0},
            {"gradient", {1, 5000}, 2}, {"noise", {5000, 1}, 2},    {"gradient", {30000, 3}, 2},
            {"text", {640, 480}, 64},   {"mixed", {640, 480}, 64},  {"text", {1921, 1081}, 1},
            {"mixed", {1920, 1080}, 2}, {"noise", {1920, 1080}, 0}, {"gradient", {3840, 2160}, 0},
            {"text", {7680, 4320}, 0},
        };
        for (const auto& c : cases)
            QTest::addRow("%s %dx%d, %d threads", c.kind, c.size.width(), c.size.height(),
                          c.threads)
                << QByteArray(c.kind) << c.size << c.threads;
    }
    void roundTrip() {
        QFETCH(QByteArray, kind);
        QFETCH(QSize, size);
        QFETCH(int, threads);
        const QImage image = picture(kind, size.width(), size.height());
        const QByteArray png = numarika::encodePng(image, threads);
        QCOMPARE(structureFault(png, image), QString());
        const QImage decoded = QImage::fromData(png, "PNG");
        QCOMPARE(decoded.format(), QImage::Format_RGB32);
        QVERIFY(decoded == image);
        QCOMPARE(numarika::encodePng(image, 1), png);  // the same file however it was shared out
        // The portable loops, which processors without SSSE3 run, write the very same file.
        QCOMPARE(numarika::encodePng(image, threads, numarika::PngKernels::Portable), png);
        // Screens are deflated for real, not run-length coded as if they were photographs.
        if (kind != "noise" && kind != "mixed" && image.width() * image.height() > 100000)
            QVERIFY2(png.size() < 3 * image.width() * image.height() / 12,
                     QByteArray::number(png.size()));
    }

    void independentDecoder() {
        const QImage image = picture("mixed", 1283, 771);
        QProcess convert;
        convert.start(QStringLiteral("convert"), {QStringLiteral("png:-"), QStringLiteral("-depth"),
                                                  QStringLiteral("8"), QStringLiteral("rgb:-")});
        if (!convert.waitForStarted()) QSKIP("ImageMagick's convert is not installed");
        convert.write(numarika::encodePng(image, 4));
        convert.closeWriteChannel();
        QVERIFY(convert.waitForFinished(60000));
        QCOMPARE(convert.exitCode(), 0);
        const QByteArray rgb = convert.readAllStandardOutput();
        QCOMPARE(rgb.size(), qsizetype(3) * image.width() * image.height());
        for (int i = 0; i < image.width() * image.height(); ++i) {
            const QRgb pixel = image.pixel(i % image.width(), i / image.width());
            if (qRgb(uchar(rgb[3 * i]), uchar(rgb[3 * i + 1]), uchar(rgb[3 * i + 2])) != pixel)
                QFAIL(qPrintable(QStringLiteral("pixel %1 differs").arg(i)));
        }
    }

    void otherFormatsAndNothing() {
        QVERIFY(numarika::encodePng(QImage()).isEmpty());
        QImage translucent(33, 17, QImage::Format_ARGB32);
        translucent.fill(qRgba(10, 200, 30, 128));
        const QImage decoded = QImage::fromData(numarika::encodePng(translucent), "PNG");
        QVERIFY(decoded == translucent.convertToFormat(QImage::Format_RGB32));
    }
};

QTEST_MAIN(TestPngEncoder)
#include "test_png_encoder.moc"
