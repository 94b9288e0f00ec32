#include "setup/CalNumbers.h"

#include <cmath>
#include <limits>

namespace kelotari {

namespace {

// A finite non-zero value as decimal digits: value = 0.d1d2d3... x 10^(exponent + 1), that is
// d1 stands at 10^exponent.
struct Digits {
    bool negative = false;
    QByteArray digits; // no leading zero; may be empty for zero
    int exponent = 0;
};

// Seventeen significant digits of the value (enough to tell every double apart), from which
// the shorter forms are rounded.
Digits decompose(long double value) {
    Digits d;
    d.negative = std::signbit(value);
    const QByteArray e = QByteArray::number(static_cast<double>(std::fabs(value)), 'e', 16);
    const int ePos = static_cast<int>(e.indexOf('e'));
    for (int i = 0; i < ePos; ++i)
        if (e[i] >= '0' && e[i] <= '9')
            d.digits += e[i];
    d.exponent = e.mid(ePos + 1).toInt();
    return d;
}

// Keeps `keep` significant digits (keep may be zero or less: the value is then rounded to a
// position left of its first digit), ties away from zero. Empty digits mean zero.
Digits roundTo(Digits d, int keep) {
    if (keep <= 0) {
        const bool up = keep == 0 && !d.digits.isEmpty() && d.digits[0] >= '5';
        d.digits = up ? QByteArray("1") : QByteArray();
        d.exponent += 1;
        return d;
    }
    if (d.digits.size() <= keep)
        return d;
    const bool up = d.digits[keep] >= '5';
    d.digits.truncate(keep);
    if (up) {
        int i = keep - 1;
        while (i >= 0 && d.digits[i] == '9') {
            d.digits[i] = '0';
            --i;
        }
        if (i < 0) {
            d.digits.prepend('1');
            d.digits.truncate(keep);
            d.exponent += 1;
        } else {
            d.digits[i] = static_cast<char>(d.digits[i] + 1);
        }
    }
    return d;
}

bool isZero(const Digits& d) {
    for (char c : d.digits)
        if (c != '0')
            return false;
    return true;
}

void stripTrailingZeros(Digits& d) {
    while (d.digits.size() > 1 && d.digits.endsWith('0'))
        d.digits.chop(1);
}

QString nonFinite(long double value) {
    if (std::isnan(value))
        return QStringLiteral("NAN");
    return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
}

// Digit `i` of the rounded value counted from its first digit, '0' past the end.
char digitAt(const Digits& d, int i) {
    return i >= 0 && i < d.digits.size() ? d.digits[i] : '0';
}

bool isBlank(char c) {
    return c == ' ';
}

// The span [*begin, *end) of text without its leading and trailing blanks.
void blankTrimmed(const QByteArray& text, int* begin, int* end) {
    int i = 0;
    int e = static_cast<int>(text.size());
    while (i < e && isBlank(text[i]))
        ++i;
    while (e > i && isBlank(text[e - 1]))
        --e;
    *begin = i;
    *end = e;
}

} // namespace

QString generalForm(long double value, int precision, int minExponentDigits, QChar decimalPoint) {
    if (!std::isfinite(value))
        return nonFinite(value);
    if (value == 0)
        return QStringLiteral("0");
    Digits d = roundTo(decompose(value), precision);
    if (isZero(d))
        return QStringLiteral("0");
    stripTrailingZeros(d);
    QString out;
    if (d.negative)
        out += QLatin1Char('-');
    const int n = static_cast<int>(d.digits.size());
    if (d.exponent >= precision || d.exponent < -5) {
        out += QLatin1Char(d.digits[0]);
        if (n > 1) {
            out += decimalPoint;
            out += QString::fromLatin1(d.digits.mid(1));
        }
        out += QLatin1Char('E');
        out += d.exponent < 0 ? QLatin1Char('-') : QLatin1Char('+');
        out +=
            QStringLiteral("%1").arg(std::abs(d.exponent), minExponentDigits, 10, QLatin1Char('0'));
        return out;
    }
    if (d.exponent >= 0) {
        for (int i = 0; i <= d.exponent; ++i)
            out += QLatin1Char(digitAt(d, i));
        if (n > d.exponent + 1) {
            out += decimalPoint;
            out += QString::fromLatin1(d.digits.mid(d.exponent + 1));
        }
    } else {
        out += QLatin1Char('0');
        out += decimalPoint;
        out += QString(-d.exponent - 1, QLatin1Char('0'));
        out += QString::fromLatin1(d.digits);
    }
    return out;
}

QString twoDecimalForm(long double value, QChar decimalPoint) {
    if (!std::isfinite(value))
        return nonFinite(value);
    if (value == 0)
        return QStringLiteral("0") + decimalPoint + QStringLiteral("00");
    const Digits exact = decompose(value);
    const int decimals = std::min(2, 2 - exact.exponent);
    const Digits d = roundTo(exact, exact.exponent + 1 + decimals);
    if (isZero(d))
        return QStringLiteral("0") + decimalPoint + QStringLiteral("00");
    if (d.exponent >= 3)
        return generalForm(value, 3, 2, decimalPoint);
    QString out;
    if (d.negative)
        out += QLatin1Char('-');
    // Integer part: the digits standing at 10^exponent .. 10^0.
    if (d.exponent < 0) {
        out += QLatin1Char('0');
    } else {
        for (int i = 0; i <= d.exponent; ++i)
            out += QLatin1Char(digitAt(d, i));
    }
    out += decimalPoint;
    // Fraction: the digits standing at 10^-1 and 10^-2.
    for (int p = -1; p >= -2; --p)
        out += QLatin1Char(digitAt(d, d.exponent - p));
    return out;
}

std::optional<float> parseDecimal(const QByteArray& text, char decimalPoint) {
    int i = 0, end = 0;
    blankTrimmed(text, &i, &end);
    QByteArray plain; // the same number in the form QByteArray::toDouble reads
    if (i < end && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-')
            plain += '-';
        ++i;
    }
    QByteArray whole, fraction;
    while (i < end && text[i] >= '0' && text[i] <= '9')
        whole += text[i++];
    if (i < end && text[i] == decimalPoint) {
        ++i;
        while (i < end && text[i] >= '0' && text[i] <= '9')
            fraction += text[i++];
    }
    if (whole.isEmpty() && fraction.isEmpty())
        return std::nullopt;
    plain += whole.isEmpty() ? QByteArray("0") : whole;
    if (!fraction.isEmpty())
        plain += '.' + fraction;
    if (i < end && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        QByteArray exponent = "e";
        if (i < end && (text[i] == '+' || text[i] == '-'))
            exponent += text[i++];
        const int first = i;
        while (i < end && text[i] >= '0' && text[i] <= '9')
            exponent += text[i++];
        if (i == first)
            return std::nullopt;
        plain += exponent;
    }
    if (i != end)
        return std::nullopt;
    bool ok = false;
    const double value = plain.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    // Beyond the largest float by less than half a step still rounds to it; further is no
    // single-precision number.
    constexpr double kLargest = std::numeric_limits<float>::max();
    constexpr double kHalfStep = 0x1p103; // half the spacing of floats at the top of the range
    if (std::fabs(value) > kLargest) {
        if (std::fabs(value) >= kLargest + kHalfStep)
            return std::nullopt;
        return static_cast<float>(value < 0 ? -kLargest : kLargest);
    }
    return static_cast<float>(value);
}

std::optional<qint32> parseInt32(const QByteArray& text) {
    int i = 0, end = 0;
    blankTrimmed(text, &i, &end);
    bool negative = false;
    if (i < end && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    if (i == end)
        return std::nullopt;
    qint64 value = 0;
    for (; i < end; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
        value = value * 10 + (text[i] - '0');
        if (value > qint64(std::numeric_limits<qint32>::max()) + 1)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value < std::numeric_limits<qint32>::min() || value > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return static_cast<qint32>(value);
}

NumberFormat CertNumberFormat() {
    return NumberFormat{};
}

NumberFormat regionalNumberFormat(const QLocale& regional) {
    NumberFormat f;
    const QString dp = regional.decimalPoint();
    if (dp.size() == 1 && dp[0].unicode() > 0x20 && dp[0].unicode() < 0x7F)
        f.decimalSeparator = static_cast<char>(dp[0].unicode());
    return f;
}

} // namespace kelotari
