// Export of a full table (49 packets of 30 readings) to a workbook and to CSV, each through its
// file as the grid menu does it: min/median/max of 10 runs per format.
#include "packets/CsvExport.h"
#include "packets/PacketTable.h"
#include "packets/XlsxExport.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace kelotari;

namespace {

PacketTable fullTable() {
    PacketTable t;
    for (int col = 0; col < kColumns; ++col)
        t.setHeading(col, col >= kFirstReadingCol ? QStringLiteral("Data%1").arg(col - 10)
                                                  : QStringLiteral("Heading %1").arg(col));
    for (int r = 1; r <= kMaxPackets; ++r) {
        t.setCell(0, r, QByteArray::number(r));
        t.setCell(1, r, "30");
        t.setCell(2, r, "14.05.99");
        t.setCell(3, r, "08:" + QByteArray::number(10 + r % 50));
        t.setCell(4, r, "M\xE4nty       ");
        t.setCell(5, r, "18");
        for (int c = 6; c <= 9; ++c)
            t.setCell(c, r, QByteArray::number(10 + (r + c) % 20) + ".4");
        t.setCell(kCommentCol, r, "kuivaamo " + QByteArray::number(r) + " =pino     ");
        for (int c = kFirstReadingCol; c <= kLastCol; ++c)
            t.setCell(c, r, QByteArray::number(6 + (r + c) % 22) + ".7");
    }
    return t;
}

bool measure(const char* what, const QString& name, const std::function<WriteOutcome()>& run) {
    const int runs = 10;
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        const WriteOutcome out = run();
        ms.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        if (!out) {
            std::fprintf(stderr, "%s failed: %s\n", what, qPrintable(out.error));
            return false;
        }
    }
    std::sort(ms.begin(), ms.end());
    const double median = (ms[runs / 2 - 1] + ms[runs / 2]) / 2;
    std::printf("%-8s %7lld bytes: min %.2f ms, median %.2f ms, max %.2f ms (%d runs)\n", what,
                static_cast<long long>(QFileInfo(name).size()), ms.front(), median, ms.back(),
                runs);
    return true;
}

} // namespace

int main() {
    const PacketTable t = fullTable();
    QTemporaryDir dir;
    const QString xlsx = dir.filePath(QStringLiteral("full.xlsx"));
    const QString csv = dir.filePath(QStringLiteral("full.csv"));
    std::printf("full table: %d packets x %d readings, files in %s\n", kMaxPackets, kMaxReadings,
                qPrintable(dir.path()));
    const bool ok =
        measure("workbook", xlsx, [&] { return writeXlsxFile(xlsx, t, kMaxPackets); }) &&
        measure("CSV", csv, [&] {
            return writeCsvFile(csv, t, kMaxPackets, QLocale(QLocale::Finnish, QLocale::Finland));
        });
    return ok ? 0 : 1;
}
