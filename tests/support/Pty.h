#pragma once
// A pseudo-terminal for a test: the test holds the controlling side (`master`) and plays the
// far end; the program opens the terminal side by its name (`path`). With Terminal::Held the
// test keeps the terminal side open too (`peer`), as the simulator does, to look at its
// settings or its exclusive mode.
#include <QByteArray>
#include <QString>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace kelotari {

class Pty {
public:
    enum class Terminal { Free, Held };

    explicit Pty(Terminal terminal = Terminal::Free) {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
            return;
        path = QString::fromLocal8Bit(::ptsname(master));
        if (terminal == Terminal::Held)
            peer = ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    }
    ~Pty() { hangUp(); }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    // Both sides closed: the device is gone, as an unplugged adapter.
    void hangUp() {
        if (master >= 0)
            ::close(master);
        if (peer >= 0)
            ::close(peer);
        master = peer = -1;
    }

    // Bytes as the meter sends them; true when all were written.
    bool send(const QByteArray& bytes) const {
        return ::write(master, bytes.constData(), size_t(bytes.size())) == ssize_t(bytes.size());
    }
    // One read of what has come within timeoutMs (empty when nothing has).
    QByteArray receive(int timeoutMs) const {
        pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0)
            return {};
        char buf[256];
        const ssize_t n = ::read(master, buf, sizeof buf);
        return n > 0 ? QByteArray(buf, int(n)) : QByteArray();
    }
    // Everything that is waiting now, without waiting.
    QByteArray received() const {
        QByteArray out;
        for (QByteArray part; !(part = receive(0)).isEmpty();)
            out += part;
        return out;
    }
    // What has come once something has, processing events meanwhile; empty after about a
    // second of nothing.
    QByteArray receivedWithin(int ms = 1000) const {
        QByteArray out = received();
        for (int waited = 0; out.isEmpty() && waited < ms; waited += 10) {
            QTest::qWait(10);
            out = received();
        }
        return out;
    }
    // The terminal side's settings (Terminal::Held only).
    termios settings() const {
        termios t{};
        ::tcgetattr(peer, &t);
        return t;
    }

    int master = -1;
    int peer = -1;
    QString path; // empty when the terminal could not be made
};

} // namespace kelotari
