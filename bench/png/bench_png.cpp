// PNG of a whole screen for the clipboard: encodePng on all cores and on one, beside Qt's
// own PNG writer at its default and at its fastest compressing setting, all in one run, for
// a screen (windows, text, flat areas) and a photograph-like picture at 1920x1080 and
// 3840x2160. Every file is checked to decode to the picture.
//
//   bench_png [runs]     (default 9; median of the runs, contenders in shuffled turns)

#include <QBuffer>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImageWriter>
#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>
#include <functional>
#include <random>
#include <thread>
#include <vector>

#include "bench/median.h"
#include "bench/pictures/pictures.h"
#include "encoders/png_encoder.h"

namespace {

using numarika::bench::photoPicture;
using numarika::bench::screenPicture;

double cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

struct Contender {
    const char* name;
    std::function<QByteArray(const QImage&)> encode;
    std::vector<double> wall{}, cpu{};
    qsizetype size = 0;
    bool exact = true;
};

QByteArray qtPng(const QImage& image, int compression) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (compression >= 0) writer.setCompression(compression);
    writer.write(image);
    return bytes;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 9;

    std::printf("PNG of a screen picture, %d runs each, median; %u cores; ratios to Qt's default\n",
                runs, std::thread::hardware_concurrency());
    std::printf("  %-34s %9s %7s %9s %7s %10s %7s\n", "", "wall ms", "ratio", "CPU ms", "ratio",
                "bytes", "ratio");
    std::mt19937 shuffle(20240601);
    for (const QSize size : {QSize(1920, 1080), QSize(3840, 2160)}) {
        for (const bool photo : {false, true}) {
            const QImage image = photo ? photoPicture(size.width(), size.height())
                                       : screenPicture(size.width(), size.height());
            // Qt maps a compression of 0..100 to zlib's levels 0..9 as c * 9 / 91: 11 is level 1,
            // its fastest that still compresses.
            std::array<Contender, 4> contenders{{
                {"Qt QImageWriter, default (level 6)",
                 [](const QImage& i) { return qtPng(i, -1); }},
                {"Qt QImageWriter, fastest (level 1)",
                 [](const QImage& i) { return qtPng(i, 11); }},
                {"encodePng, all cores", [](const QImage& i) { return numarika::encodePng(i); }},
                {"encodePng, 1 thread", [](const QImage& i) { return numarika::encodePng(i, 1); }},
            }};
            for (Contender& c : contenders) {  // warm-up, and the check
                const QByteArray png = c.encode(image);
                c.size = png.size();
                c.exact =
                    QImage::fromData(png, "PNG").convertToFormat(QImage::Format_RGB32) == image;
            }
            std::array<int, 4> order{0, 1, 2, 3};
            for (int run = 0; run < runs; ++run) {
                std::shuffle(order.begin(), order.end(), shuffle);
                for (int k : order) {
                    Contender& c = contenders[static_cast<std::size_t>(k)];
                    QElapsedTimer wall;
                    const double cpu0 = cpuMs();
                    wall.start();
                    const QByteArray png = c.encode(image);
                    c.wall.push_back(static_cast<double>(wall.nsecsElapsed()) / 1e6);
                    c.cpu.push_back(cpuMs() - cpu0);
                }
            }
            std::printf("%dx%d %s\n", size.width(), size.height(),
                        photo ? "photograph-like (noise)" : "screen (windows, text)");
            const Contender& base = contenders[0];
            for (const Contender& c : contenders) {
                std::printf("  %-34s %9.1f %6.2fx %9.1f %6.2fx %10lld %6.2fx%s\n", c.name,
                            numarika::bench::median(c.wall),
                            numarika::bench::median(c.wall) / numarika::bench::median(base.wall),
                            numarika::bench::median(c.cpu),
                            numarika::bench::median(c.cpu) / numarika::bench::median(base.cpu),
                            static_cast<long long>(c.size),
                            static_cast<double>(c.size) / static_cast<double>(base.size),
                            c.exact ? "" : "  DOES NOT DECODE TO THE PICTURE");
            }
        }
    }
    return 0;
}
