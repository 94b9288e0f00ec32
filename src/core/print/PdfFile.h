#pragma once
// The file a document printed on the PDF printer goes to: chosen in the save dialog, then
// asked about by the overwrite rule every save path shares.
#include <QString>

namespace kelotari {

class Dialogs;

inline const QString kPdfFilter = QStringLiteral("PDF files (*.pdf *.PDF)");

// The save dialog titled `title` proposing `proposal`, then the overwrite question
// (`fileExistsQuestion`) when the chosen name exists. The name to write, or empty when the
// dialog was cancelled or overwriting refused.
QString choosePdfFileName(Dialogs& dialogs, const QString& title, const QString& proposal,
                          const QString& fileExistsQuestion);

} // namespace kelotari
