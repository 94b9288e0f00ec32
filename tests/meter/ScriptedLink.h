#pragma once
// A MeterLink that plays a script of arrivals to a real LineReader: bytes that arrive,
// ticks of the window's timer, a port failure. After the script the line stays silent.
// Every call is recorded so tests can check the order of port operations.
#include "meter/MeterLink.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace kelotari {

struct Arrival {
    enum class Kind { Bytes, Ticks, Failure, Cancel };
    Kind kind = Kind::Bytes;
    QByteArray bytes;
    int ticks = 0;
    QString failure;
};

inline Arrival bytes(QByteArray b) {
    return {Arrival::Kind::Bytes, std::move(b), 0, {}};
}
inline Arrival ticks(int n) {
    return {Arrival::Kind::Ticks, {}, n, {}};
}
inline Arrival portFailure(QString text) {
    return {Arrival::Kind::Failure, {}, 0, std::move(text)};
}
inline Arrival cancelRequest() {
    return {Arrival::Kind::Cancel, {}, 0, {}};
}

class ScriptedLink : public MeterLink {
public:
    explicit ScriptedLink(QList<Arrival> script = {}) : script(std::move(script)) {}

    QList<Arrival> script;
    QString openFailure; // open() throws this when set
    QString openAdvice;
    QStringList calls; // "port NAME", "open", "purge", "send D", "read", "close"
    int countdown = 0;
    int ticksSpent = 0; // ticks the reads waited through
    bool isOpen = false;
    // waitForNext() answers: true (Next pressed) until the queue is empty, then nextDefault.
    QList<bool> nextAnswers;
    bool nextDefault = true;

    void setPort(const QString& name) override { calls << QStringLiteral("port ") + name; }
    void open() override {
        calls << QStringLiteral("open");
        if (!openFailure.isEmpty())
            throw LinkFailure(openFailure, openAdvice);
        isOpen = true;
    }
    void close() override {
        calls << QStringLiteral("close");
        isOpen = false;
    }
    void purge() override { calls << QStringLiteral("purge"); }
    void send(const QByteArray& command) override {
        calls << QStringLiteral("send ") + QString::fromLatin1(command);
    }

    void pause(int ms) override { calls << QStringLiteral("pause ") + QString::number(ms); }
    bool waitForNext() override {
        calls << QStringLiteral("next");
        if (m_cancelled)
            return false;
        return nextAnswers.isEmpty() ? nextDefault : nextAnswers.takeFirst();
    }

    ReadResult readResult(int timeoutTicks) override {
        calls << QStringLiteral("read");
        m_reader.start(timeoutTicks);
        for (;;) {
            if (m_cancelled)
                return ReadResult::of(ReadResult::Kind::Cancelled);
            if (m_reader.timedOut())
                return ReadResult::of(ReadResult::Kind::Timeout);
            if (m_step >= script.size()) { // silence
                tick();
                continue;
            }
            Arrival& a = script[m_step];
            switch (a.kind) {
            case Arrival::Kind::Bytes: {
                ReadResult r;
                const bool done = m_reader.feed(a.bytes.constData(),
                                                static_cast<int>(a.bytes.size()), &m_pos, &r);
                if (m_pos >= a.bytes.size())
                    next();
                if (done)
                    return r;
                break;
            }
            case Arrival::Kind::Ticks:
                if (a.ticks-- > 0)
                    tick();
                else
                    next();
                break;
            case Arrival::Kind::Failure:
                next();
                throw LinkFailure(a.failure);
            case Arrival::Kind::Cancel:
                next();
                m_cancelled = true;
                break;
            }
        }
    }

    // Bytes of the script not yet taken by the reader.
    int unreadBytes() const {
        int n = 0;
        for (int i = m_step; i < script.size(); ++i)
            if (script[i].kind == Arrival::Kind::Bytes)
                n += static_cast<int>(script[i].bytes.size()) - (i == m_step ? m_pos : 0);
        return n;
    }

private:
    void tick() {
        tickCountdown(countdown);
        ++ticksSpent;
    }
    void next() {
        ++m_step;
        m_pos = 0;
    }
    LineReader m_reader{countdown};
    int m_step = 0;
    int m_pos = 0;
    bool m_cancelled = false;
};

} // namespace kelotari
