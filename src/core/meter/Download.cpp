#include "meter/Download.h"

#include "packets/PacketTable.h"

namespace kelotari {

DownloadResult downloadPackets(MeterLink& link, const QString& portName, PacketTable& table) {
    using Kind = ReadResult::Kind;
    DownloadResult out;
    table.ClearTable();

    int row = 1;
    int field = 0;    // 0..8 header fields, then 11.. the reading's column
    int readings = 0; // readings placed in the current row
    auto write = [&](int col, const QByteArray& bytes) {
        table.setCell(col, row, bytes);
        out.rowsWritten = true;
    };

    try {
        link.setPort(portName);
        link.open();
        link.purge();
        link.send(QByteArrayLiteral("D"));

        for (;;) {
            const ReadResult r = link.readResult(kDownloadTimeoutTicks);
            if (r.kind == Kind::LoneCr)
                continue;
            if (r.kind == Kind::Timeout || r.kind == Kind::Cancelled) {
                out.end = r.kind == Kind::Timeout ? DownloadResult::End::TimedOut
                                                  : DownloadResult::End::Cancelled;
                break;
            }
            if (r.kind == Kind::PacketEnd) {
                write(kSamplesCol, QByteArray::number(readings));
                ++row;
                if (row > kMaxPackets)
                    break; // the table is full: the rest of the answer is not read
                field = 0;
                readings = 0;
                continue;
            }
            if (field > kLastCol) // a 31st reading: the packet cannot be held
                break;
            if (r.kind == Kind::DataEnd)
                break;

            if (field == kHeaderFields)
                field = kFirstReadingCol;
            int col = field;
            if (field < kHeaderFields)
                col = kPlacement[static_cast<size_t>(field)];
            else
                ++readings;
            write(col, r.line);
            ++field;
        }
    } catch (const LinkFailure& e) {
        out.end = DownloadResult::End::Failed;
        out.failure = e.message();
        out.advice = e.advice();
    } catch (const Failure& e) {
        out.end = DownloadResult::End::Failed;
        out.failure = e.message();
    }
    closeQuietly(link);
    out.packets = row - 1;
    return out;
}

void clearMeterMemory(MeterLink& link, const QString& portName) {
    try {
        link.setPort(portName);
        link.open();
        link.purge();
        link.send(QByteArrayLiteral("C"));
    } catch (const Failure&) {
        closeQuietly(link);
        throw;
    }
    link.close();
}

} // namespace kelotari
