#include "lot/LotSpec.h"

namespace kelotari {
namespace {

bool inRange(const std::optional<int>& v) {
    return !v || (*v >= 0 && *v <= kPercentTenthsMax);
}

} // namespace

std::optional<LotSpecFault> firstFault(const LotSpec& s) {
    if (s.name.trimmed().isEmpty())
        return LotSpecFault::NameEmpty;
    if (s.name.size() > kMaxLotSpecNameLength)
        return LotSpecFault::NameTooLong;
    for (const auto* v : {&s.target, &s.deviation, &s.lower, &s.upper, &s.share})
        if (!inRange(*v))
            return LotSpecFault::OutOfRange;
    if (s.lower && s.upper && *s.lower > *s.upper)
        return LotSpecFault::LowerAboveUpper;
    const bool limit = s.lower || s.upper;
    if (limit && !s.share)
        return LotSpecFault::ShareMissing;
    if (!limit && s.share)
        return LotSpecFault::ShareWithoutLimit;
    if (s.deviation && !s.target)
        return LotSpecFault::DeviationWithoutTarget;
    return std::nullopt;
}

LotSpec shippingDrySpec(const QString& name) {
    LotSpec s;
    s.name = name;
    s.upper = 240;
    s.share = 970;
    return s;
}

QString tenthsToPlainText(int tenths) {
    const qint64 v = tenths;
    const qint64 a = v < 0 ? -v : v;
    QString text = QString::number(a / 10);
    if (a % 10 != 0)
        text += QLatin1Char('.') + QString::number(a % 10);
    return v < 0 ? QLatin1Char('-') + text : text;
}

} // namespace kelotari
