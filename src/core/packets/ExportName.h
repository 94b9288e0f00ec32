#pragma once
// Which file a spreadsheet export writes, and as what. The save dialog gives a name and the
// filter the user left selected; the name's own ending wins when it is one of the two kinds'
// (".xlsx" or ".csv", in any letter case), and the name is then written as it stands. Any other
// name, one with dots in it ("Saha 11.12.26", "v1.2 export") or another extension ("other.txt")
// included, is taken whole and gets the selected kind's extension, so that the file is always
// one a spreadsheet program's file filter shows and opens.
#include <QString>

namespace kelotari {

enum class ExportKind { Workbook, Csv };

struct ExportTarget {
    QString fileName;
    ExportKind kind = ExportKind::Workbook;
};

// The extension of a kind, without its dot: "xlsx" or "csv".
QString exportSuffix(ExportKind kind);

// chosenName as the dialog returned it; filterKind the kind of the filter selected there.
ExportTarget exportTarget(const QString& chosenName, ExportKind filterKind);

} // namespace kelotari
