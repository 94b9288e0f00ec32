#pragma once
// The print scheduler (CUPS) as the program uses it: the list of queues, the queue a document
// goes to with the page its driver describes, and handing a finished PDF to that queue.
//
// Each function waits for the scheduler, which may accept a connection and then not answer for
// minutes: call them on a worker thread only. Each opens a connection of its own, bounded by
// the call's time (connecting included), and gives up within a fraction of a second once the
// call is cancelled. Giving up is a failure, never a success.
#include "print/QueueCondition.h"

#include <QByteArray>
#include <QList>
#include <QPageLayout>
#include <QString>
#include <QStringList>

class QIODevice;
class QPdfWriter;

#include <atomic>
#include <memory>
#include <optional>
#include <utility>

namespace kelotari {

// The bounds of one piece of work with the scheduler.
struct SchedulerCall {
    int timeoutMs = 0;                           // for the whole of it
    const std::atomic_bool* cancelled = nullptr; // set: give up at the next look
};

// The queues the scheduler reports, in its order (sorted by name, as lpstat -e lists them);
// a queue's instance as "queue/instance". Nothing when the scheduler cannot be reached or does
// not answer in time.
std::optional<QStringList> schedulerQueues(const SchedulerCall& call);

// Where a document goes and the page it is laid out on.
struct QueuePage {
    QByteArray queue;                                 // the queue's name
    QByteArray instance;                              // its instance, or empty
    QList<std::pair<QByteArray, QByteArray>> options; // the destination's saved options
    QPageLayout layout;                               // paper and printable area, portrait
    int resolution = 0;                               // dots per inch
};

// The queue named `printerName` ("queue" or "queue/instance"), else the default queue, with the
// page its driver prints by default: paper, printable area and resolution. Nothing when there
// is no such queue and no default, or when the scheduler does not answer in time.
std::optional<QueuePage> queuePageFor(const QString& printerName, const SchedulerCall& call);

// A PDF document written to `out`, on `layout` at `resolution` dots per inch (a queue's page:
// its paper, printable area and resolution, so the layouts' dot positions are the printer's),
// titled "Kelotari". Asks the scheduler nothing.
std::unique_ptr<QPdfWriter> pdfWriter(const QPageLayout& layout, int resolution, QIODevice& out);

// How handing over a document went.
struct QueueSubmission {
    bool accepted = false;                              // the queue took the whole document
    int job = 0;                                        // the scheduler's job number, when accepted
    QueueCondition condition = QueueCondition::Unknown; // the queue right after
};

// Hands a finished PDF to the page's queue as one job titled `title`, with the destination's
// options. A job the document could not follow (a refusal or a time-out after the job was
// made) is cancelled, so it does not wait in the queue for ever.
QueueSubmission submitToQueue(const QueuePage& page, const QByteArray& pdf, const QString& title,
                              const SchedulerCall& call);

} // namespace kelotari
