#pragma once
// What the simulated meter holds and how it misbehaves, read from a scenario file, and the
// byte streams it answers each command with.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>

namespace metersim {

struct Packet {
    std::array<QByteArray, 9> fields; // in the order the meter sends them
    QList<QByteArray> readings;       // 0..30
};

struct Faults {
    bool silent = false;       // reads commands, answers none
    bool loneCr = false;       // lone CRs before the first packet and after every marker
    bool lfNoise = false;      // CR LF line ends and stray LFs before markers and inside lines
    bool nul = false;          // a NUL byte after the first character of every line
    bool extraReading = false; // a packet holding 30 readings sends a 31st
    qint64 stallAfter = -1;    // the answer stops after this many bytes (silence mid-answer)
    qint64 hangupAfter = -1;   // the pty is closed after this many bytes of an answer
    qint64 garbage = 0;        // bytes without CR, LF, NUL or markers before an answer
};

struct Scenario {
    QByteArray serial = "00000";
    QList<QByteArray> text{QByteArray("Kelotari simulated meter")};
    bool textGiven = false; // the first "text" line replaces the default
    // Answers to "O", in turn; the last one is repeated once the list is used up.
    QList<std::array<QByteArray, 8>> offsets{{"0", "0", "0", "0", "0", "0", "0", "0"}};
    bool offsetsGiven = false;
    int offsetsAnswered = 0;                        // "O" commands answered so far
    QList<QByteArray> readings{QByteArray("12.0")}; // answers to "K", in turn
    bool readingsGiven = false;
    QList<Packet> packets;
    Faults faults;
};

// Reads a scenario; on error returns false with "file:line: what" in *error.
bool loadScenario(const QString& fileName, Scenario* out, QString* error);
// One line of scenario syntax (also used for --fault and --generate on the command line).
bool applyLine(const QByteArray& line, Scenario* s, QString* error);

// Appends count packets of n readings each, with plausible values.
void generatePackets(Scenario* s, int count, int readings);

// The bytes the meter sends in answer to a command byte, faults applied (stall and hang-up
// are applied while sending). Empty for "C" and unknown commands.
QByteArray answerFor(char command, Scenario& s, int* kIndex);

} // namespace metersim
