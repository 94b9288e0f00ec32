#include "meter/LineReader.h"

#include "base/Failure.h"
#include "packets/PacketTable.h"

#include <algorithm>
#include <utility>

namespace kelotari {

QByteArray ReadResult::shownBytes() const {
    switch (kind) {
    case Kind::Line:
        return line;
    case Kind::LoneCr:
        return QByteArray(1, '\r');
    case Kind::PacketEnd:
        return QByteArray(1, kPacketEnd);
    case Kind::DataEnd:
        return QByteArray(1, kDataEnd);
    case Kind::Timeout:
        return QByteArray(1, '\xB0');
    case Kind::Cancelled:
        break;
    }
    return {};
}

void LineReader::start(int timeoutTicks) {
    m_timeout = std::clamp(timeoutTicks, 0, 255);
    m_countdown = m_timeout;
    m_line.clear();
}

bool LineReader::feed(char byte, ReadResult* out) {
    switch (byte) {
    case '\n':
    case '\0':
        return false;
    case kPacketEnd:
        *out = ReadResult::of(ReadResult::Kind::PacketEnd);
        m_line.clear(); // an unfinished line is dropped
        return true;
    case kDataEnd:
        *out = ReadResult::of(ReadResult::Kind::DataEnd);
        m_line.clear();
        return true;
    case '\r':
        *out = m_line.isEmpty() ? ReadResult::of(ReadResult::Kind::LoneCr)
                                : ReadResult::lineOf(std::exchange(m_line, QByteArray()));
        return true;
    default:
        if (m_line.size() >= kMaxLine) {
            m_line.clear();
            throw Failure(QStringLiteral("The meter sent more than %1 bytes without a line end")
                              .arg(kMaxLine));
        }
        m_line.append(byte);
        m_countdown = m_timeout;
        return false;
    }
}

bool LineReader::feed(const char* data, int size, int* pos, ReadResult* out) {
    while (*pos < size) {
        const char b = data[(*pos)++];
        if (feed(b, out))
            return true;
    }
    return false;
}

} // namespace kelotari
