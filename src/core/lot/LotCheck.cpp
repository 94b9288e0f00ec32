#include "lot/LotCheck.h"

#include "packets/Histogram.h"

#include <cmath>

namespace kelotari {
namespace {

// Wide enough for the sums of squares of 30 readings of up to 2^31 % in millionths.
using Wide = __int128;

constexpr qint64 kMicroPerTenth = kMicroPerPercent / 10;
constexpr int kMaxDecimals = 6;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

Wide pow10(int d) {
    Wide p = 1;
    while (d-- > 0)
        p *= 10;
    return p;
}

// num / den (both >= 0) scaled by 10^d and rounded half up.
qint64 roundHalfUp(Wide num, Wide den, int d) {
    return static_cast<qint64>((2 * num * pow10(d) + den) / (2 * den));
}

LotFigure shown(Wide num, Wide den) {
    return LotFigure{roundHalfUp(num, den, 1), 1};
}

// A figure num / den that fails its rule by lying on the far side of a bound (tenths). It is
// shown with one decimal, or with as many more as it takes to show it off the bound: above
// the bound when `above`, else below it. Six decimals are cut towards that side.
LotFigure shownOff(Wide num, Wide den, int boundTenths, bool above) {
    for (int d = 1; d <= kMaxDecimals; ++d) {
        const Wide bound = Wide(boundTenths) * pow10(d - 1);
        const Wide s = roundHalfUp(num, den, d);
        if (above ? s > bound : s < bound)
            return LotFigure{static_cast<qint64>(s), d};
    }
    const Wide scaledNum = num * pow10(kMaxDecimals);
    const Wide cut = above ? (scaledNum + den - 1) / den : scaledNum / den;
    return LotFigure{static_cast<qint64>(cut), kMaxDecimals};
}

// Rounded half up to tenths of sqrt(a / b) (a >= 0, b > 0), decided in whole numbers:
// t is the largest with t - 1/2 <= sqrt(a / b), that is (2t - 1)^2 * b <= 4a.
qint64 sqrtTenths(Wide a, Wide b) {
    auto fits = [&](Wide t) { return t <= 0 || (2 * t - 1) * (2 * t - 1) * b <= 4 * a; };
    Wide t = static_cast<Wide>(
        std::llround(std::sqrt(static_cast<long double>(a) / static_cast<long double>(b))));
    while (t > 0 && !fits(t))
        --t;
    while (fits(t + 1))
        ++t;
    return static_cast<qint64>(t);
}

bool lessThan(const ReadingValue& a, const ReadingValue& b) {
    return a.micro < b.micro || (a.micro == b.micro && !a.beyondSix && b.beyondSix);
}

} // namespace

double LotFigure::value() const {
    return static_cast<double>(scaled) / static_cast<double>(pow10(decimals));
}

std::optional<ReadingValue> readingValue(const QByteArray& cell) {
    if (cell.isEmpty() || !isDigit(cell[0]))
        return std::nullopt;
    const std::optional<int> whole = LeadingNumber(cell);
    if (!whole)
        return std::nullopt;
    ReadingValue v;
    v.micro = qint64(*whole) * kMicroPerPercent;
    int pos = 0;
    while (pos < cell.size() && isDigit(cell[pos]))
        ++pos;
    if (pos < cell.size() && (cell[pos] == '.' || cell[pos] == ',')) {
        qint64 place = kMicroPerPercent / 10;
        for (++pos; pos < cell.size() && isDigit(cell[pos]); ++pos) {
            const int digit = cell[pos] - '0';
            if (place > 0)
                v.micro += digit * place;
            else if (digit != 0)
                v.beyondSix = true;
            place /= 10;
        }
    }
    return v;
}

bool withinLimits(const ReadingValue& v, const LotSpec& spec) {
    if (spec.lower && v.micro < *spec.lower * kMicroPerTenth)
        return false;
    if (spec.upper) {
        const qint64 u = *spec.upper * kMicroPerTenth;
        if (v.micro > u || (v.micro == u && v.beyondSix))
            return false;
    }
    return true;
}

QList<QByteArray> readingCells(const PacketTable& table, int row) {
    QList<QByteArray> cells;
    if (row < 1 || row >= kRows)
        return cells;
    for (int col = kFirstReadingCol; col <= kLastCol; ++col) {
        const QByteArray& c = table.cell(col, row);
        if (c.isEmpty())
            break;
        cells.append(c);
    }
    return cells;
}

LotResult checkPacket(const LotSpec& spec, const PacketTable& table, int row) {
    return checkReadings(spec, readingCells(table, row));
}

LotResult checkReadings(const LotSpec& spec, const QList<QByteArray>& cells) {
    LotResult r;
    Wide sum = 0, sumSquares = 0;
    for (const QByteArray& cell : cells) {
        if (cell.isEmpty() || r.readings == kMaxReadings)
            break;
        const int position = ++r.readings;
        const std::optional<ReadingValue> v = readingValue(cell);
        if (!v) {
            r.notNumbers.append(position);
            continue;
        }
        ++r.used;
        sum += v->micro;
        sumSquares += Wide(v->micro) * v->micro;
        if (!r.lowest || lessThan(*v, *r.lowest))
            r.lowest = v;
        if (!r.highest || lessThan(*r.highest, *v))
            r.highest = v;
        if (withinLimits(*v, spec))
            ++r.within;
        else
            r.outside.append(position);
    }

    const Wide n = r.used;
    if (n >= 1)
        r.mean = shown(sum, n * kMicroPerPercent);
    if (n >= 2) {
        // Sample variance in millionths squared: (n * sum(x^2) - sum(x)^2) / (n (n - 1)).
        const Wide a = 100 * (n * sumSquares - sum * sum);
        const Wide b = n * (n - 1) * Wide(kMicroPerPercent) * kMicroPerPercent;
        r.stdDev = LotFigure{sqrtTenths(a, b), 1};
    }

    if (spec.hasShareRule()) {
        ShareOutcome s;
        s.within = r.within;
        s.of = r.readings;
        s.required = *spec.share;
        s.met = s.of > 0 && qint64(s.within) * 1000 >= qint64(s.required) * s.of;
        if (s.of > 0)
            s.share = s.met ? shown(Wide(s.within) * 100, s.of)
                            : shownOff(Wide(s.within) * 100, s.of, s.required, false);
        r.shareRule = s;
    }
    if (spec.hasMeanRule() && n >= 1) {
        MeanOutcome m;
        m.target = *spec.target;
        m.deviation = *spec.deviation;
        // |sum / n - target| <= deviation, all in millionths.
        const Wide centre = n * m.target * kMicroPerTenth;
        const Wide reach = n * m.deviation * kMicroPerTenth;
        const Wide off = sum - centre;
        m.met = (off < 0 ? -off : off) <= reach;
        const Wide den = n * kMicroPerPercent;
        if (m.met)
            m.mean = shown(sum, den);
        else if (off > 0)
            m.mean = shownOff(sum, den, m.target + m.deviation, true);
        else
            m.mean = shownOff(sum, den, m.target - m.deviation, false);
        r.meanRule = m;
    }

    if (!spec.hasRule())
        r.verdict = LotVerdict::NothingToCheck;
    else if (r.used == 0)
        r.verdict = LotVerdict::NoReadings;
    else
        r.verdict = (!r.shareRule || r.shareRule->met) && (!r.meanRule || r.meanRule->met)
                        ? LotVerdict::Meets
                        : LotVerdict::NotMet;
    return r;
}

} // namespace kelotari
