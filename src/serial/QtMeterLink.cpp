#include "QtMeterLink.h"

#include "ComPort.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <algorithm>

namespace kelotari {

namespace {

// While bytes keep coming they are taken this often: at 4800 baud some sixty bytes a time.
// The rows they fill show well within a fifth of a second of their arrival, and the window
// repaints no faster than a display does; each wake-up costs a switch into the kernel and
// back, so fewer is cheaper.
constexpr int kPaceMs = 120;
// A take this large is no meter at 4800 baud: such a stream stays on the notifier.
constexpr int kFastBlock = 1024;
// Most taken from the port in one go, and most held while the reader is held up.
constexpr int kTakeMax = 256 * 1024;
constexpr int kMaxBuffered = 1024 * 1024;

} // namespace

QtMeterLink::QtMeterLink(TCustomComPort& port, int& countdown, QTimer* tickTimer, QObject* parent)
    : QObject(parent), m_port(port), m_reader(countdown), m_pace(new QTimer(this)) {
    m_pace->setInterval(kPaceMs);
    connect(m_pace, &QTimer::timeout, this, [this] { take(); });
    // A tick only wakes the wait: the window's handler counts down, the wait then looks.
    if (tickTimer)
        connect(tickTimer, &QTimer::timeout, this, [this] { wake(); });
    if (m_port.Connected())
        startIntake();
}

QtMeterLink::~QtMeterLink() {
    stopIntake();
}

void QtMeterLink::setPort(const QString& name) {
    if (name == m_port.Port())
        return;
    // An open port is reopened under the new name: a new descriptor to watch.
    stopIntake();
    clearBuffer();
    m_port.setPort(name);
    if (m_port.Connected())
        startIntake();
}

void QtMeterLink::open() {
    m_port.OpenPort();
    if (m_intake == Intake::Off) {
        clearBuffer();
        startIntake();
    }
}

void QtMeterLink::close() {
    stopIntake();
    clearBuffer();
    m_port.ClosePort();
}

void QtMeterLink::purge() {
    m_port.PurgeBuffers(true, true);
    clearBuffer();
}

void QtMeterLink::send(const QByteArray& command) {
    m_port.SendText(command);
}

void QtMeterLink::cancel() {
    m_cancelled = true;
    wake();
}

void QtMeterLink::pause(int ms) {
    QThread::msleep(static_cast<unsigned long>(std::max(ms, 0)));
}

bool QtMeterLink::waitForNext() {
    if (m_cancelled)
        return false;
    // A press that came while the conversation was busy (left queued by an exchange or by a
    // blocking pause) is delivered now, while no wait is under way, and so not remembered.
    QCoreApplication::processEvents();
    if (m_cancelled)
        return false;
    m_nextPressed = false; // a press made before this wait is not remembered
    m_waitingForNext = true;
    while (!m_nextPressed && !m_cancelled)
        waitForWake();
    m_waitingForNext = false;
    return m_nextPressed && !m_cancelled;
}

void QtMeterLink::next() {
    if (!m_waitingForNext)
        return;
    m_nextPressed = true;
    wake();
}

ReadResult QtMeterLink::readResult(int timeoutTicks) {
    m_reader.start(timeoutTicks);
    for (;;) {
        if (m_cancelled)
            return ReadResult::of(ReadResult::Kind::Cancelled);
        // What was taken goes through the reader first: it re-arms the countdown for every
        // byte that extends a line, however late after its arrival the reader gets it.
        ReadResult r;
        if (feedBuffered(&r))
            return r;
        if (m_error)
            std::rethrow_exception(std::exchange(m_error, nullptr));
        if (m_reader.timedOut())
            return ReadResult::of(ReadResult::Kind::Timeout);
        waitForWake();
    }
}

bool QtMeterLink::feedBuffered(ReadResult* out) {
    if (m_bufferPos >= m_buffer.size())
        return false;
    bool done = false;
    try {
        done = m_reader.feed(m_buffer.constData(), static_cast<int>(m_buffer.size()), &m_bufferPos,
                             out);
    } catch (...) {
        clearBuffer(); // a runaway line: what follows it is no answer either
        throw;
    }
    if (m_bufferPos >= m_buffer.size())
        clearBuffer();
    return done;
}

void QtMeterLink::clearBuffer() {
    m_buffer.clear();
    m_bufferPos = 0;
    m_error = nullptr;
}

void QtMeterLink::waitForWake() {
    if (m_intake == Intake::Held && !m_error && m_buffer.size() - m_bufferPos < kMaxBuffered / 2)
        startIntake(); // the reader has caught up
    // Every event the window gets is handled here; the wait goes on until a waker fired.
    while (!m_woken && !m_cancelled)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    m_woken = false;
    ++m_wakeUps;
}

void QtMeterLink::wake() {
    m_woken = true;
}

void QtMeterLink::startIntake() {
    const qintptr fd = m_port.handle();
    if (fd < 0)
        return;
    if (!m_notifier || m_notifier->socket() != fd) {
        delete m_notifier;
        m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, [this] { take(); });
    }
    m_pace->stop();
    m_notifier->setEnabled(true);
    m_intake = Intake::Watching;
}

void QtMeterLink::stopIntake() {
    m_pace->stop();
    delete m_notifier;
    m_notifier = nullptr;
    m_intake = Intake::Off;
}

// Runs on the notifier while the line is quiet and on the pacing timer while bytes keep
// coming, also inside a modal box opened during a wait: the port's queue never overflows
// while the reader is held up.
void QtMeterLink::take() {
    if (m_intake == Intake::Off || m_intake == Intake::Held)
        return;
    if (m_bufferPos > 0) {
        m_buffer.remove(0, m_bufferPos);
        m_bufferPos = 0;
    }
    int got = 0;
    try {
        got = m_port.TakeArrived(m_buffer,
                                 std::min<int>(kTakeMax, kMaxBuffered - int(m_buffer.size())));
    } catch (...) {
        m_error = std::current_exception();
        got = -1;
    }
    if (got != 0)
        wake();

    Intake next = Intake::Watching;
    if (got < 0 || m_buffer.size() >= kMaxBuffered)
        next = Intake::Held;
    else if (got > 0 && got < kFastBlock)
        next = Intake::Pacing;
    if (next == m_intake)
        return; // a steady stream: no timer or notifier is touched
    m_intake = next;
    m_notifier->setEnabled(next == Intake::Watching);
    if (next == Intake::Pacing)
        m_pace->start();
    else
        m_pace->stop();
}

} // namespace kelotari
