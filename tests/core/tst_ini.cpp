#include "WriteLimit.h"
#include "app/SettingsFile.h"
#include "base/Failure.h"
#include "ini/IniProfile.h"
#include "lang/MainTexts.h"
#include "text/Codec.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <unistd.h>

using namespace kelotari;

class TstIni : public QObject {
    Q_OBJECT
private slots:
    void readsValues_data();
    void readsValues();
    void longValueIsCutAt2047();
    void writeReplacesOnlyItsKey_data();
    void writeReplacesOnlyItsKey();
    void writesAndReadsInTurnSeeEachOther();
    void windows1252FileKeepsItsEncodingOnWrite();
    void settingsDefaultsAndRoundTrip();
    void settingsPartialFileAndEmptyKey();
    void settingsWriteFailureNamesTheFile();
    void settingsFileName_data();
    void settingsFileName();
    void languageTexts();
    void programTextsFromTheirOwnSection();
    void byteOrderMarkSkippedOnReadKeptOnWrite_data();
    void byteOrderMarkSkippedOnReadKeptOnWrite();
    void byteOrderMarkedSettingsGetNoSecondSection();
    void valueOutsideTheCodePageTurnsTheFileIntoUtf8_data();
    void valueOutsideTheCodePageTurnsTheFileIntoUtf8();
    void settingsAreWrittenOnceOrNotAtAll();
    void unreadableSettingsFileIsNotReplaced();
    void locationRules_data();
    void locationRules();
};

namespace {

QByteArray readAll(const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void put(const QString& name, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(name).absolutePath());
    QFile f(name);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

const QByteArray kBom = "\xEF\xBB\xBF";

} // namespace

void TstIni::readsValues_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");
    const QString def = QStringLiteral("<default>");
    QTest::newRow("plain") << QByteArray("[App]\r\nPort=COM3\r\n") << "App"
                           << "Port"
                           << "COM3";
    QTest::newRow("case-insensitive names") << QByteArray("[app]\nport=COM3\n") << "App"
                                            << "Port"
                                            << "COM3";
    QTest::newRow("blanks trimmed") << QByteArray("  [ App ]  \n  Port  =   COM3  \n") << "App"
                                    << "Port"
                                    << "COM3";
    QTest::newRow("double quotes stripped") << QByteArray("[A]\nk=\" x y \"\n") << "A"
                                            << "k"
                                            << " x y ";
    QTest::newRow("single quotes stripped") << QByteArray("[A]\nk='x'\n") << "A"
                                            << "k"
                                            << "x";
    QTest::newRow("unmatched quotes kept") << QByteArray("[A]\nk=\"x'\n") << "A"
                                           << "k"
                                           << "\"x'";
    QTest::newRow("present empty key is empty") << QByteArray("[A]\nk=\n") << "A"
                                                << "k"
                                                << "";
    QTest::newRow("missing key gives default") << QByteArray("[A]\nother=1\n") << "A"
                                               << "k" << def;
    QTest::newRow("key of another section") << QByteArray("[B]\nk=1\n[A]\nj=2\n") << "A"
                                            << "k" << def;
    QTest::newRow("first duplicate section wins") << QByteArray("[A]\nk=1\n[A]\nk=2\n") << "A"
                                                  << "k"
                                                  << "1";
    QTest::newRow("first duplicate key wins") << QByteArray("[A]\nk=1\nk=2\n") << "A"
                                              << "k"
                                              << "1";
    QTest::newRow("value keeps later equals signs") << QByteArray("[A]\nk=a=b\n") << "A"
                                                    << "k"
                                                    << "a=b";
    QTest::newRow("CR-only line ends") << QByteArray("[A]\rk=1\rj=2\r") << "A"
                                       << "j"
                                       << "2";
    QTest::newRow("no final line end") << QByteArray("[A]\nk=last") << "A"
                                       << "k"
                                       << "last";
    QTest::newRow("NUL and 0xFF bytes do not stop reading")
        << QByteArray::fromRawData("[A]\nx=\0\xff\nk=ok\n", 14) << "A"
        << "k"
        << "ok";
    QTest::newRow("UTF-8 file") << QByteArray("[G]\nk=P\xc3\xa4iv\xc3\xa4\n") << "G"
                                << "k" << QString::fromUtf8("Päivä");
    QTest::newRow("Windows-1252 file") << QByteArray("[G]\nk=P\xe4iv\xe4\n") << "G"
                                       << "k" << QString::fromUtf8("Päivä");
    QTest::newRow("empty file") << QByteArray() << "A"
                                << "k" << def;
    QTest::newRow("key of a later namesake section")
        << QByteArray("[A]\nk=1\n[B]\nj=0\n[a]\nj=2\n") << "A"
        << "j" << def;
    QTest::newRow("UTF-8 section name in another case")
        << QByteArray("[M\xc3\xb6kki]\nk=1\n") << QString::fromUtf8("MÖKKI") << "k"
        << "1";
    QTest::newRow("Windows-1252 key in another case")
        << QByteArray("[A]\nP\xc4\xc4=x\n") << "a" << QString::fromUtf8("pää") << "x";
    QTest::newRow("bracket line without its close is a key line")
        << QByteArray("[A]\n[k=1\n") << "A"
        << "[k"
        << "1";
    QTest::newRow("section of an empty name") << QByteArray("[ ]\nk=1\n") << ""
                                              << "k"
                                              << "1";
    QByteArray many("[Big]\n");
    for (int i = 0; i < 20000; ++i)
        many += "Key" + QByteArray::number(i) + "=" + QByteArray::number(i * 7) + "\n";
    many += "[Other]\nKey5=other\n";
    QTest::newRow("first of 20000 keys") << many << "big"
                                         << "key0"
                                         << "0";
    QTest::newRow("last of 20000 keys") << many << "BIG"
                                        << "KEY19999"
                                        << "139993";
    QTest::newRow("same key in the next section") << many << "Other"
                                                  << "key5"
                                                  << "other";
    QTest::newRow("key missing among 20000") << many << "Big"
                                             << "Key20000" << def;
    QByteArray sections;
    for (int i = 0; i < 20000; ++i)
        sections += "[S" + QByteArray::number(i) + "]\nk=" + QByteArray::number(i) + "\n";
    QTest::newRow("last of 20000 sections") << sections << "s19999"
                                            << "K"
                                            << "19999";
    QByteArray namesakes;
    QByteArray namesakeKeys("[A]\n");
    for (int i = 0; i < 100; ++i) {
        namesakes += "[A]\nk=" + QByteArray::number(i) + "\n[B" + QByteArray::number(i) + "]\n";
        namesakeKeys += "K=" + QByteArray::number(i) + "\n";
    }
    QTest::newRow("first of 100 namesake sections") << namesakes << "a"
                                                    << "k"
                                                    << "0";
    QTest::newRow("first of 100 namesake keys") << namesakeKeys << "A"
                                                << "k"
                                                << "0";
    const QByteArray asciiRun = "[G]\npad=" + QByteArray(41, 'x') + "\n";
    QTest::newRow("Windows-1252 byte after a long ASCII run") << asciiRun + "k=P\xe4iv\xe4\n"
                                                              << "G"
                                                              << "k" << QString::fromUtf8("Päivä");
    QTest::newRow("UTF-8 after a long ASCII run") << asciiRun + "k=P\xc3\xa4iv\xc3\xa4\n"
                                                  << "G"
                                                  << "k" << QString::fromUtf8("Päivä");
}

void TstIni::readsValues() {
    QFETCH(QByteArray, file);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    QCOMPARE(IniProfile(file).readString(section, key, QStringLiteral("<default>")), expected);
}

void TstIni::longValueIsCutAt2047() {
    const QByteArray value(10000, 'x');
    const IniProfile p("[Dialogs]\nRS=" + value + "\n");
    QCOMPARE(p.readString("Dialogs", "RS", {}).size(), 2047);
}

void TstIni::writeReplacesOnlyItsKey_data() {
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("replace, other lines byte for byte")
        << QByteArray("; note\r\n[App]\r\n  port = COM1 \r\nOther=x\r\n\r\n[X]\r\ny=1\r\n")
        << QByteArray("; note\r\n[App]\r\nPort=COM9\r\nOther=x\r\n\r\n[X]\r\ny=1\r\n");
    QTest::newRow("add key at the end of its section")
        << QByteArray("[App]\r\nOther=x\r\n\r\n[X]\r\ny=1\r\n")
        << QByteArray("[App]\r\nOther=x\r\nPort=COM9\r\n\r\n[X]\r\ny=1\r\n");
    QTest::newRow("add section to a file without final line end")
        << QByteArray("[X]\ny=1") << QByteArray("[X]\ny=1\n[App]\nPort=COM9\n");
    QTest::newRow("add key to last section without final line end")
        << QByteArray("[App]\nA=1") << QByteArray("[App]\nA=1\nPort=COM9");
    QTest::newRow("new file") << QByteArray() << QByteArray("[App]\r\nPort=COM9\r\n");
    QTest::newRow("only the first of duplicate keys changes")
        << QByteArray("[App]\nPort=1\nPort=2\n") << QByteArray("[App]\nPort=COM9\nPort=2\n");
}

void TstIni::writeReplacesOnlyItsKey() {
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    IniProfile p(before);
    p.writeString("App", "Port", "COM9");
    QCOMPARE(p.bytes(), after);
    QCOMPARE(p.readString("app", "PORT", {}), QStringLiteral("COM9"));
}

void TstIni::writesAndReadsInTurnSeeEachOther() {
    // Every write moves the places of the lines after it: reads in between must see them anew.
    IniProfile p(QByteArray("[A]\nx=1\n[B]\ny=2\n"));
    QCOMPARE(p.readString("B", "y", {}), QStringLiteral("2"));
    p.writeString("A", "x", "a much longer value than before");
    QCOMPARE(p.readString("B", "y", {}), QStringLiteral("2"));
    p.writeString("A", "z", "3");
    p.writeString("C", "w", "4");
    p.writeString("b", "Y", "5");
    QCOMPARE(p.bytes(),
             QByteArray("[A]\nx=a much longer value than before\nz=3\n[B]\nY=5\n[C]\nw=4\n"));
    QCOMPARE(p.readString("a", "Z", {}), QStringLiteral("3"));
    QCOMPARE(p.readString("c", "W", {}), QStringLiteral("4"));
    const IniProfile copy = p;
    p.writeString("C", "w", "6");
    QCOMPARE(copy.readString("C", "w", {}), QStringLiteral("4"));
    QCOMPARE(p.readString("C", "w", {}), QStringLiteral("6"));
}

void TstIni::windows1252FileKeepsItsEncodingOnWrite() {
    IniProfile p(QByteArray("[DB]\nName=J\xe4rvi\n"));
    p.writeString("DB", "Path", QString::fromUtf8("/home/mökki/"));
    QCOMPARE(p.bytes(), QByteArray("[DB]\nName=J\xe4rvi\nPath=/home/m\xf6kki/\n"));
}

void TstIni::settingsDefaultsAndRoundTrip() {
    QTemporaryDir dir;
    const QString file = dir.filePath("kelotari.INI");
    const Settings def = readSettings(file);
    QCOMPARE(def.DataPath, QDir::homePath() + "/");
    QCOMPARE(def.DefName, QStringLiteral("NoName.dat"));
    QCOMPARE(def.LangSet, QStringLiteral("English"));
    QCOMPARE(def.PortName, QStringLiteral("COM1"));
    QCOMPARE(def.PrinterName, QStringLiteral("None"));

    writeSettings(file, def);
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    QCOMPARE(bytes, "[DB]\r\nPath=" + def.DataPath.toUtf8() +
                        "\r\nDefName=NoName.dat\r\n[Lang]\r\nSet=English\r\n[App]\r\nPort=COM1\r\n"
                        "Printer=None\r\n");
    Settings changed = def;
    changed.PortName = "/dev/ttyUSB0";
    changed.DataPath = "";
    writeSettings(file, changed);
    const Settings back = readSettings(file);
    QCOMPARE(back.PortName, changed.PortName);
    QCOMPARE(back.DataPath, QString()); // written empty, read back empty
}

void TstIni::settingsPartialFileAndEmptyKey() {
    QTemporaryDir dir;
    const QString file = dir.filePath("k.INI");
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[app]\nport=COM3\n[Other]\nkeep=me\n");
    f.close();
    const Settings s = readSettings(file);
    QCOMPARE(s.PortName, QStringLiteral("COM3"));
    QCOMPARE(s.PrinterName, QStringLiteral("None"));
    writeSettings(file, s);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    QVERIFY(bytes.contains("[Other]\nkeep=me\n"));
    QVERIFY(bytes.contains("[app]\nPort=COM3\nPrinter=None\n"));
}

void TstIni::settingsWriteFailureNamesTheFile() {
    QTemporaryDir dir;
    const QString file = dir.filePath("missing-folder/k.INI");
    try {
        writeSettings(file, defaultSettings());
        QFAIL("write into a missing folder succeeded");
    } catch (const Failure& e) {
        QCOMPARE(e.message(), "Unable to write to " + file);
        QCOMPARE(lastResortText(e.message()), "Unable to write to " + file + ".");
    }
}

void TstIni::settingsFileName_data() {
    QTest::addColumn<QString>("exe");
    QTest::addColumn<QString>("ini");
    QTest::newRow("no extension") << "/opt/k/kelotari"
                                  << "/opt/k/kelotari.INI";
    QTest::newRow("extension replaced") << "/opt/k/Kelotari.exe"
                                        << "/opt/k/Kelotari.INI";
    QTest::newRow("dot in folder only") << "/opt/k.1/kelotari"
                                        << "/opt/k.1/kelotari.INI";
}

void TstIni::settingsFileName() {
    QFETCH(QString, exe);
    QFETCH(QString, ini);
    QCOMPARE(settingsFileNameFor(exe), ini);
    QCOMPARE(languageFileNameFor(exe), QFileInfo(exe).absolutePath() + "/DefLang.lng");
}

void TstIni::languageTexts() {
    const MainTexts def = readMainTexts(IniProfile());
    QCOMPARE(def.AskSaveMsg,
             QStringLiteral("Your current packet(s) is not saved.\rDo you want to save it ?"));
    QCOMPARE(gridHeading(def, 9), QStringLiteral("s"));
    QCOMPARE(gridHeading(def, 11), QStringLiteral("Data1"));
    QCOMPARE(gridHeading(def, 40), QStringLiteral("Data30"));

    const MainTexts t = readMainTexts(IniProfile(QByteArray(
        "[dialogs]\nrs=Aikakatkaisu%Tarkista kaapelit\n[Grid]\nGR_10=\n[Menu]\nDel=Poista\n"
        "[Setup]\nPh1=50%\n")));
    QCOMPARE(t.TimeoutMsg, QStringLiteral("Aikakatkaisu\rTarkista kaapelit"));
    QCOMPARE(t.gridHeadings[9], QString());                // present and empty: no default
    QCOMPARE(t.gridHeadings[0], QStringLiteral("Packet")); // missing: default
    QCOMPARE(t.menuDelete, QStringLiteral("Poista"));
    QCOMPARE(percentConversion("a%b%"), QStringLiteral("a\rb\r"));
}

void TstIni::programTextsFromTheirOwnSection() {
    const ProgramTexts def = readMainTexts(IniProfile()).program;
    QCOMPARE(def.CannotOpenFolder.arg("/x"), QStringLiteral("Cannot open the folder /x"));
    QCOMPARE(def.TooManyPackets.arg("a.DAT", "49"),
             QStringLiteral("a.DAT holds more than 49 packets; the table shows the first 49."));
    const ProgramTexts t =
        readMainTexts(
            IniProfile(QByteArray(
                "[kelotari]\ncannotopenfolder=Kansiota %1 ei voi avata\nSaveFolderReadOnly=\n"
                "[Dialogs]\nSaveFolderMissing=not here\n")))
            .program;
    QCOMPARE(t.CannotOpenFolder, QStringLiteral("Kansiota %1 ei voi avata"));
    QCOMPARE(t.SaveFolderReadOnly, QString()); // present and empty: no default
    QCOMPARE(t.SaveFolderMissing, def.SaveFolderMissing);

    // The shipped Finnish file has every key of the section.
    const IniProfile fi = IniProfile::fromFile(KELOTARI_SOURCE_DIR "/lang/Suomi.lng");
    QVERIFY(fi.isUtf8()); // shipped in UTF-8
    for (const char* key :
         {"CannotOpenFolder", "TooManyPackets", "SaveFolderMissing", "SaveFolderReadOnly"}) {
        QVERIFY2(fi.contains("Kelotari", key), key);
        QVERIFY(fi.readString("Kelotari", key, {}).contains("%1"));
    }
}

void TstIni::byteOrderMarkSkippedOnReadKeptOnWrite_data() {
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after"); // after setting [App] Port=COM9
    QTest::newRow("key in the first section") << kBom + "[App]\r\nPort=COM1\r\n"
                                              << kBom + "[App]\r\nPort=COM9\r\n";
    QTest::newRow("first section gets the key")
        << kBom + "[app]\nPrinter=None\n[X]\ny=1\n"
        << kBom + "[app]\nPrinter=None\nPort=COM9\n[X]\ny=1\n";
    QTest::newRow("only the mark") << kBom << kBom + "[App]\r\nPort=COM9\r\n";
}

void TstIni::byteOrderMarkSkippedOnReadKeptOnWrite() {
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    IniProfile p(before);
    QVERIFY(p.isUtf8());
    p.writeString("App", "Port", "COM9");
    QCOMPARE(p.bytes(), after);
    QCOMPARE(IniProfile(p.bytes()).readString("APP", "port", {}), QStringLiteral("COM9"));

    // A language file saved by an editor that writes the mark keeps its first section.
    const MainTexts t = readMainTexts(
        IniProfile(kBom + QByteArray("[Toolbar]\r\nTB_quit=Lopeta\r\n[Menu]\r\nDel=Poista\r\n")));
    QCOMPARE(t.TB_quit, QStringLiteral("Lopeta"));
    QCOMPARE(t.menuDelete, QStringLiteral("Poista"));
}

void TstIni::byteOrderMarkedSettingsGetNoSecondSection() {
    QTemporaryDir dir;
    const QString file = dir.filePath("k.INI");
    put(file, kBom + QByteArray("[DB]\r\nPath=/data/\r\n[App]\r\nPort=COM4\r\n"));
    const Settings s = readSettings(file);
    QCOMPARE(s.DataPath, QStringLiteral("/data/"));
    QCOMPARE(s.PortName, QStringLiteral("COM4"));
    writeSettings(file, s);
    QCOMPARE(readAll(file),
             kBom + QByteArray("[DB]\r\nPath=/data/\r\nDefName=NoName.dat\r\n[App]\r\n"
                               "Port=COM4\r\nPrinter=None\r\n[Lang]\r\nSet=English\r\n"));
}

void TstIni::valueOutsideTheCodePageTurnsTheFileIntoUtf8_data() {
    QTest::addColumn<QByteArray>("before"); // Windows-1252
    QTest::addColumn<QString>("path");
    QTest::newRow("Polish letters") << QByteArray("; J\xe4rvi\r\n[Mine]\r\nName=J\xe4rvi \x80\r\n"
                                                  "[DB]\r\nPath=/old/\r\n")
                                    << QString::fromUtf8("/home/ł\u00f3dź/");
    QTest::newRow("new key, CJK") << QByteArray("[Mine]\nName=J\xe4rvi\n")
                                  << QString::fromUtf8("/mnt/データ/");
}

void TstIni::valueOutsideTheCodePageTurnsTheFileIntoUtf8() {
    QFETCH(QByteArray, before);
    QFETCH(QString, path);
    IniProfile p(before);
    QVERIFY(!p.isUtf8());
    const QString name = p.readString("Mine", "Name", {});
    p.writeString("DB", "Path", path);
    QVERIFY(p.isUtf8());
    QVERIFY(!p.bytes().contains('?'));
    const IniProfile back(p.bytes());
    QVERIFY(back.isUtf8());
    QCOMPARE(back.readString("DB", "Path", {}), path);
    QCOMPARE(back.readString("Mine", "Name", {}), name); // every other line re-encoded
    // Everything but the changed line is the old text, now in UTF-8.
    IniProfile expected(fromCp1252(before).toUtf8());
    expected.writeString("DB", "Path", path);
    QCOMPARE(p.bytes(), expected.bytes());
}

void TstIni::settingsAreWrittenOnceOrNotAtAll() {
    // The new content is longer than the old file; the limit lets the first key's change
    // through but not all five: a key-by-key writer would leave a half-changed file.
    QTemporaryDir dir;
    const QString file = dir.filePath("k.INI");
    const QByteArray old = "[DB]\r\nPath=/a/\r\n[Mine]\r\nx=1\r\n";
    put(file, old);
    Settings s = readSettings(file);
    s.DataPath = "/a/much/longer/path/";
    {
        FileSizeLimit full(static_cast<rlim_t>(old.size() + 20));
        QVERIFY(full.active());
        try {
            writeSettings(file, s);
            QFAIL("the write past the size limit succeeded");
        } catch (const Failure& e) {
            QCOMPARE(e.message(), "Unable to write to " + file);
        }
    }
    QCOMPARE(readAll(file), old);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"k.INI"});
    writeSettings(file, s);
    QCOMPARE(readSettings(file).DataPath, s.DataPath);
    QVERIFY(readAll(file).startsWith("[DB]\r\nPath=/a/much/longer/path/\r\nDefName=NoName.dat\r\n"
                                     "[Mine]\r\nx=1\r\n"));
}

void TstIni::unreadableSettingsFileIsNotReplaced() {
    if (geteuid() == 0)
        QSKIP("running as root: a file's mode does not stop root from reading it");
    QTemporaryDir dir;
    const QString file = dir.filePath("k.INI");
    put(file, "[Mine]\nx=1\n");
    QFile::setPermissions(file, QFileDevice::WriteOwner);
    QVERIFY_THROWS_EXCEPTION(Failure, writeSettings(file, defaultSettings()));
    QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QCOMPARE(readAll(file), QByteArray("[Mine]\nx=1\n"));
}

void TstIni::locationRules_data() {
    QTest::addColumn<bool>("programFolderWritable");
    QTest::addColumn<bool>("userFolderWritable");
    QTest::addColumn<bool>("userCopyExists");
    QTest::addColumn<QString>("readFrom");  // "program" or "user"
    QTest::addColumn<QString>("writtenTo"); // "program", "user", or "" (the write fails)
    QTest::newRow("writable program folder") << true << true << false << "program"
                                             << "program";
    QTest::newRow("read-only program folder, writable user folder")
        << false << true << false << "program"
        << "user";
    QTest::newRow("neither can be written") << false << false << false << "program"
                                            << "";
    QTest::newRow("a user copy is read and written back") << true << true << true << "user"
                                                          << "user";
    QTest::newRow("read-only program folder, user copy") << false << true << true << "user"
                                                         << "user";
}

void TstIni::locationRules() {
    QFETCH(bool, programFolderWritable);
    QFETCH(bool, userFolderWritable);
    QFETCH(bool, userCopyExists);
    QFETCH(QString, readFrom);
    QFETCH(QString, writtenTo);
    QTemporaryDir dir;
    const QByteArray besideBytes = "[App]\r\nPort=COM2\r\n[Mine]\r\nkeep=beside\r\n";
    const QByteArray userBytes = "[App]\r\nPort=COM5\r\n[Mine]\r\nkeep=user\r\n";
    const QString program = dir.filePath("prog");
    // A user folder that cannot be made: it would sit inside the read-only folder.
    const QString userDir =
        userFolderWritable ? dir.filePath("cfg/Kelotari") : program + "/cfg/Kelotari";
    QMap<QString, QByteArray> programFiles{{"kelotari.INI", besideBytes}};
    if (userCopyExists)
        put(userDir + "/kelotari.INI", userBytes);
    std::unique_ptr<ReadOnlyFolder> ro;
    if (programFolderWritable) {
        put(program + "/kelotari.INI", besideBytes);
    } else {
        ro = std::make_unique<ReadOnlyFolder>(program, programFiles);
        if (!ro->skipReason().isEmpty())
            QSKIP(qPrintable(ro->skipReason()));
    }
    const ConfigLocation at{settingsFileNameFor(program + "/kelotari"), userDir + "/kelotari.INI"};
    QCOMPARE(at.besideProgram, program + "/kelotari.INI");

    // Reading writes nothing: no per-user folder appears.
    const Settings s = readSettings(at.readFrom());
    QCOMPARE(at.readFrom(), readFrom == "program" ? at.besideProgram : at.perUserCopy);
    QCOMPARE(s.PortName, readFrom == "program" ? QStringLiteral("COM2") : QStringLiteral("COM5"));
    QCOMPARE(QFileInfo::exists(userDir), userCopyExists);

    Settings changed = s;
    changed.PortName = "/dev/ttyUSB1";
    if (writtenTo.isEmpty()) {
        try {
            writeSettings(at, changed);
            QFAIL("the write succeeded");
        } catch (const Failure& e) {
            QCOMPARE(e.message(), "Unable to write to " + at.besideProgram);
        }
        QCOMPARE(readAll(at.besideProgram), besideBytes);
        return;
    }
    writeSettings(at, changed);
    const QString target = writtenTo == "program" ? at.besideProgram : at.perUserCopy;
    const QString other = writtenTo == "program" ? at.perUserCopy : at.besideProgram;
    QCOMPARE(readSettings(target).PortName, QStringLiteral("/dev/ttyUSB1"));
    // The other lines come from the file that was read.
    const QByteArray keep = readFrom == "program" ? "keep=beside" : "keep=user";
    QVERIFY(readAll(target).contains(keep));
    QCOMPARE(readAll(other), other == at.besideProgram
                                 ? besideBytes
                                 : (userCopyExists ? userBytes : QByteArray("<missing>")));
    // The next start reads what was written.
    QCOMPARE(readSettings(at.readFrom()).PortName, QStringLiteral("/dev/ttyUSB1"));
}

QTEST_APPLESS_MAIN(TstIni)
#include "tst_ini.moc"
