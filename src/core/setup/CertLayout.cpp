#include "setup/CertLayout.h"

#include "print/PacketReports.h"
#include "setup/CalNumbers.h"
#include "text/Codec.h"

namespace kelotari {

namespace {

constexpr int kMargin = 200;

const CertPrintTexts kEnglish{
    QStringLiteral("Measuring Certificate for Kelotari, Nbr : "),
    QStringLiteral("Handlers name : "),
    QStringLiteral("Date :     "),
    QStringLiteral("Time :     "),
    QStringLiteral("Kelotari's internal offsets. (Deviation Max -+ 250)"),
    QStringLiteral("Meter : "),
    QStringLiteral("Meter + Hammer : "),
    QStringLiteral("Hammer short circuited : "),
    QStringLiteral("Measuring with calibrating resistor"),
    QStringLiteral("Comparing value"),
    QStringLiteral("Measuring value"),
    QStringLiteral("Deviation"),
};

const CertPrintTexts kFinnish{
    QStringLiteral("Kalibrointip\u00F6yt\u00E4kirja, Kelotari mittarille Nro : "),
    QStringLiteral("K\u00E4sittelij\u00E4n nimi : "),
    QStringLiteral("P\u00E4iv\u00E4ys : "),
    QStringLiteral("Aika : "),
    QStringLiteral("Kelotarin sis\u00E4iset offset-arvot. (Max Poikkeama -+ 250)"),
    QStringLiteral("Mittari : "),
    QStringLiteral("Mittari + Vasara : "),
    QStringLiteral("Vasara oikosuljettuna : "),
    QStringLiteral("Mittaus kalibrointivastuksella"),
    QStringLiteral("Vertailuarvo"),
    QStringLiteral("Mitattu arvo"),
    QStringLiteral("Poikkeama"),
};

const char* const kReferenceTexts[4] = {"25.90", "19.80", "16.10", "10.80"};

// A regional time format without its time-zone part ("t", with the blank before it).
QString withoutZone(QString format) {
    QString out;
    bool quoted = false;
    for (int i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('t'))
            continue;
        out += c;
    }
    return out.trimmed();
}

} // namespace

CertLanguage certLanguageForIndex(int selectedIndex) {
    return selectedIndex == 0 ? CertLanguage::Finnish : CertLanguage::English;
}

const CertPrintTexts& certPrintTexts(CertLanguage language) {
    return language == CertLanguage::Finnish ? kFinnish : kEnglish;
}

CertColumns certColumns(int pageWidth) {
    CertColumns c;
    c.x0 = kMargin;
    c.x2 = (pageWidth - kMargin) / 2;
    c.x1 = c.x2 / 2;
    c.x3 = c.x2 + c.x1;
    return c;
}

QString certDateText(const QDate& date, const QLocale& regional) {
    return regional.toString(date, QLocale::ShortFormat);
}

QString certTimeText(const QTime& time, const QLocale& regional) {
    return regional.toString(time, withoutZone(regional.timeFormat(QLocale::LongFormat)));
}

long double certDeviation(float reading, int slot) {
    return static_cast<long double>(reading) - kReferenceValues[static_cast<size_t>(slot - 4)];
}

bool printCertificate(PageCanvas& canvas, const CalRecord& record, const QString& handlerName,
                      CertLanguage language, const QDateTime& now, const QLocale& regional) {
    const CertPrintTexts& t = certPrintTexts(language);
    const CertColumns c = certColumns(canvas.pageWidth());
    const int y0 = kMargin;
    const int h = canvas.textHeight(kLineHeightSample);
    auto row = [&](int k) { return y0 + k * h; };

    if (!canvas.beginDocument())
        return false;
    canvas.drawText(c.x0, row(0), t.title + fromCp1252(record.CertNumber));
    canvas.drawText(c.x0, row(5), t.handler);
    canvas.drawText(c.x1, row(5), handlerName);
    canvas.drawText(c.x0, row(6), t.date);
    canvas.drawText(c.x1, row(6), certDateText(now.date(), regional));
    canvas.drawText(c.x0, row(7), t.time);
    canvas.drawText(c.x1, row(7), certTimeText(now.time(), regional));
    canvas.drawText(c.x0, row(10), t.offsets);
    const QString* offsetLabels[3] = {&t.meter, &t.meterHammer, &t.shortCircuit};
    for (int k = 1; k <= 3; ++k) {
        canvas.drawText(c.x0, row(10 + 2 * k), *offsetLabels[k - 1]);
        canvas.drawText(c.x2, row(10 + 2 * k), generalForm(record.slot(k)));
    }
    canvas.drawText(c.x0, row(20), t.resistor);
    canvas.drawText(c.x1, row(22), t.comparing);
    canvas.drawText(c.x2, row(22), t.measuring);
    canvas.drawText(c.x3, row(22), t.deviation);
    for (int k = 4; k <= 7; ++k) {
        const int y = row(20 + k);
        canvas.drawText(c.x1, y, QLatin1String(kReferenceTexts[k - 4]));
        canvas.drawText(c.x2, y, twoDecimalForm(record.slot(k)));
        canvas.drawText(c.x3, y, twoDecimalForm(certDeviation(record.slot(k), k)));
    }
    if (!canvas.endDocument()) {
        canvas.abortDocument();
        return false;
    }
    return true;
}

} // namespace kelotari
