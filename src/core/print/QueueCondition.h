#pragma once
// How a print queue stands once a job was handed to it, from what the scheduler reports.
#include <QStringList>

namespace kelotari {

enum class QueueCondition {
    Ready,        // the queue takes and prints jobs, as far as the scheduler knows
    Stopped,      // the queue is stopped (paused, or stopped after a printer error)
    NotAnswering, // the printer is off, unplugged or does not answer the scheduler
    Unknown,      // the scheduler did not say
};

// The IPP printer-state value of a stopped queue.
constexpr int kPrinterStateStopped = 5;

// The condition for a queue's printer-state and printer-state-reasons (keywords, with or
// without their -report, -warning or -error suffix). A stopped queue is reported as stopped
// whatever the printer does: starting the queue is what the user has to do first.
QueueCondition queueConditionOf(int printerState, const QStringList& reasons);

} // namespace kelotari
