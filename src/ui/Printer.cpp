#include "Printer.h"

#include "CupsQueue.h"
#include "QtPageCanvas.h"
#include "files/SafeWrite.h"
#include "print/PacketReports.h"
#include "print/PdfFile.h"

#include <QBuffer>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLocale>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <mutex>
#include <optional>
#include <utility>

namespace kelotari {

namespace {

// The PDF printer's page: the paper of the user's region with a laser printer's unprintable
// border, so the page looks like its output.
QPageLayout pdfFileLayout() {
    const bool letter = QLocale::system().measurementSystem() == QLocale::ImperialUSSystem;
    return QPageLayout(QPageSize(letter ? QPageSize::Letter : QPageSize::A4), QPageLayout::Portrait,
                       QMarginsF(6.35, 6.35, 6.35, 6.35), QPageLayout::Millimeter);
}

// The file a report or certificate printed on the PDF printer goes to; empty when the dialog
// was cancelled or overwriting refused. The question is the one every save path asks.
QString pdfFileName(Dialogs& dialogs, const PrintRequest& request) {
    return choosePdfFileName(dialogs, request.dialogTitle, request.pdfFileProposal,
                             request.fileExistsQuestion);
}

// A whole PDF: its cross-reference table stands where the trailer says and the file ends with
// the end mark.
bool isCompletePdf(const QByteArray& pdf) {
    if (!pdf.trimmed().endsWith("%%EOF"))
        return false;
    const qsizetype at = pdf.lastIndexOf("startxref");
    if (at < 0)
        return false;
    bool ok = false;
    const qlonglong offset =
        pdf.mid(at + 9, 24).trimmed().split('\n').value(0).trimmed().toLongLong(&ok);
    return ok && offset >= 0 && offset < pdf.size() && pdf.mid(offset, 4) == "xref";
}

// Runs the layout on a PDF page of `layout` at `resolution` dots per inch, in memory; empty
// when the layout failed or the document is not whole. A QPdfWriter, not a QPrinter: Qt's
// printer looks up the system's default printer when it is made, which would ask the print
// scheduler on this (the GUI) thread.
QByteArray makePdf(const QPageLayout& layout, int resolution, const QFont& font,
                   const std::function<bool(PageCanvas&)>& draw) {
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    {
        const std::unique_ptr<QPdfWriter> writer = pdfWriter(layout, resolution, out);
        QtPageCanvas canvas(*writer, font);
        if (!draw(canvas))
            return QByteArray();
    }
    const QByteArray pdf = out.data();
    return isCompletePdf(pdf) ? pdf : QByteArray();
}

// The PDF printer: the document is made whole in memory, checked, and only then written as
// every other file is: a full disk fails the print and leaves an older file whole.
PrintResult printPdf(const QString& target, const QFont& font,
                     const std::function<bool(PageCanvas&)>& layout) {
    const QByteArray pdf = makePdf(pdfFileLayout(), kPdfResolution, font, layout);
    if (pdf.isEmpty())
        return PrintResult::Failed;
    return writeFileSafely(target, pdf) ? PrintResult::Printed : PrintResult::Failed;
}

#ifdef KELOTARI_WITH_CUPS
// The document for a queue: painted as a PDF on the queue's page and checked whole. Qt's CUPS
// engine does the same inside, without the checks.
QByteArray queueDocument(const QueuePage& page, const QFont& font,
                         const std::function<bool(PageCanvas&)>& layout) {
    return makePdf(page.layout, page.resolution, font, layout);
}
#else
// Without CUPS the platform's printer service prints the layout itself.
std::unique_ptr<QPrinter> installedPrinter(const QString& name) {
    QPrinterInfo info = QPrinterInfo::printerInfo(name);
    if (info.isNull())
        info = QPrinterInfo::defaultPrinter();
    if (info.isNull())
        return nullptr;
    auto printer = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
    if (!printer->isValid())
        return nullptr;
    printer->setDocName(kDocumentTitle);
    printer->setPageOrientation(QPageLayout::Portrait);
    return printer;
}
#endif

// How long a cancelled worker is waited for before it is left to end by itself.
constexpr unsigned long kWorkerEndWaitMs = 200;

std::mutex g_timeoutsLock;
PrintTimeouts g_timeouts;

QList<DocumentPrinter*>& documentPrinters() {
    static QList<DocumentPrinter*> all;
    return all;
}

} // namespace

PrintTimeouts printTimeouts() {
    const std::lock_guard<std::mutex> lock(g_timeoutsLock);
    return g_timeouts;
}

void setPrintTimeouts(const PrintTimeouts& timeouts) {
    const std::lock_guard<std::mutex> lock(g_timeoutsLock);
    g_timeouts = timeouts;
}

QStringList availablePrinterNames() {
#ifdef KELOTARI_WITH_CUPS
    QStringList names =
        schedulerQueues(SchedulerCall{printTimeouts().listMs, nullptr}).value_or(QStringList());
#else
    QStringList names = QPrinterInfo::availablePrinterNames();
#endif
    names.removeAll(kPdfPrinterName);
    names << kPdfPrinterName;
    return names;
}

PrintWorker::PrintWorker(QObject* parent) : QObject(parent) {}

PrintWorker::~PrintWorker() {
    if (!m_thread)
        return;
    m_cancelled->store(true);
    if (m_thread->wait(kWorkerEndWaitMs)) {
        delete m_thread;
        return;
    }
    // libcups looks at the cancel only between its own waits of up to a second: rather than
    // hold up the window (or the program's exit) for that, the thread is left to end by
    // itself. Its work owns everything it touches, and its end deletes the thread object
    // while the program still runs.
    disconnect(m_thread, nullptr, this, nullptr);
    connect(m_thread, &QThread::finished, m_thread, &QObject::deleteLater);
    if (m_thread->isFinished())
        m_thread->deleteLater();
}

bool PrintWorker::run(std::function<void(const std::atomic_bool&)> work,
                      std::function<void()> then) {
    if (m_thread)
        return false;
    m_cancelled = std::make_shared<std::atomic_bool>(false);
    m_then = std::move(then);
    m_thread =
        QThread::create([work = std::move(work), cancelled = m_cancelled] { work(*cancelled); });
    connect(m_thread, &QThread::finished, this, &PrintWorker::finished, Qt::QueuedConnection);
    m_thread->start();
    return true;
}

void PrintWorker::cancel() {
    if (m_thread)
        m_cancelled->store(true);
}

void PrintWorker::finished() {
    QThread* thread = std::exchange(m_thread, nullptr);
    if (!thread)
        return;
    thread->wait(); // it has left its function; this orders its results before ours
    delete thread;
    std::function<void()> then = std::exchange(m_then, nullptr);
    if (!m_cancelled->load() && then)
        then();
}

PrinterList::PrinterList(QObject* parent) : QObject(parent) {}

void PrinterList::refresh() {
    if (m_worker.busy())
        return;
    const int ms = printTimeouts().listMs;
    auto names = std::make_shared<std::optional<QStringList>>();
    m_worker.run(
        [names, ms](const std::atomic_bool& cancelled) {
#ifdef KELOTARI_WITH_CUPS
            *names = schedulerQueues(SchedulerCall{ms, &cancelled});
#else
            Q_UNUSED(ms);
            Q_UNUSED(cancelled);
            *names = QPrinterInfo::availablePrinterNames();
#endif
        },
        [this, names] {
            QStringList list = names->value_or(QStringList());
            list.removeAll(kPdfPrinterName);
            list << kPdfPrinterName;
            emit listed(list, names->has_value());
        });
}

DocumentPrinter::DocumentPrinter(QObject* parent) : QObject(parent) {
    documentPrinters().append(this);
}

DocumentPrinter::~DocumentPrinter() {
    documentPrinters().removeAll(this);
}

bool DocumentPrinter::print(Dialogs& dialogs, const PrintRequest& request, Layout layout,
                            Done done) {
    if (m_busy)
        return false;
    if (request.printerName == kPdfPrinterName) {
        PrintOutcome outcome;
        const QString file = pdfFileName(dialogs, request);
        outcome.result =
            file.isEmpty() ? PrintResult::Cancelled : printPdf(file, request.font, layout);
        done(outcome);
        return true;
    }
#ifdef KELOTARI_WITH_CUPS
    m_busy = true;
    m_done = std::move(done);
    const PrintTimeouts timeouts = printTimeouts();
    auto page = std::make_shared<std::optional<QueuePage>>();
    m_worker.run(
        [page, name = request.printerName,
         ms = timeouts.lookupMs](const std::atomic_bool& cancelled) {
            *page = queuePageFor(name, SchedulerCall{ms, &cancelled});
        },
        [this, page, font = request.font, layout = std::move(layout), ms = timeouts.submitMs] {
            if (!*page)
                return finish(PrintOutcome());
            const QByteArray pdf = queueDocument(**page, font, layout);
            if (pdf.isEmpty())
                return finish(PrintOutcome());
            auto submitted = std::make_shared<QueueSubmission>();
            m_worker.run(
                [submitted, page = **page, pdf, ms](const std::atomic_bool& cancelled) {
                    *submitted =
                        submitToQueue(page, pdf, kDocumentTitle, SchedulerCall{ms, &cancelled});
                },
                [this, submitted, queue = QString::fromUtf8((*page)->queue)] {
                    PrintOutcome outcome;
                    if (submitted->accepted) {
                        outcome.result = PrintResult::Printed;
                        outcome.queue = queue;
                        outcome.condition = submitted->condition;
                    }
                    finish(outcome);
                });
        });
    return true;
#else
    PrintOutcome outcome;
    if (const std::unique_ptr<QPrinter> printer = installedPrinter(request.printerName)) {
        QtPageCanvas canvas(*printer, request.font);
        if (layout(canvas)) {
            outcome.result = PrintResult::Printed;
            outcome.queue = printer->printerName();
        }
    }
    done(outcome);
    return true;
#endif
}

void DocumentPrinter::finish(const PrintOutcome& outcome) {
    m_busy = false;
    const Done done = std::exchange(m_done, nullptr);
    if (done)
        done(outcome);
}

bool DocumentPrinter::anyBusy() {
    const QList<DocumentPrinter*>& all = documentPrinters();
    return std::any_of(all.begin(), all.end(), [](const DocumentPrinter* p) { return p->m_busy; });
}

bool DocumentPrinter::finishAll(int ms) {
    const QDeadlineTimer deadline(ms);
    while (anyBusy() && !deadline.hasExpired()) {
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
    const bool all = !anyBusy();
    for (DocumentPrinter* p : documentPrinters())
        if (p->m_busy) {
            p->m_worker.cancel();
            p->m_busy = false;
            p->m_done = nullptr;
        }
    return all;
}

} // namespace kelotari
