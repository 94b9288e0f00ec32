#pragma once
// A buyer's moisture specification for a lot of sawn timber, and the list of them the user
// keeps. Every percentage is held in tenths of a percentage point (24.0 % is 240), so the
// check compares whole numbers and no float rounding can move a reading across a limit.
#include <QList>
#include <QString>

#include <optional>

namespace kelotari {

constexpr int kPercentTenthsMax = 1000; // 100.0 %
constexpr int kMaxLotSpecNameLength = 500;
constexpr int kMaxLotSpecs = 200;

struct LotSpec {
    QString name;
    std::optional<int> target;    // target moisture content of the lot
    std::optional<int> deviation; // allowed deviation of the mean from the target, +/-
    std::optional<int> lower;     // lower limit of one reading
    std::optional<int> upper;     // upper limit of one reading
    std::optional<int> share;     // required share of readings within the limits

    // The rules the check can decide. A target alone is drawn but decides nothing.
    bool hasMeanRule() const { return target.has_value() && deviation.has_value(); }
    bool hasShareRule() const { return share.has_value() && (lower || upper); }
    bool hasRule() const { return hasMeanRule() || hasShareRule(); }

    bool operator==(const LotSpec& o) const {
        return name == o.name && target == o.target && deviation == o.deviation &&
               lower == o.lower && upper == o.upper && share == o.share;
    }
    bool operator!=(const LotSpec& o) const { return !(*this == o); }
};

// What makes a specification unusable, first fault first. The input rules and the settings
// reader share them, so a stored specification obeys the same rules as a typed one.
enum class LotSpecFault {
    NameEmpty,              // nothing but blanks
    NameTooLong,            // more than kMaxLotSpecNameLength characters
    OutOfRange,             // a value outside 0..100 %
    LowerAboveUpper,        // lower limit above the upper limit
    ShareMissing,           // a limit without a required share
    ShareWithoutLimit,      // a required share without any limit
    DeviationWithoutTarget, // an allowed deviation without a target
};
std::optional<LotSpecFault> firstFault(const LotSpec& spec);

// The user's specifications and which one is current (an index into specs, -1 for none).
struct LotSpecList {
    QList<LotSpec> specs;
    int current = -1;

    const LotSpec* currentSpec() const {
        return current >= 0 && current < specs.size() ? &specs[current] : nullptr;
    }
    bool operator==(const LotSpecList& o) const { return specs == o.specs && current == o.current; }
};

// The ready-made specification: at least 97 % of the readings at or below 24 %, the common
// Nordic rule for "shipping dry" timber. The name comes from the language texts.
LotSpec shippingDrySpec(const QString& name);

// Tenths as a fixed text with "." as decimal mark and no needless ".0": 240 -> "24",
// 245 -> "24.5". The settings file's form, independent of the user's locale.
QString tenthsToPlainText(int tenths);

} // namespace kelotari
