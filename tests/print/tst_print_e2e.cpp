// Both packet reports printed from the main window to PDF files and read back with poppler.
#include "ChartPixels.h"
#include "FilePanel.h"
#include "HistogramChart.h"
#include "NameKinds.h"
#include "PdfText.h"
#include "ScriptedDialogs.h"
#include "main_frm.h"
#include "packets/Histogram.h"

#include <QPrinterInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(kelotari::PrintOutcome)

using namespace kelotari;

namespace {

const QString kPrintError = QStringLiteral("Tulostusongelma!\rTarkista tulostin.");

// Three packets as a download leaves them; the wood type carries a Windows-1252 letter.
struct Packet {
    QList<QByteArray> header; // columns 0..9
    QList<QByteArray> readings;
};
const QList<Packet> kPackets = {
    {{"1", "3", "05.03.24", "14:02", "M\xE4nty", "20", "12.5", "13.1", "12.8", "0.3"},
     {"12.5", "12.9", "13.1"}},
    {{"2", "5", "05.03.24", "14:10", "Kuusi", "18", "16.2", "19.8", "17.9", "1.4"},
     {"16.2", "17.5", "18.0", "18.8", "19.8"}},
    {{"3", "4", "06.03.24", "08:31", "Koivu", "15", "8.9", "22.4", "14.6", "5.6"},
     {"8.9", "12.0", "14.6", "22.4"}},
};

PdfWord word(const QList<PdfWord>& words, const QString& text, int page = 0) {
    for (const PdfWord& w : words)
        if (w.text == text && w.page == page)
            return w;
    qWarning() << "no word" << text << "on page" << page;
    return PdfWord{-1, -1000, -1000, QString()};
}

// A page rendered without smoothing, so only the bars are silver.
QImage pdfPage(const QString& pdf, const QString& outPrefix, int dpi) {
    runTool(findTool("pdftoppm"), {"-f", "1", "-l", "1", "-r", QString::number(dpi), "-aa", "no",
                                   "-aaVector", "no", "-png", "-singlefile", pdf, outPrefix});
    return QImage(outPrefix + QStringLiteral(".png"));
}

// Everything printing must leave alone.
struct Snapshot {
    QList<QByteArray> cells;
    int packetCount = 0, selRow = 0;
    bool unsaved = false;
    Histogram bars;
    QString printerName, dataPath;

    explicit Snapshot(TMainFrm& f) {
        for (int r = 1; r < kRows; ++r)
            for (int c = 0; c < kColumns; ++c)
                cells << f.state().table.cell(c, r);
        packetCount = f.state().PacketCount;
        selRow = f.state().SelRow;
        unsaved = f.state().Unsaved;
        bars = f.chart()->bars();
        printerName = f.state().settings.PrinterName;
        dataPath = f.state().settings.DataPath;
    }
    bool operator==(const Snapshot& o) const {
        return cells == o.cells && packetCount == o.packetCount && selRow == o.selRow &&
               unsaved == o.unsaved && bars == o.bars && printerName == o.printerName &&
               dataPath == o.dataPath;
    }
};

// A main window started with the PDF printer in its settings file and the packets loaded.
class Window {
public:
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    std::unique_ptr<TMainFrm> frm;

    explicit Window(const QString& printer = QStringLiteral("PDF"), int packets = 3) {
        writeFile(QStringLiteral("Kelotari.INI"), "[DB]\r\nPath=" + dir.path().toUtf8() +
                                                      "/\r\n[App]\r\nPrinter=" + printer.toUtf8() +
                                                      "\r\n");
        writeFile(QStringLiteral("DefLang.lng"),
                  "[Dialogs]\r\nPrnPro=Tulostusongelma!%Tarkista tulostin.\r\n");
        writeFile(QStringLiteral("saha.DAT"), "");
        frm = std::make_unique<TMainFrm>(
            MainFrmEnv{dir.filePath("Kelotari.INI"), dir.filePath("DefLang.lng"), &dialogs, 1000});
        for (int r = 1; r <= packets; ++r) {
            const Packet& p = kPackets[(r - 1) % kPackets.size()];
            for (int c = 0; c < p.header.size(); ++c)
                frm->state().table.setCell(c, r, c == 0 ? QByteArray::number(r) : p.header[c]);
            frm->state().table.setCell(kCommentCol, r, "kuivaamo 2");
            for (int i = 0; i < p.readings.size(); ++i)
                frm->state().table.setCell(kFirstReadingCol + i, r, p.readings[i]);
        }
        frm->state().PacketCount = packets;
        dialogs.calls.clear();
    }
    QString path(const QString& name) const { return dir.filePath(name); }
    void writeFile(const QString& name, const QByteArray& bytes) {
        QFile f(dir.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
};

bool noPrinterInstalled() {
    return QPrinterInfo::availablePrinterNames().isEmpty() &&
           QPrinterInfo::defaultPrinter().isNull();
}

} // namespace

class TstPrintE2e : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void printSelectedToPdf();
    void printAllToPdf();
    void printAllOverSeveralPages();
    void nothingSelectedOrNoPacketsPrintsNothing();
    void noPrinterShowsPrintErrorMsg_data();
    void noPrinterShowsPrintErrorMsg();
    void pdfFileCannotBeWritten_data();
    void pdfFileCannotBeWritten();
    void pdfSaveDialogAndOverwrite_data();
    void pdfSaveDialogAndOverwrite();
    void pdfNameAsksAsEverySavePath_data();
    void pdfNameAsksAsEverySavePath();
    void statusBarSaysWhereTheDocumentWent_data();
    void statusBarSaysWhereTheDocumentWent();
};

void TstPrintE2e::initTestCase() {
    QVERIFY2(!findTool("pdftotext").isEmpty() && !findTool("pdftoppm").isEmpty(),
             "the end-to-end tests read the PDFs back with poppler-utils");
}

void TstPrintE2e::printSelectedToPdf() {
    Window w;
    TMainFrm& f = *w.frm;
    // The chart shows packet 1; then the comment cell of packet 2 is selected, which leaves the
    // chart alone. The report is packet 2's, histogram included.
    f.filecontentSelectCell(0, 1);
    f.filecontentSelectCell(kCommentCol, 2);
    QCOMPARE(f.chart()->bars(), histogramOfRow(f.state().table, 1));
    const Snapshot before(f);
    const QString pdf = w.path("valittu.pdf");
    w.dialogs.saveNames << pdf;

    f.PrintselectedClick();

    QCOMPARE(w.dialogs.kinds(), QStringList{"save"});
    const auto save = w.dialogs.calls.first();
    QCOMPARE(save.title, QStringLiteral("Print selected"));
    QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(
                                    QRegularExpression::escape(w.dir.path() + "/Kelotari") +
                                    R"(\d{8}_\d{6}\.pdf)"))
                 .match(save.text)
                 .hasMatch(),
             qPrintable(save.text));
    QVERIFY(Snapshot(f) == before);

    const QString text = pdfText(pdf);
    for (const char* expected :
         {"Packet: 2", "Samples: 5", "Wood type: Kuusi", "Lowest: 16.2", "Highest: 19.8",
          "Date: 05.03.24", "Time: 14:10", "Temp.: 18", "AVG: 17.9", "s: 1.4"})
        QVERIFY2(text.contains(QLatin1String(expected)), expected);
    QVERIFY(!text.contains(QLatin1String("kuivaamo"))); // no comment
    QVERIFY(!text.contains(QLatin1String("17.5")));     // no readings

    int pages = 0;
    QSizeF paper;
    const QList<PdfWord> words = pdfWords(pdf, &pages, &paper);
    QCOMPARE(pages, 1);
    QVERIFY(paper.height() > paper.width()); // portrait, A4 or Letter by the locale
    const QString info = QString::fromUtf8(runTool(findTool("pdfinfo"), {pdf}));
    QVERIFY2(QRegularExpression(QStringLiteral("^Title:\\s+Kelotari$"),
                                QRegularExpression::MultilineOption)
                 .match(info)
                 .hasMatch(),
             qPrintable(info));
    // Positions: 1/4 inch unprintable border (18 pt), then 200 dots at 600 dpi (24 pt).
    const double dot = 72.0 / 600;
    const double left = 18 + 200 * dot;
    const PdfWord packet = word(words, "Packet:"), samples = word(words, "Samples:"),
                  wood = word(words, "Wood"), date = word(words, "Date:"), s = word(words, "s:");
    QVERIFY2(std::abs(packet.x - left) < 1.5, qPrintable(QString::number(packet.x)));
    QVERIFY(std::abs(wood.x - left) < 1.5);
    // Second column at 200 + (W - 200) / 2 with W the A4 width less the border, in dots.
    const double W = (paper.width() - 36) / dot;
    const double x2 = 18 + (200 + (W - 200) / 2) * dot;
    QVERIFY2(std::abs(date.x - x2) < 1.5, qPrintable(QString::number(date.x)));
    QVERIFY(std::abs(s.x - x2) < 1.5);
    const double h = samples.y - packet.y;
    QVERIFY2(h > 10 && h < 14, qPrintable(QString::number(h))); // "Ög" in a 10 pt font
    QVERIFY(std::abs(wood.y - samples.y - h) < 0.2);
    QVERIFY(std::abs(date.y - packet.y) < 0.2);
    QVERIFY(std::abs(s.y - packet.y - 4 * h) < 0.3);

    // The chart: packet 2's bars (classes 16, 17, 18 twice, 19) in the quarter of the page
    // below the texts.
    const QImage page = pdfPage(pdf, w.path("valittu"), 100);
    QVERIFY(!page.isNull());
    const double px = 100.0 / 72; // pixels per point
    const double H = (paper.height() - 36) / dot;
    const QList<FoundBar> bars = findBars(page);
    QCOMPARE(bars.size(), 4);
    QCOMPARE(bars[2].height(), 2 * bars[0].height());
    for (const FoundBar& b : bars) {
        QVERIFY(b.left > left * px && b.right < (paper.width() - 18 - 100 * dot) * px);
        QVERIFY(b.top > (18 + H / 4 * dot) * px && b.bottom < (18 + H / 2 * dot) * px);
        if (&b != &bars[2])
            QVERIFY(std::abs(b.height() - bars[0].height()) <= 1);
    }
}

void TstPrintE2e::printAllToPdf() {
    Window w;
    TMainFrm& f = *w.frm;
    f.filePanel()->refreshFiles();
    QVERIFY(f.filePanel()->selectFile(w.path("saha.DAT")));
    f.filecontentSelectCell(2, 3);
    const Snapshot before(f);
    const QString pdf = w.path("kaikki.pdf");
    w.dialogs.saveNames << pdf;

    f.PrintAllClick();

    QCOMPARE(w.dialogs.kinds(), QStringList{"save"});
    QCOMPARE(w.dialogs.calls.first().title, QStringLiteral("Print all"));
    QVERIFY(Snapshot(f) == before);

    const QStringList lines = pdfText(pdf).split(QLatin1Char('\n'));
    QCOMPARE(lines.value(0).trimmed(), w.path("saha.DAT"));
    QVERIFY(lines.value(1).trimmed().isEmpty());
    QVERIFY2(QRegularExpression(
                 R"(^\s*Packet\s+Samples\s+Lowest\s+Highest\s+Wood type\s+Temp\.\s+AVG\s+s\s*$)")
                 .match(lines.value(2))
                 .hasMatch(),
             qPrintable(lines.value(2)));
    const QStringList rows = {
        QStringLiteral(R"(^\s*1\.\s+1\s+3\s+12\.5\s+13\.1\s+Mänty\s+20\s+12\.8\s+0\.3\s*$)"),
        QStringLiteral(R"(^\s*2\.\s+2\s+5\s+16\.2\s+19\.8\s+Kuusi\s+18\s+17\.9\s+1\.4\s*$)"),
        QStringLiteral(R"(^\s*3\.\s+3\s+4\s+8\.9\s+22\.4\s+Koivu\s+15\s+14\.6\s+5\.6\s*$)")};
    for (int i = 0; i < rows.size(); ++i)
        QVERIFY2(QRegularExpression(rows[i]).match(lines.value(3 + i)).hasMatch(),
                 qPrintable(lines.value(3 + i)));

    int pages = 0;
    QSizeF paper;
    const QList<PdfWord> words = pdfWords(pdf, &pages, &paper);
    QCOMPARE(pages, 1);
    // Columns every (W - 100) / 8 dots from x = 200.
    const double dot = 72.0 / 600;
    const double W = (paper.width() - 36) / dot;
    const double step = int((W - 100) / 8) * dot;
    const QStringList headings = {"Packet", "Samples", "Lowest", "Highest",
                                  "Wood",   "Temp.",   "AVG",    "s"};
    for (int i = 0; i < headings.size(); ++i) {
        const PdfWord hw = word(words, headings[i]);
        QVERIFY2(std::abs(hw.x - (18 + 200 * dot + i * step)) < 1.5,
                 qPrintable(headings[i] + QStringLiteral(" at ") + QString::number(hw.x)));
    }
    // File name at y 200, headings two lines lower, the first packet one more line down.
    const double fileY = words.first().y;
    const double h = word(words, "1.").y - word(words, "Packet").y;
    QVERIFY(std::abs(word(words, "Packet").y - fileY - 2 * h) < 0.3);
}

void TstPrintE2e::printAllOverSeveralPages() {
    Window w(QStringLiteral("PDF"), kMaxPackets);
    TMainFrm& f = *w.frm;
    // A large window font: a full table no longer fits on one page.
    f.setFont(QFont(f.font().family(), 30));
    const QString pdf = w.path("pitka.pdf");
    w.dialogs.saveNames << pdf;

    f.PrintAllClick();
    QCOMPARE(w.dialogs.kinds(), QStringList{"save"});

    int pages = 0;
    const QList<PdfWord> words = pdfWords(pdf, &pages);
    QVERIFY2(pages >= 3, qPrintable(QString::number(pages)));
    // Rows 1..49 once each and in order; every page holds rows.
    QList<int> rowPages;
    for (const PdfWord& wd : words)
        if (QRegularExpression(R"(^\d+\.$)").match(wd.text).hasMatch()) {
            QCOMPARE(wd.text, QString::number(rowPages.size() + 1) + QLatin1Char('.'));
            rowPages << wd.page;
        }
    QCOMPARE(rowPages.size(), kMaxPackets);
    for (int p = 0; p < pages; ++p)
        QVERIFY2(rowPages.contains(p), qPrintable(QStringLiteral("page %1 is empty").arg(p + 1)));
    // Headings on the first page only; the later pages start at y = 200 like the first.
    int headingCount = 0;
    for (const PdfWord& wd : words)
        if (wd.text == QLatin1String("Samples"))
            ++headingCount;
    QCOMPARE(headingCount, 1);
    QCOMPARE(word(words, "Samples").page, 0);
    const double top =
        word(words, "Packet", 0).y - 2 * (word(words, "1.").y - word(words, "Packet").y);
    for (int p = 1; p < pages; ++p) {
        const int firstRow = rowPages.indexOf(p) + 1;
        const PdfWord first = word(words, QString::number(firstRow) + QLatin1Char('.'), p);
        QVERIFY2(std::abs(first.y - top) < 0.5, qPrintable(QString::number(first.y)));
    }
}

void TstPrintE2e::nothingSelectedOrNoPacketsPrintsNothing() {
    Window w(QStringLiteral("PDF"), 0);
    TMainFrm& f = *w.frm;
    w.dialogs.saveNames << w.path("a.pdf") << w.path("b.pdf");
    QCOMPARE(f.state().SelRow, -1);
    f.PrintselectedClick();
    f.PrintAllClick();
    QVERIFY(w.dialogs.calls.isEmpty());
    QVERIFY(!QFileInfo::exists(w.path("a.pdf")));
}

void TstPrintE2e::noPrinterShowsPrintErrorMsg_data() {
    QTest::addColumn<bool>("all");
    QTest::addColumn<QString>("printer");
    QTest::newRow("Print selected, None") << false << "None";
    QTest::newRow("Print all, None") << true << "None";
    QTest::newRow("Print all, a removed printer") << true << "HP_LaserJet_kuivaamo";
}

void TstPrintE2e::noPrinterShowsPrintErrorMsg() {
    QFETCH(bool, all);
    QFETCH(QString, printer);
    if (!noPrinterInstalled())
        QSKIP("a printer is installed here; this case needs a machine without one");
    Window w(printer);
    TMainFrm& f = *w.frm;
    QCOMPARE(f.state().settings.PrinterName, printer);
    f.filecontentSelectCell(1, 2);
    const Snapshot before(f);
    all ? f.PrintAllClick() : f.PrintselectedClick();
    QTRY_COMPARE(w.dialogs.kinds(), QStringList{"message"}); // the scheduler is asked by a worker
    QCOMPARE(w.dialogs.calls.first().text, kPrintError);
    QVERIFY(Snapshot(f) == before);
}

void TstPrintE2e::pdfFileCannotBeWritten_data() {
    QTest::addColumn<bool>("all");
    QTest::newRow("Print selected") << false;
    QTest::newRow("Print all") << true;
}

void TstPrintE2e::pdfFileCannotBeWritten() {
    QFETCH(bool, all);
    Window w;
    TMainFrm& f = *w.frm;
    f.filecontentSelectCell(0, 1);
    const Snapshot before(f);
    w.dialogs.saveNames << w.path("no-such-folder/raportti.pdf");
    all ? f.PrintAllClick() : f.PrintselectedClick();
    QCOMPARE(w.dialogs.kinds(), QStringList({"save", "message"}));
    QCOMPARE(w.dialogs.calls.last().text, kPrintError);
    QVERIFY(Snapshot(f) == before);
}

void TstPrintE2e::pdfSaveDialogAndOverwrite_data() {
    QTest::addColumn<bool>("chooseName");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<bool>("overwrite");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<bool>("printed");
    QTest::newRow("dialog cancelled") << false << false << false << QStringList{"save"} << false;
    QTest::newRow("new file") << true << false << false << QStringList{"save"} << true;
    QTest::newRow("existing file, No")
        << true << true << false << QStringList{"save", "ask"} << false;
    QTest::newRow("existing file, Yes")
        << true << true << true << QStringList{"save", "ask"} << true;
}

void TstPrintE2e::pdfSaveDialogAndOverwrite() {
    QFETCH(bool, chooseName);
    QFETCH(bool, exists);
    QFETCH(bool, overwrite);
    QFETCH(QStringList, calls);
    QFETCH(bool, printed);
    Window w;
    TMainFrm& f = *w.frm;
    f.filecontentSelectCell(0, 3);
    const QString pdf = w.path("raportti.pdf");
    if (exists)
        w.writeFile(QStringLiteral("raportti.pdf"), "old report");
    if (chooseName)
        w.dialogs.saveNames << pdf;
    w.dialogs.yesNoAnswers << overwrite;
    const Snapshot before(f);

    f.PrintselectedClick();

    QCOMPARE(w.dialogs.kinds(), calls);
    if (calls.contains(QLatin1String("ask")))
        QCOMPARE(w.dialogs.callsOf("ask").first().text, f.texts().FileExistsMsg);
    QVERIFY(Snapshot(f) == before);
    QFile file(pdf);
    if (printed) {
        QVERIFY(pdfText(pdf).contains(QLatin1String("Packet: 3")));
    } else if (exists) {
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("old report"));
    } else {
        QVERIFY(!file.exists());
    }
}

// The PDF printer's file, given a name of each kind, is asked about and written as a data
// file's Save asks and writes.
void TstPrintE2e::pdfNameAsksAsEverySavePath_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("yes");
    for (const QString& kind : kNameKinds)
        for (bool yes : {true, false})
            if (kind != QLatin1String("missing") || yes)
                QTest::newRow(
                    qPrintable(kind + (yes ? QStringLiteral(", Yes") : QStringLiteral(", No"))))
                    << kind << yes;
}

void TstPrintE2e::pdfNameAsksAsEverySavePath() {
    QFETCH(QString, kind);
    QFETCH(bool, yes);
    Window w;
    TMainFrm& f = *w.frm;
    f.filecontentSelectCell(0, 1);
    QVERIFY(QDir(w.dir.path()).mkdir(QStringLiteral("out")));
    const QString out = w.path(QStringLiteral("out"));
    const QString name = makeNameOfKind(out, kind, QStringLiteral(".pdf"));
    QVERIFY(!name.isEmpty());
    w.dialogs.saveNames << name;
    w.dialogs.yesNoAnswers << yes;

    f.PrintselectedClick();

    const bool asked = kind != QLatin1String("missing");
    const bool goesOn = !asked || yes;
    QCOMPARE(w.dialogs.callsOf("ask").size(), asked ? 1 : 0);
    if (asked)
        QCOMPARE(w.dialogs.callsOf("ask").first().text, f.texts().FileExistsMsg);
    QCOMPARE(w.dialogs.callsOf("message").size(), goesOn && saveFails(kind) ? 1 : 0);
    QCOMPARE(describeFolder(out), goesOn ? folderAfterSave(kind, QStringLiteral(".pdf"))
                                         : folderBeforeSave(kind, QStringLiteral(".pdf")));
}

void TstPrintE2e::statusBarSaysWhereTheDocumentWent_data() {
    QTest::addColumn<bool>("finnish"); // the shipped Suomi.lng as the language file
    QTest::addColumn<PrintOutcome>("outcome");
    QTest::addColumn<QString>("note");
    auto queued = [](QueueCondition condition) {
        PrintOutcome o;
        o.result = PrintResult::Printed;
        o.queue = QStringLiteral("Toimisto");
        o.condition = condition;
        return o;
    };
    const PrintOutcome failed, pdf{PrintResult::Printed, QString(), QueueCondition::Unknown};
    const struct {
        const char* tag;
        bool finnish;
        PrintOutcome outcome;
        QString note;
    } rows[] = {
        {"went to the queue", false, queued(QueueCondition::Ready),
         "The document went to the print queue Toimisto."},
        {"the scheduler did not say", false, queued(QueueCondition::Unknown),
         "The document went to the print queue Toimisto."},
        {"queue stopped", false, queued(QueueCondition::Stopped),
         "The document went to the print queue Toimisto, which is stopped: it prints once the "
         "queue is started again."},
        {"printer not answering", false, queued(QueueCondition::NotAnswering),
         "The document went to the print queue Toimisto, but its printer does not answer: check "
         "that it is switched on and connected."},
        {"a PDF file says nothing", false, pdf, ""},
        {"a failure leaves it to its box", false, failed, ""},
        {"Finnish: went to the queue", true, queued(QueueCondition::Ready),
         "Asiakirja l\u00E4hti tulostusjonoon Toimisto."},
        {"Finnish: queue stopped", true, queued(QueueCondition::Stopped),
         "Asiakirja l\u00E4hti tulostusjonoon Toimisto, joka on pys\u00E4ytetty: se tulostuu, "
         "kun jono k\u00E4ynnistet\u00E4\u00E4n uudelleen."},
        {"Finnish: printer not answering", true, queued(QueueCondition::NotAnswering),
         "Asiakirja l\u00E4hti tulostusjonoon Toimisto, mutta tulostin ei vastaa: tarkista, "
         "ett\u00E4 se on p\u00E4\u00E4ll\u00E4 ja kytkettyn\u00E4."},
    };
    for (const auto& r : rows)
        QTest::newRow(r.tag) << r.finnish << r.outcome << r.note;
}

// The note a print leaves in the status bar, in the language file's words.
void TstPrintE2e::statusBarSaysWhereTheDocumentWent() {
    QFETCH(bool, finnish);
    QFETCH(PrintOutcome, outcome);
    QFETCH(QString, note);
    Window w;
    if (finnish) {
        QFile::remove(w.path(QStringLiteral("DefLang.lng")));
        QVERIFY(QFile::copy(QStringLiteral(KELOTARI_SOURCE_DIR "/lang/Suomi.lng"),
                            w.path(QStringLiteral("DefLang.lng"))));
        w.frm = std::make_unique<TMainFrm>(
            MainFrmEnv{w.path("Kelotari.INI"), w.path("DefLang.lng"), &w.dialogs, 1000});
    }
    w.frm->statusBar()->showMessage(QStringLiteral("an older note"));
    w.frm->notePrintOutcome(outcome);
    QCOMPARE(w.frm->statusBar()->currentMessage(), note.isEmpty() ? "an older note" : note);
}

QTEST_MAIN(TstPrintE2e)
#include "tst_print_e2e.moc"
