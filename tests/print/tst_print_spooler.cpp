// Both packet reports and the certificate printed through a real CUPS scheduler of the test's
// own: by PrinterName, on the default printer, on a queue that rejects jobs, a stopped queue,
// a queue deleted after it was listed and with no scheduler at all; what was spooled is read
// back and compared with the same document printed straight to a PDF file. The setup
// dialog's printer box lists the scheduler's queues.
#include "CertPrinter.h"
#include "CupsQueue.h"
#include "PdfText.h"
#include "Printer.h"
#include "PrivateCups.h"
#include "SampleCertificate.h"
#include "ScriptedDialogs.h"
#include "main_frm.h"
#include "setup_frm.h"

#include <QAction>
#include <QBuffer>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPdfWriter>
#include <QPlainTextEdit>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <pwd.h>
#include <thread>

using namespace kelotari;

namespace {

const QString kPrintError = QStringLiteral("Tulostusongelma!\rTarkista tulostin.");
const QString kCertPrintError =
    QStringLiteral("Some printing problem occur.\rCheck printer,cables,etc. and try again.");

// The queues every case starts from. The default printer writes to its file; the second
// file queue has a name beyond ASCII.
const QString kDefaultQueue = QStringLiteral("Kelotari_File");
const QString kNamedQueue = QStringLiteral("Toimisto-M\u00E4nty");
const QString kPdfQueue = QStringLiteral("Kelotari-PDF");
const QString kRejectingQueue = QStringLiteral("Kelotari-Rejects");
const QString kStoppedQueue = QStringLiteral("Kelotari-Stopped");

// Longer than any time-out of the program: an outcome must have come by then.
constexpr int kOutcomeMs = 60000;

enum class Doc { Selected, All, Certificate };

// Page 1 at 100 dots per inch, without smoothing.
QImage pdfPicture(const QString& pdf, const QString& outPrefix) {
    runTool(findTool("pdftoppm"), {"-f", "1", "-l", "1", "-r", "100", "-gray", "-aa", "no",
                                   "-aaVector", "no", "-png", "-singlefile", pdf, outPrefix});
    return QImage(outPrefix + QStringLiteral(".png"));
}

// KELOTARI_PRINT_OUT names a folder that keeps a copy of every spooled document, to look at.
void keepCopy(const QString& file, const QString& kind) {
    const QString out = qEnvironmentVariable("KELOTARI_PRINT_OUT");
    if (out.isEmpty())
        return;
    QString tag = QString::fromUtf8(QTest::currentDataTag());
    tag.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9]+")), QStringLiteral("-"));
    keepPdfCopy(file, tag + QLatin1Char('-') + kind);
}

// The lines of text on a page picture, top to bottom: the inked pixels of each band of rows
// with ink in it.
QList<int> inkedLines(const QImage& page) {
    QList<int> lines;
    bool inLine = false;
    for (int y = 0; y < page.height(); ++y) {
        int ink = 0;
        for (int x = 0; x < page.width(); ++x)
            ink += qGray(page.pixel(x, y)) < 128;
        if (ink > 0 && !inLine)
            lines << 0;
        if (ink > 0)
            lines.last() += ink;
        inLine = ink > 0;
    }
    return lines;
}

QByteArray readAll(const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Waits (bounded) for a file a backend writes once its job has finished.
bool waitForFile(const QString& name, int ms = 30000) {
    const QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        if (QFileInfo(name).size() > 0)
            return true;
        QThread::msleep(50);
    }
    return false;
}

struct Packet {
    QList<QByteArray> header; // columns 0..9
};
const QList<Packet> kPackets = {
    {{"1", "3", "05.03.24", "14:02", "M\xE4nty", "20", "12.5", "13.1", "12.8", "0.3"}},
    {{"2", "5", "05.03.24", "14:10", "Kuusi", "18", "16.2", "19.8", "17.9", "1.4"}},
    {{"3", "4", "06.03.24", "08:31", "Koivu", "15", "8.9", "22.4", "14.6", "5.6"}},
};

// A main window with three packets, the second one selected.
class Window {
public:
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    std::unique_ptr<TMainFrm> frm;

    Window() {
        writeFile(QStringLiteral("Kelotari.INI"),
                  "[DB]\r\nPath=" + dir.path().toUtf8() + "/\r\n[App]\r\nPrinter=None\r\n");
        writeFile(QStringLiteral("DefLang.lng"),
                  "[Dialogs]\r\nPrnPro=Tulostusongelma!%Tarkista tulostin.\r\n");
        frm = std::make_unique<TMainFrm>(
            MainFrmEnv{dir.filePath("Kelotari.INI"), dir.filePath("DefLang.lng"), &dialogs, 1000});
        for (int r = 1; r <= kPackets.size(); ++r)
            for (int c = 0; c < kPackets[r - 1].header.size(); ++c)
                frm->state().table.setCell(c, r, kPackets[r - 1].header[c]);
        frm->state().PacketCount = int(kPackets.size());
        frm->filecontentSelectCell(0, 2);
        dialogs.calls.clear();
    }
    void writeFile(const QString& name, const QByteArray& bytes) {
        QFile f(dir.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    // Prints a document as the user's command does and waits for its outcome; the message
    // shown, if any.
    QString print(Doc doc, const QString& printer) {
        frm->state().settings.PrinterName = printer;
        const qsizetype before = dialogs.calls.size();
        if (doc == Doc::Certificate) {
            DocumentPrinter certPrinter;
            std::optional<CertPrintOutcome> outcome;
            printCertificateJob(certPrinter, dialogs, certJob(printer), sampleCertificate(),
                                CertLanguage::Finnish,
                                [&](const PrintOutcome& o) { outcome = certPrintOutcome(o); });
            if (!QTest::qWaitFor([&] { return outcome.has_value(); }, kOutcomeMs))
                return QStringLiteral("no outcome");
            if (*outcome == CertPrintOutcome::Failed)
                return kCertPrintError; // the caller's box, shown by the dialog
        } else {
            doc == Doc::All ? frm->PrintAllClick() : frm->PrintselectedClick();
            if (!QTest::qWaitFor([&] { return command(doc)->isEnabled(); }, kOutcomeMs))
                return QStringLiteral("no outcome");
        }
        for (qsizetype i = before; i < dialogs.calls.size(); ++i)
            if (dialogs.calls[i].kind == QLatin1String("message"))
                return dialogs.calls[i].text;
        return QString();
    }
    QAction* command(Doc doc) const {
        return frm->findChild<QAction*>(doc == Doc::All ? QStringLiteral("PrintAll")
                                                        : QStringLiteral("Printselected"));
    }
    QString note() const { return frm->statusBar()->currentMessage(); }
    CertPrintJob certJob(const QString& printer) const {
        CertPrintJob job;
        job.printerName = printer;
        job.fontFace = QStringLiteral("MS Sans Serif");
        job.dataPath = dir.path() + '/';
        job.dialogTitle = QStringLiteral("Print");
        job.fileExistsMsg = QStringLiteral("File already exist!\rWrite anyway ?");
        job.handlerName = QStringLiteral("Liisa Lehtim\u00E4ki");
        job.now = QDateTime(QDate(2026, 3, 5), QTime(14, 7, 9));
        return job;
    }
    // The same document printed straight to a PDF file.
    QString directPdf(Doc doc) {
        const QString pdf = dir.filePath(QStringLiteral("direct.pdf"));
        QFile::remove(pdf);
        dialogs.saveNames << pdf;
        const QString message = print(doc, QStringLiteral("PDF"));
        if (!message.isEmpty())
            qWarning() << "direct PDF failed:" << message;
        return pdf;
    }
};

// Where cups-pdf puts a job of the user running the tests: Out of its configuration, with
// ${HOME} the user's home folder.
QString cupsPdfOutFolder() {
    QString out = QStringLiteral("${HOME}/PDF");
    QFile conf(QStringLiteral("/etc/cups/cups-pdf.conf"));
    if (conf.open(QIODevice::ReadOnly))
        for (const QByteArray& line : conf.readAll().split('\n'))
            if (line.startsWith("Out "))
                out = QString::fromUtf8(line.mid(4).trimmed());
    const passwd* pw = ::getpwuid(::geteuid());
    out.replace(QLatin1String("${HOME}"), QString::fromLocal8Bit(pw ? pw->pw_dir : "/root"));
    return out;
}

QStringList pdfFilesIn(const QString& folder) {
    return QDir(folder).entryList({"*.pdf"}, QDir::Files, QDir::Time);
}

QStringList boxItems(const QComboBox* box) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i);
    return items;
}

// The queues in the order the scheduler reports them (lpstat -e).
QStringList queuesByLpstat(PrivateCups& cups) {
    QByteArray out;
    cups.run("lpstat", {"-e"}, &out);
    QStringList names;
    for (const QByteArray& line : out.split('\n'))
        if (!line.trimmed().isEmpty())
            names << QString::fromUtf8(line.trimmed());
    return names;
}

// The setup dialog opened from the main window's toolbar; body runs inside its modal wait.
void inSetupDialog(TMainFrm& frm, const std::function<void(TSetupfrm&)>& body) {
    TSetupfrm* setup = frm.setupForm();
    if (!setup) { // the main window owns it
        setup = new TSetupfrm(frm);
        setup->setPortSource([] { return QList<SerialPortEntry>(); });
    }
    bool ran = false;
    QTimer::singleShot(0, setup, [&] {
        ran = true;
        body(*setup);
        if (setup->isVisible())
            setup->reject();
    });
    frm.findChild<QToolButton*>(QStringLiteral("tyo_setup"))->click();
    QVERIFY(ran);
}

// The scheduler stopped (SIGSTOP) from construction until release(): it takes connections and
// answers nothing. A thread continues it after `safetyMs` in any case, so a window that does
// freeze fails its test instead of hanging the suite.
class HeldScheduler {
public:
    explicit HeldScheduler(PrivateCups& cups, int safetyMs = 30000)
        : m_cups(cups), m_pid(cups.pid()) {
        cups.hold();
        m_safety = std::thread([this, safetyMs] {
            std::unique_lock<std::mutex> lock(m_lock);
            if (!m_wake.wait_for(lock, std::chrono::milliseconds(safetyMs),
                                 [this] { return m_done; })) {
                m_held = false;
                ::kill(m_pid, SIGCONT);
            }
        });
    }
    ~HeldScheduler() { release(); }
    HeldScheduler(const HeldScheduler&) = delete;
    HeldScheduler& operator=(const HeldScheduler&) = delete;

    // Still held, not continued by the safety thread.
    bool held() const { return m_held; }
    void release() {
        if (!end())
            return;
        m_cups.release();
    }
    // Ends cupsd outright while it is held.
    void kill() {
        if (!end())
            return;
        m_cups.killNow();
    }

private:
    bool end() {
        {
            const std::lock_guard<std::mutex> lock(m_lock);
            if (m_done)
                return false;
            m_done = true;
        }
        m_wake.notify_all();
        m_safety.join();
        m_held = false;
        return true;
    }

    PrivateCups& m_cups;
    const pid_t m_pid;
    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_done = false;
    std::atomic_bool m_held{true};
    std::thread m_safety;
};

// The event loop turns while the scheduler is held: a timer started now fires (QTRY's usual
// time) before anything continued the scheduler.
bool loopTurnsWhileHeld(const HeldScheduler& held) {
    bool fired = false, whileHeld = false;
    QTimer::singleShot(100, [&] {
        fired = true;
        whileHeld = held.held();
    });
    return QTest::qWaitFor([&] { return fired; }, 5000) && whileHeld;
}

// Time-outs long enough that a loaded machine never turns a short hold into a failure, for
// the tests that are about the hold itself rather than the time-out.
struct LongTimeouts {
    PrintTimeouts kept = printTimeouts();
    LongTimeouts() { setPrintTimeouts(PrintTimeouts{20000, 20000, 60000}); }
    ~LongTimeouts() { setPrintTimeouts(kept); }
};

// Time-outs short enough for a test to wait them out, for the test's duration.
struct ShortTimeouts {
    PrintTimeouts kept = printTimeouts();
    PrintTimeouts timeouts{1000, 1000, 1500};
    ShortTimeouts() { setPrintTimeouts(timeouts); }
    ~ShortTimeouts() { setPrintTimeouts(kept); }
};

} // namespace

class TstPrintSpooler : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void queueReportsItsPage();
    void printsThroughTheSpooler_data();
    void printsThroughTheSpooler();
    void stoppedQueueKeepsTheJobUntilStarted();
    void printerBoxListsTheQueuesThenPdf();
    void queueDeletedAfterListing();
    void schedulerStoppedWhileTheSetupDialogIsOpen();
    void manyQueues_data();
    void manyQueues();
    void printWhileTheSchedulerHangs_data();
    void printWhileTheSchedulerHangs();
    void pdfPrintNeedsNoScheduler();
    void setupOpensWhileTheSchedulerHangs_data();
    void setupOpensWhileTheSchedulerHangs();
    void timeOutIsAPrintFailure_data();
    void timeOutIsAPrintFailure();
    void schedulerKilledDuringAPrint_data();
    void schedulerKilledDuringAPrint();
    void quitDuringAPrint_data();
    void quitDuringAPrint();

private:
    static void hungSchedulerCases();
    std::unique_ptr<PrivateCups> m_cups;
    QElapsedTimer m_clock;
};

void TstPrintSpooler::initTestCase() {
    m_clock.start();
    const QString reason = PrivateCups::unavailableReason();
    if (!reason.isEmpty())
        QSKIP(qPrintable(reason));
    QVERIFY2(!findTool("pdftotext").isEmpty(), "pdftotext is missing: run scripts/install-deps.sh");
    m_cups = std::make_unique<PrivateCups>();
    QVERIFY2(m_cups->start(), qPrintable(readAll(m_cups->errorLog())));
    QVERIFY(m_cups->addFileQueue(kDefaultQueue, QStringLiteral("default.out")));
    QVERIFY(m_cups->addFileQueue(kNamedQueue, QStringLiteral("named.out")));
    QVERIFY(m_cups->addFileQueue(kRejectingQueue, QStringLiteral("rejected.out")));
    QVERIFY(m_cups->addFileQueue(kStoppedQueue, QStringLiteral("stopped.out")));
    QVERIFY(m_cups->addCupsPdfQueue(kPdfQueue));
    QVERIFY(m_cups->run("lpadmin", {"-d", kDefaultQueue}));
    QVERIFY(m_cups->run("cupsreject", {"-r", "closed for the test", kRejectingQueue}));
    QVERIFY(m_cups->run("cupsdisable", {"-r", "paused for the test", kStoppedQueue}));
    QByteArray status;
    m_cups->run("lpstat", {"-t"}, &status);
    qInfo().noquote() << "lpstat -t:\n" + QString::fromUtf8(status);
    QCOMPARE(QPrinterInfo::defaultPrinterName(), kDefaultQueue);
}

void TstPrintSpooler::cleanupTestCase() {
    if (m_cups) {
        QStringList jobs;
        for (const PrivateCups::Job& j : PrivateCups::jobs())
            jobs << QStringLiteral("%1 %2 %3 state %4")
                        .arg(j.id)
                        .arg(j.queue, j.title)
                        .arg(int(j.state));
        qInfo().noquote() << "jobs:\n" + jobs.join(QLatin1Char('\n'));
        m_cups->stop();
    }
    qInfo("printing tests took %lld ms", static_cast<long long>(m_clock.elapsed()));
}

// The page the layouts measure is the one the queue's driver describes: A4 with a quarter-inch
// printable border at 600 dots per inch (the spool-to-file PPD), portrait.
void TstPrintSpooler::queueReportsItsPage() {
    const std::optional<QueuePage> page = queuePageFor(kNamedQueue, SchedulerCall{10000, nullptr});
    QVERIFY(page);
    QBuffer out;
    const std::unique_ptr<QPdfWriter> printer = pdfWriter(page->layout, page->resolution, out);
    QCOMPARE(QString::fromUtf8(page->queue), kNamedQueue);
    QCOMPARE(printer->resolution(), 600);
    QCOMPARE(printer->pageLayout().pageSize().id(), QPageSize::A4);
    QCOMPARE(printer->pageLayout().orientation(), QPageLayout::Portrait);
    qInfo() << "queue page" << printer->width() << "x" << printer->height() << "dots, margins"
            << printer->pageLayout().margins(QPageLayout::Point);
    // 559 x 806 points; Qt measures A4 in millimetres and rounds once more.
    QVERIFY2(qAbs(printer->width() - 559 * 600 / 72) <= 1,
             qPrintable(QString::number(printer->width())));
    QVERIFY2(qAbs(printer->height() - 806 * 600 / 72) <= 1,
             qPrintable(QString::number(printer->height())));
}

void TstPrintSpooler::printsThroughTheSpooler_data() {
    QTest::addColumn<int>("doc");
    QTest::addColumn<QString>("printer");
    QTest::addColumn<QString>("queue"); // where the job must land; empty: nowhere
    const QString removed = QStringLiteral("HP_LaserJet_kuivaamo");
    const QString spaced = QStringLiteral("Toimisto M\u00E4nty 2. krs");
    const QString longest(2047, QLatin1Char('P'));
    const struct {
        const char* tag;
        Doc doc;
        QString printer, queue;
    } rows[] = {
        {"Print selected, by name", Doc::Selected, kNamedQueue, kNamedQueue},
        {"Print all, by name", Doc::All, kNamedQueue, kNamedQueue},
        {"certificate, by name", Doc::Certificate, kNamedQueue, kNamedQueue},
        {"Print selected, None: the default", Doc::Selected, "None", kDefaultQueue},
        {"Print all, a removed printer: the default", Doc::All, removed, kDefaultQueue},
        {"certificate, None: the default", Doc::Certificate, "None", kDefaultQueue},
        {"Print all, a name with spaces: the default", Doc::All, spaced, kDefaultQueue},
        {"certificate, 2047 characters: the default", Doc::Certificate, longest, kDefaultQueue},
        {"Print selected, a queue rejecting jobs", Doc::Selected, kRejectingQueue, ""},
        {"Print all, a queue rejecting jobs", Doc::All, kRejectingQueue, ""},
        {"certificate, a queue rejecting jobs", Doc::Certificate, kRejectingQueue, ""},
        {"Print all, cups-pdf", Doc::All, kPdfQueue, kPdfQueue},
        {"certificate, cups-pdf", Doc::Certificate, kPdfQueue, kPdfQueue},
    };
    for (const auto& r : rows)
        QTest::newRow(r.tag) << int(r.doc) << r.printer << r.queue;
}

void TstPrintSpooler::printsThroughTheSpooler() {
    QFETCH(int, doc);
    QFETCH(QString, printer);
    QFETCH(QString, queue);
    Window w;
    const QString direct = w.directPdf(Doc(doc));
    const QString expectedText = pdfText(direct);
    QVERIFY(
        expectedText.contains(QLatin1String(doc == int(Doc::Certificate) ? "97-0412" : "Kuusi")));
    w.dialogs.calls.clear();

    const QString outFile = m_cups->outFile(queue == kNamedQueue ? QStringLiteral("named.out")
                                                                 : QStringLiteral("default.out"));
    for (const char* f : {"default.out", "named.out", "rejected.out"})
        QFile::remove(m_cups->outFile(QLatin1String(f)));
    const QString cupsPdfOut = cupsPdfOutFolder();
    const QStringList cupsPdfBefore = pdfFilesIn(cupsPdfOut);
    const int lastJob = PrivateCups::lastJobId();

    const QString message = w.print(Doc(doc), printer);

    if (queue.isEmpty()) {
        QCOMPARE(message, doc == int(Doc::Certificate) ? kCertPrintError : kPrintError);
        QCOMPARE(PrivateCups::jobsAfter(lastJob, 2000).size(), 0); // no job anywhere
        QVERIFY(!QFileInfo::exists(m_cups->outFile(QStringLiteral("rejected.out"))));
        return;
    }
    QCOMPARE(message, QString());
    QCOMPARE(w.dialogs.calls.size(), 0); // no save dialog: it went to the printer
    if (doc != int(Doc::Certificate))
        QCOMPARE(w.note(), w.frm->texts().program.PrintQueued.arg(queue));
    const QList<PrivateCups::Job> jobs = PrivateCups::jobsAfter(lastJob);
    QCOMPARE(jobs.size(), 1); // printed once
    QCOMPARE(jobs[0].queue, queue);
    QCOMPARE(jobs[0].title, QStringLiteral("Kelotari"));
    QCOMPARE(int(jobs[0].state), int(IPP_JSTATE_COMPLETED));

    QString spooled;
    if (queue == kPdfQueue) {
        QString made;
        const QDeadlineTimer deadline(30000);
        while (made.isEmpty() && !deadline.hasExpired()) {
            for (const QString& f : pdfFilesIn(cupsPdfOut))
                if (!cupsPdfBefore.contains(f))
                    made = QDir(cupsPdfOut).filePath(f);
            QThread::msleep(50);
        }
        QVERIFY2(!made.isEmpty(), qPrintable("no new PDF in " + cupsPdfOut));
        QVERIFY(waitForFile(made));
        QThread::msleep(200); // cups-pdf moves its finished file into place
        qInfo("cups-pdf wrote %lld bytes (direct PDF %lld)",
              static_cast<long long>(QFileInfo(made).size()),
              static_cast<long long>(QFileInfo(direct).size()));
        // cups-pdf prints through PostScript and Ghostscript, which keep no text layer for
        // these fonts, and it places the page in its own printable area: the pages are
        // compared as pictures, line by line.
        const QImage got = pdfPicture(made, w.dir.filePath(QStringLiteral("cups-pdf")));
        const QImage want = pdfPicture(direct, w.dir.filePath(QStringLiteral("direct")));
        keepCopy(made, QStringLiteral("cups-pdf"));
        keepCopy(direct, QStringLiteral("direct"));
        const QString info = QString::fromUtf8(runTool(findTool("pdfinfo"), {made}));
        QFile::remove(made);
        QVERIFY2(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+1\\n"))),
                 qPrintable(info));
        QVERIFY2(info.contains(QRegularExpression(QStringLiteral("Title:\\s+\\(?Kelotari\\)?\\n"))),
                 qPrintable(info));
        QCOMPARE(got.size(), want.size()); // the same paper
        const QList<int> gotLines = inkedLines(got), wantLines = inkedLines(want);
        QVERIFY(wantLines.size() >= 4);
        QCOMPARE(gotLines.size(), wantLines.size());
        for (int i = 0; i < wantLines.size(); ++i) // each line about as long (its own glyphs)
            QVERIFY2(qAbs(gotLines[i] - wantLines[i]) * 3 <= wantLines[i],
                     qPrintable(QStringLiteral("line %1: %2 against %3 inked pixels")
                                    .arg(i + 1)
                                    .arg(gotLines[i])
                                    .arg(wantLines[i])));
        return;
    }
    QVERIFY(waitForFile(outFile));
    const QByteArray bytes = readAll(outFile);
    qInfo("spooled %lld bytes to %s (direct PDF %lld)", static_cast<long long>(bytes.size()),
          qPrintable(queue), static_cast<long long>(QFileInfo(direct).size()));
    QVERIFY2(bytes.startsWith("%PDF-"), bytes.left(16).constData());
    keepCopy(outFile, QStringLiteral("spooled"));
    keepCopy(direct, QStringLiteral("direct"));
    spooled = pdfText(outFile);
    QCOMPARE(spooled, expectedText);
}

// A paused printer takes the job and keeps it: nothing is reported, nothing lost, and the
// job prints once when the printer is started again.
void TstPrintSpooler::stoppedQueueKeepsTheJobUntilStarted() {
    Window w;
    const QString out = m_cups->outFile(QStringLiteral("stopped.out"));
    QFile::remove(out);
    const int lastJob = PrivateCups::lastJobId();
    QCOMPARE(w.print(Doc::All, kStoppedQueue), QString());
    // Said where the user looks, so the report is not printed again in vain.
    QCOMPARE(w.note(), w.frm->texts().program.PrintQueueStopped.arg(kStoppedQueue));
    QList<PrivateCups::Job> jobs = PrivateCups::jobsAfter(lastJob, 1000);
    QCOMPARE(jobs.size(), 1);
    QCOMPARE(int(jobs[0].state), int(IPP_JSTATE_PENDING));
    QVERIFY(!QFileInfo::exists(out));

    QVERIFY(m_cups->run("cupsenable", {kStoppedQueue}));
    jobs = PrivateCups::jobsAfter(lastJob);
    QCOMPARE(jobs.size(), 1);
    QCOMPARE(int(jobs[0].state), int(IPP_JSTATE_COMPLETED));
    QVERIFY(waitForFile(out));
    QVERIFY(pdfText(out).contains(QLatin1String("Kuusi")));
    QVERIFY(m_cups->run("cupsdisable", {kStoppedQueue}));
}

void TstPrintSpooler::printerBoxListsTheQueuesThenPdf() {
    Window w;
    const QStringList queues = queuesByLpstat(*m_cups);
    QCOMPARE(queues.size(), 5);
    inSetupDialog(*w.frm, [&](TSetupfrm& setup) {
        auto* box = setup.findChild<QComboBox*>(QStringLiteral("printerbox"));
        QTRY_COMPARE(boxItems(box), queues + QStringList{"PDF"});
        QCOMPARE(box->currentText(), QStringLiteral("None")); // the setting, not installed
        box->setCurrentIndex(int(queues.indexOf(kNamedQueue)));
        setup.findChild<QPushButton*>(QStringLiteral("ok_btn"))->click();
    });
    QCOMPARE(w.frm->state().settings.PrinterName, kNamedQueue);
}

// The queue chosen in the setup dialog is deleted before the report is printed: the report
// goes to the default printer, once.
void TstPrintSpooler::queueDeletedAfterListing() {
    const QString gone = QStringLiteral("Kelotari-Gone");
    QVERIFY(m_cups->addFileQueue(gone, QStringLiteral("gone.out")));
    Window w;
    inSetupDialog(*w.frm, [&](TSetupfrm& setup) {
        auto* box = setup.findChild<QComboBox*>(QStringLiteral("printerbox"));
        QTRY_VERIFY(box->findText(gone) >= 0);
        const int at = box->findText(gone);
        box->setCurrentIndex(at);
        setup.findChild<QPushButton*>(QStringLiteral("ok_btn"))->click();
    });
    QCOMPARE(w.frm->state().settings.PrinterName, gone);
    QVERIFY(m_cups->run("lpadmin", {"-x", gone}));
    QFile::remove(m_cups->outFile(QStringLiteral("default.out")));
    const int lastJob = PrivateCups::lastJobId();
    w.frm->PrintselectedClick();
    QVERIFY(QTest::qWaitFor([&] { return w.command(Doc::Selected)->isEnabled(); }, kOutcomeMs));
    QCOMPARE(w.dialogs.kinds(), QStringList());
    const QList<PrivateCups::Job> jobs = PrivateCups::jobsAfter(lastJob);
    QCOMPARE(jobs.size(), 1);
    QCOMPARE(jobs[0].queue, kDefaultQueue);
    QVERIFY(waitForFile(m_cups->outFile(QStringLiteral("default.out"))));
    QVERIFY(!QFileInfo::exists(m_cups->outFile(QStringLiteral("gone.out"))));
}

// cupsd ends while the setup dialog shows its queues: the dialog keeps the list it read, the
// chosen name is stored, printing shows the failure text at once and spools nothing, and
// nothing of it comes out once cupsd runs again.
void TstPrintSpooler::schedulerStoppedWhileTheSetupDialogIsOpen() {
    Window w;
    const int lastJob = PrivateCups::lastJobId();
    inSetupDialog(*w.frm, [&](TSetupfrm& setup) {
        auto* box = setup.findChild<QComboBox*>(QStringLiteral("printerbox"));
        QTRY_VERIFY(box->findText(kNamedQueue) >= 0);
        m_cups->stop();
        box->setCurrentIndex(box->findText(kNamedQueue));
        setup.findChild<QPushButton*>(QStringLiteral("ok_btn"))->click();
    });
    QCOMPARE(w.frm->state().settings.PrinterName, kNamedQueue);
    QVERIFY(!m_cups->running());

    QElapsedTimer took;
    took.start();
    QCOMPARE(w.print(Doc::All, kNamedQueue), kPrintError);
    QCOMPARE(w.print(Doc::Selected, QStringLiteral("None")), kPrintError);
    QCOMPARE(w.print(Doc::Certificate, kNamedQueue), kCertPrintError);
    qInfo("three prints without a scheduler took %lld ms", static_cast<long long>(took.elapsed()));
    // The PDF printer needs no scheduler.
    const QString pdf = w.dir.filePath(QStringLiteral("ohne-cups.pdf"));
    w.dialogs.saveNames << pdf;
    QCOMPARE(w.print(Doc::All, QStringLiteral("PDF")), QString());
    QVERIFY(pdfText(pdf).contains(QLatin1String("Kuusi")));
    // Only the PDF printer is left to choose.
    inSetupDialog(*w.frm, [&](TSetupfrm& setup) {
        QCOMPARE(boxItems(setup.findChild<QComboBox*>(QStringLiteral("printerbox"))),
                 QStringList{"PDF"});
    });

    QVERIFY2(m_cups->start(), qPrintable(readAll(m_cups->errorLog())));
    QCOMPARE(PrivateCups::jobsAfter(lastJob, 2000).size(), 0);
    QFile::remove(m_cups->outFile(QStringLiteral("named.out")));
    QCOMPARE(w.print(Doc::All, kNamedQueue), QString());
    const QList<PrivateCups::Job> jobs = PrivateCups::jobsAfter(lastJob);
    QCOMPARE(jobs.size(), 1);
    QCOMPARE(jobs[0].queue, kNamedQueue);
    QVERIFY(waitForFile(m_cups->outFile(QStringLiteral("named.out"))));
}

// Fifty more queues: the box lists all of them in the scheduler's order, and the one chosen
// prints once.
void TstPrintSpooler::manyQueues_data() {
    QTest::addColumn<int>("added");
    QTest::newRow("50 more") << 50;
    QTest::newRow("200 more") << 200;
}

// Many more queues: the box lists all of them in the scheduler's order, and the one chosen
// prints once.
void TstPrintSpooler::manyQueues() {
    QFETCH(int, added);
    QStringList names;
    for (int i = 1; i <= added; ++i) {
        names << QStringLiteral("Kuivaamo-%1").arg(i, 3, 10, QLatin1Char('0'));
        QVERIFY(m_cups->addFileQueue(names.last(), QStringLiteral("kuivaamo-%1.out").arg(i)));
    }
    const auto removeThem = qScopeGuard([&] {
        for (const QString& q : names)
            m_cups->run("lpadmin", {"-x", q});
    });
    const QString chosen = names[36];
    Window w;
    const QStringList queues = queuesByLpstat(*m_cups);
    QCOMPARE(queues.size(), added + 5);
    QElapsedTimer took;
    inSetupDialog(*w.frm, [&](TSetupfrm& setup) {
        auto* box = setup.findChild<QComboBox*>(QStringLiteral("printerbox"));
        QTRY_COMPARE_WITH_TIMEOUT(boxItems(box), queues + QStringList{"PDF"}, 10000);
        box->setCurrentIndex(box->findText(chosen));
        setup.findChild<QPushButton*>(QStringLiteral("ok_btn"))->click();
    });
    QCOMPARE(w.frm->state().settings.PrinterName, chosen);
    const int lastJob = PrivateCups::lastJobId();
    took.start();
    w.frm->PrintAllClick();
    QVERIFY(QTest::qWaitFor([&] { return w.command(Doc::All)->isEnabled(); }, kOutcomeMs));
    qInfo("Print all with %lld queues took %lld ms", static_cast<long long>(queues.size()),
          static_cast<long long>(took.elapsed()));
    QCOMPARE(w.dialogs.kinds(), QStringList());
    const QList<PrivateCups::Job> jobs = PrivateCups::jobsAfter(lastJob);
    QCOMPARE(jobs.size(), 1);
    QCOMPARE(jobs[0].queue, chosen);
    QVERIFY(waitForFile(m_cups->outFile(QStringLiteral("kuivaamo-37.out"))));
}

// The three prints the user can start, each as the user starts it: the two reports from the
// grid's menu, the certificate from the setup dialog's button (with a certificate in it).
void TstPrintSpooler::hungSchedulerCases() {
    QTest::addColumn<int>("doc");
    QTest::newRow("Print selected") << int(Doc::Selected);
    QTest::newRow("Print all") << int(Doc::All);
    QTest::newRow("certificate") << int(Doc::Certificate);
}

void TstPrintSpooler::printWhileTheSchedulerHangs_data() {
    hungSchedulerCases();
}

// The scheduler takes the connection and says nothing: the window goes on (a timer fires while
// it is held), the command waits disabled, and once the scheduler answers the document prints
// once and the status bar says where it went.
void TstPrintSpooler::printWhileTheSchedulerHangs() {
    QFETCH(int, doc);
    const LongTimeouts timeouts;
    Window w;
    w.frm->state().settings.PrinterName = kNamedQueue;
    QFile::remove(m_cups->outFile(QStringLiteral("named.out")));
    const int lastJob = PrivateCups::lastJobId();
    const ProgramTexts& texts = w.frm->texts().program;
    if (doc == int(Doc::Certificate)) {
        inSetupDialog(*w.frm, [&](TSetupfrm& setup) {
            setup.calibration().record() = sampleCertificate();
            auto* print = setup.findChild<QPushButton*>(QStringLiteral("cert_print"));
            print->setEnabled(true); // as a test or a load leaves it
            HeldScheduler held(*m_cups);
            QTest::mouseClick(print, Qt::LeftButton);
            QVERIFY(!print->isEnabled());
            QVERIFY(setup.isVisible());
            QVERIFY(loopTurnsWhileHeld(held));
            held.release();
            QTRY_VERIFY_WITH_TIMEOUT(print->isEnabled(), kOutcomeMs);
            QCOMPARE(setup.infoLines().value(setup.infoLines().size() - 1),
                     setup.calibration().texts().PrintingText);
        });
    } else {
        QAction* command = w.command(Doc(doc));
        HeldScheduler held(*m_cups);
        command->trigger();
        QVERIFY(!command->isEnabled());
        QCOMPARE(w.note(), texts.PrintSending);
        QVERIFY(loopTurnsWhileHeld(held));
        held.release();
        QTRY_VERIFY_WITH_TIMEOUT(command->isEnabled(), kOutcomeMs);
    }
    QCOMPARE(w.dialogs.kinds(), QStringList());
    QCOMPARE(w.note(), texts.PrintQueued.arg(kNamedQueue));
    const QList<PrivateCups::Job> jobs = PrivateCups::jobsAfter(lastJob);
    QCOMPARE(jobs.size(), 1);
    QCOMPARE(jobs[0].queue, kNamedQueue);
    QCOMPARE(int(jobs[0].state), int(IPP_JSTATE_COMPLETED));
    QVERIFY(waitForFile(m_cups->outFile(QStringLiteral("named.out"))));
}

// A report on the PDF printer asks the scheduler nothing: it is written while the scheduler
// hangs, and the window goes on meanwhile.
void TstPrintSpooler::pdfPrintNeedsNoScheduler() {
    Window w;
    w.frm->state().settings.PrinterName = QStringLiteral("PDF");
    const QString pdf = w.dir.filePath(QStringLiteral("kuivaamo.pdf"));
    w.dialogs.saveNames << pdf;
    HeldScheduler held(*m_cups);
    bool fired = false, whileHeld = false;
    QTimer::singleShot(100, [&] {
        fired = true;
        whileHeld = held.held();
    });
    w.command(Doc::All)->trigger();
    QVERIFY(held.held()); // the print did not wait for the scheduler
    QTRY_VERIFY(fired);
    QVERIFY(whileHeld);
    QCOMPARE(w.dialogs.kinds(), QStringList{"save"});
    held.release();
    QVERIFY(pdfText(pdf).contains(QLatin1String("Kuusi")));
}

void TstPrintSpooler::setupOpensWhileTheSchedulerHangs_data() {
    QTest::addColumn<bool>("okAtOnce");  // OK pressed before the scheduler answers
    QTest::addColumn<QString>("typed");  // typed into the box before it answers; empty: nothing
    QTest::addColumn<QString>("stored"); // PrinterName after OK
    QTest::newRow("the queues come once it answers") << false << QString() << kDefaultQueue;
    QTest::newRow("OK before the list keeps the stored name") << true << QString() << kNamedQueue;
    QTest::newRow("a name typed before the list stays")
        << false << QStringLiteral("Kuivaamo 3") << QStringLiteral("Kuivaamo 3");
}

// The setup dialog opens at once with "PDF" and the stored name; the queues join the list when
// the scheduler answers, and OK never waits for them nor loses what the box shows.
void TstPrintSpooler::setupOpensWhileTheSchedulerHangs() {
    QFETCH(bool, okAtOnce);
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    Window w;
    w.frm->state().settings.PrinterName = kNamedQueue;
    const QStringList queues = queuesByLpstat(*m_cups);
    bool shown = false;
    {
        HeldScheduler held(*m_cups);
        inSetupDialog(*w.frm, [&](TSetupfrm& setup) {
            shown = setup.isVisible();
            auto* box = setup.findChild<QComboBox*>(QStringLiteral("printerbox"));
            QCOMPARE(boxItems(box), QStringList{"PDF"});
            QCOMPARE(box->currentText(), kNamedQueue);
            QVERIFY(loopTurnsWhileHeld(held));
            auto* ok = setup.findChild<QPushButton*>(QStringLiteral("ok_btn"));
            if (okAtOnce)
                return ok->click();
            if (!typed.isEmpty())
                box->setEditText(typed);
            held.release();
            QTRY_COMPARE_WITH_TIMEOUT(boxItems(box), queues + QStringList{"PDF"}, kOutcomeMs);
            if (typed.isEmpty()) {
                QCOMPARE(box->currentText(), kNamedQueue);
                box->setCurrentIndex(box->findText(kDefaultQueue));
            }
            ok->click();
        });
    }
    QVERIFY(shown);
    QCOMPARE(w.frm->state().settings.PrinterName, stored);
}

void TstPrintSpooler::timeOutIsAPrintFailure_data() {
    hungSchedulerCases();
}

// Held longer than its time-outs, the scheduler never printing the document is a print
// failure with the usual text; nothing prints once it answers again, and the setup dialog's
// box keeps "PDF" and the stored name.
void TstPrintSpooler::timeOutIsAPrintFailure() {
    QFETCH(int, doc);
    const ShortTimeouts shortened;
    Window w;
    const int lastJob = PrivateCups::lastJobId();
    {
        HeldScheduler held(*m_cups);
        QElapsedTimer took;
        took.start();
        const QString message = w.print(Doc(doc), kNamedQueue);
        qInfo("the failure came after %lld ms", static_cast<long long>(took.elapsed()));
        QVERIFY(held.held()); // the scheduler never answered: the time-out ended it
        QCOMPARE(message, doc == int(Doc::Certificate) ? kCertPrintError : kPrintError);
        QCOMPARE(w.note(), QString());
        QVERIFY(w.command(Doc::Selected)->isEnabled() && w.command(Doc::All)->isEnabled());
        inSetupDialog(*w.frm, [&](TSetupfrm& setup) {
            auto* box = setup.findChild<QComboBox*>(QStringLiteral("printerbox"));
            QTest::qWait(shortened.timeouts.listMs + 1000);
            QVERIFY(held.held());
            QCOMPARE(boxItems(box), QStringList{"PDF"});
            QCOMPARE(box->currentText(), kNamedQueue);
        });
    }
    QCOMPARE(PrivateCups::jobsAfter(lastJob, 3000).size(), 0);
}

void TstPrintSpooler::schedulerKilledDuringAPrint_data() {
    QTest::addColumn<int>("doc");
    QTest::newRow("Print all") << int(Doc::All);
    QTest::newRow("certificate") << int(Doc::Certificate);
}

// cupsd dies while the document is on its way: the failure text comes at once (the time-outs
// here are longer than the wait for an outcome), nothing prints once cupsd runs again, and the
// next print goes through.
void TstPrintSpooler::schedulerKilledDuringAPrint() {
    QFETCH(int, doc);
    const PrintTimeouts kept = printTimeouts();
    setPrintTimeouts(PrintTimeouts{2 * kOutcomeMs, 2 * kOutcomeMs, 2 * kOutcomeMs});
    const auto restore = qScopeGuard([&] { setPrintTimeouts(kept); });
    Window w;
    const int lastJob = PrivateCups::lastJobId();
    {
        HeldScheduler held(*m_cups);
        QTimer::singleShot(300, [&] { held.kill(); });
        QCOMPARE(w.print(Doc(doc), kNamedQueue),
                 doc == int(Doc::Certificate) ? kCertPrintError : kPrintError);
    }
    QVERIFY(!m_cups->running());
    QVERIFY2(m_cups->start(), qPrintable(readAll(m_cups->errorLog())));
    for (const PrivateCups::Job& j : PrivateCups::jobsAfter(lastJob, 3000))
        QVERIFY(j.state != IPP_JSTATE_COMPLETED);
    const int beforeAgain = PrivateCups::lastJobId();
    QCOMPARE(w.print(Doc(doc), kNamedQueue), QString());
    QCOMPARE(PrivateCups::jobsAfter(beforeAgain).size(), 1);
}

void TstPrintSpooler::quitDuringAPrint_data() {
    QTest::addColumn<int>("answerAfterMs"); // -1: not within Quit's wait
    QTest::addColumn<int>("jobs");
    QTest::newRow("the scheduler answers within the wait") << 500 << 1;
    QTest::newRow("the scheduler stays silent") << -1 << 0;
}

// Quit while Print all is on its way: Quit waits a few seconds for it and then ends, leaving
// to the scheduler what it has.
void TstPrintSpooler::quitDuringAPrint() {
    QFETCH(int, answerAfterMs);
    QFETCH(int, jobs);
    const int lastJob = PrivateCups::lastJobId();
    qint64 took = 0;
    QElapsedTimer gone;
    {
        Window w;
        w.frm->state().settings.PrinterName = kNamedQueue;
        HeldScheduler held(*m_cups);
        w.command(Doc::All)->trigger();
        QVERIFY(DocumentPrinter::anyBusy());
        if (answerAfterMs >= 0)
            QTimer::singleShot(answerAfterMs, [&] { held.release(); });
        QElapsedTimer clock;
        clock.start();
        w.frm->tyo_quitClick();
        took = clock.elapsed();
        QVERIFY(!DocumentPrinter::anyBusy());
        QCOMPARE(w.dialogs.kinds(), QStringList());
        gone.start();
    } // the window goes while its worker may still be asking the scheduler
    qInfo("Quit took %lld ms, the window's end %lld ms", static_cast<long long>(took),
          static_cast<long long>(gone.elapsed()));
    QCOMPARE(PrivateCups::jobsAfter(lastJob, 3000).size(), jobs);
}

QTEST_MAIN(TstPrintSpooler)
#include "tst_print_spooler.moc"
