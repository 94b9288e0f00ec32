#pragma once
// What a conversation with the meter needs from the port and the wait, so that the download
// and the memory clear are plain sequential code: the window gives them a link over its serial
// port and event loop, tests give them a scripted one.
#include "base/Failure.h"
#include "meter/LineReader.h"

#include <QByteArray>
#include <QString>

namespace kelotari {

// A failure of the port or the line. advice() is an extra line for the user where the system
// can say how to put it right (no permission on the device, port in use), else empty.
class LinkFailure : public Failure {
public:
    explicit LinkFailure(QString message, QString advice = {})
        : Failure(std::move(message)), m_advice(std::move(advice)) {}
    const QString& advice() const noexcept { return m_advice; }

private:
    QString m_advice;
};

// A message, then on a line of its own how to put it right, where that is known.
inline QString withAdvice(QString text, const QString& advice) {
    if (!advice.isEmpty())
        text += QLatin1Char('\r') + advice;
    return text;
}

// The advice a failure carries: a port failure's, else none.
inline QString adviceOf(const Failure& failure) {
    const auto* link = dynamic_cast<const LinkFailure*>(&failure);
    return link ? link->advice() : QString();
}

// A port failure as the last-resort box shows it: its text with the full-stop rule, then the
// advice.
inline QString portFailureText(const Failure& failure) {
    return withAdvice(lastResortText(failure.message()), adviceOf(failure));
}

class MeterLink {
public:
    virtual ~MeterLink() = default;

    // The device to use for the next open (assigning the open port's own name does nothing).
    virtual void setPort(const QString& name) = 0;
    virtual void open() = 0;
    // Leaves the port closed, also when it throws.
    virtual void close() = 0;
    // Discards what was received and not read, and what was queued and not sent.
    virtual void purge() = 0;
    // Sends the command bytes and returns once they are written.
    virtual void send(const QByteArray& command) = 0;
    // One result of the line reader with a time-out in ticks. Failures of the port (and a line
    // past the reader's cap) are thrown as Failure.
    virtual ReadResult readResult(int timeoutTicks) = 0;
    // A blocking pause that processes no window events (the meter's moment between answers).
    virtual void pause(int ms) = 0;
    // Waits for the user's Next: returns true when Next goes down during this wait (a press
    // made before the wait began is not remembered), false when the wait is cancelled (the
    // program is being torn down).
    virtual bool waitForNext() = 0;
};

// Closes the port where a conversation ends on its own outcome (a time-out, a failure already
// being reported): the port is closed all the same, and a failure of the close adds nothing.
inline void closeQuietly(MeterLink& link) {
    try {
        link.close();
    } catch (const Failure&) {
    }
}

} // namespace kelotari
