#pragma once
// The moisture histogram of one packet: how many of its readings fall into each whole-number
// moisture class 6..27.
#include "packets/PacketTable.h"

#include <QByteArray>

#include <array>
#include <optional>

namespace kelotari {

constexpr int kFirstClass = 6;
constexpr int kLastClass = 27;
constexpr int kHistogramPoints = kLastClass + 1; // points 0..27; 0..5 always stay 0

struct Histogram {
    std::array<int, kHistogramPoints> counts{}; // counts[k]: readings of class k
    int highest = 0;                            // the largest count, top of the left axis

    bool operator==(const Histogram& o) const { return counts == o.counts && highest == o.highest; }
    bool operator!=(const Histogram& o) const { return !(*this == o); }
};

// The value of the decimal digits at the start of the text, up to the first other character.
// No leading digit (a space, a sign, an empty text) gives 0. Digits whose value does not fit
// an int give no number at all: such a reading belongs to no class.
std::optional<int> LeadingNumber(const QByteArray& text);

// Counts the readings of a table row (columns 11 upward, up to the first empty cell) by class.
// Readings outside 6..27 are not counted. A row outside 1..49 gives an empty histogram.
Histogram histogramOfRow(const PacketTable& table, int row);

} // namespace kelotari
