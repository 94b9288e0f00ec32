#pragma once
// The input rules of the lot specification dialog, as one pure function: the fields as typed in,
// a whole specification or the list of what is wrong out, never a half-made specification.
#include "lot/LotTexts.h"

#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <optional>

namespace kelotari {

// The dialog's fields as typed. An empty (or all blank) number field is "not given".
struct LotSpecInput {
    QString name;
    QString target;
    QString deviation;
    QString lower;
    QString upper;
    QString share;
};

enum class LotField { Name, Target, Deviation, Lower, Upper, Share };

struct LotInputMessage {
    LotField field; // where the dialog puts the focus
    QString text;
};

struct LotInputResult {
    std::optional<LotSpec> spec; // only when there is no message
    QList<LotInputMessage> messages;
};

// A percentage as typed: digits, then optionally the decimal separator and one digit, with
// blanks and one "%" sign around it allowed. Both "." and "," are taken as the separator,
// whatever the locale: percentages of 0..100 never need a group separator, so either can
// only mean a decimal. Gives tenths, or nothing for any other text.
std::optional<int> parsePercentTenths(const QString& typed);

// Checks every field: numbers as above within 0..100, lower limit not above the upper, a
// share exactly when there is a limit, a deviation only with a target, a name that is not
// blank, at most 500 characters and not one of otherNames (compared without regard to case
// and surrounding blanks). The name is kept without its surrounding blanks. One message per
// fault, in the order of the fields.
LotInputResult checkLotSpecInput(const LotSpecInput& input, const LotTexts& texts,
                                 const QStringList& otherNames = {});

// The fields of a specification as the dialog shows them for editing, in the locale's form.
LotSpecInput lotSpecFields(const LotSpec& spec, const QLocale& locale = QLocale::system());

} // namespace kelotari
