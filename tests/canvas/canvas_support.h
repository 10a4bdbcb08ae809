#pragma once
// Pictures and expectations for the canvas tests, worked out pixel by pixel on their own
// terms rather than with the drawing code under test.

#include <QImage>
#include <QRect>
#include <QtTest>
#include <algorithm>

#include "controls/twips.h"
#include "main_window/main.h"

namespace numarika::testing {

// Every pixel differs from its neighbours, so a copy shifted by one pixel shows.
inline QImage patternPicture(int width, int height) {
    QImage img(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = qRgb((x * 7 + y * 3) & 0xFF, (x * 13 + y * 29) & 0xFF, (x ^ y) & 0xFF);
    }
    return img;
}

// What a scan leaves: the picture in the canvas and its clean copy, canvas and range buffer
// shown, the view laid out.
inline void loadPicture(main& w, const QImage& picture) {
    w.Picture2->setPicture(picture);
    w.Picture3->setPicture(picture);
    w.Picture2->show();
    w.Picture4->show();
    w.Form_Resize();
}

// Whether pixel (x, y) lies on the outline of the box with corner pixels a and b drawn with
// a pen `width` pixels wide: inside the pen's outer edge and not inside its inner edge.
inline bool onOutline(int x, int y, QPoint a, QPoint b, int width) {
    const int before = (width - 1) / 2, after = width / 2;
    const int left = std::min(a.x(), b.x()) - before, right = std::max(a.x(), b.x()) + after;
    const int top = std::min(a.y(), b.y()) - before, bottom = std::max(a.y(), b.y()) + after;
    const bool inOuter = x >= left && x <= right && y >= top && y <= bottom;
    const bool inInner =
        x >= left + width && x <= right - width && y >= top + width && y <= bottom - width;
    return inOuter && !inInner;
}

// The picture with a box drawn on it: inverted (exclusive-or with white) or in a colour.
inline QImage withBox(const QImage& picture, QPoint a, QPoint b, int width, bool invert,
                      Colour colour = 0) {
    QImage out = picture.copy();
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x)
            if (onOutline(x, y, a, b, width))
                out.setPixel(x, y, invert ? (out.pixel(x, y) ^ 0x00FFFFFFu) : rgbOf(colour));
    return out;
}

// The part `part` of the picture, with what lies outside it in `background`.
inline QImage partOf(const QImage& picture, const QRect& part, QRgb background) {
    QImage out(part.size(), QImage::Format_RGB32);
    for (int y = 0; y < part.height(); ++y)
        for (int x = 0; x < part.width(); ++x) {
            const QPoint p = part.topLeft() + QPoint(x, y);
            out.setPixel(x, y, picture.rect().contains(p) ? picture.pixel(p) : background);
        }
    return out;
}

// Index of the first differing pixel, for a readable failure.
inline QString firstDifference(const QImage& actual, const QImage& expected) {
    if (actual.size() != expected.size())
        return QStringLiteral("size %1x%2, expected %3x%4")
            .arg(actual.width())
            .arg(actual.height())
            .arg(expected.width())
            .arg(expected.height());
    for (int y = 0; y < actual.height(); ++y)
        for (int x = 0; x < actual.width(); ++x)
            if (actual.pixel(x, y) != expected.pixel(x, y))
                return QStringLiteral("pixel (%1, %2): %3, expected %4")
                    .arg(x)
                    .arg(y)
                    .arg(actual.pixel(x, y), 8, 16)
                    .arg(expected.pixel(x, y), 8, 16);
    return {};
}

}  // namespace numarika::testing

#define COMPARE_IMAGES(actual, expected)                                                \
    do {                                                                                \
        const QString diff_ = numarika::testing::firstDifference((actual), (expected)); \
        QVERIFY2(diff_.isEmpty(), qPrintable(diff_));                                   \
    } while (false)
