#pragma once
// A print system of the test's own: a cupsd whose configuration, spool, state, logs and socket
// all sit in a temporary folder, with queues made by lpadmin. The machine's own print system
// is neither used nor changed. The tests' libcups (Qt's printer list and the program's job
// submission) talks to it through CUPS_SERVER, set before the first request of the process.
//
// cupsd is a child of the test process and gets SIGTERM when the test dies, however it dies,
// so no scheduler is left behind. Starting it needs root (cupsd runs its filters as lp).
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <algorithm>
#include <cups/cups.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace kelotari {

class PrivateCups {
public:
    struct Job {
        int id = 0;
        QString queue, title;
        ipp_jstate_t state = IPP_JSTATE_PENDING;
    };

    // Why the private cupsd cannot run here; empty when it can.
    static QString unavailableReason() {
        if (::geteuid() != 0)
            return QStringLiteral("a private cupsd needs root (it runs its filters as lp)");
        for (const char* tool : {"cupsd", "lpadmin", "lpstat", "cupsreject", "cupsdisable"})
            if (QStandardPaths::findExecutable(QLatin1String(tool),
                                               {"/usr/sbin", "/usr/bin", "/sbin", "/bin"})
                    .isEmpty())
                return QStringLiteral("%1 is missing: run scripts/install-deps.sh").arg(tool);
        return QString();
    }

    PrivateCups() {
        // Filters run as lp and read the spool; the folder itself is root's.
        QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                                                QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                                QFileDevice::ExeOther);
        for (const char* sub : {"etc/ppd", "spool/tmp", "cache", "state", "log", "out"})
            QDir(m_dir.path()).mkpath(QLatin1String(sub));
        write(QStringLiteral("etc/cupsd.conf"),
              "Listen " + socket().toUtf8() +
                  "\nBrowsing Off\nLogLevel info\nWebInterface No\nDefaultAuthType None\n"
                  "MaxJobs 0\nPreserveJobHistory Yes\n"
                  // queues and jobs reach the disk at once: a test may kill cupsd outright
                  "DirtyCleanInterval 0\n"
                  "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                  "<Location /admin>\n  Order allow,deny\n  Allow all\n</Location>\n"
                  "<Policy default>\n  JobPrivateAccess all\n  JobPrivateValues none\n"
                  "  SubscriptionPrivateAccess all\n  SubscriptionPrivateValues none\n"
                  "  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n");
        const QByteArray d = m_dir.path().toUtf8();
        write(QStringLiteral("etc/cups-files.conf"),
              "ServerRoot " + d + "/etc\nRequestRoot " + d + "/spool\nTempDir " + d +
                  "/spool/tmp\nCacheDir " + d + "/cache\nStateDir " + d + "/state\nAccessLog " + d +
                  "/log/access_log\nErrorLog " + d + "/log/error_log\nPageLog " + d +
                  "/log/page_log\nFileDevice Yes\n");
        for (const char* f : {"raw.types", "raw.convs"})
            QFile::copy(QStringLiteral("/etc/cups/") + QLatin1String(f),
                        m_dir.filePath(QStringLiteral("etc/") + QLatin1String(f)));
        qputenv("CUPS_SERVER", socket().toUtf8());
        qunsetenv("LPDEST"); // neither may pick the default printer for the tests
        qunsetenv("PRINTER");
    }
    ~PrivateCups() { stop(); }
    PrivateCups(const PrivateCups&) = delete;
    PrivateCups& operator=(const PrivateCups&) = delete;

    QString socket() const { return m_dir.filePath(QStringLiteral("cups.sock")); }
    QString outFile(const QString& name) const {
        return m_dir.filePath(QStringLiteral("out/") + name);
    }
    QString errorLog() const { return m_dir.filePath(QStringLiteral("log/error_log")); }

    // Starts cupsd and waits (at most 20 s) until it answers.
    bool start() {
        if (running())
            return true;
        m_cupsd.setProgram(QStringLiteral("/usr/sbin/cupsd"));
        m_cupsd.setArguments({"-f", "-c", m_dir.filePath("etc/cupsd.conf"), "-s",
                              m_dir.filePath("etc/cups-files.conf")});
        m_cupsd.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_cupsd.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_cupsd.start();
        if (!m_cupsd.waitForStarted(10000))
            return false;
        const QDeadlineTimer deadline(20000);
        while (!deadline.hasExpired()) {
            if (QFileInfo::exists(socket()) && run("lpstat", {"-r"}))
                return true;
            if (m_cupsd.state() == QProcess::NotRunning)
                return false;
            QThread::msleep(50);
        }
        return false;
    }

    bool running() const { return m_cupsd.state() == QProcess::Running; }
    pid_t pid() const { return pid_t(m_cupsd.processId()); }

    // A scheduler that hangs: cupsd stopped by SIGSTOP still accepts connections (the kernel
    // queues them) but answers nothing until it is continued.
    void hold() {
        if (running())
            ::kill(pid(), SIGSTOP);
    }
    void release() {
        if (running())
            ::kill(pid(), SIGCONT);
    }
    // Ends cupsd at once, as a crash would.
    void killNow() {
        if (!running())
            return;
        ::kill(pid(), SIGKILL);
        m_cupsd.waitForFinished(5000);
        QFile::remove(socket());
    }

    void stop() {
        if (m_cupsd.state() == QProcess::NotRunning)
            return;
        release(); // a held cupsd would not see the SIGTERM
        m_cupsd.terminate();
        if (!m_cupsd.waitForFinished(10000)) {
            m_cupsd.kill();
            m_cupsd.waitForFinished(5000);
        }
        QFile::remove(socket());
    }

    // A queue that writes each job to its file as it was sent: the spool-to-file PPD only
    // copies the document through.
    bool addFileQueue(const QString& name, const QString& file) {
        return run("lpadmin",
                   {"-p", name, "-E", "-v", "file:" + outFile(file), "-P",
                    QStringLiteral(KELOTARI_SOURCE_DIR "/tests/print/cups/spool-to-file.ppd")});
    }
    // The virtual PDF printer of cups-pdf: its backend writes into the job owner's folder
    // named by Out in /etc/cups/cups-pdf.conf.
    bool addCupsPdfQueue(const QString& name) {
        return run("lpadmin", {"-p", name, "-E", "-v", "cups-pdf:/", "-P",
                               "/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd"});
    }

    // Runs a CUPS tool against this scheduler (at most 30 s); `out` gets its output.
    bool run(const char* tool, const QStringList& args, QByteArray* out = nullptr) const {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        const QString path = QStandardPaths::findExecutable(
            QLatin1String(tool), {"/usr/sbin", "/usr/bin", "/sbin", "/bin"});
        p.start(path, args);
        if (!p.waitForFinished(30000)) {
            p.kill();
            p.waitForFinished(1000);
            return false;
        }
        const QByteArray output = p.readAll();
        if (out)
            *out = output;
        return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }

    // Every job the scheduler knows, finished ones included, oldest first.
    static QList<Job> jobs() {
        cups_job_t* list = nullptr;
        const int n = cupsGetJobs2(CUPS_HTTP_DEFAULT, &list, nullptr, 0, CUPS_WHICHJOBS_ALL);
        QList<Job> out;
        for (int i = 0; i < n; ++i)
            out << Job{list[i].id, QUrl::fromPercentEncoding(list[i].dest), // as in the queue's URI
                       QString::fromUtf8(list[i].title), list[i].state};
        cupsFreeJobs(n, list);
        std::sort(out.begin(), out.end(), [](const Job& a, const Job& b) { return a.id < b.id; });
        return out;
    }

    // The jobs that arrived after the job `lastId`, once none of them is still pending or
    // printing (at most `ms`): the finished ones are what was printed.
    static QList<Job> jobsAfter(int lastId, int ms = 30000) {
        const QDeadlineTimer deadline(ms);
        QList<Job> fresh;
        for (;;) {
            fresh.clear();
            bool busy = false;
            for (const Job& j : jobs())
                if (j.id > lastId) {
                    fresh << j;
                    busy = busy || j.state < IPP_JSTATE_STOPPED;
                }
            if (!busy || deadline.hasExpired())
                return fresh;
            QThread::msleep(50);
        }
    }
    static int lastJobId() {
        const QList<Job> all = jobs();
        return all.isEmpty() ? 0 : all.last().id;
    }

private:
    void write(const QString& name, const QByteArray& bytes) {
        QFile f(m_dir.filePath(name));
        if (f.open(QIODevice::WriteOnly))
            f.write(bytes);
    }

    QTemporaryDir m_dir{QDir::temp().filePath(QStringLiteral("kelotari-cups-XXXXXX"))};
    QProcess m_cupsd;
};

} // namespace kelotari
