#include "tests/support/picture_checks.h"

#include <turbojpeg.h>

#include <QFile>
#include <QFont>
#include <QPainter>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>

#include "main_window/main.h"

namespace numarika::testing {

QImage mirroredPicture(const QImage& picture, bool horizontally, bool vertically) {
#if QT_VERSION >= QT_VERSION_CHECK(6, 9, 0)
    Qt::Orientations how;
    if (horizontally) how |= Qt::Horizontal;
    if (vertically) how |= Qt::Vertical;
    return picture.flipped(how);
#else
    return picture.mirrored(horizontally, vertically);
#endif
}

void holdRange(main& w, int x, int y, int width, int height) {
    w.Picture4->setAutoRedraw(true);
    w.Picture4->setWidth(width * 15.0f);
    w.Picture4->setHeight(height * 15.0f);
    w.Picture4->PaintPicture(w.Picture2->Picture(), 0, 0, x * 15.0f, y * 15.0f, width * 15.0f,
                             height * 15.0f);
}

QImage screenLikePicture(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = qRgb((x * 255) / std::max(1, width - 1), (y * 255) / std::max(1, height - 1),
                           ((x + y) * 3) & 0xFF);
    }
    QPainter p(&image);
    p.setPen(QColor(0, 0, 0));
    for (int x = 5; x < width; x += 37) p.drawLine(x, 0, x, height - 1);
    QFont font = p.font();
    font.setPixelSize(13);
    p.setFont(font);
    const QColor colours[] = {Qt::red, Qt::blue, QColor(0, 140, 0), Qt::magenta, Qt::black};
    int i = 0;
    for (int y = 14; y < height; y += 19) {
        p.fillRect(0, y - 13, width, 17, Qt::white);
        p.setPen(colours[i++ % 5]);
        p.drawText(3, y, QStringLiteral("File Edit 保存 ファイル %1 The quick brown fox").arg(y));
    }
    return image;
}

std::optional<DecodedJpeg> decodeJpegFile(const QString& path) {
    const QByteArray data = readAll(path);
    if (data.isEmpty()) return std::nullopt;
    std::unique_ptr<void, int (*)(tjhandle)> decoder(tjInitDecompress(), tjDestroy);
    if (!decoder) return std::nullopt;
    int width = 0, height = 0, subsampling = -1, colourspace = -1;
    auto* bytes = reinterpret_cast<const unsigned char*>(data.constData());
    const auto size = static_cast<unsigned long>(data.size());
    if (tjDecompressHeader3(decoder.get(), bytes, size, &width, &height, &subsampling,
                            &colourspace) != 0)
        return std::nullopt;
    DecodedJpeg out;
    out.subsampling = subsampling;
    out.image = QImage(width, height, QImage::Format_RGB32);
    if (tjDecompress2(decoder.get(), bytes, size, out.image.bits(), width,
                      static_cast<int>(out.image.bytesPerLine()), height, TJPF_BGRX, 0) != 0)
        return std::nullopt;
    return out;
}

double psnr(const QImage& a, const QImage& b) {
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col) {
            const int dr = qRed(p[col]) - qRed(q[col]);
            const int dg = qGreen(p[col]) - qGreen(q[col]);
            const int db = qBlue(p[col]) - qBlue(q[col]);
            sum += dr * dr + dg * dg + db * db;
        }
    }
    if (sum == 0) return std::numeric_limits<double>::infinity();
    const double mse = sum / (3.0 * x.width() * x.height());
    return 10.0 * std::log10(255.0 * 255.0 / mse);
}

int maxChannelError(const QImage& a, const QImage& b) {
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    int worst = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col) {
            worst = std::max({worst, std::abs(qRed(p[col]) - qRed(q[col])),
                              std::abs(qGreen(p[col]) - qGreen(q[col])),
                              std::abs(qBlue(p[col]) - qBlue(q[col]))});
        }
    }
    return worst;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

}  // namespace numarika::testing
