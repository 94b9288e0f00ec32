#include "print/PacketReports.h"

#include "text/Codec.h"

#include <algorithm>
#include <array>

namespace kelotari {

namespace {

constexpr int kMargin = 200;

QString cellText(const PacketTable& table, int col, int row) {
    return row >= 1 && row < kRows ? fromCp1252(table.cell(col, row)) : QString();
}

QString field(const PacketTable& table, int col, int row) {
    return table.heading(col) + QStringLiteral(": ") + cellText(table, col, row);
}

// Columns of the packet list after the packet number, left to right.
constexpr std::array<int, 7> kListColumns = {1, 6, 7, 4, 5, 8, 9};

} // namespace

QRect selectedPacketChartRect(int pageWidth, int pageHeight) {
    const int left = kMargin;
    const int top = pageHeight / 4;
    const int right = pageWidth - 100;
    const int bottom = pageHeight / 2;
    return QRect(left, top, right - left, bottom - top);
}

bool printSelectedPacket(PageCanvas& canvas, const PacketTable& table, int row) {
    const int W = canvas.pageWidth();
    const int H = canvas.pageHeight();
    const QRect chartRect = selectedPacketChartRect(W, H);
    const int x1 = kMargin;
    const int x2 = kMargin + (W - kMargin) / 2;
    const int y = 100;
    const int h = canvas.textHeight(kLineHeightSample);

    if (!canvas.beginDocument())
        return false;
    // Left column: packet, samples, wood type, lowest, highest; right: date, time, temp, AVG, s.
    const std::array<int, 5> left = {0, 1, 4, 6, 7};
    const std::array<int, 5> right = {2, 3, 5, 8, 9};
    for (int i = 0; i < 5; ++i) {
        canvas.drawText(x1, y + i * h, field(table, left[static_cast<size_t>(i)], row));
        canvas.drawText(x2, y + i * h, field(table, right[static_cast<size_t>(i)], row));
    }
    // The histogram of this very row, whatever the screen chart shows at the moment.
    canvas.drawHistogram(chartRect, histogramOfRow(table, row));
    if (!canvas.endDocument()) {
        canvas.abortDocument();
        return false;
    }
    return true;
}

bool printPacketList(PageCanvas& canvas, const PacketTable& table, int packetCount,
                     const QString& fileName) {
    const int W = canvas.pageWidth();
    const int H = canvas.pageHeight();
    const int x = kMargin;
    packetCount = std::min(packetCount, kMaxPackets);
    int y = kMargin;
    const int step = (W - 100) / 8;
    const int limit = H - kMargin;
    const int h = canvas.textHeight(kLineHeightSample);

    if (!canvas.beginDocument())
        return false;
    if (!fileName.isEmpty())
        canvas.drawText(x, y, fileName);
    y += 2 * h;
    canvas.drawText(x, y, table.heading(0));
    for (size_t i = 0; i < kListColumns.size(); ++i)
        canvas.drawText(x + static_cast<int>(i + 1) * step, y, table.heading(kListColumns[i]));
    y += h;
    for (int r = 1; r <= packetCount; ++r) {
        canvas.drawText(x, y,
                        QString::number(r) + QStringLiteral(".  ") + fromCp1252(table.cell(0, r)));
        for (size_t i = 0; i < kListColumns.size(); ++i)
            canvas.drawText(x + static_cast<int>(i + 1) * step, y,
                            fromCp1252(table.cell(kListColumns[i], r)));
        y += h;
        // A new page only when another row follows: no blank sheet at the end.
        if (y > limit && r < packetCount) {
            if (!canvas.newPage()) {
                canvas.abortDocument();
                return false;
            }
            y = kMargin;
        }
    }
    if (!canvas.endDocument()) {
        canvas.abortDocument();
        return false;
    }
    return true;
}

QString proposedPdfFileName(const QString& dataPath, const QDateTime& now) {
    return dataPath + QStringLiteral("Kelotari") + now.toString(QStringLiteral("yyyyMMdd_HHmmss")) +
           QStringLiteral(".pdf");
}

} // namespace kelotari
