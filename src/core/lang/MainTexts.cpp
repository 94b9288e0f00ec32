#include "lang/MainTexts.h"

#include "ini/IniProfile.h"

#include <QFileInfo>

namespace kelotari {

QString percentConversion(QString text) {
    text.replace(QLatin1Char('%'), QLatin1Char('\r'));
    return text;
}

ProgramTexts readProgramTexts(const IniProfile& lang) {
    ProgramTexts t;
    auto read = [&lang](const char* key, QString& field) {
        field = lang.readString(QStringLiteral("Kelotari"), QLatin1String(key), field);
    };
    read("CannotOpenFolder", t.CannotOpenFolder);
    read("TooManyPackets", t.TooManyPackets);
    read("SaveFolderMissing", t.SaveFolderMissing);
    read("SaveFolderReadOnly", t.SaveFolderReadOnly);
    read("ExportSheet", t.ExportSheet);
    read("PrintSending", t.PrintSending);
    read("PrintQueued", t.PrintQueued);
    read("PrintQueueStopped", t.PrintQueueStopped);
    read("PrintPrinterNotAnswering", t.PrintPrinterNotAnswering);
    return t;
}

MainTexts readMainTexts(const IniProfile& lang) {
    MainTexts t;
    auto read = [&lang](const char* section, const char* key, QString& field) {
        field = lang.readString(QLatin1String(section), QLatin1String(key), field);
    };
    auto readMsg = [&](const char* key, QString& field) {
        read("Dialogs", key, field);
        field = percentConversion(field);
    };
    read("Font", "font", t.fontName);
    read("Toolbar", "TB_setup", t.TB_setup);
    read("Toolbar", "TB_trans", t.TB_trans);
    read("Toolbar", "TB_clr", t.TB_clr);
    read("Toolbar", "TB_quit", t.TB_quit);
    read("Toolbar", "TB_save", t.TB_save);
    read("Panels", "Packet", t.packetPanel);
    read("Panels", "Files", t.filesPanel);
    for (size_t i = 0; i < t.gridHeadings.size(); ++i) {
        const QByteArray key = "GR_" + QByteArray::number(static_cast<int>(i) + 1);
        read("Grid", key.constData(), t.gridHeadings[i]);
    }
    readMsg("RS", t.TimeoutMsg);
    readMsg("File", t.FileExistsMsg);
    readMsg("Save", t.SaveErrorMsg);
    readMsg("Load", t.LoadErrorMsg);
    readMsg("AskSave", t.AskSaveMsg);
    readMsg("PrnPro", t.PrintErrorMsg);
    read("Menu", "Del", t.menuDelete);
    read("Menu", "PrnSel", t.menuPrintSelected);
    read("Menu", "PrnAll", t.menuPrintAll);
    t.program = readProgramTexts(lang);
    return t;
}

QString gridHeading(const MainTexts& texts, int col) {
    if (col >= 0 && col < static_cast<int>(texts.gridHeadings.size()))
        return texts.gridHeadings[static_cast<size_t>(col)];
    return QStringLiteral("Data%1").arg(col - 10);
}

QString languageFileNameFor(const QString& executablePath) {
    return QFileInfo(executablePath).absolutePath() + QStringLiteral("/DefLang.lng");
}

} // namespace kelotari
