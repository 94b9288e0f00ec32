// The certificate file, and Save As, Load and Print as the setup dialog runs them.
#include "FailingDevice.h"
#include "RecordingView.h"
#include "ScriptedDialogs.h"
#include "ScriptedLink.h"
#include "setup/CalibrationTest.h"
#include "setup/CertFile.h"

#include <QtTest>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace kelotari;
using B = CalView::Button;

namespace {

const QString kName = QStringLiteral("Matti Meik\u00E4l\u00E4inen");

CalRecord sampleRecord() {
    CalRecord r;
    r.CertNumber = "97-0412";
    r.slot(1) = 17;
    r.slot(2) = -12;
    r.slot(3) = 0;
    r.slot(4) = 25.93f;
    r.slot(5) = 19.84f;
    r.slot(6) = NotMeasured;
    r.slot(7) = -0.25f;
    return r;
}

QByteArray readAll(const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
}

void writeAll(const QString& name, const QByteArray& bytes) {
    QFile f(name);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// A record whose every slot holds a value no file has, to see what a load replaced.
CalRecord marked() {
    CalRecord r;
    r.CertNumber = "old";
    for (int k = 1; k <= 7; ++k)
        r.slot(k) = 0.5f + k;
    return r;
}

struct Rig {
    QTemporaryDir dir;
    ScriptedLink link;
    RecordingView view;
    ScriptedDialogs dialogs;
    CalibrationTest test{link, view, dialogs};
    CertFileContext context;

    Rig() {
        context = {dir.path() + '/',
                   "Save As",
                   "Load",
                   "File already exist!\rWrite anyway ?",
                   "Some file I/O error occurred during saving file.",
                   "Some file I/O error occurred during loading file."};
        test.setRegional(QLocale(QLocale::Finnish, QLocale::Finland));
        test.record() = sampleRecord();
        view.enabled[B::CertSave] = true;
        view.enabled[B::CertPrint] = true;
        view.enabled[B::MakeCert] = false;
        view.info = {"DONE"};
    }
    QString path(const QString& n) const { return dir.filePath(n); }
};

} // namespace

class TstCalCertificate : public QObject {
    Q_OBJECT
private slots:
    void fileUnderRegionalSettings_data();
    void fileUnderRegionalSettings();
    void commaFileUnderPointSettingsFailsAtTheFirstReading();
    void eightLinesFailWithSlotSevenKept();
    void filesThatDoNotLoad_data();
    void filesThatDoNotLoad();
    void filesThatLoad_data();
    void filesThatLoad();
    void readErrorStopsAtItsLine_data();
    void readErrorStopsAtItsLine();
    void nameWithLineBreaksKeepsTheNineLines();
    void fullDiskLeavesTheOldCertificate();

    void saveAsProposesTheNumberAndWrites();
    void saveAsAfterASilentMeter();
    void saveAsOverwriteRefusedOrCancelledChangesNothing();
    void failedSaveCanBeSavedAgain();
    void loadFillsRecordAndName();
    void loadFailureKeepsWhatWasRead();
    void loadCancelledLeavesTestDisabled();
    void printPicksTheLanguage_data();
    void printPicksTheLanguage();
};

void TstCalCertificate::fileUnderRegionalSettings_data() {
    QTest::addColumn<QLocale>("regional");
    QTest::addColumn<QByteArray>("numbers"); // lines 3 to 9
    const QByteArray comma = "17\r\n-12\r\n0\r\n25,9300003051758\r\n19,8400001525879\r\n100000\r\n"
                             "-0,25\r\n";
    QTest::newRow("Finnish: comma") << QLocale(QLocale::Finnish, QLocale::Finland) << comma;
    QTest::newRow("German: comma") << QLocale(QLocale::German, QLocale::Germany) << comma;
    QTest::newRow("US: point") << QLocale(QLocale::English, QLocale::UnitedStates)
                               << QByteArray(comma).replace(',', '.');
    QTest::newRow("C: point") << QLocale::c() << QByteArray(comma).replace(',', '.');
}

void TstCalCertificate::fileUnderRegionalSettings() {
    QFETCH(QLocale, regional);
    QFETCH(QByteArray, numbers);
    QTemporaryDir dir;
    const QString file = dir.filePath("97-0412.cal");
    const CalRecord saved = sampleRecord();
    QVERIFY(saveCertificate(file, saved, kName, regional).ok);
    QCOMPARE(readAll(file), "97-0412\r\nMatti Meik\xE4l\xE4inen\r\n" + numbers);

    CalRecord back = marked();
    back.OffsetRaw[1] = 99;
    QString name;
    const CertLoadResult r = loadCertificate(file, back, name, regional);
    QVERIFY(r.ok);
    QCOMPARE(name, kName);
    QCOMPARE(back.CertNumber, saved.CertNumber);
    for (int k = 1; k <= 7; ++k)
        QCOMPARE(back.slot(k), saved.slot(k)); // the same single-precision values exactly
    QCOMPARE(back.raw(1), 99);                 // offsets are not part of a certificate
}

void TstCalCertificate::commaFileUnderPointSettingsFailsAtTheFirstReading() {
    QTemporaryDir dir;
    const QString file = dir.filePath("c.cal");
    QVERIFY(saveCertificate(file, sampleRecord(), kName, QLocale(QLocale::Finnish)).ok);
    CalRecord back = marked();
    QString name = "before";
    const CertLoadResult r = loadCertificate(file, back, name, QLocale::c());
    QVERIFY(!r.ok);
    QCOMPARE(r.failedLine, 6);
    // Lines 1 to 5 were read: the number, the name and the three whole-number offsets.
    QCOMPARE(back.CertNumber, QByteArray("97-0412"));
    QCOMPARE(name, kName);
    QCOMPARE(back.slot(1), 17.0f);
    QCOMPARE(back.slot(2), -12.0f);
    QCOMPARE(back.slot(3), 0.0f);
    for (int k = 4; k <= 7; ++k)
        QCOMPARE(back.slot(k), marked().slot(k));
}

void TstCalCertificate::eightLinesFailWithSlotSevenKept() {
    QTemporaryDir dir;
    const QString file = dir.filePath("8.cal");
    writeAll(file, "5\r\nname\r\n1\r\n2\r\n3\r\n4.5\r\n5.5\r\n6.5\r\n");
    CalRecord back = marked();
    QString name;
    const CertLoadResult r = loadCertificate(file, back, name, QLocale::c());
    QVERIFY(!r.ok);
    QCOMPARE(r.failedLine, 9);
    QCOMPARE(back.slot(6), 6.5f);
    QCOMPARE(back.slot(7), marked().slot(7));
}

void TstCalCertificate::filesThatDoNotLoad_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("failedLine");
    QTest::addColumn<QByteArray>("certNumber"); // after the load
    QTest::newRow("empty file") << QByteArray() << 3 << QByteArray();
    QTest::newRow("10 MB without line ends")
        << QByteArray(10 * 1024 * 1024, 'x') << 1 << QByteArray("old");
    QTest::newRow("text in a number line")
        << QByteArray("n\r\nh\r\n1\r\nabc\r\n") << 4 << QByteArray("n");
    QTest::newRow("empty number line") << QByteArray("n\r\nh\r\n\r\n") << 3 << QByteArray("n");
    QTest::newRow("nan") << QByteArray("n\r\nh\r\nnan\r\n") << 3 << QByteArray("n");
    QTest::newRow("over-long name")
        << QByteArray("n\r\n") + QByteArray(kMaxCertLine + 1, 'a') << 2 << QByteArray("n");
}

void TstCalCertificate::filesThatDoNotLoad() {
    QFETCH(QByteArray, content);
    QFETCH(int, failedLine);
    QFETCH(QByteArray, certNumber);
    QTemporaryDir dir;
    const QString file = dir.filePath("bad.cal");
    writeAll(file, content);
    CalRecord back = marked();
    QString name = "kept";
    const CertLoadResult r = loadCertificate(file, back, name, QLocale::c());
    QVERIFY(!r.ok);
    QCOMPARE(r.failedLine, failedLine);
    QCOMPARE(back.CertNumber, certNumber);
    QCOMPARE(r.nameRead, failedLine > 2);
    if (failedLine <= 2)
        QCOMPARE(name, QStringLiteral("kept"));
}

void TstCalCertificate::filesThatLoad_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<float>("slot7");
    const QByteArray six = "n\r\nh\r\n1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n";
    QTest::newRow("LF line ends") << QByteArray("n\nh\n1\n2\n3\n4\n5\n6\n7.5\n") << 7.5f;
    QTest::newRow("no line end after the last") << six + "7.5" << 7.5f;
    QTest::newRow("lines after the ninth are not read") << six + "7\r\ngarbage\r\n\xFF" << 7.0f;
    QTest::newRow("exponent") << six + "1E+20\r\n" << 1e20f;
}

void TstCalCertificate::filesThatLoad() {
    QFETCH(QByteArray, content);
    QFETCH(float, slot7);
    QTemporaryDir dir;
    const QString file = dir.filePath("ok.cal");
    writeAll(file, content);
    CalRecord back = marked();
    QString name;
    QVERIFY(loadCertificate(file, back, name, QLocale::c()).ok);
    QCOMPARE(back.CertNumber, QByteArray("n"));
    QCOMPARE(name, QStringLiteral("h"));
    QCOMPARE(back.slot(1), 1.0f);
    QCOMPARE(back.slot(7), slot7);
}

void TstCalCertificate::readErrorStopsAtItsLine_data() {
    QTest::addColumn<int>("good"); // bytes read before the device fails
    QTest::addColumn<int>("failedLine");
    QTest::newRow("at once") << 0 << 1;
    QTest::newRow("inside the name") << 10 << 2;
    QTest::newRow("after the name") << 16 << 3;
    QTest::newRow("inside the last reading") << 74 << 9;
}

void TstCalCertificate::readErrorStopsAtItsLine() {
    QFETCH(int, good);
    QFETCH(int, failedLine);
    const QByteArray content = certificateFileContent(sampleRecord(), "Pekka", QLocale::c());
    QCOMPARE(content.indexOf("17\r\n"), 16); // the first number line starts at byte 16
    FailingDevice device(content, good);
    QVERIFY(device.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
    CalRecord back = marked();
    QString name = "kept";
    const CertLoadResult r = loadCertificate(device, back, name, QLocale::c());
    QVERIFY(!r.ok);
    QCOMPARE(r.failedLine, failedLine);
    QCOMPARE(name, failedLine > 2 ? QStringLiteral("Pekka") : QStringLiteral("kept"));
    QCOMPARE(back.slot(7), marked().slot(7));
}

void TstCalCertificate::nameWithLineBreaksKeepsTheNineLines() {
    QTemporaryDir dir;
    const QString file = dir.filePath("n.cal");
    CalRecord rec = sampleRecord();
    rec.CertNumber = "\r";                               // a lone CR as the meter's answer to "S"
    rec.CertNumber += QByteArray(kMaxCertLine - 1, '7'); // as long as the meter can send
    const QString longName = QString(2000, QLatin1Char('a')) + "\r\nb";
    QVERIFY(saveCertificate(file, rec, longName, QLocale::c()).ok);
    QCOMPARE(readAll(file).count("\r\n"), 9);
    CalRecord back = marked();
    QString name;
    QVERIFY(loadCertificate(file, back, name, QLocale::c()).ok);
    QCOMPARE(name, QString(2000, QLatin1Char('a')) + "  b");
    QCOMPARE(back.CertNumber, ' ' + QByteArray(kMaxCertLine - 1, '7'));
    QCOMPARE(back.slot(7), -0.25f);
}

void TstCalCertificate::fullDiskLeavesTheOldCertificate() {
    QTemporaryDir dir;
    const QString file = dir.filePath("old.cal");
    writeAll(file, "old certificate\r\n");
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit tiny = saved;
    tiny.rlim_cur = 20;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &tiny), 0);
    const WriteOutcome out = saveCertificate(file, sampleRecord(), kName, QLocale::c());
    setrlimit(RLIMIT_FSIZE, &saved);
    QVERIFY(!out.ok);
    QCOMPARE(readAll(file), QByteArray("old certificate\r\n"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"old.cal"});
}

void TstCalCertificate::saveAsProposesTheNumberAndWrites() {
    Rig r;
    r.dialogs.saveNames << r.path("chosen.cal");
    r.test.saveAs(r.context);
    QCOMPARE(r.dialogs.kinds(), QStringList{"save"});
    QCOMPARE(r.dialogs.calls[0].title, QStringLiteral("Save As"));
    QCOMPARE(r.dialogs.calls[0].text, r.path("97-0412.cal"));
    QVERIFY(
        readAll(r.path("chosen.cal")).startsWith("97-0412\r\nMatti Meik\xE4l\xE4inen\r\n17\r\n"));
    QVERIFY(readAll(r.path("chosen.cal")).contains("25,9300003051758")); // Finnish settings
    QCOMPARE(r.view.events, (QStringList{"reset", "off cert_save", "clear"}));
    QVERIFY(r.view.info.isEmpty());
    QVERIFY(r.view.isButtonEnabled(B::CertPrint)); // can still be printed
    QVERIFY(r.view.isButtonEnabled(B::MakeCert));  // a new test can start
}

void TstCalCertificate::saveAsAfterASilentMeter() {
    Rig r;
    r.test.record().CertNumber = "\xB0";
    r.dialogs.saveNames << r.path("_.cal");
    r.test.saveAs(r.context);
    QCOMPARE(r.dialogs.calls[0].text, r.path("_.cal"));
    QVERIFY(readAll(r.path("_.cal")).startsWith("\xB0\r\n"));
}

void TstCalCertificate::saveAsOverwriteRefusedOrCancelledChangesNothing() {
    Rig r;
    r.test.saveAs(r.context); // cancelled
    writeAll(r.path("x.cal"), "keep");
    r.dialogs.saveNames << r.path("x.cal");
    r.dialogs.yesNoAnswers << false;
    r.test.saveAs(r.context);
    QCOMPARE(r.dialogs.kinds(), (QStringList{"save", "save", "ask"}));
    QCOMPARE(r.dialogs.calls[2].text, r.context.fileExistsMsg);
    QCOMPARE(readAll(r.path("x.cal")), QByteArray("keep"));
    QVERIFY(r.view.events.isEmpty());

    r.dialogs.saveNames << r.path("x.cal");
    r.dialogs.yesNoAnswers << true;
    r.test.saveAs(r.context);
    QVERIFY(readAll(r.path("x.cal")).startsWith("97-0412\r\n"));
}

void TstCalCertificate::failedSaveCanBeSavedAgain() {
    Rig r;
    r.dialogs.saveNames << r.path("no-such-folder/c.cal") << r.path("c.cal");
    r.test.saveAs(r.context);
    QCOMPARE(r.dialogs.kinds(), (QStringList{"save", "message"}));
    QCOMPARE(r.dialogs.calls[1].text, r.context.saveErrorMsg);
    QVERIFY(r.view.isButtonEnabled(B::CertSave));
    QCOMPARE(r.view.events, (QStringList{"reset", "clear"}));
    r.test.saveAs(r.context);
    QVERIFY(readAll(r.path("c.cal")).startsWith("97-0412\r\n"));
    QVERIFY(!r.view.isButtonEnabled(B::CertSave));
}

void TstCalCertificate::loadFillsRecordAndName() {
    Rig r;
    writeAll(r.path("in.cal"), "A-1\r\nLiisa\r\n1\r\n2\r\n3\r\n25,5\r\n19\r\n16\r\n10,75\r\n");
    r.view.enabled[B::CertPrint] = false;
    r.view.enabled[B::MakeCert] = true;
    r.dialogs.openNames << r.path("in.cal");
    r.test.load(r.context);
    QCOMPARE(r.dialogs.calls[0].title, QStringLiteral("Load"));
    QCOMPARE(r.dialogs.calls[0].text, r.path("*.cal"));
    QCOMPARE(r.view.handler, QStringLiteral("Liisa"));
    QCOMPARE(r.test.record().CertNumber, QByteArray("A-1"));
    QCOMPARE(r.test.record().slot(7), 10.75f);
    QCOMPARE(r.view.events, (QStringList{"clear", "off makecert_btn", "name", "on cert_print",
                                         "line " + r.test.texts().DoneText}));
    QCOMPARE(r.view.info, QStringList{r.test.texts().DoneText});
}

void TstCalCertificate::loadFailureKeepsWhatWasRead() {
    Rig r;
    writeAll(r.path("pt.cal"), "B-2\r\nPekka\r\n1\r\n2\r\n3\r\n25.5\r\n19\r\n16\r\n10\r\n");
    r.view.enabled[B::CertPrint] = false;
    r.dialogs.openNames << r.path("pt.cal") << r.path("missing.cal");
    r.test.load(r.context); // point file under Finnish settings
    QCOMPARE(r.dialogs.kinds(), (QStringList{"open", "message"}));
    QCOMPARE(r.dialogs.calls[1].text, r.context.loadErrorMsg);
    QCOMPARE(r.view.handler, QStringLiteral("Pekka"));
    QCOMPARE(r.test.record().slot(3), 3.0f);
    QCOMPARE(r.test.record().slot(4), sampleRecord().slot(4));
    QVERIFY(!r.view.isButtonEnabled(B::CertPrint));

    r.test.load(r.context); // a file that is not there: nothing read
    QCOMPARE(r.dialogs.kinds().last(), QStringLiteral("message"));
    QCOMPARE(r.test.record().CertNumber, QByteArray("B-2"));
    QVERIFY(!r.view.isButtonEnabled(B::CertPrint));
}

void TstCalCertificate::loadCancelledLeavesTestDisabled() {
    Rig r;
    r.view.enabled[B::MakeCert] = true;
    r.test.load(r.context);
    QCOMPARE(r.view.events, (QStringList{"clear", "off makecert_btn"}));
    QCOMPARE(r.test.record().CertNumber, QByteArray("97-0412"));

    // A FIFO is not read (opening it would wait for a writer).
    const QString fifo = r.path("fifo.cal");
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    r.dialogs.openNames << fifo;
    r.test.load(r.context);
    QCOMPARE(r.dialogs.kinds().last(), QStringLiteral("message"));
}

void TstCalCertificate::printPicksTheLanguage_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<int>("language");
    const int printed = int(CertPrintOutcome::Printed), failed = int(CertPrintOutcome::Failed),
              cancelled = int(CertPrintOutcome::Cancelled);
    const int fi = int(CertLanguage::Finnish), en = int(CertLanguage::English);
    QTest::newRow("Finnish selected") << 0 << printed << fi;
    QTest::newRow("English selected") << 1 << printed << en;
    QTest::newRow("nothing selected prints English") << -1 << printed << en;
    QTest::newRow("printer failed") << 0 << failed << fi;
    QTest::newRow("PDF file dialog cancelled") << 1 << cancelled << en;
}

void TstCalCertificate::printPicksTheLanguage() {
    QFETCH(int, index);
    QFETCH(int, outcome);
    QFETCH(int, language);
    Rig r;
    r.view.languageIndex = index;
    QList<int> asked;
    r.test.print([&](CertLanguage l) {
        asked << int(l);
        return CertPrintOutcome(outcome);
    });
    QCOMPARE(asked, QList<int>{language});
    if (CertPrintOutcome(outcome) == CertPrintOutcome::Cancelled) {
        QVERIFY(r.view.events.isEmpty());
        QVERIFY(r.dialogs.calls.isEmpty());
        return;
    }
    QCOMPARE(r.view.events, (QStringList{"line " + r.test.texts().PrintingText, "reset"}));
    QVERIFY(r.view.isButtonEnabled(B::CertPrint)); // printed as often as wanted
    if (CertPrintOutcome(outcome) == CertPrintOutcome::Failed) {
        QCOMPARE(r.dialogs.kinds(), QStringList{"message"});
        QCOMPARE(r.dialogs.calls[0].text, kCertPrintFailureText);
    } else {
        QVERIFY(r.dialogs.calls.isEmpty());
    }
}

QTEST_APPLESS_MAIN(TstCalCertificate)
#include "tst_cal_certificate.moc"
