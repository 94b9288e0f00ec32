#include "packets/Histogram.h"

#include <limits>

namespace kelotari {

std::optional<int> LeadingNumber(const QByteArray& text) {
    constexpr int kMax = std::numeric_limits<int>::max();
    int value = 0;
    for (const char ch : text) {
        if (ch < '0' || ch > '9')
            break;
        const int digit = ch - '0';
        if (value > (kMax - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

Histogram histogramOfRow(const PacketTable& table, int row) {
    Histogram h;
    if (row < 1 || row >= kRows)
        return h;
    for (int col = kFirstReadingCol; col <= kLastCol; ++col) {
        const QByteArray& reading = table.cell(col, row);
        if (reading.isEmpty())
            break;
        const std::optional<int> k = LeadingNumber(reading);
        if (!k || *k < kFirstClass || *k > kLastClass)
            continue;
        const int n = ++h.counts[static_cast<size_t>(*k)];
        if (n > h.highest)
            h.highest = n;
    }
    return h;
}

} // namespace kelotari
