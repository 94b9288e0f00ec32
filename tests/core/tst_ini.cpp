#include "app/Failure.h"
#include "app/SettingsFile.h"
#include "ini/IniProfile.h"
#include "lang/MainTexts.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace kelotari;

class TstIni : public QObject {
    Q_OBJECT
private slots:
    void readsValues_data();
    void readsValues();
    void longValueIsCutAt2047();
    void writeReplacesOnlyItsKey_data();
    void writeReplacesOnlyItsKey();
    void windows1252FileKeepsItsEncodingOnWrite();
    void settingsDefaultsAndRoundTrip();
    void settingsPartialFileAndEmptyKey();
    void settingsWriteFailureNamesTheFile();
    void settingsFileName_data();
    void settingsFileName();
    void languageTexts();
};

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

QTEST_APPLESS_MAIN(TstIni)
#include "tst_ini.moc"
