// meter-sim: a simulated Kelotari meter on a pseudo-terminal. It registers the terminal as a
// port, answers the meter's one-letter commands from a scenario at the line rate (or as fast
// as the terminal takes them) and can misbehave on request. Run with --help for the options.
#include "PortRegistry.h"
#include "Scenario.h"
#include "base/Failure.h"
#include "ini/IniProfile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

using namespace metersim;

namespace {

const char* const kUsage = R"(Usage: meter-sim [options]
A simulated Kelotari meter on a pseudo-terminal.

  --scenario FILE     packets, serial number, text, offsets, readings and faults
  --generate P,R      add P packets of R readings each (also: generate P R in a scenario)
  --fault F[=N]       silent, lone-cr, lf-noise, nul, extra-reading, stall=N, hangup=N,
                      garbage=N (also: fault F [N] in a scenario)
  --unpaced           send answers as fast as the terminal takes them
  --baud N            line rate for pacing (default 4800; 10 bits a byte)
  --name NAME         register the port as NAME in the per-user runtime folder
                      (default meter-sim)
  --link PATH         make the port the symbolic link PATH instead of registering it
  --settings FILE     point [App] Port of the program's settings file at the port while
                      running; the old value is put back on exit if nobody changed it
  --help              this text

Standard output reports, one line each: PORT <path>, DEVICE <pty>, READY, then
CMD <c>, SENT <c> <bytes>, CLEARED, STALL <bytes>, HANGUP <bytes>, ABORT <c>.
SIGINT, SIGTERM or SIGHUP end it cleanly.
)";

int g_signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char c = 's';
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &c, 1);
}

void say(const QString& line) {
    std::fputs(line.toLocal8Bit().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

[[noreturn]] void die(const QString& what) {
    std::fprintf(stderr, "meter-sim: %s\n", what.toLocal8Bit().constData());
    std::exit(2);
}

qint64 nowNs() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// One pseudo-terminal. The simulator keeps the terminal side open too, so the line stays up
// while no program has the port open, and sets it raw so nothing is echoed back.
struct Pty {
    int master = -1;
    int slave = -1;
    QString device;

    void open() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master < 0 || ::grantpt(master) < 0 || ::unlockpt(master) < 0)
            die(QStringLiteral("cannot create a pseudo-terminal: %1")
                    .arg(QString::fromLocal8Bit(std::strerror(errno))));
        device = QString::fromLocal8Bit(::ptsname(master));
        slave = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (slave < 0)
            die(QStringLiteral("cannot open %1: %2")
                    .arg(device, QString::fromLocal8Bit(std::strerror(errno))));
        termios t{};
        ::tcgetattr(slave, &t);
        ::cfmakeraw(&t);
        ::cfsetispeed(&t, B4800);
        ::cfsetospeed(&t, B4800);
        ::tcsetattr(slave, TCSANOW, &t);
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    }
    void close() {
        if (master >= 0)
            ::close(master);
        if (slave >= 0)
            ::close(slave);
        master = slave = -1;
    }
};

struct Options {
    QString scenario;
    QList<QByteArray> extraLines; // --generate and --fault, in scenario syntax
    bool paced = true;
    int baud = 4800;
    QString name = QStringLiteral("meter-sim");
    QString link;
    QString settings;
};

Options parseOptions(const QStringList& args) {
    Options o;
    for (int i = 1; i < args.size(); ++i) {
        const QString a = args[i];
        auto value = [&]() -> QString {
            if (i + 1 >= args.size())
                die(QStringLiteral("%1 needs a value").arg(a));
            return args[++i];
        };
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (a == QLatin1String("--scenario")) {
            o.scenario = value();
        } else if (a == QLatin1String("--generate")) {
            o.extraLines << "generate " + value().toLatin1().replace(',', ' ');
        } else if (a == QLatin1String("--fault")) {
            o.extraLines << "fault " + value().toLatin1().replace('=', ' ');
        } else if (a == QLatin1String("--unpaced")) {
            o.paced = false;
        } else if (a == QLatin1String("--baud")) {
            o.baud = value().toInt();
            if (o.baud <= 0)
                die(QStringLiteral("--baud needs a positive number"));
        } else if (a == QLatin1String("--name")) {
            o.name = value();
            if (o.name.isEmpty() || o.name.contains(QLatin1Char('/')))
                die(QStringLiteral("--name needs a plain name"));
        } else if (a == QLatin1String("--link")) {
            o.link = QFileInfo(value()).absoluteFilePath();
        } else if (a == QLatin1String("--settings")) {
            o.settings = QFileInfo(value()).absoluteFilePath();
        } else {
            die(QStringLiteral("unknown option %1 (see --help)").arg(a));
        }
    }
    return o;
}

// The registration this simulator holds while it runs (none with --link).
std::unique_ptr<kelotari::PortRegistration> g_registration;

// The port's name for programs: a registered link, or the link the caller asked for.
QString publish(const Options& o, const QString& device) {
    if (o.link.isEmpty()) {
        if (g_registration)
            g_registration->moveTo(device);
        else
            g_registration = kelotari::PortRegistration::make(o.name, device);
        return g_registration->path();
    }
    const QByteArray link = QFile::encodeName(o.link);
    const QByteArray tmp = link + ".new";
    ::unlink(tmp.constData());
    if (::symlink(QFile::encodeName(device).constData(), tmp.constData()) < 0 ||
        ::rename(tmp.constData(), link.constData()) < 0)
        die(QStringLiteral("cannot make the link %1: %2")
                .arg(o.link, QString::fromLocal8Bit(std::strerror(errno))));
    return o.link;
}

void unpublish(const Options& o, const QString& device) {
    if (o.link.isEmpty())
        g_registration.reset();
    else if (QFile::symLinkTarget(o.link) == device)
        QFile::remove(o.link);
}

// A command byte as the report shows it: the letter, or its value in hex.
QString commandName(char c) {
    const auto u = static_cast<unsigned char>(c);
    if (u > 0x20 && u < 0x7F)
        return QString(QLatin1Char(c));
    return QStringLiteral("0x%1").arg(u, 2, 16, QLatin1Char('0'));
}

// An answer on its way out.
struct Answer {
    char command = 0;
    QByteArray bytes;
    qint64 sent = 0;
    qint64 startNs = 0;
    bool active() const { return command != 0; }
};

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const Options opt = parseOptions(QCoreApplication::arguments());

    Scenario scenario;
    QString error;
    if (!opt.scenario.isEmpty() && !loadScenario(opt.scenario, &scenario, &error))
        die(error);
    for (const QByteArray& line : opt.extraLines)
        if (!applyLine(line, &scenario, &error))
            die(QStringLiteral("%1: %2").arg(QString::fromLatin1(line), error));

    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) < 0)
        die(QStringLiteral("pipe failed"));
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    ::sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGHUP, &sa, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    Pty pty;
    pty.open();
    QString port;
    try {
        port = publish(opt, pty.device);
    } catch (const kelotari::Failure& e) {
        die(e.message());
    }

    // Point the program at the port; remember what was there.
    QString oldPort;
    bool hadPort = false;
    if (!opt.settings.isEmpty()) {
        const kelotari::IniProfile ini = kelotari::IniProfile::fromFile(opt.settings);
        hadPort = ini.contains(QStringLiteral("App"), QStringLiteral("Port"));
        oldPort = ini.readString(QStringLiteral("App"), QStringLiteral("Port"), QString());
        try {
            kelotari::writeProfileString(opt.settings, QStringLiteral("App"),
                                         QStringLiteral("Port"), port);
        } catch (const kelotari::Failure& e) {
            unpublish(opt, pty.device);
            die(e.message());
        }
    }

    say(QStringLiteral("PORT ") + port);
    say(QStringLiteral("DEVICE ") + pty.device);
    say(QStringLiteral("READY"));

    const qint64 byteNs = 10LL * 1000000000 / opt.baud; // start, 8 data bits, stop
    Answer answer;
    int kIndex = 0;
    bool waitWritable = false;

    for (;;) {
        // How long until the next byte is due on the line.
        qint64 waitNs = -1;
        if (answer.active() && !waitWritable) {
            waitNs = 0;
            if (opt.paced)
                waitNs = std::max<qint64>(0, answer.startNs + (answer.sent + 1) * byteNs - nowNs());
        }
        pollfd fds[2] = {{pty.master, short(POLLIN | (waitWritable ? POLLOUT : 0)), 0},
                         {g_signalPipe[0], POLLIN, 0}};
        timespec ts{waitNs / 1000000000, waitNs % 1000000000};
        if (::ppoll(fds, 2, waitNs < 0 ? nullptr : &ts, nullptr) < 0 && errno != EINTR)
            die(QStringLiteral("poll failed"));
        if (fds[1].revents)
            break;
        if (fds[0].revents & POLLOUT)
            waitWritable = false;

        if (fds[0].revents & POLLIN) {
            char buf[256];
            const ssize_t n = ::read(pty.master, buf, sizeof buf);
            for (ssize_t i = 0; i < n; ++i) {
                const char c = buf[i];
                if (answer.active()) {
                    say(QStringLiteral("ABORT ") + commandName(answer.command));
                    answer = Answer();
                    waitWritable = false;
                }
                say(QStringLiteral("CMD ") + commandName(c));
                if (c == 'C' && !scenario.faults.silent) {
                    scenario.packets.clear();
                    say(QStringLiteral("CLEARED"));
                    continue;
                }
                const QByteArray bytes = answerFor(c, scenario, &kIndex);
                if (!bytes.isEmpty())
                    answer = Answer{c, bytes, 0, nowNs()};
            }
        } else if (fds[0].revents & (POLLHUP | POLLERR)) {
            die(QStringLiteral("the pseudo-terminal failed"));
        }

        if (!answer.active() || waitWritable)
            continue;
        qint64 due = answer.bytes.size();
        if (opt.paced)
            due = std::min(due, (nowNs() - answer.startNs) / byteNs);
        const Faults& f = scenario.faults;
        if (f.stallAfter >= 0)
            due = std::min(due, f.stallAfter);
        if (f.hangupAfter >= 0)
            due = std::min(due, f.hangupAfter);
        if (due > answer.sent) {
            const ssize_t n = ::write(pty.master, answer.bytes.constData() + answer.sent,
                                      static_cast<size_t>(due - answer.sent));
            if (n > 0)
                answer.sent += n;
            else if (n < 0 && errno == EAGAIN)
                waitWritable = true;
            else if (n < 0)
                die(QStringLiteral("write failed: %1")
                        .arg(QString::fromLocal8Bit(std::strerror(errno))));
        }
        if (answer.sent == f.hangupAfter) {
            // The line drops mid-answer, once the program has taken what was sent (a hang-up
            // discards the terminal's queue); a fresh terminal then takes the same name.
            for (int i = 0; i < 5000; ++i) {
                int queued = 0;
                if (::ioctl(pty.slave, FIONREAD, &queued) < 0 || queued == 0)
                    break;
                ::usleep(1000);
            }
            say(QStringLiteral("HANGUP %1").arg(answer.sent));
            answer = Answer();
            pty.close();
            pty.open();
            try {
                publish(opt, pty.device);
            } catch (const kelotari::Failure& e) {
                die(e.message());
            }
            say(QStringLiteral("DEVICE ") + pty.device);
        } else if (answer.sent == f.stallAfter) {
            say(QStringLiteral("STALL %1").arg(answer.sent));
            answer = Answer();
        } else if (answer.sent == answer.bytes.size()) {
            say(QStringLiteral("SENT %1 %2").arg(commandName(answer.command)).arg(answer.sent));
            answer = Answer();
        }
    }

    if (!opt.settings.isEmpty()) {
        const kelotari::IniProfile ini = kelotari::IniProfile::fromFile(opt.settings);
        if (ini.readString(QStringLiteral("App"), QStringLiteral("Port"), QString()) == port) {
            try {
                kelotari::writeProfileString(opt.settings, QStringLiteral("App"),
                                             QStringLiteral("Port"),
                                             hadPort ? oldPort : QStringLiteral("COM1"));
            } catch (const kelotari::Failure&) {
            }
        }
    }
    unpublish(opt, pty.device);
    pty.close();
    return 0;
}
