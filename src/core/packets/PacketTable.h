#pragma once
// The packet table: 41 columns by 50 rows of single-byte text cells. Row 0 holds the column
// headings; rows 1..49 hold one packet each, filled from row 1 without gaps.
#include <QByteArray>
#include <QString>

#include <array>
#include <functional>

namespace kelotari {

constexpr int kColumns = 41;     // 0..40
constexpr int kRows = 50;        // 0..49, row 0 the headings
constexpr int kMaxPackets = 49;  // rows 1..49
constexpr int kMaxReadings = 30; // columns 11..40
constexpr int kPacketCol = 0;
constexpr int kSamplesCol = 1;
constexpr int kCommentCol = 10;
constexpr int kFirstReadingCol = 11;
constexpr int kLastCol = 40;
constexpr int kHeaderFields = 9;

// Where header field n of a packet goes, in the order the meter sends them and a data file
// stores them: lowest, highest, packet, date, time, wood type, temperature, average, s.
constexpr std::array<int, kHeaderFields> kPlacement = {6, 7, 0, 2, 3, 4, 5, 8, 9};

// Single-byte markers shared by the serial line and the data files.
constexpr char kPacketEnd = '\xAF';
constexpr char kDataEnd = '\x1A';
constexpr char kTimeoutMark = '\xB0';

class PacketTable {
public:
    PacketTable();

    // Row 0: the headings (display text; they come from the language file).
    const QString& heading(int col) const { return m_headings[static_cast<size_t>(col)]; }
    void setHeading(int col, const QString& text);

    // Cells of rows 1..49, bytes as received or loaded. Out-of-range access is a programming error.
    const QByteArray& cell(int col, int row) const { return m_cells[index(col, row)]; }
    void setCell(int col, int row, const QByteArray& bytes);

    // Number of readings in a row: contiguous non-empty cells from column 11.
    int readingCount(int row) const;

    // Empties rows 1..49; the headings stay.
    void ClearTable();

    // Observer for the grid view: called after a cell (row >= 1) or heading (row 0) changed.
    std::function<void(int col, int row)> onChanged;

private:
    static size_t index(int col, int row);
    std::array<QString, kColumns> m_headings;
    std::array<QByteArray, kColumns * kRows> m_cells;
};

} // namespace kelotari
