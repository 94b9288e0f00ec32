#pragma once
// The calibration record the setup dialog holds for its whole life: the test fills it, the
// certificate saves, loads and prints it.
#include <QByteArray>
#include <QString>

#include <array>

namespace kelotari {

// A CalResult slot not yet measured.
constexpr float NotMeasured = 100000.0f;

// The four reference resistor values of the resistor pack, for slots 4 to 7.
constexpr std::array<long double, 4> kReferenceValues = {25.9L, 19.8L, 16.1L, 10.8L};

struct CalRecord {
    // The eight values of the latest "O" reply; index 1..8 (element 0 unused).
    std::array<qint32, 9> OffsetRaw{};
    // The test's results, index 1..7 (element 0 unused): three offsets, four readings.
    std::array<float, 8> CalResult{};
    // The meter's serial number as its "S" reply gave it (the time-out marker when it was
    // silent): the certificate number.
    QByteArray CertNumber;

    CalRecord() { CalResult.fill(NotMeasured); }

    float& slot(int k) { return CalResult[static_cast<size_t>(k)]; }
    float slot(int k) const { return CalResult[static_cast<size_t>(k)]; }
    qint32 raw(int i) const { return OffsetRaw[static_cast<size_t>(i)]; }
};

// The twelve texts of the setup dialog that the test and the certificate show; the dialog
// fills them from its language file on every opening. Defaults are the built-in English ones.
struct CalTexts {
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
    const QString& stepText(int step) const;
};

} // namespace kelotari
