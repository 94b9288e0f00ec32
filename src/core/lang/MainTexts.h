#pragma once
// Captions, grid headings and messages of the main window, with their English defaults;
// a language file replaces any of them.
#include <QString>

#include <array>

namespace kelotari {

class IniProfile;

// The program's own messages, in the language file's section [Kelotari]. "%1" and "%2" stand
// for the file or folder name and a number; there is no "%" line-break rule in this section.
struct ProgramTexts {
    QString CannotOpenFolder = QStringLiteral("Cannot open the folder %1");
    QString TooManyPackets =
        QStringLiteral("%1 holds more than %2 packets; the table shows the first %2.");
    QString SaveFolderMissing = QStringLiteral("The folder %1 does not exist.");
    QString SaveFolderReadOnly = QStringLiteral("%1 is read-only.");
    QString ExportSheet = QStringLiteral("Export for spreadsheet..."); // grid menu item
    // The status bar while a document goes to a print queue, and once the queue (%1) has it.
    QString PrintSending = QStringLiteral("Sending the document to the printer...");
    QString PrintQueued = QStringLiteral("The document went to the print queue %1.");
    QString PrintQueueStopped = QStringLiteral(
        "The document went to the print queue %1, which is stopped: it prints once the queue "
        "is started again.");
    QString PrintPrinterNotAnswering = QStringLiteral(
        "The document went to the print queue %1, but its printer does not answer: check that "
        "it is switched on and connected.");
};

struct MainTexts {
    QString fontName = QStringLiteral("MS Sans Serif");
    QString TB_setup = QStringLiteral("Setup");
    QString TB_trans = QStringLiteral("Transfer");
    QString TB_clr = QStringLiteral("Clear");
    QString TB_quit = QStringLiteral("Quit");
    QString TB_save = QStringLiteral("Save");
    QString packetPanel = QStringLiteral("Packets");
    QString filesPanel = QStringLiteral("Files");
    std::array<QString, 11> gridHeadings = {
        QStringLiteral("Packet"), QStringLiteral("Samples"),   QStringLiteral("Date"),
        QStringLiteral("Time"),   QStringLiteral("Wood type"), QStringLiteral("Temp."),
        QStringLiteral("Lowest"), QStringLiteral("Highest"),   QStringLiteral("AVG"),
        QStringLiteral("s"),      QStringLiteral("Comment")};
    QString TimeoutMsg = QStringLiteral(
        "Transferring has timed out!\rCommunication problems? Check cables and try again.");
    QString FileExistsMsg = QStringLiteral("File already exist!\rWrite anyway ?");
    QString SaveErrorMsg = QStringLiteral("Some file I/O error occurred during saving file.");
    QString LoadErrorMsg = QStringLiteral("Some file I/O error occurred during loading file.");
    QString AskSaveMsg =
        QStringLiteral("Your current packet(s) is not saved.\rDo you want to save it ?");
    QString PrintErrorMsg =
        QStringLiteral("Some printing problem occur.\rCheck printer,cables,etc. and try again.");
    QString menuDelete = QStringLiteral("Delete");
    QString menuPrintSelected = QStringLiteral("Print selected");
    QString menuPrintAll = QStringLiteral("Print all");
    ProgramTexts program;
};

// Every "%" becomes a carriage return; the length stays the same.
QString percentConversion(QString text);

// Reads section [Kelotari]; missing keys keep their defaults.
ProgramTexts readProgramTexts(const IniProfile& lang);

// Reads the main window's texts from a language file; missing keys keep their defaults,
// present empty keys give empty texts. The six messages go through percentConversion.
MainTexts readMainTexts(const IniProfile& lang);

// Heading of a grid column: 0..10 from the texts, 11..40 "Data1".."Data30".
QString gridHeading(const MainTexts& texts, int col);

// "DefLang.lng" in the executable's folder (the file read is where the per-user copy rules say).
QString languageFileNameFor(const QString& executablePath);

} // namespace kelotari
