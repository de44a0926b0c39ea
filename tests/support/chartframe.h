#pragma once

#include <QImage>
#include <QRect>
#include <algorithm>

namespace veruziva::sim {

// The inside of a chart's plot, found in its picture: the frame around the plot is the only line
// in the frame's colour that runs over half the picture's width, or down over half its height.
inline QRect FindPlot(const QImage& image, QRgb frame) {
    const auto longest = [&](int count, auto pixel) {
        int best = 0;
        for (int i = 0, run = 0; i < count; ++i) {
            run = pixel(i) == frame ? run + 1 : 0;
            best = std::max(best, run);
        }
        return best;
    };
    int top = -1;
    int bottom = -1;
    int left = -1;
    int right = -1;
    for (int y = 0; y < image.height(); ++y) {
        if (longest(image.width(), [&](int x) { return image.pixel(x, y); }) > image.width() / 2) {
            top = top < 0 ? y : top;
            bottom = y;
        }
    }
    for (int x = 0; x < image.width(); ++x) {
        if (longest(image.height(), [&](int y) { return image.pixel(x, y); }) >
            image.height() / 2) {
            left = left < 0 ? x : left;
            right = x;
        }
    }
    return QRect(QPoint(left + 1, top + 1), QPoint(right - 1, bottom - 1));
}

}  // namespace veruziva::sim
