#pragma once
// The lot check of one packet: its readings against a moisture specification, computed from
// the reading cells (not from the meter's own summary fields) in whole numbers only.
#include "lot/LotSpec.h"
#include "packets/PacketTable.h"

#include <QByteArray>
#include <QList>

#include <optional>

namespace kelotari {

constexpr qint64 kMicroPerPercent = 1000000;

// The number a reading cell holds: its leading whole number (the histogram's LeadingNumber
// rule) followed, after a "." or ",", by its decimals. Held in millionths of a percentage
// point; decimals past the sixth are dropped and remembered, so a limit comparison stays
// exact (24.0000001 is above 24.0).
struct ReadingValue {
    qint64 micro = 0;
    bool beyondSix = false; // non-zero digits after the sixth decimal were dropped

    double percent() const { return static_cast<double>(micro) / kMicroPerPercent; }

    bool operator==(const ReadingValue& o) const {
        return micro == o.micro && beyondSix == o.beyondSix;
    }
};

// A cell that does not begin with a digit ("E", " 12", "-3", "") or whose whole number does
// not fit an int is not a number.
std::optional<ReadingValue> readingValue(const QByteArray& cell);

// A figure as it is shown: scaled / 10^decimals. One decimal, rounded half up, except where a
// figure that fails its rule would so be shown on its bound: then it gets the fewest further
// decimals (at most six, the last cut towards the failing side) that show it off the bound.
struct LotFigure {
    qint64 scaled = 0;
    int decimals = 1;

    double value() const;
    bool operator==(const LotFigure& o) const {
        return scaled == o.scaled && decimals == o.decimals;
    }
};

enum class LotVerdict {
    NothingToCheck, // the lot specification has no rule
    NoReadings,     // no reading of the packet is a number
    Meets,          // every rule of the lot specification is met
    NotMet,         // at least one rule is not met
};

// Readings within the limits. Every reading of the packet counts in "of", those that are not
// numbers as not within: a reading the meter could not give is not known to be within.
struct ShareOutcome {
    int within = 0;
    int of = 0;
    int required = 0; // tenths of a percent
    LotFigure share;  // within / of in percent
    bool met = false; // within * 1000 >= required * of
};

// The mean of the readings that are numbers against target +/- deviation (bounds included).
struct MeanOutcome {
    LotFigure mean;
    int target = 0;
    int deviation = 0;
    bool met = false;
};

struct LotResult {
    LotVerdict verdict = LotVerdict::NothingToCheck;
    int readings = 0;              // reading cells up to the first empty one, at most 30
    int used = 0;                  // those that are numbers
    QList<int> notNumbers;         // positions (1 = Data1) of readings that are not numbers
    QList<int> outside;            // positions of numbers outside a limit of the lot specification
    int within = 0;                // numbers within the limits (every number when there is none)
    std::optional<LotFigure> mean; // one or more numbers
    std::optional<LotFigure> stdDev; // sample standard deviation (n - 1): two or more
    std::optional<ReadingValue> lowest, highest;
    std::optional<ShareOutcome> shareRule; // when the lot specification has the share rule
    std::optional<MeanOutcome> meanRule;   // when it has a target and a deviation
};

// Whether a number lies within the lot specification's limits (a limit itself counts as within).
bool withinLimits(const ReadingValue& value, const LotSpec& spec);

// The packet's reading cells: columns 11 upward up to the first empty cell.
QList<QByteArray> readingCells(const PacketTable& table, int row);

// Checks the cells up to the first empty one (at most 30 are taken).
LotResult checkReadings(const LotSpec& spec, const QList<QByteArray>& cells);
// Checks a table row; a row outside 1..49 has no readings.
LotResult checkPacket(const LotSpec& spec, const PacketTable& table, int row);

} // namespace kelotari
