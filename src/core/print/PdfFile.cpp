#include "print/PdfFile.h"

#include "base/Dialogs.h"
#include "files/FileEntry.h"

namespace kelotari {

QString choosePdfFileName(Dialogs& dialogs, const QString& title, const QString& proposal,
                          const QString& fileExistsQuestion) {
    const QString name =
        dialogs.chooseSaveFileName(title, proposal, kPdfFilter, QStringLiteral("pdf"));
    if (name.isEmpty() || !confirmOverwrite(dialogs, name, fileExistsQuestion))
        return QString();
    return name;
}

} // namespace kelotari
