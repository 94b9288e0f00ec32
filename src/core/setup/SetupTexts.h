#pragma once
// Captions of the setup dialog and the texts it holds for the calibration test and the
// certificate, with their English defaults; section [Setup] of a language file replaces any
// of them. A "%" in these texts stays a "%" (only the main window's messages break lines).
#include "setup/CalRecord.h"

#include <QChar>
#include <QString>
#include <QStringList>

namespace kelotari {

class IniProfile;

// The held texts (prompts and results of the calibration test and the certificate) are the
// calibration's own texts, inherited.
struct SetupTexts : CalTexts {
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
};

// Reads section [Setup]; a missing key keeps its default, a present empty key gives "".
SetupTexts readSetupTexts(const IniProfile& lang);

// The seven lines the information button shows. None comes from the language file.
QStringList programInformation();

} // namespace kelotari
