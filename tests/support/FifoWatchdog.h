#pragma once
// Keeps a test that opens a FIFO from hanging: if the code under test blocks in open() for
// more than five seconds, the watchdog opens the FIFO for writing, which frees the blocked
// open, and the test fails on blocked() instead of hanging the suite.
#include <QByteArray>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace kelotari {

class FifoWatchdog {
public:
    explicit FifoWatchdog(QByteArray fifoPath)
        : m_path(std::move(fifoPath)), m_thread([this] { watch(); }) {}
    ~FifoWatchdog() { stop(); }
    FifoWatchdog(const FifoWatchdog&) = delete;
    FifoWatchdog& operator=(const FifoWatchdog&) = delete;

    // Ends the watch; true when it had to free a blocked open.
    bool stop() {
        m_done = true;
        if (m_thread.joinable())
            m_thread.join();
        return m_rescued;
    }

private:
    void watch() {
        for (int i = 0; i < 100 && !m_done; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (!m_done) {
            m_rescued = true;
            const int fd = ::open(m_path.constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
        }
    }

    QByteArray m_path;
    std::atomic<bool> m_done{false};
    std::atomic<bool> m_rescued{false};
    std::thread m_thread;
};

} // namespace kelotari
