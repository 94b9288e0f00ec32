#pragma once
// Finds the silver bars of a rendered chart in an image, without knowing how it was laid out.
#include <QColor>
#include <QImage>
#include <QList>
#include <QRect>

#include <cstdlib>

namespace kelotari {

struct FoundBar {
    int left = 0, right = 0; // columns holding silver
    int top = 0;             // first row of the bar, its edge included
    int bottom = 0;          // one past the last row
    int width() const { return right - left + 1; }
    int height() const { return bottom - top; }
    double centre() const { return (left + right) / 2.0; }
};

inline bool isGrey(QRgb c, int level, int tolerance = 6) {
    return std::abs(qRed(c) - level) <= tolerance && std::abs(qGreen(c) - level) <= tolerance &&
           std::abs(qBlue(c) - level) <= tolerance;
}
inline bool isSilver(QRgb c) {
    return isGrey(c, 192);
}
inline bool isBarEdge(QRgb c) {
    return isGrey(c, 128, 24);
}

// Bars left to right: runs of columns that hold silver pixels inside `area`, with their darker
// edge. The height is measured in the bar's middle column.
inline QList<FoundBar> findBars(const QImage& image, QRect area = QRect()) {
    const QImage img = image.convertToFormat(QImage::Format_RGB32);
    if (area.isNull())
        area = img.rect();
    area &= img.rect();
    QList<FoundBar> bars;
    auto columnHasSilver = [&](int x) {
        for (int y = area.top(); y <= area.bottom(); ++y)
            if (isSilver(img.pixel(x, y)))
                return true;
        return false;
    };
    for (int x = area.left(); x <= area.right(); ++x) {
        if (!columnHasSilver(x))
            continue;
        FoundBar bar;
        bar.left = x;
        while (x + 1 <= area.right() && columnHasSilver(x + 1))
            ++x;
        bar.right = x;
        const int mid = (bar.left + bar.right) / 2;
        int first = -1, last = -1;
        for (int y = area.top(); y <= area.bottom(); ++y)
            if (isSilver(img.pixel(mid, y))) {
                if (first < 0)
                    first = y;
                last = y;
            }
        // Take in the darker edge at both sides, halfway up the bar.
        const int midRow = (first + last) / 2;
        while (bar.left - 1 >= area.left() && isBarEdge(img.pixel(bar.left - 1, midRow)))
            --bar.left;
        while (bar.right + 1 <= area.right() && isBarEdge(img.pixel(bar.right + 1, midRow)))
            ++bar.right;
        int top = first;
        while (top - 1 >= area.top() && isBarEdge(img.pixel(mid, top - 1)))
            --top;
        bar.top = top;
        bar.bottom = last + 1;
        bars << bar;
    }
    return bars;
}

inline int countPixels(const QImage& image, const QRect& area, bool (*pred)(QRgb)) {
    const QImage img = image.convertToFormat(QImage::Format_RGB32);
    int n = 0;
    const QRect a = area & img.rect();
    for (int y = a.top(); y <= a.bottom(); ++y)
        for (int x = a.left(); x <= a.right(); ++x)
            if (pred(img.pixel(x, y)))
                ++n;
    return n;
}

} // namespace kelotari
