#include "lot/LotSpecStore.h"

#include "ini/IniProfile.h"
#include "lot/LotSpecInput.h"

#include <QStringList>

namespace kelotari {
namespace {

QString section() {
    return QLatin1String(kLotSection);
}

QString specKey(int n) {
    return QStringLiteral("Spec%1").arg(n);
}

bool needsEscape(QChar c, bool atEnd) {
    const char16_t u = c.unicode();
    return u < 0x20 || u == 0x7F || u == '\\' || u == ';' || u == '"' || u == '\'' ||
           (atEnd && u == ' ');
}

QString escapeName(const QString& name) {
    QString out;
    out.reserve(name.size());
    for (int i = 0; i < name.size(); ++i) {
        const QChar c = name[i];
        if (needsEscape(c, i == 0 || i == name.size() - 1))
            out += QStringLiteral("\\%1").arg(int(c.unicode()), 2, 16, QLatin1Char('0')).toUpper();
        else
            out += c;
    }
    return out;
}

int hexValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    return -1;
}

// A backslash not followed by two hexadecimal digits stays as it is.
QString unescapeName(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('\\') && i + 2 < text.size()) {
            const int hi = hexValue(text[i + 1]), lo = hexValue(text[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out += QChar(char16_t(hi * 16 + lo));
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

// The default for a key that is missing: longer than any value the profile gives (it cuts them
// at kMaxValueLength), so one look-up tells a missing key from a present one.
const QString& absent() {
    static const QString text(IniProfile::kMaxValueLength + 1, QLatin1Char('-'));
    return text;
}

// Count and Current: a whole number from 0; anything else gives nothing.
std::optional<int> storedCount(const QString& text) {
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    if (!ok || v < 0)
        return std::nullopt;
    return v;
}

} // namespace

QString encodeLotSpec(const LotSpec& spec) {
    QStringList fields;
    fields << QStringLiteral("name=") + escapeName(spec.name.left(kMaxLotSpecNameLength));
    auto number = [&fields](const char* label, const std::optional<int>& v) {
        if (v)
            fields << QLatin1String(label) + QLatin1Char('=') + tenthsToPlainText(*v);
    };
    number("target", spec.target);
    number("deviation", spec.deviation);
    number("lower", spec.lower);
    number("upper", spec.upper);
    number("share", spec.share);
    return fields.join(QLatin1Char(';'));
}

std::optional<LotSpec> decodeLotSpec(const QString& value) {
    LotSpec spec;
    bool named = false;
    QStringList seen;
    for (const QString& field : value.split(QLatin1Char(';'))) {
        if (field.trimmed().isEmpty())
            continue;
        const int eq = field.indexOf(QLatin1Char('='));
        if (eq < 0)
            return std::nullopt;
        const QString label = field.left(eq).trimmed().toLower();
        const QString text = field.mid(eq + 1);
        if (seen.contains(label))
            return std::nullopt;
        seen << label;
        std::optional<int>* into = nullptr;
        if (label == QLatin1String("name")) {
            spec.name = unescapeName(text);
            named = true;
            continue;
        } else if (label == QLatin1String("target"))
            into = &spec.target;
        else if (label == QLatin1String("deviation"))
            into = &spec.deviation;
        else if (label == QLatin1String("lower"))
            into = &spec.lower;
        else if (label == QLatin1String("upper"))
            into = &spec.upper;
        else if (label == QLatin1String("share"))
            into = &spec.share;
        else
            continue; // a field of a later version of the program
        *into = parsePercentTenths(text);
        if (!*into)
            return std::nullopt;
    }
    if (!named || firstFault(spec))
        return std::nullopt;
    return spec;
}

LotSpecsRead readLotSpecs(const IniProfile& settings, const QString& readyMadeName) {
    LotSpecsRead r;
    const QString sec = section();
    r.present =
        settings.contains(sec, QStringLiteral("Count")) || settings.contains(sec, specKey(1));
    if (!r.present) {
        r.list.specs << shippingDrySpec(readyMadeName);
        return r;
    }
    const std::optional<int> count =
        storedCount(settings.readString(sec, QStringLiteral("Count"), QString()));
    const int last = count ? qMin(*count, kMaxLotSpecs) : kMaxLotSpecs;
    const std::optional<int> current =
        storedCount(settings.readString(sec, QStringLiteral("Current"), QString()));
    for (int n = 1; n <= last; ++n) {
        const QString key = specKey(n);
        const QString value = settings.readString(sec, key, absent());
        if (value.size() > IniProfile::kMaxValueLength) {
            if (!count)
                break; // without a sound Count, the list ends at the first missing key
            ++r.dropped;
            continue;
        }
        // A value as long as the reader takes may have been cut.
        const std::optional<LotSpec> spec =
            value.size() >= IniProfile::kMaxValueLength ? std::nullopt : decodeLotSpec(value);
        if (!spec) {
            ++r.dropped;
            continue;
        }
        if (current && *current == n)
            r.list.current = static_cast<int>(r.list.specs.size());
        r.list.specs << *spec;
    }
    return r;
}

void writeLotSpecs(IniProfile& settings, const LotSpecList& list) {
    const QString sec = section();
    const int n = qMin(static_cast<int>(list.specs.size()), kMaxLotSpecs);
    const int current = list.current >= 0 && list.current < n ? list.current + 1 : 0;
    settings.writeString(sec, QStringLiteral("Count"), QString::number(n));
    settings.writeString(sec, QStringLiteral("Current"), QString::number(current));
    for (int i = 0; i < n; ++i)
        settings.writeString(sec, specKey(i + 1), encodeLotSpec(list.specs[i]));
    // The profile keeps every key; those of a longer list written before are emptied.
    for (int k = n + 1;; ++k) {
        const QString stale = settings.readString(sec, specKey(k), absent());
        if (stale.size() > IniProfile::kMaxValueLength)
            break;
        if (!stale.isEmpty())
            settings.writeString(sec, specKey(k), QString());
    }
}

} // namespace kelotari
