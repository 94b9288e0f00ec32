#pragma once
// The printed calibration certificate: one portrait page of draw calls on a page canvas, in
// Finnish or English. Positions are in the printer's dots from the top-left of the printable
// area.
#include "print/PageCanvas.h"
#include "setup/CalRecord.h"

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace kelotari {

enum class CertLanguage { Finnish, English };

// The certificate language for the selected index of the language group: 0 is Finnish;
// 1 and -1 (nothing selected) are English.
CertLanguage certLanguageForIndex(int selectedIndex);

// Shown when a certificate cannot be printed (the language file has no key for it).
inline const QString kCertPrintFailureText =
    QStringLiteral("Some printing problem occur.\rCheck printer,cables,etc. and try again.");

struct CertPrintTexts {
    QString title, handler, date, time, offsets, meter, meterHammer, shortCircuit, resistor,
        comparing, measuring, deviation;
};
const CertPrintTexts& certPrintTexts(CertLanguage language);

// The columns of the page: x0 left margin, x1..x3 from the printable width.
struct CertColumns {
    int x0 = 200, x1 = 0, x2 = 0, x3 = 0;
};
CertColumns certColumns(int pageWidth);

// The date and time as the certificate shows them: the regional short date and long time
// (without a time-zone name).
QString certDateText(const QDate& date, const QLocale& regional);
QString certTimeText(const QTime& time, const QLocale& regional);

// Deviation of a reading slot (4..7) from its reference value, in extended precision.
long double certDeviation(float reading, int slot);

// Draws the certificate; begin and end the document. False when the canvas failed (a document
// that failed after its begin is aborted).
bool printCertificate(PageCanvas& canvas, const CalRecord& record, const QString& handlerName,
                      CertLanguage language, const QDateTime& now,
                      const QLocale& regional = QLocale::system());

} // namespace kelotari
