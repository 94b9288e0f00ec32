#pragma once
// Choosing the printer a document goes to and running a page layout on it.
//
// The print scheduler can accept a request and then not answer for minutes, so nothing here
// asks it anything on the GUI thread: the list of queues, the queue's page and the job go to a
// worker thread with a bounded time, and the answer comes back to the GUI thread. The pages
// themselves are painted on the GUI thread (fonts and the chart are painted there everywhere
// else too), into memory, once the worker has brought the queue's page; painting does not
// touch the scheduler.
#include "base/Dialogs.h"
#include "print/PageCanvas.h"
#include "print/PrintResult.h"
#include "print/QueueCondition.h"

#include <QFont>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

class QThread;

namespace kelotari {

// The printer name that prints to a PDF file instead of paper. It wins over an installed
// printer of the same name (cups-pdf installs one called "PDF").
inline const QString kPdfPrinterName = QStringLiteral("PDF");
// Resolution of the PDF printer, so device positions look as on a laser printer.
constexpr int kPdfResolution = 600;

// How long the scheduler gets for each answer before it counts as a print failure.
constexpr int kPrinterListTimeoutMs = 5000; // the list of queues
constexpr int kQueueLookupTimeoutMs = 5000; // the queue's page and resolution
constexpr int kJobSubmitTimeoutMs = 30000;  // making the job and sending the document
// Quit waits this long for documents still on their way to a queue, then leaves them.
constexpr int kQuitPrintWaitMs = 3000;

struct PrintTimeouts {
    int listMs = kPrinterListTimeoutMs;
    int lookupMs = kQueueLookupTimeoutMs;
    int submitMs = kJobSubmitTimeoutMs;
};
// The time-outs of the work started from now on (a test shortens them).
PrintTimeouts printTimeouts();
void setPrintTimeouts(const PrintTimeouts& timeouts);

// The names the printer selector offers: the installed printers in the system's order, then
// the PDF printer; only the PDF printer when the scheduler does not answer in time. Waits for
// the scheduler: call it on a worker thread (PrinterList does).
QStringList availablePrinterNames();

// Runs print-system work on a thread of its own, one piece at a time, and hands its end back
// to the thread that owns this object. Deleting it cancels the work; a thread that has not
// ended a moment later (libcups looks at the cancel only between waits of up to a second) is
// left to end by itself, so neither the window nor the program's exit waits for it. The work
// must therefore own everything it touches.
class PrintWorker : public QObject {
    Q_OBJECT
public:
    explicit PrintWorker(QObject* parent = nullptr);
    ~PrintWorker() override;

    bool busy() const { return m_thread != nullptr; }
    // `work` runs on the worker with the cancel flag; then `then` on this object's thread,
    // unless cancelled meanwhile. Refused (false) while busy.
    bool run(std::function<void(const std::atomic_bool&)> work, std::function<void()> then);
    // Gives up the running work: its `then` does not run.
    void cancel();

private:
    void finished();

    QThread* m_thread = nullptr;
    std::shared_ptr<std::atomic_bool> m_cancelled;
    std::function<void()> m_then;
};

// The printer box's list, read on a worker.
class PrinterList : public QObject {
    Q_OBJECT
public:
    explicit PrinterList(QObject* parent = nullptr);
    // Reads the list unless a reading is still on its way (its answer serves both).
    void refresh();
    bool reading() const { return m_worker.busy(); }

signals:
    // The queues then "PDF"; `answered` false when the scheduler did not answer in time (the
    // list is then "PDF" alone).
    void listed(const QStringList& names, bool answered);

private:
    PrintWorker m_worker;
};

struct PrintRequest {
    QString printerName;        // PrinterName
    QString pdfFileProposal;    // what the save dialog proposes for a PDF
    QString dialogTitle;        // title of that save dialog
    QString fileExistsQuestion; // asked before an existing PDF is overwritten
    QFont font;                 // the document's font
};

struct PrintOutcome {
    PrintResult result = PrintResult::Failed;
    QString queue; // the queue the job went to; empty for a PDF file or a failure
    QueueCondition condition = QueueCondition::Unknown; // that queue right after
};

// One document on its way to a printer. "PDF" prints to the file the user chooses, at once;
// any other name goes to the installed printer of that name, else the system's default
// printer: the queue and its page are looked up on a worker, the layout is painted here into
// a PDF in memory, and the worker hands it to the queue. Title "Kelotari", portrait.
class DocumentPrinter : public QObject {
    Q_OBJECT
public:
    using Layout = std::function<bool(PageCanvas&)>;
    using Done = std::function<void(const PrintOutcome&)>;

    explicit DocumentPrinter(QObject* parent = nullptr);
    ~DocumentPrinter() override;

    // Starts the document; `done` gets the outcome on this object's thread (before this
    // returns for a PDF file). The layout runs later for a queue: it must own what it prints.
    // Refused (false, `done` not called) while a document is on its way.
    bool print(Dialogs& dialogs, const PrintRequest& request, Layout layout, Done done);
    bool busy() const { return m_busy; }

    // Documents of every printer still on their way to a queue.
    static bool anyBusy();
    // Waits for them, turning the event loop, at most `ms`; then gives up those left (what
    // the scheduler already has stays with it). True when all had ended.
    static bool finishAll(int ms);

private:
    void finish(const PrintOutcome& outcome);

    PrintWorker m_worker;
    bool m_busy = false;
    Done m_done;
};

} // namespace kelotari
