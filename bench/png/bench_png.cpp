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
#include <QLinearGradient>
#include <QPainter>
#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>
#include <functional>
#include <random>
#include <thread>
#include <vector>

#include "platform/png_encoder.h"

namespace {

// A busy desktop: windows over a plain background, each with a gradient title bar, a menu
// and lines of code and Japanese text, a task bar at the bottom.
QImage screenPicture(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(30, 80, 120));
    QPainter p(&image);
    QFont font = p.font();
    font.setPixelSize(13);
    p.setFont(font);
    int n = 0;
    for (int wy = 20; wy + 300 < height; wy += 420) {
        for (int wx = 20; wx + 500 < width; wx += 640) {
            const int ww = 560, wh = 380;
            p.fillRect(wx, wy, ww, wh, QColor(240, 240, 240));
            QLinearGradient title(wx, wy, wx + ww, wy);
            title.setColorAt(0, QColor(40, 90, 170));
            title.setColorAt(1, QColor(120, 160, 220));
            p.fillRect(wx, wy, ww, 26, title);
            p.fillRect(wx + 4, wy + 50, ww - 8, wh - 54, Qt::white);
            p.setPen(Qt::white);
            p.drawText(wx + 8, wy + 18, QStringLiteral("ウィンドウ %1 - エディター").arg(n));
            p.setPen(Qt::black);
            p.drawText(wx + 8, wy + 42, QStringLiteral("ファイル(F)  編集(E)  表示(V)  ヘルプ(H)"));
            for (int line = 0; line < 17; ++line) {
                p.setPen(line % 4 == 0 ? QColor(0, 0, 160) : QColor(20, 20, 20));
                p.drawText(wx + 10, wy + 68 + line * 18,
                           QStringLiteral("int main() { return %1; } // 日本語のテキスト %2")
                               .arg(n * 31 + line)
                               .arg(n * 7 + line * 13));
            }
            ++n;
        }
    }
    p.fillRect(0, height - 40, width, 40, QColor(50, 50, 55));
    return image;
}

// Smooth colours under sensor-like noise: nearly nothing repeats.
QImage photoPicture(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    std::mt19937 random(2);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int shared = static_cast<int>(random() % 33) - 16;
            const auto channel = [&](int base) {
                return std::clamp(base + shared + static_cast<int>(random() % 9) - 4, 0, 255);
            };
            line[x] = qRgb(channel(x * 200 / width + 20), channel(y * 200 / height + 30),
                           channel((x + y) * 100 / (width + height) + 60));
        }
    }
    return image;
}

double cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
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
                            median(c.wall), median(c.wall) / median(base.wall), median(c.cpu),
                            median(c.cpu) / median(base.cpu), static_cast<long long>(c.size),
                            static_cast<double>(c.size) / static_cast<double>(base.size),
                            c.exact ? "" : "  DOES NOT DECODE TO THE PICTURE");
            }
        }
    }
    return 0;
}
