// Data-file loader on arbitrary bytes: it must never crash, hang or overrun the table.
#include "packets/DataFile.h"

#include <QBuffer>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QBuffer buffer;
    buffer.setData(reinterpret_cast<const char*>(data), static_cast<int>(size));
    buffer.open(QIODevice::ReadOnly);
    kelotari::PacketTable table;
    const kelotari::LoadResult r = kelotari::loadDataFile(buffer, table);
    if (r.packetCount < 0 || r.packetCount > kelotari::kMaxPackets)
        __builtin_trap();
    // What was loaded saves and loads back to the same packets.
    if (r.ok) {
        const QByteArray again = kelotari::serializeDataFile(table, r.packetCount);
        QBuffer b2;
        b2.setData(again);
        b2.open(QIODevice::ReadOnly);
        kelotari::PacketTable back;
        const kelotari::LoadResult r2 = kelotari::loadDataFile(b2, back);
        if (!r2.ok || r2.packetCount != r.packetCount)
            __builtin_trap();
    }
    return 0;
}
