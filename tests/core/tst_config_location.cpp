// Where the settings and language files are read and written, in the installed and in the
// portable layout, for root and for an ordinary user, and what a name that is not a plain
// readable file does to start-up and Quit.
#include "FifoWatchdog.h"
#include "app/SettingsFile.h"
#include "base/Failure.h"
#include "ini/IniProfile.h"
#include "lang/MainTexts.h"
#include "text/Codec.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <optional>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace kelotari;

class TstConfigLocation : public QObject {
    Q_OBJECT
private slots:
    void userConfigFolder_data();
    void userConfigFolder();
    void installedLayoutIsMarked();
    void locationRules_data();
    void locationRules();
    void specialFiles_data();
    void specialFiles();
    void asOrdinaryUser();
    void finnishTextsAlikeInBothEncodings();
};

namespace {

bool isRoot() {
    return ::geteuid() == 0;
}

QByteArray readAll(const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

bool put(const QString& name, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(name).absolutePath());
    QFile f(name);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Sets (or, with a null value, unsets) an environment variable for one scope.
class EnvVar {
public:
    EnvVar(const char* name, const QByteArray& value)
        : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name)) {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~EnvVar() {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char* m_name;
    bool m_had;
    QByteArray m_old;
};

// A program folder: the executable's name and, in the installed layout, the marker.
struct ProgramFolder {
    QString dir;
    QString exe() const { return dir + "/kelotari"; }
};

ProgramFolder makeProgramFolder(const QString& dir, bool installed) {
    QDir().mkpath(dir);
    put(dir + "/kelotari", "#!/bin/sh\n");
    if (installed)
        put(dir + "/" + QLatin1String(kInstalledMarker), "installed\n");
    return ProgramFolder{dir};
}

const QByteArray kBeside = "[App]\r\nPort=COM2\r\n[Mine]\r\nkeep=beside\r\n";
const QByteArray kUser = "[App]\r\nPort=COM5\r\n[Mine]\r\nkeep=user\r\n";

} // namespace

void TstConfigLocation::userConfigFolder_data() {
    QTest::addColumn<QByteArray>("xdg"); // null: unset
    QTest::addColumn<QByteArray>("home");
    QTest::addColumn<QString>("expected"); // "<passwd>": the account's home + /.config
    QTest::newRow("XDG_CONFIG_HOME")
        << QByteArray("/cfg/x") << QByteArray("/home/u") << "/cfg/x/Kelotari";
    QTest::newRow("XDG_CONFIG_HOME with a trailing slash")
        << QByteArray("/cfg/x/") << QByteArray("/home/u") << "/cfg/x/Kelotari";
    QTest::newRow("relative XDG_CONFIG_HOME is ignored")
        << QByteArray("cfg") << QByteArray("/home/u") << "/home/u/.config/Kelotari";
    QTest::newRow("empty XDG_CONFIG_HOME")
        << QByteArray("") << QByteArray("/home/u") << "/home/u/.config/Kelotari";
    QTest::newRow("no XDG_CONFIG_HOME")
        << QByteArray() << QByteArray("/home/u") << "/home/u/.config/Kelotari";
    QTest::newRow("HOME unset") << QByteArray() << QByteArray() << "<passwd>";
    QTest::newRow("HOME empty") << QByteArray() << QByteArray("") << "<passwd>";
}

void TstConfigLocation::userConfigFolder() {
    QFETCH(QByteArray, xdg);
    QFETCH(QByteArray, home);
    QFETCH(QString, expected);
    const EnvVar x("XDG_CONFIG_HOME", xdg);
    const EnvVar h("HOME", home);
    if (expected == "<passwd>") {
        // The account's own home: /root for root, /nonexistent for nobody.
        const QString folder = kelotari::userConfigFolder();
        QVERIFY2(folder.endsWith("/.config/Kelotari"), qPrintable(folder));
        QVERIFY2(folder != "/.config/Kelotari", "fell back to the file system's root");
        if (isRoot())
            QCOMPARE(folder, QStringLiteral("/root/.config/Kelotari"));
        return;
    }
    QCOMPARE(kelotari::userConfigFolder(), expected);
}

void TstConfigLocation::installedLayoutIsMarked() {
    QTemporaryDir tmp;
    const ProgramFolder portable = makeProgramFolder(tmp.filePath("portable"), false);
    const ProgramFolder installed = makeProgramFolder(tmp.filePath("installed"), true);
    QVERIFY(!isInstalledLayout(portable.exe()));
    QVERIFY(isInstalledLayout(installed.exe()));
    // The build folder's program is the portable one.
    QVERIFY(!isInstalledLayout(QStringLiteral(KELOTARI_BIN_DIR "/kelotari")));
}

// Each row: a program folder in one layout, what is there, where the settings are read from
// and where Quit's write goes. Rows whose outcome depends on the user say so: root may write
// into a read-only folder, an ordinary user may not.
void TstConfigLocation::locationRules_data() {
    QTest::addColumn<bool>("installed");
    QTest::addColumn<bool>("besideExists");
    QTest::addColumn<bool>("userCopyExists");
    QTest::addColumn<bool>("programFolderReadOnly");
    QTest::addColumn<bool>("userFolderBlocked"); // the config folder's parent is a file
    QTest::addColumn<QString>("readFrom");       // "program", "user" or "" (nothing)
    QTest::addColumn<QString>("writtenTo");      // "program", "user", or "" (fails)

    const QString root = isRoot() ? "program" : "user"; // root writes a read-only folder
    const QString rootOrNone = isRoot() ? "program" : "";
    // clang-format off
    QTest::newRow("portable, nothing yet")            << false << false << false << false << false << "program" << "program";
    QTest::newRow("portable, file beside")            << false << true  << false << false << false << "program" << "program";
    QTest::newRow("portable, user copy")              << false << true  << true  << false << false << "user"    << "user";
    QTest::newRow("portable, read-only folder")       << false << true  << false << true  << false << "program" << root;
    QTest::newRow("portable, read-only, no user dir") << false << true  << false << true  << true  << "program" << rootOrNone;
    QTest::newRow("installed, nothing yet")           << true  << false << false << false << false << ""        << "user";
    QTest::newRow("installed, file beside ignored")   << true  << true  << false << false << false << ""        << "user";
    QTest::newRow("installed, read-only folder")      << true  << true  << false << true  << false << ""        << "user";
    QTest::newRow("installed, user copy")             << true  << true  << true  << true  << false << "user"    << "user";
    QTest::newRow("installed, no user dir")           << true  << true  << false << false << true  << ""        << "";
    // clang-format on
}

void TstConfigLocation::locationRules() {
    QFETCH(bool, installed);
    QFETCH(bool, besideExists);
    QFETCH(bool, userCopyExists);
    QFETCH(bool, programFolderReadOnly);
    QFETCH(bool, userFolderBlocked);
    QFETCH(QString, readFrom);
    QFETCH(QString, writtenTo);

    QTemporaryDir tmp;
    const ProgramFolder prog = makeProgramFolder(tmp.filePath("prog"), installed);
    if (besideExists)
        QVERIFY(put(prog.dir + "/kelotari.INI", kBeside));
    QString userDir = tmp.filePath("cfg/Kelotari");
    if (userFolderBlocked) {
        QVERIFY(put(tmp.filePath("cfg"), "a file where the config folder would be\n"));
        userDir = tmp.filePath("cfg/Kelotari");
    }
    if (userCopyExists)
        QVERIFY(put(userDir + "/kelotari.INI", kUser));
    if (programFolderReadOnly)
        QVERIFY(QFile::setPermissions(prog.dir, QFile::ReadOwner | QFile::ExeOwner |
                                                    QFile::ReadGroup | QFile::ExeGroup |
                                                    QFile::ReadOther | QFile::ExeOther));
    const auto restore = qScopeGuard([&] {
        QFile::setPermissions(prog.dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    });
    const QStringList programFilesBefore =
        QDir(prog.dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);

    // As the main window has it: no settings file is shipped beside an installed program, so
    // one found there (left by an older version run as root) is nobody's default.
    const ConfigLocation at{settingsFileNameFor(prog.exe()), userDir + "/kelotari.INI",
                            isInstalledLayout(prog.exe()), false};
    QCOMPARE(at.installed, installed);
    const QString expectedRead = readFrom == "program" ? at.besideProgram
                                 : readFrom == "user"  ? at.perUserCopy
                                                       : QString();
    QCOMPARE(at.readFrom(), expectedRead);
    const Settings s = readSettings(at.readFrom());
    QCOMPARE(s.PortName, readFrom == "user"                      ? "COM5"
                         : readFrom == "program" && besideExists ? "COM2"
                                                                 : "COM1");
    // Reading writes nothing.
    QCOMPARE(QFileInfo::exists(userDir), userCopyExists);

    Settings changed = s;
    changed.PortName = "/dev/ttyUSB1";
    if (writtenTo.isEmpty()) {
        try {
            writeSettings(at, changed);
            QFAIL("the write succeeded");
        } catch (const Failure& e) {
            QCOMPARE(e.message(),
                     "Unable to write to " + (installed ? at.perUserCopy : at.besideProgram));
        }
    } else {
        writeSettings(at, changed);
        const QString target = writtenTo == "program" ? at.besideProgram : at.perUserCopy;
        QCOMPARE(readSettings(target).PortName, QStringLiteral("/dev/ttyUSB1"));
        // The other lines come from the file that was read.
        if (!readFrom.isEmpty() && (besideExists || userCopyExists))
            QVERIFY(readAll(target).contains(readFrom == "program" ? "keep=beside" : "keep=user"));
        if (readFrom.isEmpty())
            QVERIFY(!readAll(target).contains("keep="));
        // The next start reads what was written.
        QCOMPARE(readSettings(at.readFrom()).PortName, QStringLiteral("/dev/ttyUSB1"));
    }
    // An installed program never writes into its own folder, whoever runs it.
    if (installed || writtenTo != "program") {
        QCOMPARE(QDir(prog.dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 programFilesBefore);
        QCOMPARE(readAll(at.besideProgram), besideExists ? kBeside : QByteArray("<missing>"));
    }
}

namespace {

// What to put at a name instead of a plain readable file.
enum class Kind { Folder, Fifo, Socket, DevNullLink, Mode000, Large };

// Makes it; the error text when it could not.
QString makeSpecial(Kind kind, const QString& name, const QByteArray& content,
                    std::optional<int>& socketFd) {
    QDir().mkpath(QFileInfo(name).absolutePath());
    const QByteArray path = QFile::encodeName(name);
    switch (kind) {
    case Kind::Folder:
        return QDir().mkdir(name) ? QString() : "mkdir";
    case Kind::Fifo:
        return ::mkfifo(path.constData(), 0644) == 0 ? QString() : "mkfifo";
    case Kind::Socket: {
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        if (path.size() >= static_cast<int>(sizeof addr.sun_path))
            return "socket path too long";
        memcpy(addr.sun_path, path.constData(), static_cast<size_t>(path.size()));
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(fd, 1) != 0)
            return "socket";
        socketFd = fd;
        return QString();
    }
    case Kind::DevNullLink:
        return QFile::link("/dev/null", name) ? QString() : "symlink";
    case Kind::Mode000:
        if (!put(name, content))
            return "write";
        return ::chmod(path.constData(), 0) == 0 ? QString() : "chmod";
    case Kind::Large: {
        // 10 MB of comment lines before the real content.
        QByteArray big;
        big.reserve(10 * 1024 * 1024 + content.size());
        const QByteArray line = "; " + QByteArray(76, 'x') + "\r\n";
        while (big.size() < 10 * 1024 * 1024)
            big += line;
        big += content;
        return put(name, big) ? QString() : "write";
    }
    }
    return "kind";
}

} // namespace

// Each odd thing in place of the settings or the language file, beside the program or as the
// per-user copy, in either layout: start-up reads without waiting, takes what it could read,
// and Quit's write goes where it should or fails naming the file it could not write.
void TstConfigLocation::specialFiles_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("installed");
    QTest::addColumn<bool>("atUserCopy"); // else beside the program
    const struct {
        Kind kind;
        const char* name;
    } kinds[] = {{Kind::Folder, "folder"},         {Kind::Fifo, "FIFO"},
                 {Kind::Socket, "socket"},         {Kind::DevNullLink, "link to /dev/null"},
                 {Kind::Mode000, "mode 000 file"}, {Kind::Large, "10 MB file"}};
    for (const auto& k : kinds) {
        for (const bool installed : {false, true}) {
            for (const bool atUser : {false, true}) {
                QTest::addRow("%s %s, %s", k.name, atUser ? "as the user copy" : "beside",
                              installed ? "installed" : "portable")
                    << static_cast<int>(k.kind) << installed << atUser;
            }
        }
    }
}

void TstConfigLocation::specialFiles() {
    QFETCH(int, kind);
    QFETCH(bool, installed);
    QFETCH(bool, atUserCopy);
    const Kind k = static_cast<Kind>(kind);
    // A mode 000 file is readable for root; for anyone else it is there but cannot be read.
    const bool readable = k == Kind::Large || (k == Kind::Mode000 && isRoot());
    const bool unreadableRegular = k == Kind::Mode000 && !isRoot();

    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const ProgramFolder prog = makeProgramFolder(tmp.filePath("p"), installed);
    const QString userDir = tmp.filePath("c/Kelotari");
    const QString settingsBeside = settingsFileNameFor(prog.exe());
    const QString langBeside = languageFileNameFor(prog.exe());
    const QString settingsOdd = atUserCopy ? userDir + "/kelotari.INI" : settingsBeside;
    const QString langOdd = atUserCopy ? userDir + "/DefLang.lng" : langBeside;

    std::optional<int> sock1, sock2;
    const auto closeSockets = qScopeGuard([&] {
        for (const auto& s : {sock1, sock2})
            if (s)
                ::close(*s);
    });
    const QString e1 = makeSpecial(k, settingsOdd, "[App]\r\nPort=COM7\r\n", sock1);
    const QString e2 = makeSpecial(k, langOdd, "[Toolbar]\r\nTB_quit=Lopeta\r\n", sock2);
    if (!e1.isEmpty() || !e2.isEmpty())
        QSKIP(qPrintable("cannot make the file here: " + e1 + e2));

    std::unique_ptr<FifoWatchdog> dog1, dog2;
    if (k == Kind::Fifo) {
        dog1 = std::make_unique<FifoWatchdog>(QFile::encodeName(settingsOdd));
        dog2 = std::make_unique<FifoWatchdog>(QFile::encodeName(langOdd));
    }

    // Start-up: settings, then the language file, each where the rules say.
    QElapsedTimer clock;
    clock.start();
    const ConfigLocation settingsAt{settingsBeside, userDir + "/kelotari.INI", installed, false};
    const ConfigLocation langAt{langBeside, userDir + "/DefLang.lng", installed};
    const Settings s = readSettings(settingsAt.readFrom());
    const MainTexts texts = readMainTexts(IniProfile::fromFile(langAt.readFrom()));
    const qint64 readMs = clock.elapsed();
    // An installed program does not read a settings file beside itself (none is shipped).
    QCOMPARE(s.PortName, readable && (atUserCopy || !installed) ? "COM7" : "COM1");
    QCOMPARE(texts.TB_quit, readable ? "Lopeta" : "Quit");

    // Quit's write.
    Settings changed = s;
    changed.PortName = "/dev/ttyS3";
    QString failure;
    try {
        writeSettings(settingsAt, changed);
    } catch (const Failure& e) {
        failure = e.message();
    }
    if (dog1)
        QVERIFY2(!dog1->stop() && !dog2->stop(), "a FIFO was opened and waited on");
    qInfo("start-up's reads took %lld ms, with Quit's write %lld ms",
          static_cast<long long>(readMs), static_cast<long long>(clock.elapsed()));

    // Where it should have gone: an installed program writes the user copy; a portable one
    // writes back where it read, or the user copy where that cannot be written. Something that
    // is not a regular file is never replaced, and a file that cannot be read is not replaced
    // by one holding only the program's keys: the message then names it.
    bool fails = false;
    QString target;
    if (readable) {
        target = installed ? settingsAt.perUserCopy : settingsOdd;
    } else if (unreadableRegular) {
        fails = atUserCopy;
        target = settingsAt.perUserCopy;
    } else {
        fails = installed && atUserCopy;
        target = installed || !atUserCopy ? settingsAt.perUserCopy : settingsBeside;
    }
    if (fails) {
        QCOMPARE(failure, "Unable to write to " + settingsOdd);
    } else {
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QCOMPARE(readSettings(target).PortName, QStringLiteral("/dev/ttyS3"));
    }
    // The odd thing itself is still what it was, unless it was a readable file written back.
    const QFileInfo odd(settingsOdd);
    switch (k) {
    case Kind::Folder:
        QVERIFY(odd.isDir());
        break;
    case Kind::DevNullLink:
        QVERIFY(odd.isSymLink());
        QCOMPARE(odd.symLinkTarget(), QStringLiteral("/dev/null"));
        break;
    case Kind::Fifo:
    case Kind::Socket:
        QVERIFY(odd.exists() && !odd.isFile() && !odd.isDir());
        break;
    case Kind::Mode000:
        if (target != settingsOdd) {
            struct stat st {};
            QCOMPARE(::stat(QFile::encodeName(settingsOdd).constData(), &st), 0);
            QCOMPARE(st.st_mode & 07777, 0u);
        }
        break;
    case Kind::Large:
        QVERIFY(odd.size() >= 10 * 1024 * 1024);
        break;
    }
    // An installed program leaves its own folder as it was.
    if (installed)
        QCOMPARE(readAll(prog.dir + "/kelotari"), QByteArray("#!/bin/sh\n"));
    if (installed && atUserCopy)
        QVERIFY(!QFileInfo::exists(settingsBeside));
}

// The whole set again as nobody, when root runs it: the rules must hold for both.
void TstConfigLocation::asOrdinaryUser() {
    if (!isRoot())
        QSKIP("runs as an ordinary user already; the root run covers root");
    const QString setpriv = QStandardPaths::findExecutable("setpriv");
    if (setpriv.isEmpty())
        QSKIP("setpriv (util-linux) is not installed");
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TMPDIR", "/tmp");
    env.insert("HOME", "/nonexistent");
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(setpriv, {"--reuid=65534", "--regid=65534", "--clear-groups",
                          QCoreApplication::applicationFilePath(), "locationRules", "specialFiles",
                          "userConfigFolder"});
    QVERIFY(child.waitForStarted());
    if (!child.waitForFinished(120000)) {
        child.kill();
        child.waitForFinished();
        QFAIL("the run as nobody did not end within two minutes");
    }
    const QByteArray out = child.readAll();
    if (child.exitCode() != 0)
        qWarning("%s", out.constData());
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
    QVERIFY2(out.contains("Totals:") && !out.contains(" 0 passed"), out.constData());
}

// The shipped Finnish file is UTF-8; a user's copy saved in Windows-1252 (as the file used to
// be) gives the same texts, key for key.
void TstConfigLocation::finnishTextsAlikeInBothEncodings() {
    QFile f(QStringLiteral(KELOTARI_SOURCE_DIR "/lang/Suomi.lng"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray utf8 = f.readAll();
    QVERIFY(isValidUtf8(utf8));
    const QString text = QString::fromUtf8(utf8);
    QVERIFY(text.contains(QString::fromUtf8("Tyhjennä")));
    const QByteArray cp1252 = toCp1252(text);
    QVERIFY(cp1252 != utf8 && !isValidUtf8(cp1252));
    QCOMPARE(fromCp1252(cp1252), text); // nothing of it lies outside the code page

    const IniProfile a(utf8), b(cp1252);
    int keys = 0, nonAscii = 0;
    QString section;
    for (const QString& raw : text.split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            section = line.mid(1, line.size() - 2);
            continue;
        }
        const int eq = line.indexOf(QLatin1Char('='));
        if (section.isEmpty() || eq <= 0 || line.startsWith(QLatin1Char(';')))
            continue;
        const QString key = line.left(eq).trimmed();
        const QString value = a.readString(section, key, QStringLiteral("<missing>"));
        QCOMPARE(b.readString(section, key, QStringLiteral("<missing>")), value);
        QVERIFY(value != QStringLiteral("<missing>"));
        ++keys;
        nonAscii += value.toLatin1() != value.toUtf8();
    }
    QVERIFY2(keys > 40, qPrintable(QString::number(keys)));
    QVERIFY(nonAscii > 5);
    // The main window's captions, read as the program reads them.
    QCOMPARE(readMainTexts(b).TB_clr, QString::fromUtf8("Tyhjennä"));
    QCOMPARE(readMainTexts(a).gridHeadings[1], QString::fromUtf8("Näytteitä"));
}

QTEST_GUILESS_MAIN(TstConfigLocation)
#include "tst_config_location.moc"
