#include "QtMeterLink.h"

#include "ComPort.h"
#include "packets/PacketTable.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <algorithm>

namespace kelotari {

namespace {

constexpr int kChunk = 16 * 1024;
// Arrived bytes kept while the reader is held up (a modal box opened during the wait).
constexpr int kMaxBuffered = 1024 * 1024;
constexpr int kMaxBusyMs = 20;
// While bytes keep coming they are taken this often (about five bytes at 4800 baud).
constexpr int kSettleMs = 10;

} // namespace

QtMeterLink::QtMeterLink(TCustomComPort& port, int& countdown, QTimer* tickTimer, QObject* parent)
    : QObject(parent), m_port(port), m_countdown(countdown), m_tickTimer(tickTimer),
      m_reader(countdown), m_settle(new QTimer(this)) {
    m_settle->setSingleShot(true);
    m_settle->setTimerType(Qt::PreciseTimer);
    m_settle->setInterval(kSettleMs);
    connect(m_settle, &QTimer::timeout, this, [this] {
        if (m_notifier)
            takeArrivals();
    });
    if (m_tickTimer) {
        connect(m_tickTimer, &QTimer::timeout, this, [this] {
            if (m_countdown == 0) {
                m_woken = true;
                if (m_loop)
                    m_loop->quit();
            }
        });
    }
    m_sinceEvents.start();
}

QtMeterLink::~QtMeterLink() {
    dropWatcher();
}

void QtMeterLink::setPort(const QString& name) {
    if (name != m_port.Port())
        dropWatcher(); // an open port is reopened under the new name: a new descriptor
    m_port.setPort(name);
}

void QtMeterLink::open() {
    m_port.OpenPort();
    clearBuffer();
}

void QtMeterLink::close() {
    dropWatcher();
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
    if (m_loop)
        m_loop->quit();
    if (m_nextLoop)
        m_nextLoop->quit();
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
    QEventLoop loop;
    m_nextLoop = &loop;
    m_nextPressed = false;
    while (!m_nextPressed && !m_cancelled)
        loop.exec();
    m_nextLoop = nullptr;
    return m_nextPressed && !m_cancelled;
}

void QtMeterLink::next() {
    if (!m_nextLoop)
        return; // not waiting: a press is not remembered
    m_nextPressed = true;
    m_nextLoop->quit();
}

void QtMeterLink::clearBuffer() {
    m_buffer.clear();
    m_bufferPos = 0;
    m_error = nullptr;
}

ReadResult QtMeterLink::readResult(int timeoutTicks) {
    m_reader.start(timeoutTicks);
    for (;;) {
        if (m_cancelled)
            return ReadResult::of(ReadResult::Kind::Cancelled);
        if (m_reader.timedOut())
            return ReadResult::of(ReadResult::Kind::Timeout);
        ReadResult r;
        if (feedBuffered(&r))
            return r;
        if (m_error)
            std::rethrow_exception(std::exchange(m_error, nullptr));
        if (m_sinceEvents.elapsed() >= kMaxBusyMs) {
            // A stream that never pauses still lets the window repaint and the timer tick.
            QCoreApplication::processEvents();
            m_sinceEvents.restart();
            continue;
        }
        if (drainPort())
            continue;
        waitForWake();
    }
}

bool QtMeterLink::feedBuffered(ReadResult* out) {
    if (m_bufferPos >= m_buffer.size())
        return false;
    const bool done =
        m_reader.feed(m_buffer.constData(), static_cast<int>(m_buffer.size()), &m_bufferPos, out);
    if (m_bufferPos >= m_buffer.size()) {
        m_buffer.clear();
        m_bufferPos = 0;
    }
    return done;
}

bool QtMeterLink::drainPort() {
    char chunk[kChunk];
    const int got = m_port.ReadBytes(chunk, kChunk);
    if (got == 0)
        return false;
    if (m_bufferPos > 0) {
        m_buffer.remove(0, m_bufferPos);
        m_bufferPos = 0;
    }
    m_buffer.append(chunk, got);
    return true;
}

// Called when the descriptor is readable (or the device has gone), and while bytes keep
// coming, every kSettleMs. Takes what arrived, so the driver's queue never overflows while the
// reader is held up in a nested loop. The wait ends only once a byte that can finish the read
// is there; until then a byte that extends the line re-arms the countdown, as the reader will
// when it gets it. The first byte of an answer is seen at once; the rest of a stream that
// trickles in at the line rate is taken a few bytes at a time, not with one wake-up per byte.
void QtMeterLink::takeArrivals() {
    const qsizetype before = m_buffer.size() - m_bufferPos;
    bool wake = false;
    bool got = false;
    try {
        got = drainPort();
    } catch (...) {
        m_error = std::current_exception();
        wake = true;
    }
    const qsizetype buffered = m_buffer.size() - m_bufferPos;
    bool extends = false;
    for (qsizetype i = m_buffer.size() - (buffered - before); i < m_buffer.size() && !wake; ++i) {
        switch (m_buffer.at(i)) {
        case '\r':
        case kPacketEnd:
        case kDataEnd:
            wake = true;
            break;
        case '\n':
        case '\0':
            break;
        default:
            extends = true;
            break;
        }
    }
    if (buffered > kChunk)
        wake = true; // let the reader see a run that long (it may pass its line cap)

    if (m_error || buffered > kMaxBuffered) {
        m_notifier->setEnabled(false);
        m_settle->stop();
    } else if (got) {
        m_notifier->setEnabled(false); // more is on its way: take it in one go shortly
        m_settle->start();
    } else {
        m_settle->stop(); // quiet again: wait for the next byte
        m_notifier->setEnabled(true);
    }

    if (wake) {
        m_woken = true;
        if (m_loop)
            m_loop->quit();
    } else if (extends) {
        m_countdown = m_reader.timeoutTicks();
    }
}

void QtMeterLink::waitForWake() {
    watchDevice();
    QEventLoop loop;
    m_loop = &loop;
    m_woken = false;
    loop.exec();
    m_loop = nullptr;
    m_sinceEvents.restart();
    // An event loop that returns with nothing to report is one the application is leaving.
    if (!m_woken && !m_cancelled)
        m_cancelled = true;
}

void QtMeterLink::watchDevice() {
    const qintptr fd = m_port.handle();
    if (m_notifier && m_watched == fd) {
        if (!m_settle->isActive() && m_buffer.size() - m_bufferPos <= kMaxBuffered && !m_error)
            m_notifier->setEnabled(true);
        return;
    }
    dropWatcher();
    if (fd < 0)
        return;
    m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    m_watched = fd;
    connect(m_notifier, &QSocketNotifier::activated, this, [this] { takeArrivals(); });
}

void QtMeterLink::dropWatcher() {
    m_settle->stop();
    delete m_notifier;
    m_notifier = nullptr;
    m_watched = -1;
}

} // namespace kelotari
