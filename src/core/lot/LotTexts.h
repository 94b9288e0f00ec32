#pragma once
// Texts of the lot check with their English defaults; the language file's section [LotCheck]
// replaces any of them. "%1", "%2", ... stand for the values named beside each text, in any
// order; one left out is simply not shown, and a name or number put in is never read as a
// placeholder again.
#include "lot/LotCheck.h"

#include <QList>
#include <QLocale>
#include <QString>

#include <initializer_list>
#include <utility>

namespace kelotari {

class IniProfile;

struct LotTexts {
    // The ready-made specification's name.
    QString ShippingDryName = QStringLiteral("Shipping dry");

    // A specification in one line, for lists and headings: %1 the name, %2 its rules.
    QString Summary = QStringLiteral("%1: %2");
    // %1 the required share, %2 (%3) the limits.
    QString SummaryAtMost = QStringLiteral("%1 % at or below %2 %");
    QString SummaryAtLeast = QStringLiteral("%1 % at or above %2 %");
    QString SummaryBetween = QStringLiteral("%1 % within %2 to %3 %");
    // %1 the target, %2 the allowed deviation.
    QString SummaryMean = QStringLiteral("mean %1 \u00B1 %2 %");
    QString SummaryTarget = QStringLiteral("target %1 %");

    // The result line: %1 the lot specification's name, %2 the rules' figures.
    QString LineMeets = QStringLiteral("%1: meets, %2");
    QString LineNotMet = QStringLiteral("%1: not met, %2");
    QString LineNoReadings = QStringLiteral("%1: no readings to check");
    QString LineNothingToCheck = QStringLiteral("%1: nothing to check");
    // Joins the figures of two rules, and a line with its note on readings that are not numbers.
    QString Joiner = QStringLiteral(", ");
    QString NoteJoiner = QStringLiteral("; ");
    // %1 the positions, e.g. "Data3, Data7".
    QString NotNumbers = QStringLiteral("not a number: %1");

    // Share rule, met: %1 within, %2 readings, %3 (%4) the limits.
    QString ShareAtMost = QStringLiteral("%1 of %2 at or below %3 %");
    QString ShareAtLeast = QStringLiteral("%1 of %2 at or above %3 %");
    QString ShareBetween = QStringLiteral("%1 of %2 within %3 to %4 %");
    // Share rule, not met: %1 within, %2 readings, %3 their share, %4 (%5) the limits, last
    // the required share.
    QString ShareAtMostFailed = QStringLiteral("%1 of %2 (%3 %) at or below %4 %, %5 % required");
    QString ShareAtLeastFailed = QStringLiteral("%1 of %2 (%3 %) at or above %4 %, %5 % required");
    QString ShareBetweenFailed = QStringLiteral("%1 of %2 (%3 %) within %4 to %5 %, %6 % required");
    // Mean rule: %1 the mean, %2 the target, %3 the allowed deviation.
    QString Mean = QStringLiteral("mean %1 %, target %2 \u00B1 %3 %");
    QString MeanFailed = QStringLiteral("mean %1 %, %2 \u00B1 %3 % required");

    // Captions of the lot specification's fields, also the dialog's labels.
    QString FieldName = QStringLiteral("Name");
    QString FieldTarget = QStringLiteral("Target moisture (%)");
    QString FieldDeviation = QStringLiteral("Allowed deviation of the mean (\u00B1 %)");
    QString FieldLower = QStringLiteral("Lower limit of a reading (%)");
    QString FieldUpper = QStringLiteral("Upper limit of a reading (%)");
    QString FieldShare = QStringLiteral("Required share within the limits (%)");

    // Input messages. %1 a field's caption, or the number named.
    QString MsgNameEmpty = QStringLiteral("Give this lot specification a name.");
    QString MsgNameTooLong = QStringLiteral("The name is longer than %1 characters.");
    QString MsgNameTaken = QStringLiteral("Another specification has this name.");
    QString MsgNotANumber =
        QStringLiteral("%1: type a number from 0 to 100 with at most one decimal.");
    QString MsgOutOfRange = QStringLiteral("%1: type a number from 0 to 100.");
    QString MsgLowerAboveUpper = QStringLiteral("The lower limit is above the upper limit.");
    QString MsgShareMissing =
        QStringLiteral("Give the share of readings that must be within the limits.");
    QString MsgShareWithoutLimit =
        QStringLiteral("A required share needs a lower or an upper limit.");
    QString MsgDeviationWithoutTarget =
        QStringLiteral("An allowed deviation of the mean needs a target moisture.");
    QString MsgTooMany = QStringLiteral("At most %1 specifications can be kept.");
};

// Reads section [LotCheck]; missing keys keep their defaults, present empty keys give "".
LotTexts readLotTexts(const IniProfile& lang);
// Every text with its key in the language file, in the order of the struct.
QList<std::pair<QString, QString>> lotTextEntries(const LotTexts& texts);

// Puts args[n - 1] where the text says %n (n = 1..9), in one pass; a %n without its value
// stays as it is.
QString fillTemplate(const QString& text, std::initializer_list<QString> args);

// "Data1".."Data30": a reading's position as the grid heads it.
QString readingPosition(int position);

// Numbers as the texts show them, with the locale's decimal separator and no grouping.
// A limit, target or deviation: one decimal ("24.0"). A required share: whole when it is
// ("97", "97.5"). A figure: its own decimals. A reading: at least one decimal, then as many as
// it has ("12.7", "24.05").
QString limitText(int tenths, const QLocale& locale);
QString shareText(int tenths, const QLocale& locale);
QString figureText(const LotFigure& figure, const QLocale& locale);
QString readingText(const ReadingValue& value, const QLocale& locale);

// The lot specification in one line, numbers as they would be typed: "Shipping dry: 97 % at or
// below 24 %". The share rule first, then the target; a specification with neither is its name.
QString lotSpecSummary(const LotSpec& spec, const LotTexts& texts,
                       const QLocale& locale = QLocale::system());

// The one line under the chart: the verdict with the figures of every rule when it is met,
// or of the first rule not met (the share rule comes first); readings that are not numbers
// are named after it.
QString lotResultLine(const LotSpec& spec, const LotResult& result, const LotTexts& texts,
                      const QLocale& locale = QLocale::system());

} // namespace kelotari
