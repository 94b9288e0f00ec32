// The serial port component over POSIX termios (Linux).
#include "ComPort.h"

#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace kelotari {

struct TCustomComPort::Device {
    int fd = -1;
    termios saved{}; // the device's settings before we changed them
    bool haveSaved = false;
    bool setExclusive = false; // this program put the terminal into exclusive mode
};

namespace {

[[noreturn]] void raise(int code, int systemError, QString advice = {}) {
    throw EComPort(code, systemError, std::move(advice));
}

} // namespace

QString accessAdvice(const QString& path, unsigned mode, const QString& groupName, bool rootGroup) {
    // Joining a group helps only when that group may read and write the device; the root
    // group is never advice to give.
    const unsigned groupRw = S_IRGRP | S_IWGRP;
    if (!groupName.isEmpty() && !rootGroup && (mode & groupRw) == groupRw)
        return QStringLiteral("No permission to use %1: add your user to the group \"%2\" "
                              "(sudo usermod -aG %2 $USER), then log out and in again.")
            .arg(path, groupName);
    return QStringLiteral("No permission to use %1: only its owner may use it. The system's "
                          "administrator can grant access with a udev rule or through the group "
                          "that owns serial devices on this system.")
        .arg(path);
}

QString deviceNode(const QString& path) {
    char buf[PATH_MAX];
    if (::realpath(QFile::encodeName(path).constData(), buf))
        return QFile::decodeName(buf);
    return path;
}

QString accessAdvice(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return accessAdvice(path, 0, QString(), false);
    const struct group* g = ::getgrgid(st.st_gid);
    return accessAdvice(path, st.st_mode, g ? QString::fromLocal8Bit(g->gr_name) : QString(),
                        st.st_gid == 0);
}

namespace {

// The device has gone (adapter unplugged, line hung up): what a read or query then reports.
bool deviceGone(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL));
}

bool goneError(int err) {
    return err == EIO || err == ENXIO || err == ENODEV;
}

speed_t speedFor(int baud) {
    switch (baud) {
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    default:
        return B0;
    }
}

tcflag_t sizeFor(int bits) {
    switch (bits) {
    case 5:
        return CS5;
    case 6:
        return CS6;
    case 7:
        return CS7;
    default:
        return CS8;
    }
}

enum class ExclusiveMode { Off, On, Unknown };

ExclusiveMode exclusiveMode(int fd) {
#ifdef TIOCGEXCL
    int on = 0;
    if (::ioctl(fd, TIOCGEXCL, &on) == 0)
        return on ? ExclusiveMode::On : ExclusiveMode::Off;
#else
    (void)fd;
#endif
    return ExclusiveMode::Unknown;
}

// Modem-line changes that a device without modem lines (a pseudo-terminal) refuses.
void setModemLine(int fd, int line, bool on) {
    int bits = line;
    if (::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits) < 0 && errno != ENOTTY && errno != EINVAL)
        raise(CE_SetStateFailed, errno);
}

} // namespace

EComPort::EComPort(int code, int systemError, QString advice)
    : LinkFailure(codeText(code) + QStringLiteral(" (win error code: %1)").arg(systemError),
                  std::move(advice)),
      m_code(code), m_systemError(systemError) {}

QString EComPort::codeText(int code) {
    switch (code) {
    case CE_OpenFailed:
        return QStringLiteral("Unable to open com port");
    case CE_WriteFailed:
        return QStringLiteral("WriteFile function failed");
    case CE_ReadFailed:
        return QStringLiteral("ReadFile function failed");
    case CE_PurgeFailed:
        return QStringLiteral("PurgeComm function failed");
    case CE_SetStateFailed:
        return QStringLiteral("SetCommState function failed");
    case CE_SetTimeoutsFailed:
        return QStringLiteral("SetCommTimeouts failed");
    case CE_SetupComFailed:
        return QStringLiteral("SetupComm function failed");
    case CE_ClearComFailed:
        return QStringLiteral("ClearCommError function failed");
    case CE_RegFailed:
        return QStringLiteral("Registry error");
    default:
        return QStringLiteral("Com port error %1").arg(code);
    }
}

QString comDevicePath(const QString& portName) {
    if (portName.isEmpty())
        return {};
    if (portName.startsWith(QLatin1Char('/')))
        return portName;
    static const QRegularExpression com(QStringLiteral("^COM([1-9][0-9]{0,5})$"),
                                        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = com.match(portName);
    if (m.hasMatch())
        return QStringLiteral("/dev/ttyS%1").arg(m.captured(1).toInt() - 1);
    return QStringLiteral("/dev/") + portName;
}

TCustomComPort::TCustomComPort(const TComSettings& settings) : m_settings(settings) {}

TCustomComPort::~TCustomComPort() {
    if (m_device) {
        ::tcflush(m_device->fd, TCIFLUSH);
        release();
    }
}

qintptr TCustomComPort::handle() const {
    return m_device ? m_device->fd : -1;
}

void TCustomComPort::setPort(const QString& name) {
    if (name == m_port)
        return;
    m_port = name;
    if (Connected()) {
        ClosePort();
        OpenPort();
    }
}

void TCustomComPort::setConnected(bool open) {
    if (open)
        OpenPort();
    else
        ClosePort();
}

void TCustomComPort::OpenPort() {
    if (m_device)
        return;
    const QString path = comDevicePath(m_port);
    if (path.isEmpty())
        raise(CE_OpenFailed, ENOENT);
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        // The advice names the device itself: a udev rule or a group fits the node, not a
        // link that leads to it.
        raise(CE_OpenFailed, err,
              err == EACCES || err == EPERM ? accessAdvice(deviceNode(path)) : QString());
    }
    // Two programs never share the meter: the lock also holds against root, whom the
    // terminal's exclusive mode lets through.
    if (::flock(fd, LOCK_EX | LOCK_NB) < 0) {
        const int err = errno;
        ::close(fd);
        // Held by another program is a busy port, whichever way it is held.
        raise(CE_OpenFailed, err == EWOULDBLOCK ? EBUSY : err);
    }
    // A program that holds the terminal in exclusive mode without the lock holds it all the
    // same, also against root. Where the system cannot tell (no TIOCGEXCL), only a user other
    // than root knows that the mode was off: the open would have failed otherwise.
    const ExclusiveMode before = exclusiveMode(fd);
    if (before == ExclusiveMode::On) {
        ::close(fd);
        raise(CE_OpenFailed, EBUSY);
    }
    // A device that is no terminal refuses this and fails below, with the line settings.
    const bool setExclusive =
        ::ioctl(fd, TIOCEXCL) == 0 && (before == ExclusiveMode::Off || ::geteuid() != 0);

    m_device = std::make_unique<Device>();
    m_device->fd = fd; // Connected from here; a failure below closes it again
    m_device->setExclusive = setExclusive;
    try {
        // The terminal driver's queues are fixed in size here, so there is no queue step.
        termios t{};
        if (::tcgetattr(fd, &t) < 0)
            raise(CE_SetStateFailed, errno);
        m_device->saved = t;
        m_device->haveSaved = true;

        const speed_t speed = speedFor(m_settings.BaudRate);
        if (speed == B0)
            raise(CE_SetStateFailed, EINVAL);
        ::cfmakeraw(&t);
        t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | PARMRK);
        t.c_iflag |= IGNBRK | IGNPAR;
        t.c_cflag &=
            ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | HUPCL | CRTSCTS);
        t.c_cflag |= sizeFor(m_settings.DataBits) | CLOCAL | CREAD;
        switch (m_settings.Parity) {
        case TParityBits::None:
            break;
        case TParityBits::Odd:
            t.c_cflag |= PARENB | PARODD;
            break;
        case TParityBits::Even:
            t.c_cflag |= PARENB;
            break;
        case TParityBits::Mark:
            t.c_cflag |= PARENB | PARODD | CMSPAR;
            break;
        case TParityBits::Space:
            t.c_cflag |= PARENB | CMSPAR;
            break;
        }
        if (m_settings.StopBits == TStopBits::Two)
            t.c_cflag |= CSTOPB;
        ::cfsetispeed(&t, speed);
        ::cfsetospeed(&t, speed);
        if (::tcsetattr(fd, TCSANOW, &t) < 0)
            raise(CE_SetStateFailed, errno);
        // tcsetattr succeeds when any part was taken: check the parts that matter.
        termios check{};
        if (::tcgetattr(fd, &check) < 0)
            raise(CE_SetStateFailed, errno);
        if (::cfgetospeed(&check) != speed || (check.c_cflag & CSIZE) != (t.c_cflag & CSIZE))
            raise(CE_SetStateFailed, EINVAL);

        // Reads return at once with what has arrived, possibly nothing.
        check.c_cc[VMIN] = 0;
        check.c_cc[VTIME] = 0;
        if (::tcsetattr(fd, TCSANOW, &check) < 0)
            raise(CE_SetTimeoutsFailed, errno);

        setModemLine(fd, TIOCM_RTS, m_settings.ControlRTS);
        setModemLine(fd, TIOCM_DTR, m_settings.ControlDTR);
    } catch (...) {
        release();
        throw;
    }
}

void TCustomComPort::release() {
    const int fd = m_device->fd;
    if (m_device->haveSaved)
        ::tcsetattr(fd, TCSANOW, &m_device->saved);
    // The terminal may stay open elsewhere (a simulator's pty); its exclusive mode is ended
    // only when it was this program's own.
    if (m_device->setExclusive)
        ::ioctl(fd, TIOCNXCL);
    ::close(fd); // drops the lock
    m_device.reset();
}

void TCustomComPort::ClosePort() {
    if (!m_device)
        return;
    // Received bytes nobody will read are discarded. Nothing waits to be sent (SendText returns
    // once its bytes have left), and on a pseudo-terminal an output flush would discard what
    // the far end has not read yet: the "C" of a memory clear.
    const int err = ::tcflush(m_device->fd, TCIFLUSH) < 0 ? errno : 0;
    release();
    // A device that has gone cannot be purged; closing it is all that is left to do.
    if (err != 0 && !goneError(err))
        raise(CE_PurgeFailed, err);
}

void TCustomComPort::PurgeBuffers(bool input, bool output) {
    if (!m_device)
        raise(CE_PurgeFailed, EBADF);
    if (!input && !output)
        return;
    const int queue = input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH;
    if (::tcflush(m_device->fd, queue) < 0)
        raise(CE_PurgeFailed, errno);
}

int TCustomComPort::SendText(const QByteArray& text) {
    if (text.isEmpty())
        return 0;
    if (!m_device)
        raise(CE_WriteFailed, EBADF);
    const int fd = m_device->fd;
    qsizetype done = 0;
    while (done < text.size()) {
        const ssize_t n =
            ::write(fd, text.constData() + done, static_cast<size_t>(text.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            raise(CE_WriteFailed, errno);
        // The output queue is full: wait for room, without limit, as a write does.
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, -1) < 0 && errno != EINTR)
            raise(CE_WriteFailed, errno);
        if (p.revents & (POLLHUP | POLLERR | POLLNVAL))
            raise(CE_WriteFailed, EIO);
    }
    // Returns once the bytes have left, so a close right after cannot discard them.
    while (::tcdrain(fd) < 0) {
        if (errno != EINTR)
            raise(CE_WriteFailed, errno);
    }
    return static_cast<int>(done);
}

int TCustomComPort::WaitingCount() {
    if (!m_device)
        raise(CE_ClearComFailed, EBADF);
    int n = 0;
    if (::ioctl(m_device->fd, FIONREAD, &n) < 0)
        raise(CE_ClearComFailed, errno);
    if (n == 0 && deviceGone(m_device->fd))
        raise(CE_ClearComFailed, EIO);
    return n;
}

int TCustomComPort::ReadBytes(char* buffer, int count) {
    if (!m_device)
        raise(CE_ReadFailed, EBADF);
    if (count <= 0)
        return 0;
    ssize_t n = ::read(m_device->fd, buffer, static_cast<size_t>(count));
    if (n < 0) {
        if (errno == EAGAIN || errno == EINTR)
            return 0;
        raise(CE_ReadFailed, errno);
    }
    // With nothing received a read gives 0 bytes; so does a line that has gone.
    if (n == 0) {
        if (deviceGone(m_device->fd))
            raise(CE_ReadFailed, EIO);
        return 0;
    }
    if (m_settings.DiscardNull) {
        char* end = std::remove(buffer, buffer + n, '\0');
        n = end - buffer;
    }
    return static_cast<int>(n);
}

int TCustomComPort::TakeArrived(QByteArray& buffer, int max) {
    if (!m_device)
        raise(CE_ReadFailed, EBADF);
    const int fd = m_device->fd;
    int taken = 0;
    while (taken < max) {
        const qsizetype at = buffer.size();
        const int want = std::min(max - taken, 4096);
        buffer.resize(at + want);
        const ssize_t n = ::read(fd, buffer.data() + at, static_cast<size_t>(want));
        if (n <= 0) {
            const int err = n < 0 ? errno : 0;
            buffer.resize(at);
            if (n < 0 && err == EINTR)
                continue;
            if (n < 0 && err != EAGAIN)
                raise(CE_ReadFailed, err);
            // Nothing more has arrived; with nothing at all, a line that has gone reads so too.
            if (taken == 0 && deviceGone(fd))
                raise(CE_ReadFailed, EIO);
            break;
        }
        taken += static_cast<int>(n);
        char* begin = buffer.data() + at;
        char* end = begin + n;
        if (m_settings.DiscardNull)
            end = std::remove(begin, end, '\0');
        buffer.resize(at + (end - begin));
        if (n < want)
            break; // the device's queue is empty now: a further read would only say so
    }
    return taken;
}

} // namespace kelotari
