#include "app/MainState.h"

namespace kelotari {

void Delete1Click(MainState& s) {
    if (s.SelRow < 1 || s.PacketCount == 0 || s.SelRow > s.PacketCount)
        return;
    for (int r = s.SelRow; r < s.PacketCount; ++r)
        for (int c = 0; c < kColumns; ++c)
            s.table.setCell(c, r, s.table.cell(c, r + 1));
    for (int c = 0; c < kColumns; ++c)
        s.table.setCell(c, s.PacketCount, QByteArray());
    --s.PacketCount;
    s.SelRow = -1;
}

} // namespace kelotari
