#pragma once
// The simulated meter as a child process of a test: started with its options, its report
// lines collected, stopped cleanly (so it removes its link).
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>
#include <QTest>

namespace kelotari {

class SimProcess {
public:
    // Starts meter-sim with a link of its own under dir; false when it did not come up.
    bool start(const QString& dir, const QStringList& args) {
        static int serial = 0;
        m_port = QStringLiteral("%1/meter-%2").arg(dir).arg(++serial);
        m_proc.setProgram(QStringLiteral(KELOTARI_BIN_DIR "/meter-sim"));
        m_proc.setArguments(QStringList{QStringLiteral("--link"), m_port} + args);
        m_proc.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_proc.start();
        return waitFor(QStringLiteral("READY"));
    }

    // Starts meter-sim with its port at the link path link (made or replaced).
    bool startAt(const QString& link, const QStringList& args) {
        m_port = link;
        m_proc.setProgram(QStringLiteral(KELOTARI_BIN_DIR "/meter-sim"));
        m_proc.setArguments(QStringList{QStringLiteral("--link"), m_port} + args);
        m_proc.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_proc.start();
        return waitFor(QStringLiteral("READY"));
    }

    // Starts meter-sim registered under name in the runtime folder runtimeDir.
    bool startRegistered(const QString& name, const QString& runtimeDir, const QStringList& args) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir);
        m_proc.setProcessEnvironment(env);
        m_proc.setProgram(QStringLiteral(KELOTARI_BIN_DIR "/meter-sim"));
        m_proc.setArguments(QStringList{QStringLiteral("--name"), name} + args);
        m_proc.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_proc.start();
        if (!waitFor(QStringLiteral("READY")))
            return false;
        for (const QString& l : lines())
            if (l.startsWith(QLatin1String("PORT ")))
                m_port = l.mid(5);
        return true;
    }

    ~SimProcess() { stop(); }

    void stop() {
        if (m_proc.state() == QProcess::NotRunning)
            return;
        m_proc.terminate();
        if (!m_proc.waitForFinished(30000))
            m_proc.kill();
        m_proc.waitForFinished(30000);
    }

    const QString& port() const { return m_port; }

    // Report lines so far (PORT, DEVICE, READY, CMD D, SENT D 123, CLEARED, HANGUP 500 ...).
    QStringList lines() {
        m_lines += QString::fromLocal8Bit(m_proc.readAllStandardOutput());
        QStringList out = m_lines.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        return out;
    }

    // Waits (generously) until a report line starting with prefix has come.
    bool waitFor(const QString& prefix, int timeoutMs = 60000) {
        QElapsedTimer t;
        t.start();
        for (;;) {
            for (const QString& l : lines())
                if (l.startsWith(prefix))
                    return true;
            if (t.elapsed() > timeoutMs || m_proc.state() == QProcess::NotRunning)
                return false;
            m_proc.waitForReadyRead(200);
        }
    }

    QStringList commands() {
        QStringList c;
        for (const QString& l : lines())
            if (l.startsWith(QLatin1String("CMD ")))
                c << l.mid(4);
        return c;
    }

private:
    QProcess m_proc;
    QString m_port;
    QString m_lines;
};

} // namespace kelotari
