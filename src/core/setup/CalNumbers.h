#pragma once
// The number texts of the calibration test and its certificate. All of them are pure: no
// locale is consulted except where a separator is passed in, so the screen lines, the printout
// and the meter's replies read the same on every machine.
#include <QByteArray>
#include <QChar>
#include <QLocale>
#include <QString>

#include <optional>

namespace kelotari {

// A reading or deviation with exactly two decimals, rounded once to three significant digits
// or to two decimals, whichever leaves fewer digits after the point (25.93 -> "25.90",
// 9.876 -> "9.88"). A value that rounds to 1000 or more in magnitude is written in the general
// form with three significant digits and an exponent of at least two digits ("1E+05").
// A value that rounds to zero is "0.00", never "-0.00". Ties round away from zero.
QString twoDecimalForm(long double value, QChar decimalPoint = QLatin1Char('.'));

// The general form with up to `precision` significant digits and no trailing zeros; an
// exponent ("E+15", "E-07") once the value needs more than `precision` digits before the point
// or is below 0.00001. Zero of either sign is "0". `decimalPoint` separates the fraction.
QString generalForm(long double value, int precision = 15, int minExponentDigits = 0,
                    QChar decimalPoint = QLatin1Char('.'));

// A decimal number with the given separator: optional blanks, sign, digits with at most one
// separator, optional exponent (E or e, sign, digits), optional blanks. No grouping, no
// "nan" or "inf", nothing else. A value beyond the range of a single-precision float does not
// convert. The result is the value rounded to single precision.
std::optional<float> parseDecimal(const QByteArray& text, char decimalPoint = '.');

// A decimal signed 32-bit integer: optional blanks, sign, digits, optional blanks.
std::optional<qint32> parseInt32(const QByteArray& text);

// The number form the calibration test and its certificate turn values into text and back
// with: one record, and these routines behind it. Its separator is the only thing that varies.
struct NumberFormat {
    char decimalSeparator = '.';
    char negativeSign = '-'; // as the meter sends it, never a typographic minus
    char exponent = 'E';
    bool grouping = false; // digits are never grouped

    QString general(long double value, int precision = 15, int minExponentDigits = 0) const {
        return generalForm(value, precision, minExponentDigits, QLatin1Char(decimalSeparator));
    }
    QString twoDecimals(long double value) const {
        return twoDecimalForm(value, QLatin1Char(decimalSeparator));
    }
    std::optional<float> parse(const QByteArray& text) const {
        return parseDecimal(text, decimalSeparator);
    }
};

// The Finnish conventions with "." as the decimal separator and no grouping, whatever the
// user's regional settings: the screen lines, the meter's readings and the printed
// certificate.
NumberFormat CertNumberFormat();

// The same form with the regional decimal separator (the certificate file), "." where that
// separator is not a single printable ASCII character.
NumberFormat regionalNumberFormat(const QLocale& regional);

} // namespace kelotari
