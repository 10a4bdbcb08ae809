#include "bench/pictures/pictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <algorithm>
#include <random>

namespace numarika::bench {

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

}  // namespace numarika::bench
