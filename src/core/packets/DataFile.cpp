#include "packets/DataFile.h"

#include "files/OpenForReading.h"
#include "text/Codec.h"

#include <QDate>
#include <QFile>
#include <QIODevice>

#include <cerrno>

namespace kelotari {

QByteArray serializeDataFile(const PacketTable& t, int count) {
    QByteArray out;
    out.reserve(count * 600 + 3);
    for (int row = 1; row <= count && row < kRows; ++row) {
        QByteArray comment = t.cell(kCommentCol, row);
        if (comment.size() < 14)
            comment.append(14 - comment.size(), ' ');
        out += comment;
        out += "\r\n";
        for (int col : kPlacement) {
            out += t.cell(col, row);
            out += "\r\n";
        }
        for (int col = kFirstReadingCol; col <= kLastCol && !t.cell(col, row).isEmpty(); ++col) {
            out += t.cell(col, row);
            out += "\r\n";
        }
        out += kPacketEnd;
        out += "\r\n";
    }
    out += kDataEnd;
    out += "\r\n";
    return out;
}

QByteArray commentCellBytes(const QString& typed) {
    QByteArray bytes = toCp1252(typed);
    for (char& c : bytes)
        if (c == '\r' || c == '\n' || c == kDataEnd)
            c = ' ';
    return bytes;
}

QString proposedDataFileName(const QString& dataPath, const QDate& today) {
    return dataPath + today.toString(QStringLiteral("ddMMyy")) + QStringLiteral(".DAT");
}

namespace {

// Line reading with the data-file rules: CR LF or LF ends a line, a lone CR is dropped,
// 0x1A ends its line and the rest up to the next line end is skipped.
class LineSource {
public:
    explicit LineSource(QIODevice& d) : m_dev(d) {}

    enum class Status { Line, TooLong, Error };

    Status readLine(QByteArray& line) {
        line.clear();
        bool skipping = false;
        for (;;) {
            int c = get();
            if (c < 0)
                return m_error ? Status::Error : Status::Line;
            if (c == '\n')
                return Status::Line;
            if (c == '\r') {
                if (peek() == '\n') {
                    get();
                    return Status::Line;
                }
                if (m_error)
                    return Status::Error;
                continue; // a lone CR is dropped
            }
            if (skipping)
                continue;
            if (c == static_cast<unsigned char>(kDataEnd)) {
                skipping = true;
                continue;
            }
            if (line.size() >= kMaxFileLine)
                return Status::TooLong;
            line.append(static_cast<char>(c));
        }
    }

    // At the end: no byte left, or the next byte is the data-end marker. A device that fails
    // while the next byte is fetched is not at its end: the next read reports the failure.
    bool atEnd() {
        const int c = peek();
        if (c < 0)
            return !m_error;
        return c == static_cast<unsigned char>(kDataEnd);
    }
    bool failed() const { return m_error; }
    int errorNumber() const { return m_errno; }

private:
    int peek() {
        if (m_pos >= m_buf.size() && !fill())
            return -1;
        return static_cast<unsigned char>(m_buf[m_pos]);
    }
    int get() {
        const int c = peek();
        if (c >= 0)
            ++m_pos;
        return c;
    }
    bool fill() {
        if (m_eof || m_error)
            return false;
        m_buf.resize(64 * 1024);
        errno = 0;
        const qint64 n = m_dev.read(m_buf.data(), m_buf.size());
        if (n < 0) {
            m_error = true;
            m_errno = errno ? errno : EIO;
            m_buf.clear();
            return false;
        }
        m_buf.resize(static_cast<int>(n));
        m_pos = 0;
        if (n == 0) {
            m_eof = true;
            return false;
        }
        return true;
    }

    QIODevice& m_dev;
    QByteArray m_buf;
    int m_pos = 0;
    bool m_eof = false;
    bool m_error = false;
    int m_errno = 0;
};

} // namespace

LoadResult loadDataFile(QIODevice& device, PacketTable& table) {
    LoadResult r;
    LineSource src(device);
    QByteArray line;
    int row = 1;

    // A read failure or an overlong line stops the load; what was read stays in the table.
    auto fail = [&](LineSource::Status st) {
        r.ok = false;
        r.errorNumber = st == LineSource::Status::TooLong ? EFBIG : src.errorNumber();
        r.packetCount = row - 1;
        return r;
    };
    // Every way out that is not a failure: a device that failed while the loader looked ahead
    // still makes it one, so a cut-off table is never taken for the whole file.
    auto finish = [&](int count) {
        if (src.failed())
            return fail(LineSource::Status::Error);
        r.packetCount = count;
        return r;
    };

    for (;;) {
        // Comment line, or the data-end line.
        auto st = src.readLine(line);
        if (st != LineSource::Status::Line)
            return fail(st);
        if (src.atEnd())
            return finish(row - 1);
        if (row > kMaxPackets) {
            r.moreBlocks = true;
            return finish(kMaxPackets);
        }
        table.setCell(kCommentCol, row, line);

        for (int field = 0; field < kHeaderFields; ++field) {
            st = src.readLine(line);
            if (st != LineSource::Status::Line)
                return fail(st);
            if (src.atEnd() || line == QByteArray(1, kPacketEnd)) {
                // Block cut short before its header was complete: not a packet.
                return finish(row - 1);
            }
            table.setCell(kPlacement[static_cast<size_t>(field)], row, line);
        }

        int n = 1;
        for (;;) {
            st = src.readLine(line);
            if (st != LineSource::Status::Line)
                return fail(st);
            if (line == QByteArray(1, kPacketEnd)) {
                table.setCell(kSamplesCol, row, QByteArray::number(n - 1));
                ++row;
                break;
            }
            if (n <= kMaxReadings) {
                table.setCell(kFirstReadingCol + n - 1, row, line);
                if (src.atEnd()) {
                    table.setCell(kSamplesCol, row, QByteArray::number(n));
                    return finish(row);
                }
                ++n;
            } else if (src.atEnd()) {
                // Surplus reading at the end of the file: the packet has its 30.
                table.setCell(kSamplesCol, row, QByteArray::number(kMaxReadings));
                return finish(row);
            }
            // else: a surplus reading beyond 30, skipped up to the packet-end marker.
        }
    }
}

int openDataFileForReading(QFile& file, const QString& fileName) {
    return openRegularFileForReading(file, fileName);
}

} // namespace kelotari
