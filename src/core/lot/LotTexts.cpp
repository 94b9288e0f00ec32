#include "lot/LotTexts.h"

#include "ini/IniProfile.h"

#include <QStringList>

#include <initializer_list>

namespace kelotari {
namespace {

struct TextKey {
    const char* key;
    QString LotTexts::*field;
};

const TextKey kTextKeys[] = {
    {"ShippingDryName", &LotTexts::ShippingDryName},
    {"Summary", &LotTexts::Summary},
    {"SummaryAtMost", &LotTexts::SummaryAtMost},
    {"SummaryAtLeast", &LotTexts::SummaryAtLeast},
    {"SummaryBetween", &LotTexts::SummaryBetween},
    {"SummaryMean", &LotTexts::SummaryMean},
    {"SummaryTarget", &LotTexts::SummaryTarget},
    {"LineMeets", &LotTexts::LineMeets},
    {"LineNotMet", &LotTexts::LineNotMet},
    {"LineNoReadings", &LotTexts::LineNoReadings},
    {"LineNothingToCheck", &LotTexts::LineNothingToCheck},
    {"Joiner", &LotTexts::Joiner},
    {"NoteJoiner", &LotTexts::NoteJoiner},
    {"NotNumbers", &LotTexts::NotNumbers},
    {"ShareAtMost", &LotTexts::ShareAtMost},
    {"ShareAtLeast", &LotTexts::ShareAtLeast},
    {"ShareBetween", &LotTexts::ShareBetween},
    {"ShareAtMostFailed", &LotTexts::ShareAtMostFailed},
    {"ShareAtLeastFailed", &LotTexts::ShareAtLeastFailed},
    {"ShareBetweenFailed", &LotTexts::ShareBetweenFailed},
    {"Mean", &LotTexts::Mean},
    {"MeanFailed", &LotTexts::MeanFailed},
    {"FieldName", &LotTexts::FieldName},
    {"FieldTarget", &LotTexts::FieldTarget},
    {"FieldDeviation", &LotTexts::FieldDeviation},
    {"FieldLower", &LotTexts::FieldLower},
    {"FieldUpper", &LotTexts::FieldUpper},
    {"FieldShare", &LotTexts::FieldShare},
    {"MsgNameEmpty", &LotTexts::MsgNameEmpty},
    {"MsgNameTooLong", &LotTexts::MsgNameTooLong},
    {"MsgNameTaken", &LotTexts::MsgNameTaken},
    {"MsgNotANumber", &LotTexts::MsgNotANumber},
    {"MsgOutOfRange", &LotTexts::MsgOutOfRange},
    {"MsgLowerAboveUpper", &LotTexts::MsgLowerAboveUpper},
    {"MsgShareMissing", &LotTexts::MsgShareMissing},
    {"MsgShareWithoutLimit", &LotTexts::MsgShareWithoutLimit},
    {"MsgDeviationWithoutTarget", &LotTexts::MsgDeviationWithoutTarget},
    {"MsgTooMany", &LotTexts::MsgTooMany},
};

// scaled / 10^decimals with the locale's separator; scaled >= 0.
QString decimalText(qint64 scaled, int decimals, const QLocale& locale) {
    QString digits = QString::number(scaled);
    if (decimals <= 0)
        return digits;
    if (digits.size() <= decimals)
        digits = QString(decimals + 1 - digits.size(), QLatin1Char('0')) + digits;
    return digits.left(digits.size() - decimals) + locale.decimalPoint() + digits.right(decimals);
}

} // namespace

// Puts args[n - 1] where the template says %n (n = 1..9), in one pass.
QString fillTemplate(const QString& text, std::initializer_list<QString> args) {
    QString out;
    out.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('%') && i + 1 < text.size() && text[i + 1] >= QLatin1Char('1') &&
            text[i + 1] <= QLatin1Char('9')) {
            const size_t n = static_cast<size_t>(text[i + 1].unicode() - '1');
            if (n < args.size()) {
                out += *(args.begin() + n);
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

LotTexts readLotTexts(const IniProfile& lang) {
    LotTexts t;
    for (const TextKey& k : kTextKeys)
        t.*k.field = lang.readString(QStringLiteral("LotCheck"), QLatin1String(k.key), t.*k.field);
    return t;
}

QList<std::pair<QString, QString>> lotTextEntries(const LotTexts& texts) {
    QList<std::pair<QString, QString>> out;
    for (const TextKey& k : kTextKeys)
        out.append({QLatin1String(k.key), texts.*k.field});
    return out;
}

QString readingPosition(int position) {
    return QStringLiteral("Data%1").arg(position);
}

QString limitText(int tenths, const QLocale& locale) {
    return decimalText(tenths, 1, locale);
}

QString shareText(int tenths, const QLocale& locale) {
    return tenths % 10 == 0 ? QString::number(tenths / 10) : decimalText(tenths, 1, locale);
}

QString figureText(const LotFigure& figure, const QLocale& locale) {
    return decimalText(figure.scaled, figure.decimals, locale);
}

QString readingText(const ReadingValue& value, const QLocale& locale) {
    qint64 scaled = value.micro;
    int decimals = 6;
    // Shown with its own decimals; one cut at the sixth keeps all six.
    while (!value.beyondSix && decimals > 1 && scaled % 10 == 0) {
        scaled /= 10;
        --decimals;
    }
    return decimalText(scaled, decimals, locale);
}

namespace {

QString shareFigures(const LotSpec& spec, const ShareOutcome& s, const LotTexts& t,
                     const QLocale& locale) {
    const QString within = QString::number(s.within);
    const QString of = QString::number(s.of);
    const QString share = figureText(s.share, locale);
    const QString required = shareText(s.required, locale);
    if (spec.lower && spec.upper) {
        const QString lo = limitText(*spec.lower, locale), hi = limitText(*spec.upper, locale);
        return s.met ? fillTemplate(t.ShareBetween, {within, of, lo, hi})
                     : fillTemplate(t.ShareBetweenFailed, {within, of, share, lo, hi, required});
    }
    const bool atMost = spec.upper.has_value();
    const QString limit = limitText(atMost ? *spec.upper : *spec.lower, locale);
    if (s.met)
        return fillTemplate(atMost ? t.ShareAtMost : t.ShareAtLeast, {within, of, limit});
    return fillTemplate(atMost ? t.ShareAtMostFailed : t.ShareAtLeastFailed,
                        {within, of, share, limit, required});
}

QString meanFigures(const MeanOutcome& m, const LotTexts& t, const QLocale& locale) {
    return fillTemplate(
        m.met ? t.Mean : t.MeanFailed,
        {figureText(m.mean, locale), limitText(m.target, locale), limitText(m.deviation, locale)});
}

} // namespace

QString lotSpecSummary(const LotSpec& spec, const LotTexts& t, const QLocale& locale) {
    auto n = [&locale](const std::optional<int>& v) { return shareText(v.value_or(0), locale); };
    QStringList rules;
    if (spec.hasShareRule()) {
        if (spec.lower && spec.upper)
            rules << fillTemplate(t.SummaryBetween, {n(spec.share), n(spec.lower), n(spec.upper)});
        else if (spec.upper)
            rules << fillTemplate(t.SummaryAtMost, {n(spec.share), n(spec.upper)});
        else
            rules << fillTemplate(t.SummaryAtLeast, {n(spec.share), n(spec.lower)});
    }
    if (spec.hasMeanRule())
        rules << fillTemplate(t.SummaryMean, {n(spec.target), n(spec.deviation)});
    else if (spec.target)
        rules << fillTemplate(t.SummaryTarget, {n(spec.target)});
    if (rules.isEmpty())
        return spec.name;
    return fillTemplate(t.Summary, {spec.name, rules.join(t.Joiner)});
}

QString lotResultLine(const LotSpec& spec, const LotResult& r, const LotTexts& t,
                      const QLocale& locale) {
    QString line;
    switch (r.verdict) {
    case LotVerdict::NothingToCheck:
        return fillTemplate(t.LineNothingToCheck, {spec.name});
    case LotVerdict::NoReadings:
        line = fillTemplate(t.LineNoReadings, {spec.name});
        break;
    case LotVerdict::Meets: {
        QStringList parts;
        if (r.shareRule)
            parts << shareFigures(spec, *r.shareRule, t, locale);
        if (r.meanRule)
            parts << meanFigures(*r.meanRule, t, locale);
        line = fillTemplate(t.LineMeets, {spec.name, parts.join(t.Joiner)});
        break;
    }
    case LotVerdict::NotMet: {
        const QString failed = r.shareRule && !r.shareRule->met
                                   ? shareFigures(spec, *r.shareRule, t, locale)
                                   : meanFigures(*r.meanRule, t, locale);
        line = fillTemplate(t.LineNotMet, {spec.name, failed});
        break;
    }
    }
    if (!r.notNumbers.isEmpty()) {
        QStringList names;
        for (const int p : r.notNumbers)
            names << readingPosition(p);
        line += t.NoteJoiner + fillTemplate(t.NotNumbers, {names.join(QStringLiteral(", "))});
    }
    return line;
}

} // namespace kelotari
