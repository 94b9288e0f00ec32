// The line reader and the packet download under arbitrary bytes and ticks. The input is a
// series of chunks: a header byte with the top bit set means (header & 15) ticks of the
// window's timer, otherwise the next (header & 127) bytes arrive from the port.
#include "app/MainCommands.h"
#include "app/MainState.h"
#include "meter/Download.h"
#include "meter/LineReader.h"
#include "packets/PacketTable.h"

#include <cstdint>
#include <cstdlib>

using namespace kelotari;

namespace {

void check(bool ok) {
    if (!ok)
        std::abort();
}

class FuzzLink : public MeterLink {
public:
    FuzzLink(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    void setPort(const QString&) override {}
    void open() override {}
    void close() override {}
    void purge() override {}
    void send(const QByteArray&) override {}
    void pause(int) override {}
    bool waitForNext() override { return true; }
    ReadResult readResult(int timeoutTicks) override {
        m_reader.start(timeoutTicks);
        for (;;) {
            if (m_reader.timedOut())
                return ReadResult::of(ReadResult::Kind::Timeout);
            if (m_chunkLeft == 0) {
                if (m_pos >= m_size) {
                    tickCountdown(m_countdown); // silence after the input
                    continue;
                }
                const uint8_t h = m_data[m_pos++];
                if (h & 0x80) {
                    for (int i = 0; i < (h & 15) && !m_reader.timedOut(); ++i)
                        tickCountdown(m_countdown);
                    continue;
                }
                m_chunkLeft = h & 0x7F;
                continue;
            }
            if (m_pos >= m_size) {
                m_chunkLeft = 0;
                continue;
            }
            --m_chunkLeft;
            ReadResult r;
            if (m_reader.feed(static_cast<char>(m_data[m_pos++]), &r)) {
                if (r.kind == ReadResult::Kind::Line) {
                    check(!r.line.isEmpty() && r.line.size() <= LineReader::kMaxLine);
                    for (char c : r.line)
                        check(c != '\r' && c != '\n' && c != '\0' && c != kPacketEnd &&
                              c != kDataEnd);
                }
                return r;
            }
        }
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
    int m_chunkLeft = 0;
    int m_countdown = 0;
    LineReader m_reader{m_countdown};
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MainState state;
    FuzzLink link(data, size);
    const DownloadResult r = downloadPackets(link, QStringLiteral("COM1"), state.table);
    finishDownload(r, state, QStringLiteral("time-out"));

    check(state.PacketCount >= 0 && state.PacketCount <= kMaxPackets);
    for (int row = 1; row <= state.PacketCount; ++row) {
        // A counted packet has its reading count in column 1, and exactly that many readings.
        const QByteArray samples = state.table.cell(kSamplesCol, row);
        check(samples.toInt() == state.table.readingCount(row));
        check(state.table.cell(kCommentCol, row).isEmpty());
    }
    // Nothing beyond the row that was being filled.
    for (int row = state.PacketCount + 2; row <= kMaxPackets; ++row)
        for (int col = 0; col < kColumns; ++col)
            check(state.table.cell(col, row).isEmpty());
    return 0;
}
