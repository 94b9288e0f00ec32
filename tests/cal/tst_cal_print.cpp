// The certificate printed to PDF and read back with poppler; Next pressed while the test is
// busy; and the whole test against the simulated meter over a pseudo-terminal, then Save As,
// Load and Print in both languages.
#include "CertPrinter.h"
#include "ComPort.h"
#include "PdfText.h"
#include "QtMeterLink.h"
#include "RecordingView.h"
#include "SampleCertificate.h"
#include "ScriptedDialogs.h"
#include "SimProcess.h"
#include "WriteLimit.h"
#include "setup/CalibrationTest.h"
#include "setup/CertFile.h"

#include <QMouseEvent>
#include <QPrinterInfo>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <optional>

using namespace kelotari;

namespace {

const QString kName = QStringLiteral("Liisa Lehtim\u00E4ki");

PdfWord find(const QList<PdfWord>& words, const QString& text, int nth = 0) {
    for (const PdfWord& w : words)
        if (w.text == text && nth-- == 0)
            return w;
    qWarning() << "no word" << text;
    return PdfWord{-1, -1, -1, QString()};
}

CertPrintJob pdfJob(const QString& dataPath) {
    CertPrintJob job;
    job.printerName = QStringLiteral("PDF");
    job.fontFace = QStringLiteral("MS Sans Serif");
    job.dataPath = dataPath;
    job.dialogTitle = QStringLiteral("Print document");
    job.fileExistsMsg = QStringLiteral("File already exist!\rWrite anyway ?");
    job.handlerName = kName;
    job.now = QDateTime(QDate(2026, 3, 5), QTime(14, 7, 9));
    return job;
}

// What a printed certificate must show, read back from its PDF.
void checkPdf(const QString& pdf, CertLanguage language, const QStringList& deviations,
              const QString& certNumber) {
    // The font's ligatures (fi, ff) come back as single characters: compare letters.
    const QString text = pdfText(pdf).normalized(QString::NormalizationForm_KC);
    const QString title = language == CertLanguage::Finnish
                              ? QStringLiteral("Kalibrointip\u00F6yt\u00E4kirja, Kelotari "
                                               "mittarille Nro : ")
                              : QStringLiteral("Measuring Certificate for Kelotari, Nbr : ");
    QVERIFY2(text.contains(title + certNumber), qPrintable(text));
    QVERIFY2(text.contains(kName), qPrintable(text));
    if (language == CertLanguage::Finnish) {
        QVERIFY(text.contains(QStringLiteral("K\u00E4sittelij\u00E4n nimi")));
        QVERIFY(text.contains(QStringLiteral("Kelotarin sis\u00E4iset offset-arvot.")));
    }
    int pages = 0;
    const QList<PdfWord> words = pdfWords(pdf, &pages);
    QCOMPARE(pages, 1);
    // The four rows of the resistor table: reference, reading, deviation left to right, each
    // row below the one before, all below the title.
    const QStringList refs = {"25.90", "19.80", "16.10", "10.80"};
    const double titleY = words.value(0).y;
    double lastY = titleY;
    for (int i = 0; i < 4; ++i) {
        const PdfWord ref = find(words, refs[i]);
        const PdfWord dev = find(words, deviations[i]);
        QVERIFY2(dev.x > ref.x, qPrintable(deviations[i]));
        QVERIFY(qAbs(dev.y - ref.y) < 1.0);
        QVERIFY(ref.y > lastY);
        lastY = ref.y;
    }
}

// Prints a certificate and waits for the outcome.
CertPrintOutcome printCert(Dialogs& dialogs, const CertPrintJob& job, const CalRecord& record,
                           CertLanguage language) {
    DocumentPrinter printer;
    std::optional<CertPrintOutcome> outcome;
    printCertificateJob(printer, dialogs, job, record, language,
                        [&](const PrintOutcome& o) { outcome = certPrintOutcome(o); });
    if (!QTest::qWaitFor([&] { return outcome.has_value(); }, 60000))
        qWarning("no outcome within a minute");
    return outcome.value_or(CertPrintOutcome::Failed);
}

} // namespace

class TstCalPrint : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void printsToPdf_data();
    void printsToPdf();
    void pdfThatCannotBeWrittenFails();
    void pdfOnAFullDiskFailsAndKeepsTheOldFile_data();
    void pdfOnAFullDiskFailsAndKeepsTheOldFile();
    void pdfWithTheLongestNamePrints();
    void pdfDialogCancelled();
    void noPrinterAtAllFails();
    void nextPressedWhileBusyIsNotRemembered();
    void wholeTestAgainstTheSimulatedMeter();
};

void TstCalPrint::initTestCase() {
    if (findTool("pdftotext").isEmpty())
        QFAIL("pdftotext is needed");
}

void TstCalPrint::printsToPdf_data() {
    QTest::addColumn<int>("language");
    QTest::newRow("Finnish") << int(CertLanguage::Finnish);
    QTest::newRow("English") << int(CertLanguage::English);
}

void TstCalPrint::printsToPdf() {
    QFETCH(int, language);
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    const QString pdf = dir.filePath(QStringLiteral("cert.pdf"));
    dialogs.saveNames << pdf;
    const CertPrintJob job = pdfJob(dir.path() + '/');
    QCOMPARE(printCert(dialogs, job, sampleCertificate(), CertLanguage(language)),
             CertPrintOutcome::Printed);
    QCOMPARE(dialogs.kinds(), QStringList{"save"});
    QCOMPARE(dialogs.calls[0].title, job.dialogTitle);
    QCOMPARE(dialogs.calls[0].text, dir.filePath(QStringLiteral("97-0412.pdf")));
    keepPdfCopy(pdf, QLatin1String(QTest::currentDataTag()));
    checkPdf(pdf, CertLanguage(language), {"0.03", "0.04", "-0.03", "0.01"}, "97-0412");
}

void TstCalPrint::pdfThatCannotBeWrittenFails() {
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    dialogs.saveNames << dir.filePath(QStringLiteral("no-such-folder/cert.pdf"));
    QCOMPARE(
        printCert(dialogs, pdfJob(dir.path() + '/'), sampleCertificate(), CertLanguage::English),
        CertPrintOutcome::Failed);
}

void TstCalPrint::pdfOnAFullDiskFailsAndKeepsTheOldFile_data() {
    QTest::addColumn<bool>("oldFile");
    QTest::newRow("new file") << false;
    QTest::newRow("over an older certificate") << true;
}

// A PDF the disk could take only part of is no printed certificate, and the one it was to
// replace stays whole.
void TstCalPrint::pdfOnAFullDiskFailsAndKeepsTheOldFile() {
    QFETCH(bool, oldFile);
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("cert.pdf"));
    const QByteArray old = "%PDF-1.4 an older certificate\n";
    if (oldFile) {
        QFile f(pdf);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(old);
    }
    ScriptedDialogs dialogs;
    dialogs.saveNames << pdf;
    dialogs.yesNoAnswers << true;
    CertPrintOutcome outcome;
    {
        FileSizeLimit limit(2048);
        QVERIFY(limit.active());
        outcome = printCert(dialogs, pdfJob(dir.path() + '/'), sampleCertificate(),
                            CertLanguage::English);
    }
    QCOMPARE(outcome, CertPrintOutcome::Failed);
    QFile f(pdf);
    if (oldFile) {
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), old);
    } else {
        QVERIFY(!f.exists());
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), oldFile ? 1 : 0);
}

void TstCalPrint::pdfWithTheLongestNamePrints() {
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QString(251, QLatin1Char('c')) + QStringLiteral(".pdf"));
    ScriptedDialogs dialogs;
    dialogs.saveNames << pdf;
    QCOMPARE(
        printCert(dialogs, pdfJob(dir.path() + '/'), sampleCertificate(), CertLanguage::English),
        CertPrintOutcome::Printed);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    checkPdf(pdf, CertLanguage::English, {"0.03", "0.04", "-0.03", "0.01"}, "97-0412");
}

void TstCalPrint::pdfDialogCancelled() {
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    QCOMPARE(
        printCert(dialogs, pdfJob(dir.path() + '/'), sampleCertificate(), CertLanguage::English),
        CertPrintOutcome::Cancelled);
    QVERIFY(QDir(dir.path()).isEmpty());
}

void TstCalPrint::noPrinterAtAllFails() {
    if (!QPrinterInfo::availablePrinterNames().isEmpty() ||
        !QPrinterInfo::defaultPrinter().isNull())
        QSKIP("a printer is installed here");
    ScriptedDialogs dialogs;
    CertPrintJob job = pdfJob(QString());
    job.printerName = QStringLiteral("None");
    QCOMPARE(printCert(dialogs, job, sampleCertificate(), CertLanguage::English),
             CertPrintOutcome::Failed);
    QVERIFY(dialogs.calls.isEmpty());
}

void TstCalPrint::nextPressedWhileBusyIsNotRemembered() {
    TCustomComPort port;
    int countdown = 0;
    QtMeterLink link(port, countdown, nullptr);
    QPushButton next(QStringLiteral("Next"));
    QObject::connect(&next, &QPushButton::pressed, &link, &QtMeterLink::next);
    next.show();
    QVERIFY(QTest::qWaitForWindowExposed(&next));

    // Pressed and released while the test was in a blocking pause: the events wait in the
    // queue until the test waits for Next again.
    const QPointF at(5, 5);
    QCoreApplication::postEvent(&next,
                                new QMouseEvent(QEvent::MouseButtonPress, at, next.mapToGlobal(at),
                                                Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
    QCoreApplication::postEvent(&next, new QMouseEvent(QEvent::MouseButtonRelease, at,
                                                       next.mapToGlobal(at), Qt::LeftButton,
                                                       Qt::NoButton, Qt::NoModifier));
    link.pause(50);
    bool pressedNow = false;
    QTimer::singleShot(300, &next, [&] {
        pressedNow = true;
        QTest::mouseClick(&next, Qt::LeftButton);
    });
    QTimer::singleShot(20000, &link, [&] { link.cancel(); }); // never hang the suite
    QVERIFY(link.waitForNext());
    QVERIFY2(pressedNow, "the queued press advanced the wait");
}

void TstCalPrint::wholeTestAgainstTheSimulatedMeter() {
    QTemporaryDir dir;
    SimProcess sim;
    QVERIFY(sim.start(dir.path(), {"--scenario", KELOTARI_SIM_SCENARIOS "/calibration.scn"}));

    TCustomComPort port;
    int countdown = 0;
    QTimer tick;
    tick.setInterval(500); // time-outs of 2 to 2.5 s: a loaded machine does not end the test
    QObject::connect(&tick, &QTimer::timeout, [&] { tickCountdown(countdown); });
    QtMeterLink link(port, countdown, &tick);
    tick.start();

    RecordingView view;
    view.port = sim.port();
    view.handler = kName;
    ScriptedDialogs dialogs;
    CalibrationTest test(link, view, dialogs);
    test.setRegional(QLocale(QLocale::Finnish, QLocale::Finland));

    // The user presses Next now and then; a press only counts while the test waits for it.
    QPushButton next(QStringLiteral("Next"));
    QObject::connect(&next, &QPushButton::pressed, &link, &QtMeterLink::next);
    QTimer presser;
    presser.setInterval(150);
    QObject::connect(&presser, &QTimer::timeout, [&] { QTest::mouseClick(&next, Qt::LeftButton); });
    presser.start();
    QTimer::singleShot(120000, &link, [&] { link.cancel(); });
    test.run();
    presser.stop();

    const CalTexts t;
    QCOMPARE(view.info,
             (QStringList{t.StepText1, "1. 265", "2. 256", "Result :17 = OK.", t.StepText2,
                          "Result :17 = OK.", t.StepText3, "Result :-4 = OK.", t.StepText4,
                          "Result :25.90", t.StepText5, "Result :19.80", t.StepText6,
                          "Result :16.10", t.StepText7, "Result :10.80", t.DoneText}));
    QCOMPARE(test.record().CertNumber, QByteArray("KT-2041"));
    QCOMPARE(test.record().slot(5), 19.76f);
    QVERIFY(sim.waitFor(QStringLiteral("SENT S")));
    QCOMPARE(sim.commands(), (QStringList{"O", "O", "O", "O", "O", "K", "K", "K", "K", "S"}));
    QVERIFY(!port.Connected());
    QVERIFY(view.isButtonEnabled(CalView::Button::CertSave));
    QVERIFY(dialogs.calls.isEmpty());

    // Save As, then Load into a fresh record, then print in both languages.
    const CertFileContext ctx{dir.path() + '/', "Save As",    "Load",
                              "exists?",        "save error", "load error"};
    dialogs.saveNames << dir.filePath("KT-2041.cal");
    test.saveAs(ctx);
    QCOMPARE(dialogs.calls.last().text, dir.filePath("KT-2041.cal"));
    const CalRecord saved = test.record();
    test.record() = CalRecord();
    view.handler.clear();
    dialogs.openNames << dir.filePath("KT-2041.cal");
    test.load(ctx);
    QCOMPARE(dialogs.kinds(), (QStringList{"save", "open"}));
    QCOMPARE(view.handler, kName);
    for (int k = 1; k <= 7; ++k)
        QCOMPARE(test.record().slot(k), saved.slot(k));
    QVERIFY(view.isButtonEnabled(CalView::Button::CertPrint));

    for (int index : {0, 1}) {
        view.languageIndex = index;
        const QString pdf = dir.filePath(QStringLiteral("cert-%1.pdf").arg(index));
        dialogs.saveNames << pdf;
        test.print([&](CertLanguage language) {
            CertPrintJob job = pdfJob(dir.path() + '/');
            job.handlerName = view.handlerName();
            return printCert(dialogs, job, test.record(), language);
        });
        QCOMPARE(view.info.last(), t.PrintingText);
        keepPdfCopy(pdf,
                    index == 0 ? QStringLiteral("sim-Finnish") : QStringLiteral("sim-English"));
        checkPdf(pdf, index == 0 ? CertLanguage::Finnish : CertLanguage::English,
                 {"0.03", "-0.04", "0.04", "-0.01"}, "KT-2041");
    }
    QVERIFY(!dialogs.kinds().contains("message"));
}

QTEST_MAIN(TstCalPrint)
#include "tst_cal_print.moc"
