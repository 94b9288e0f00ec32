// The printed certificate as draw calls on a recording canvas.
#include "RecordingCanvas.h"
#include "setup/CertLayout.h"

#include <QtTest>

using namespace kelotari;

namespace {

struct Row {
    int x, y;
    QString text;
};

CalRecord record() {
    CalRecord r;
    r.CertNumber = "97-0412";
    r.slot(1) = -12;
    r.slot(2) = 17;
    r.slot(3) = 0;
    r.slot(4) = 25.9f;       // deviation a hair below zero: "0.00"
    r.slot(5) = 19.93f;      // 19.9, deviation 0.13
    r.slot(6) = NotMeasured; // exponent form
    r.slot(7) = 10.62f;      // 10.6, deviation -0.18
    return r;
}

const QDateTime kNow(QDate(2026, 3, 5), QTime(14, 7, 9));

} // namespace

class TstCalLayout : public QObject {
    Q_OBJECT
private slots:
    void everyRowInItsPlace_data();
    void everyRowInItsPlace();
    void columnsFromThePrintableWidth_data();
    void columnsFromThePrintableWidth();
    void languageForTheSelectedIndex();
    void dateAndTimeUseTheRegionalFormats();
    void failingCanvas_data();
    void failingCanvas();
};

void TstCalLayout::everyRowInItsPlace_data() {
    QTest::addColumn<int>("language");
    QTest::addColumn<QList<QStringList>>("labels"); // row texts at x0 / column headings
    QTest::newRow("English") << int(CertLanguage::English)
                             << QList<QStringList>{
                                    {"Measuring Certificate for Kelotari, Nbr : ",
                                     "Handlers name : ", "Date :     ", "Time :     ",
                                     "Kelotari's internal offsets. (Deviation Max -+ 250)",
                                     "Meter : ", "Meter + Hammer : ", "Hammer short circuited : ",
                                     "Measuring with calibrating resistor"},
                                    {"Comparing value", "Measuring value", "Deviation"}};
    QTest::newRow("Finnish")
        << int(CertLanguage::Finnish)
        << QList<QStringList>{{"Kalibrointip\u00F6yt\u00E4kirja, Kelotari mittarille Nro : ",
                               "K\u00E4sittelij\u00E4n nimi : ", "P\u00E4iv\u00E4ys : ", "Aika : ",
                               "Kelotarin sis\u00E4iset offset-arvot. (Max Poikkeama -+ 250)",
                               "Mittari : ", "Mittari + Vasara : ", "Vasara oikosuljettuna : ",
                               "Mittaus kalibrointivastuksella"},
                              {"Vertailuarvo", "Mitattu arvo", "Poikkeama"}};
}

void TstCalLayout::everyRowInItsPlace() {
    QFETCH(int, language);
    QFETCH(QList<QStringList>, labels);
    const QStringList& l = labels[0];
    const QStringList& head = labels[1];
    RecordingCanvas canvas(4760, 6779, 50);
    const QLocale regional(QLocale::Finnish, QLocale::Finland);
    QVERIFY(printCertificate(canvas, record(), QStringLiteral("Liisa"), CertLanguage(language),
                             kNow, regional));

    // x2 = (4760 - 200) / 2 = 2280, x1 = 1140, x3 = 3420; row k at 200 + 50 k.
    const int x0 = 200, x1 = 1140, x2 = 2280, x3 = 3420;
    auto y = [](int k) { return 200 + 50 * k; };
    // clang-format off
    const QList<Row> expected = {
        {x0, y(0), l[0] + "97-0412"},
        {x0, y(5), l[1]},       {x1, y(5), "Liisa"},
        {x0, y(6), l[2]},       {x1, y(6), "5.3.2026"},
        {x0, y(7), l[3]},       {x1, y(7), "14.07.09"},
        {x0, y(10), l[4]},
        {x0, y(12), l[5]},      {x2, y(12), "-12"},
        {x0, y(14), l[6]},      {x2, y(14), "17"},
        {x0, y(16), l[7]},      {x2, y(16), "0"},
        {x0, y(20), l[8]},
        {x1, y(22), head[0]},   {x2, y(22), head[1]},   {x3, y(22), head[2]},
        {x1, y(24), "25.90"},   {x2, y(24), "25.90"},   {x3, y(24), "0.00"},
        {x1, y(25), "19.80"},   {x2, y(25), "19.90"},   {x3, y(25), "0.13"},
        {x1, y(26), "16.10"},   {x2, y(26), "1E+05"},   {x3, y(26), "1E+05"},
        {x1, y(27), "10.80"},   {x2, y(27), "10.60"},   {x3, y(27), "-0.18"},
    };
    // clang-format on
    const QList<RecordingCanvas::Op> texts = canvas.texts();
    QCOMPARE(texts.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        QCOMPARE(texts[i].text, expected[i].text);
        QCOMPARE(texts[i].x, expected[i].x);
        QCOMPARE(texts[i].y, expected[i].y);
        QCOMPARE(texts[i].page, 0);
    }
    QCOMPARE(canvas.kinds().first(), QStringLiteral("begin"));
    QCOMPARE(canvas.kinds().last(), QStringLiteral("end"));
    QCOMPARE(canvas.kinds().count("newPage"), 0);
    QCOMPARE(canvas.measured, QStringList{"\u00D6g"});
}

void TstCalLayout::columnsFromThePrintableWidth_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("x1");
    QTest::addColumn<int>("x2");
    QTest::addColumn<int>("x3");
    QTest::newRow("A4 at 600 dpi") << 4760 << 1140 << 2280 << 3420;
    QTest::newRow("odd halves round toward zero") << 4803 << 1150 << 2301 << 3451;
    QTest::newRow("letter at 300 dpi") << 2400 << 550 << 1100 << 1650;
}

void TstCalLayout::columnsFromThePrintableWidth() {
    QFETCH(int, width);
    QFETCH(int, x1);
    QFETCH(int, x2);
    QFETCH(int, x3);
    RecordingCanvas canvas(width, 3000, 40);
    QVERIFY(printCertificate(canvas, record(), QString(), CertLanguage::English, kNow));
    const auto texts = canvas.texts();
    // Row 22: the three headings.
    QList<int> xs;
    for (const auto& op : texts)
        if (op.y == 200 + 22 * 40)
            xs << op.x;
    QCOMPARE(xs, (QList<int>{x1, x2, x3}));
    QCOMPARE(certColumns(width).x3, x3);
}

void TstCalLayout::languageForTheSelectedIndex() {
    QCOMPARE(certLanguageForIndex(0), CertLanguage::Finnish);
    QCOMPARE(certLanguageForIndex(1), CertLanguage::English);
    QCOMPARE(certLanguageForIndex(-1), CertLanguage::English);
}

void TstCalLayout::dateAndTimeUseTheRegionalFormats() {
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    QCOMPARE(certDateText(kNow.date(), us), us.toString(kNow.date(), QLocale::ShortFormat));
    const QString t = certTimeText(kNow.time(), us);
    QVERIFY2(t.contains("2:07:09"), qPrintable(t));
    QVERIFY2(!t.endsWith(' '), qPrintable(t));
}

void TstCalLayout::failingCanvas_data() {
    QTest::addColumn<QString>("failAt");
    QTest::addColumn<QStringList>("tail");
    QTest::newRow("begin") << "begin" << QStringList{"begin"};
    QTest::newRow("end: the job is given up") << "end" << QStringList{"end", "abort"};
}

void TstCalLayout::failingCanvas() {
    QFETCH(QString, failAt);
    QFETCH(QStringList, tail);
    RecordingCanvas canvas(4760, 6779, 50);
    canvas.failAt = failAt;
    QVERIFY(!printCertificate(canvas, record(), QString(), CertLanguage::Finnish, kNow));
    QCOMPARE(canvas.kinds().mid(canvas.kinds().size() - tail.size()), tail);
    if (failAt == "begin")
        QVERIFY(canvas.texts().isEmpty());
}

QTEST_APPLESS_MAIN(TstCalLayout)
#include "tst_cal_layout.moc"
