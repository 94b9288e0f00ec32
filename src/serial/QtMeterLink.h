#pragma once
// The window's link to the meter: its serial port, the line reader on the window's countdown,
// and one wait. The wait processes window events and wakes only when there is something to
// do: bytes taken from the port, a tick of the window's timer, Next, or a cancel. It costs no
// processor time while nothing happens, and the window stays live throughout.
//
// Who does what: the window's tick handler only counts the countdown down; the line reader
// alone classifies bytes and re-arms the countdown; the link only takes bytes off the port and
// waits. After every wait (however long a modal box or a file dialog held it up) the link
// feeds what it took to the reader before it looks at the countdown, so bytes that arrived
// are never turned into a time-out.
#include "meter/MeterLink.h"

#include <QByteArray>
#include <QObject>

#include <exception>

class QSocketNotifier;
class QTimer;

namespace kelotari {

class TCustomComPort;

class QtMeterLink : public QObject, public MeterLink {
    Q_OBJECT
public:
    // countdown is the window's, counted down by its own handler on tickTimer; the link only
    // wakes on that timer to look at it.
    QtMeterLink(TCustomComPort& port, int& countdown, QTimer* tickTimer, QObject* parent = nullptr);
    ~QtMeterLink() override;

    void setPort(const QString& name) override;
    void open() override;
    void close() override;
    void purge() override;
    void send(const QByteArray& command) override;
    ReadResult readResult(int timeoutTicks) override;
    void pause(int ms) override;
    bool waitForNext() override;

    // The Next button went down: ends a waitForNext() under way, else nothing.
    void next();

    // Ends the current wait and every later one with a Cancelled result (the window is being
    // closed). Safe to call from a handler that runs inside the wait.
    void cancel();
    bool cancelled() const { return m_cancelled; }

    // How many times a wait has woken (for the benchmark of the wait's cost).
    qint64 wakeUps() const { return m_wakeUps; }

private:
    // Taking bytes off the port. While the line is quiet the descriptor's notifier watches
    // it; once bytes come, a pacing timer takes everything the port holds a few times a
    // second instead (a slow stream then costs a few wake-ups a second, not one per byte),
    // until a pace passes with nothing. A fast stream stays on the notifier, each wake-up
    // taking a large block. Full buffer or a port failure: intake stops until the reader
    // has caught up.
    enum class Intake { Off, Watching, Pacing, Held };
    void startIntake();
    void stopIntake();
    void take();
    void resumeIntake();
    bool feedBuffered(ReadResult* out);
    void clearBuffer();

    // Processes window events until one of the wakers has fired (or at once when one did
    // since the last wait).
    void waitForWake();
    void wake();

    TCustomComPort& m_port;
    LineReader m_reader;
    QByteArray m_buffer; // taken from the port, not yet given to the reader
    int m_bufferPos = 0;
    std::exception_ptr m_error; // a port failure met while taking bytes
    QSocketNotifier* m_notifier = nullptr;
    QTimer* m_pace;
    Intake m_intake = Intake::Off;
    bool m_woken = false;
    bool m_waitingForNext = false;
    bool m_nextPressed = false;
    bool m_cancelled = false;
    qint64 m_wakeUps = 0;
};

} // namespace kelotari
