#pragma once
// The window's link to the meter: its serial port, its countdown and tick timer. A read waits
// in a local event loop that the port's descriptor, the tick and a cancel request wake, so the
// window stays live and the wait costs no processor time.
#include "meter/MeterLink.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>

#include <exception>

class QEventLoop;
class QSocketNotifier;
class QTimer;

namespace kelotari {

class TCustomComPort;

class QtMeterLink : public QObject, public MeterLink {
    Q_OBJECT
public:
    // countdown is the window's, ticked by tickTimer's handler; the link re-checks it on every
    // tick (connect order puts the window's own handler first).
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

private:
    bool feedBuffered(ReadResult* out);
    bool drainPort();
    void takeArrivals();
    void waitForWake();
    void watchDevice();
    void dropWatcher();
    void clearBuffer();

    TCustomComPort& m_port;
    int& m_countdown;
    QTimer* m_tickTimer;
    LineReader m_reader;
    QByteArray m_buffer; // read from the port, not yet given to the reader
    int m_bufferPos = 0;
    QSocketNotifier* m_notifier = nullptr;
    QTimer* m_settle; // while bytes keep coming, they are taken on this timer
    qintptr m_watched = -1;
    QEventLoop* m_loop = nullptr;
    QEventLoop* m_nextLoop = nullptr; // set while waitForNext() waits
    bool m_nextPressed = false;
    bool m_woken = false;
    bool m_cancelled = false;
    std::exception_ptr m_error;  // a port failure met while draining inside the event loop
    QElapsedTimer m_sinceEvents; // window events are processed at least this often under load
};

} // namespace kelotari
