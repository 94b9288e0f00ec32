#include "lot/LotSpecInput.h"

namespace kelotari {

std::optional<int> parsePercentTenths(const QString& typed) {
    QString t = typed.trimmed();
    if (t.endsWith(QLatin1Char('%')))
        t = t.left(t.size() - 1).trimmed();
    constexpr int kBeyond = kPercentTenthsMax * 100; // anything larger is out of range alike
    int whole = 0, i = 0;
    for (; i < t.size() && t[i].isDigit() && t[i].unicode() < 128; ++i)
        whole = qMin(whole * 10 + (t[i].unicode() - '0'), kBeyond);
    if (i == 0)
        return std::nullopt;
    int tenths = whole * 10;
    if (i < t.size()) {
        if ((t[i] != QLatin1Char('.') && t[i] != QLatin1Char(',')) || i + 2 != t.size() ||
            !t[i + 1].isDigit() || t[i + 1].unicode() >= 128)
            return std::nullopt;
        tenths += t[i + 1].unicode() - '0';
    }
    return tenths;
}

LotInputResult checkLotSpecInput(const LotSpecInput& in, const LotTexts& texts,
                                 const QStringList& otherNames) {
    LotInputResult r;
    auto fault = [&r](LotField f, const QString& text) {
        r.messages.append(LotInputMessage{f, text});
    };

    LotSpec spec;
    spec.name = in.name.trimmed();
    if (spec.name.isEmpty())
        fault(LotField::Name, texts.MsgNameEmpty);
    else if (spec.name.size() > kMaxLotSpecNameLength)
        fault(LotField::Name,
              fillTemplate(texts.MsgNameTooLong, {QString::number(kMaxLotSpecNameLength)}));
    else
        for (const QString& other : otherNames)
            if (other.trimmed().compare(spec.name, Qt::CaseInsensitive) == 0) {
                fault(LotField::Name, texts.MsgNameTaken);
                break;
            }

    // A number field: not given when blank; a fault when it is not a percentage in 0..100.
    auto typed = [](const QString& field) { return !field.trimmed().isEmpty(); };
    auto number = [&](LotField f, const QString& field, const QString& caption,
                      std::optional<int>& into) {
        if (!typed(field))
            return;
        const std::optional<int> v = parsePercentTenths(field);
        if (!v)
            fault(f, fillTemplate(texts.MsgNotANumber, {caption}));
        else if (*v > kPercentTenthsMax)
            fault(f, fillTemplate(texts.MsgOutOfRange, {caption}));
        else
            into = v;
    };

    number(LotField::Target, in.target, texts.FieldTarget, spec.target);
    number(LotField::Deviation, in.deviation, texts.FieldDeviation, spec.deviation);
    if (typed(in.deviation) && !typed(in.target))
        fault(LotField::Deviation, texts.MsgDeviationWithoutTarget);
    number(LotField::Lower, in.lower, texts.FieldLower, spec.lower);
    number(LotField::Upper, in.upper, texts.FieldUpper, spec.upper);
    if (spec.lower && spec.upper && *spec.lower > *spec.upper)
        fault(LotField::Upper, texts.MsgLowerAboveUpper);
    number(LotField::Share, in.share, texts.FieldShare, spec.share);
    const bool limitTyped = typed(in.lower) || typed(in.upper);
    if (limitTyped && !typed(in.share))
        fault(LotField::Share, texts.MsgShareMissing);
    else if (!limitTyped && typed(in.share))
        fault(LotField::Share, texts.MsgShareWithoutLimit);

    if (r.messages.isEmpty())
        r.spec = spec;
    return r;
}

LotSpecInput lotSpecFields(const LotSpec& spec, const QLocale& locale) {
    // Whole numbers without ".0", as one would type them.
    auto text = [&locale](const std::optional<int>& v) {
        return v ? shareText(*v, locale) : QString();
    };
    LotSpecInput in;
    in.name = spec.name;
    in.target = text(spec.target);
    in.deviation = text(spec.deviation);
    in.lower = text(spec.lower);
    in.upper = text(spec.upper);
    in.share = text(spec.share);
    return in;
}

} // namespace kelotari
