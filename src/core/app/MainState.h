#pragma once
// The main window's working state that the commands read and change.
#include "packets/PacketTable.h"

#include <QString>

namespace kelotari {

struct Settings {
    QString DataPath;
    QString DefName;
    QString LangSet;
    QString PortName;
    QString PrinterName;
};

struct MainState {
    Settings settings;
    QString UiFontName = QStringLiteral("MS Sans Serif");
    bool Unsaved = false;
    int PacketCount = 0;
    int SelRow = -1;
    PacketTable table;
};

// The grid popup's Delete: removes the packet in SelRow and moves the rows below it up.
// Does nothing when SelRow is -1, the table is empty, or SelRow lies below the last packet.
void Delete1Click(MainState& state);

} // namespace kelotari
