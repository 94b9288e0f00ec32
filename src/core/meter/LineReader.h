#pragma once
// The meter's receive side: turns the byte stream into lines and markers, with a time-out
// counted in timer ticks. It is a plain state machine; whoever owns the port feeds it bytes
// and ticks the countdown, so it runs the same under a window's event loop and in a test.
#include <QByteArray>

namespace kelotari {

// What one read of the line reader gives.
struct ReadResult {
    enum class Kind {
        Line,      // one or more bytes, none of them CR, LF, NUL, 0xAF or 0x1A
        LoneCr,    // a CR with no line before it
        PacketEnd, // 0xAF
        DataEnd,   // 0x1A
        Timeout,   // the countdown ran out
        Cancelled, // the wait was cancelled (the window is closing); the conversation unwinds
    };
    Kind kind = Kind::Timeout;
    QByteArray line; // the bytes of a Line; empty otherwise

    static ReadResult lineOf(QByteArray bytes) { return {Kind::Line, std::move(bytes)}; }
    static ReadResult of(Kind k) { return {k, {}}; }

    // Callers decide by kind, never by comparing texts: a line made of the byte 0xB0 alone is
    // a line, not a time-out, and a cancelled wait is neither.
    bool operator==(const ReadResult& o) const { return kind == o.kind && line == o.line; }

    // The bytes the result stands for, to show or to store, never to decide by: the line, or
    // the one-byte text of a lone CR (CR), a packet end (0xAF), a data end (0x1A), or a
    // time-out (0xB0). A cancelled wait has no text: empty.
    QByteArray shownBytes() const;
};

// The countdown's tick: one down while above zero.
inline void tickCountdown(int& countdown) {
    if (countdown > 0)
        --countdown;
}

class LineReader {
public:
    // A run of this many bytes without CR, LF or a marker is not a meter talking: the reader
    // raises a failure instead of growing without bound.
    static constexpr int kMaxLine = 64 * 1024;

    // The reader arms and re-arms the countdown it is given; the owner's timer ticks it.
    explicit LineReader(int& countdown) : m_countdown(countdown) {}

    // Starts one read: countdown := time-out (0..255 ticks), line := empty.
    void start(int timeoutTicks);

    // True when the countdown has run out: the read's result is the time-out.
    bool timedOut() const { return m_countdown == 0; }

    // One received byte. Returns true when it completes the read; the result is in *out.
    // LF and NUL are discarded without re-arming the countdown; any byte that extends the
    // line re-arms it. Throws Failure when the line would grow past kMaxLine.
    bool feed(char byte, ReadResult* out);

    // Feeds bytes from data[*pos] on until a result; *pos is left after the last byte used,
    // so the rest stays for the next read.
    bool feed(const char* data, int size, int* pos, ReadResult* out);

    int timeoutTicks() const { return m_timeout; }

private:
    int& m_countdown;
    int m_timeout = 0;
    QByteArray m_line;
};

} // namespace kelotari
