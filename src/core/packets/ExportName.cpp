#include "packets/ExportName.h"

namespace kelotari {

QString exportSuffix(ExportKind kind) {
    return kind == ExportKind::Csv ? QStringLiteral("csv") : QStringLiteral("xlsx");
}

ExportTarget exportTarget(const QString& chosenName, ExportKind filterKind) {
    for (const ExportKind kind : {ExportKind::Workbook, ExportKind::Csv}) {
        if (chosenName.endsWith(QLatin1Char('.') + exportSuffix(kind), Qt::CaseInsensitive))
            return {chosenName, kind};
    }
    // A name that ends in a separator names a folder: it is left as it is, and writing it
    // fails with the reason instead of making a hidden ".xlsx" inside the folder.
    if (chosenName.isEmpty() || chosenName.endsWith(QLatin1Char('/')))
        return {chosenName, filterKind};
    return {chosenName + QLatin1Char('.') + exportSuffix(filterKind), filterKind};
}

} // namespace kelotari
