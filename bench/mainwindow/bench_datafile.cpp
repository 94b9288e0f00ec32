// Save and load of a full table (49 packets of 30 readings), in memory and through a file.
#include "packets/DataFile.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>

#include <cstdio>

using namespace kelotari;

int main() {
    PacketTable t;
    for (int r = 1; r <= kMaxPackets; ++r) {
        t.setCell(kCommentCol, r, "stack " + QByteArray::number(r));
        for (int f = 0; f < kHeaderFields; ++f)
            t.setCell(kPlacement[static_cast<size_t>(f)], r, QByteArray::number(r * 10 + f) + ".4");
        for (int c = kFirstReadingCol; c <= kLastCol; ++c)
            t.setCell(c, r, QByteArray::number(6 + (r + c) % 22) + ".7");
    }
    QTemporaryDir dir;
    const QString name = dir.filePath("full.DAT");
    const int runs = 2000;

    QElapsedTimer timer;
    qint64 bytes = 0;
    timer.start();
    for (int i = 0; i < runs; ++i) {
        const QByteArray b = serializeDataFile(t, kMaxPackets);
        QSaveFile f(name);
        f.open(QIODevice::WriteOnly);
        f.write(b);
        f.commit();
        bytes = b.size();
    }
    const double saveUs = static_cast<double>(timer.nsecsElapsed()) / 1e3 / runs;

    timer.restart();
    int count = 0;
    for (int i = 0; i < runs; ++i) {
        PacketTable back;
        QFile f(name);
        f.open(QIODevice::ReadOnly);
        count = loadDataFile(f, back).packetCount;
    }
    const double loadUs = static_cast<double>(timer.nsecsElapsed()) / 1e3 / runs;
    std::printf("full table (%d packets, %lld bytes): save %.1f us, load %.1f us (mean of %d, file "
                "on %s)\n",
                count, static_cast<long long>(bytes), saveUs, loadUs, runs, qPrintable(dir.path()));
    return 0;
}
