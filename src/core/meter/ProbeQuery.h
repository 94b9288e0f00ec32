#pragma once
// The meter's identity: its serial number ("S") and its identification text ("T"), read over
// a MeterLink and shown line by line.
#include "meter/MeterLink.h"

#include <QByteArray>
#include <QString>

#include <functional>

namespace kelotari {

constexpr int kProbeTimeoutTicks = 5;
constexpr int kProbePauseMs = 500;

enum class ProbeEnd {
    Complete,     // the text ended with the data-end marker; port closed
    SilentMeter,  // no answer to "S": nothing shown; the port is left open
    TextTimedOut, // the text stopped without its end marker; port closed
    Cancelled,    // the wait was cancelled (the dialog is closing); port closed
};

// Opens portName (an open port stays open), purges it, pauses, sends "S" and shows
// "S/N: " + the answer, then sends "T" and shows each result up to the data-end marker
// (a lone CR or a packet-end marker is shown as a line of its own). A port failure closes
// the port and is thrown on.
ProbeEnd probeInformation(MeterLink& link, const QString& portName,
                          const std::function<void(const QByteArray& line)>& showLine);

} // namespace kelotari
