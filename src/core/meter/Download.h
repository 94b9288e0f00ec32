#pragma once
// Packet download ("D") and memory clear ("C"), written against a MeterLink.
#include "meter/MeterLink.h"

#include <QString>

namespace kelotari {

class PacketTable;

constexpr int kDownloadTimeoutTicks = 10;

struct DownloadResult {
    enum class End { Complete, TimedOut, Failed, Cancelled };
    End end = End::Complete;
    int packets = 0;          // rows whose packet-end marker arrived
    bool rowsWritten = false; // some cell of the table was written
    QString failure;          // Failed: the port's own text
    QString advice;           // Failed: how to put it right, where known
};

// Empties the table, opens the port, purges it, sends "D" and places every packet of the
// answer into rows 1..49 (header fields by kPlacement, readings from column 11, the reading
// count into column 1 when the packet ends). Ends at the data-end marker, at the 49th
// packet's end marker, or at a 31st reading; a time-out, a port failure or a cancelled wait
// end it early. The port is closed on every path; nothing is thrown.
DownloadResult downloadPackets(MeterLink& link, const QString& portName, PacketTable& table);

// Opens the port, purges it, sends "C" and closes it; no answer is read. A failure closes
// the port and is thrown on.
void clearMeterMemory(MeterLink& link, const QString& portName);

} // namespace kelotari
