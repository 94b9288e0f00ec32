#pragma once
// Captions of the setup dialog and the texts it holds for the calibration test and the
// certificate, with their English defaults; section [Setup] of a language file replaces any
// of them. A "%" in these texts stays a "%" (only the main window's messages break lines).
#include <QChar>
#include <QString>
#include <QStringList>

namespace kelotari {

class IniProfile;

struct SetupTexts {
    // Captions, in the order the language file is read.
    QString DL1_file = QStringLiteral("Packetfiles path");
    QString DL1_cp = QStringLiteral("Com port");
    QString DL1_pr = QStringLiteral("Printer port");
    QString DL1_inf = QStringLiteral("Information");
    QString Probe = QStringLiteral("Kelotari's info");
    QString Next = QStringLiteral("Next");
    QString Cert = QStringLiteral("Certification");
    QString makecert = QStringLiteral("Make Certificate test");
    QString handler = QStringLiteral("Handlers name");
    QString Lang = QStringLiteral("Select Certificate language");
    QString Lang_su = QStringLiteral("Finnish");
    QString Lang_en = QStringLiteral("English");
    QString Save = QStringLiteral("Save As");
    QString Load = QStringLiteral("Load");
    QString Print = QStringLiteral("Print document");

    // The held texts: prompts and results of the calibration test and the certificate.
    QString StepText1 = QStringLiteral("1.Unplug measuring hammer from kelotari and press Next");
    QString StepText2 = QStringLiteral("2.Connect hammer,let needles to be free and press Next");
    QString StepText3 = QStringLiteral("3.Close hammer to short circuit and press Next");
    QString StepText4 = QStringLiteral(
        "4.Set kelotari to measuring mode (Kuusi 20'C) and put hammer needles to calibrating "
        "resistors pack tags 25.9 and press Next");
    QString StepText5 = QStringLiteral(
        "5.Set kelotari to measuring mode (Kuusi 20'C) and put hammer needles to calibrating "
        "resistors pack tags 19.8 and press Next");
    QString StepText6 = QStringLiteral(
        "6.Set kelotari to measuring mode (Kuusi 20'C) and put hammer needles to calibrating "
        "resistors pack tags 16.1 and press Next");
    QString StepText7 = QStringLiteral(
        "7.Set kelotari to measuring mode (Kuusi 20'C) and put hammer needles to calibrating "
        "resistors pack tags 10.8 and press Next");
    QString DoneText = QStringLiteral("DONE. Now it's ready to saving or printing.");
    QString FailText = QStringLiteral("Result Failed. Return kelotari it's deliverer.");
    QString ResultLabel = QStringLiteral("Result :");
    QString PrintingText = QStringLiteral("Now printing...");
    QString CertTimeoutText = QStringLiteral("Timeout happened. Now exiting.");

    // StepText1..StepText7 by number (1..7); empty for any other number.
    QString stepText(int step) const;
};

// Reads section [Setup]; a missing key keeps its default, a present empty key gives "".
SetupTexts readSetupTexts(const IniProfile& lang);

// The seven lines the information button shows. None comes from the language file.
QStringList programInformation();

// The number form of the calibration lines, the meter's readings and the certificate: the
// Finnish conventions with "." as the decimal separator and no digit grouping, whatever the
// user's regional settings.
struct NumberFormat {
    QChar decimalSeparator;
    QChar negativeSign;
    QChar exponent;
    bool grouping = false;

    // value in the form of QString::number (format 'g', 'f' or 'e', precision), with this
    // record's separator and signs.
    QString toText(double value, char format = 'g', int precision = 15) const;
    // A decimal number: optional blanks around it, sign, digits with at most one decimal
    // separator, an optional exponent. No grouping, no "inf" or "nan". False when the text is
    // not such a number.
    bool toDouble(const QString& text, double* out) const;
};

NumberFormat CertNumberFormat();

} // namespace kelotari
