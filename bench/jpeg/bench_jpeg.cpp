// Saving a 3840x2160 picture through DCSavetoJPEG, beside a direct TurboJPEG compression of
// the same pixels with the same settings and beside Qt's own JPEG writer, in one run.
//
//   bench_jpeg [runs] [folder]     (defaults: 15 runs, the system's temporary folder)

#include <turbojpeg.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageWriter>
#include <QPainter>
#include <QSaveFile>
#include <QTemporaryDir>
#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "bench/median.h"
#include "controls/picture_box.h"
#include "encoders/jpeg_encoder.h"
#include "output/dcsave_jpeg.h"
#include "tests/support/picture_checks.h"

using namespace numarika;

namespace {

constexpr int kWidth = 3840;
constexpr int kHeight = 2160;
constexpr int kQuality = 100;

// A desktop-like picture: gradients, window-like blocks, and coloured text everywhere.
QImage desktopPicture() {
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    for (int y = 0; y < kHeight; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < kWidth; ++x) line[x] = qRgb(x * 255 / kWidth, y * 255 / kHeight, 160);
    }
    QPainter p(&image);
    QFont font = p.font();
    font.setPixelSize(13);
    p.setFont(font);
    const QColor ink[] = {Qt::black, Qt::red, Qt::blue, QColor(0, 128, 0), Qt::magenta};
    int n = 0;
    for (int wy = 40; wy + 400 < kHeight; wy += 520) {
        for (int wx = 30; wx + 700 < kWidth; wx += 760) {
            p.fillRect(wx, wy, 700, 460, Qt::white);
            p.fillRect(wx, wy, 700, 24, QColor(40, 90, 170));
            for (int line = 0; line < 22; ++line) {
                p.setPen(ink[n++ % 5]);
                p.drawText(wx + 6, wy + 44 + line * 19,
                           QStringLiteral("ファイル(F) 編集 表示 File Edit View %1 "
                                          "The quick brown fox jumps 0123456789")
                               .arg(n));
            }
        }
    }
    return image;
}

// Milliseconds of each call, wall clock and the calling thread's CPU time; the contenders'
// calls are interleaved so that the drifts of a shared machine hit them alike. CPU time is
// the steadier figure when other work competes for the processors; the wall clock includes
// waiting for the disk.
struct Timing {
    std::vector<double> wall;
    std::vector<double> cpu;
    double wallMedian() const { return bench::median(wall); }
    double cpuMedian() const { return bench::median(cpu); }
};

double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

void timeOnce(Timing& timing, const std::function<void()>& work) {
    QElapsedTimer t;
    const double cpu0 = threadCpuMs();
    t.start();
    work();
    timing.wall.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    timing.cpu.push_back(threadCpuMs() - cpu0);
}

}  // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 15;
    QTemporaryDir scratch(argc > 2
                              ? QString::fromLocal8Bit(argv[2]) + QStringLiteral("/bench-XXXXXX")
                              : QDir::tempPath() + QStringLiteral("/bench-XXXXXX"));
    if (!scratch.isValid()) {
        std::fprintf(stderr, "bench_jpeg: cannot make a scratch folder\n");
        return 1;
    }

    PictureBox box(nullptr);
    box.setPicture(desktopPicture());
    const QImage& pixels = box.Image();
    const int subsampling = jpegSubsamplingFor(kQuality);

    const QString oursPath = scratch.filePath(QStringLiteral("ours.jpg"));
    const QString directPath = scratch.filePath(QStringLiteral("direct.jpg"));
    const QString qtPath = scratch.filePath(QStringLiteral("qt.jpg"));

    std::unique_ptr<void, int (*)(tjhandle)> encoder(tjInitCompress(), tjDestroy);
    const unsigned long capacity = tjBufSize(kWidth, kHeight, subsampling);
    std::unique_ptr<unsigned char, void (*)(unsigned char*)> buffer(
        tjAlloc(static_cast<int>(capacity)), tjFree);
    unsigned long directSize = 0;

    // The direct call: the same pixels, pitch, pixel format, subsampling, quality and flags,
    // into a buffer of the same kind.
    const auto directCompress = [&] {
        unsigned char* out = buffer.get();
        directSize = capacity;
        if (tjCompress2(encoder.get(), pixels.constBits(), kWidth,
                        static_cast<int>(pixels.bytesPerLine()), kHeight, TJPF_BGRX, &out,
                        &directSize, subsampling, kQuality, TJFLAG_NOREALLOC) != 0)
            std::fprintf(stderr, "tjCompress2: %s\n", tjGetErrorStr2(encoder.get()));
    };
    // The same, written to a file the way the program writes one (beside, synced, renamed).
    const auto directSafeWrite = [&] {
        directCompress();
        QSaveFile f(directPath);
        if (f.open(QIODevice::WriteOnly)) {
            f.write(reinterpret_cast<const char*>(buffer.get()), static_cast<qint64>(directSize));
            f.commit();
        }
    };
    const auto ours = [&] {
        if (!DCSavetoJPEG(box.hDC(), kWidth, kHeight, oursPath, kQuality))
            std::fprintf(stderr, "DCSavetoJPEG failed\n");
    };
    const auto qtWriter = [&] {
        QImageWriter writer(qtPath, "jpeg");
        writer.setQuality(kQuality);
        if (!writer.write(pixels))
            std::fprintf(stderr, "QImageWriter: %s\n", qPrintable(writer.errorString()));
    };

    // Warm up caches and the allocator once each.
    directCompress();
    directSafeWrite();
    ours();
    qtWriter();

    Timing tDirect, tDirectSafe, tOurs, tQt;
    const std::pair<Timing*, std::function<void()>> contenders[] = {{&tDirect, directCompress},
                                                                    {&tDirectSafe, directSafeWrite},
                                                                    {&tOurs, ours},
                                                                    {&tQt, qtWriter}};
    constexpr int kContenders = 4;
    // Each run takes the contenders in another order, so that none always follows the same
    // one: a file's write-back lingers into the next call, and a sync may have to wait for it.
    std::array<int, kContenders> order{0, 1, 2, 3};
    std::mt19937 shuffle(20240601);
    for (int i = 0; i < runs; ++i) {
        std::shuffle(order.begin(), order.end(), shuffle);
        for (int k : order) {
            const auto& [timing, work] = contenders[k];
            timeOnce(*timing, work);
        }
    }

    const std::optional<testing::DecodedJpeg> oursDecoded = testing::decodeJpegFile(oursPath);
    const std::optional<testing::DecodedJpeg> qtDecoded = testing::decodeJpegFile(qtPath);
    if (!oursDecoded || !qtDecoded || oursDecoded->image.size() != pixels.size() ||
        qtDecoded->image.size() != pixels.size()) {
        std::fprintf(stderr, "bench_jpeg: a written file does not decode to the picture's size\n");
        return 1;
    }

    std::printf("JPEG save of a %dx%d picture with coloured text, quality %d, %d runs, median\n",
                kWidth, kHeight, kQuality, runs);
    std::printf("  scratch folder: %s\n", qPrintable(scratch.path()));
    std::printf("  %-46s %9s %7s %9s %7s\n", "", "wall ms", "ratio", "CPU ms", "ratio");
    const auto row = [&](const char* name, const Timing& t, const Timing& base) {
        std::printf("  %-46s %9.1f %6.2fx %9.1f %6.2fx\n", name, t.wallMedian(),
                    t.wallMedian() / base.wallMedian(), t.cpuMedian(),
                    t.cpuMedian() / base.cpuMedian());
    };
    std::printf("  against the direct call (baseline):\n");
    row("direct tjCompress2, 4:4:4, in memory", tDirect, tDirect);
    row("direct tjCompress2 + safe write (sync+rename)", tDirectSafe, tDirect);
    row("DCSavetoJPEG (file)", tOurs, tDirect);
    row("Qt QImageWriter, quality 100 (file)", tQt, tDirect);
    std::printf("  against the direct call writing the file the same way:\n");
    row("DCSavetoJPEG (file)", tOurs, tDirectSafe);
    std::printf("  against DCSavetoJPEG:\n");
    row("Qt QImageWriter, quality 100 (file)", tQt, tOurs);
    std::printf("  file size: DCSavetoJPEG %lld bytes, Qt %lld bytes\n",
                static_cast<long long>(QFileInfo(oursPath).size()),
                static_cast<long long>(QFileInfo(qtPath).size()));
    std::printf("  largest pixel error (one channel, 0-255): DCSavetoJPEG %d, Qt %d\n",
                testing::maxChannelError(oursDecoded->image, pixels),
                testing::maxChannelError(qtDecoded->image, pixels));
    return 0;
}
