#include "WriteLimit.h"
#include "files/FileNames.h"
#include "files/SafeWrite.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

using namespace kelotari;

namespace {

QByteArray readAll(const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QStringList entries(const QString& dir) {
    return QDir(dir).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

class TstSafeWrite : public QObject {
    Q_OBJECT
private slots:
    void writesAndReplacesWhole_data();
    void writesAndReplacesWhole();
    void failureLeavesTheOldFile_data();
    void failureLeavesTheOldFile();
    void keepsTheFilesPermissions();
    void targetRuleForEachKindOfNode_data();
    void targetRuleForEachKindOfNode();
    void fileNamesKeepTheirBytes_data();
    void fileNamesKeepTheirBytes();
    void writesANameThatIsNotUtf8();
};

void TstSafeWrite::writesAndReplacesWhole_data() {
    QTest::addColumn<QByteArray>("old"); // null: no file before
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("new file") << QByteArray() << QByteArray("abc\r\n");
    QTest::newRow("longer over shorter") << QByteArray("x") << QByteArray(40000, 'y');
    QTest::newRow("shorter over longer") << QByteArray(40000, 'y') << QByteArray("z");
    QTest::newRow("empty content") << QByteArray("old") << QByteArray("");
}

void TstSafeWrite::writesAndReplacesWhole() {
    QFETCH(QByteArray, old);
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    const QString name = dir.filePath("f.DAT");
    if (!old.isNull()) {
        QFile f(name);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(old);
    }
    const WriteOutcome r = writeFileSafely(name, content);
    QVERIFY2(r.ok, qPrintable(r.error));
    QVERIFY(r.error.isEmpty());
    QCOMPARE(readAll(name), content);
    QCOMPARE(entries(dir.path()), QStringList{"f.DAT"});
}

void TstSafeWrite::failureLeavesTheOldFile_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("size"); // of the new content
    // Under QSaveFile's 16 KiB buffer the failure shows only when the buffer is written out.
    QTest::newRow("size limit, buffered write") << "limit" << 5000;
    QTest::newRow("size limit, direct write") << "limit" << 100000;
    QTest::newRow("read-only folder") << "read-only" << 10;
    QTest::newRow("target is a folder") << "folder" << 10;
    QTest::newRow("folder missing") << "missing" << 10;
    QTest::newRow("empty name") << "empty" << 10;
}

void TstSafeWrite::failureLeavesTheOldFile() {
    QFETCH(QString, how);
    QFETCH(int, size);
    QTemporaryDir dir;
    const QByteArray old = "old bytes\r\n";
    QString folder = dir.filePath("w");
    QString name = folder + "/f.DAT";
    std::unique_ptr<ReadOnlyFolder> ro;
    std::unique_ptr<FileSizeLimit> limit;
    if (how == "read-only") {
        ro = std::make_unique<ReadOnlyFolder>(folder, QMap<QString, QByteArray>{{"f.DAT", old}});
        if (!ro->skipReason().isEmpty())
            QSKIP(qPrintable(ro->skipReason()));
    } else {
        QDir().mkpath(folder);
        QFile f(name);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(old);
    }
    if (how == "folder")
        name = folder;
    else if (how == "missing")
        name = folder + "/gone/f.DAT";
    else if (how == "empty")
        name.clear();
    const QStringList before = entries(folder);

    WriteOutcome r;
    {
        if (how == "limit") {
            limit = std::make_unique<FileSizeLimit>(1024);
            QVERIFY(limit->active());
        }
        r = writeFileSafely(name, QByteArray(size, 'n'));
        limit.reset();
    }
    QVERIFY(!r.ok);
    QVERIFY(!r);
    QVERIFY(!r.error.isEmpty());
    QCOMPARE(readAll(folder + "/f.DAT"), old);
    QCOMPARE(entries(folder), before); // no temporary file left behind
    QVERIFY(QFileInfo(folder).isDir());
}

void TstSafeWrite::keepsTheFilesPermissions() {
    QTemporaryDir dir;
    const QString name = dir.filePath("f.INI");
    QFile f(name);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    const auto perms = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;
    QVERIFY(QFile::setPermissions(name, perms));
    QVERIFY(writeFileSafely(name, "new"));
    const auto modeBits = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                          QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                          QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    QCOMPARE(QFile::permissions(name) & modeBits, perms);
}

namespace {

// The kind of node at a path, as lstat sees it, with a device's numbers.
QString nodeKind(const QString& path) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return QStringLiteral("none");
    if (S_ISREG(st.st_mode))
        return QStringLiteral("file");
    if (S_ISLNK(st.st_mode))
        return QStringLiteral("link");
    if (S_ISDIR(st.st_mode))
        return QStringLiteral("folder");
    if (S_ISFIFO(st.st_mode))
        return QStringLiteral("fifo");
    if (S_ISSOCK(st.st_mode))
        return QStringLiteral("socket");
    if (S_ISCHR(st.st_mode))
        return QStringLiteral("char %1,%2").arg(major(st.st_rdev)).arg(minor(st.st_rdev));
    return QStringLiteral("other");
}

bool makeLink(const QString& target, const QString& at) {
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(at).constData()) == 0;
}

} // namespace

void TstSafeWrite::targetRuleForEachKindOfNode_data() {
    // The name written is always "name" in a fresh folder; "node" says what is there, and
    // "written" where the bytes must end up ("" when the write is refused).
    QTest::addColumn<QString>("node");
    QTest::addColumn<QString>("written");
    QTest::newRow("regular file") << "file"
                                  << "name";
    QTest::newRow("nothing") << "none"
                             << "name";
    QTest::newRow("link to a file") << "link>file"
                                    << "real.DAT";
    QTest::newRow("relative link to a file in a subfolder") << "link>sub/file"
                                                            << "sub/real.DAT";
    QTest::newRow("two links to a file") << "link>link>file"
                                         << "real.DAT";
    QTest::newRow("dangling link, folder exists") << "link>none"
                                                  << "real.DAT";
    QTest::newRow("dangling link into a missing folder") << "link>missing/x"
                                                         << "";
    QTest::newRow("link to itself") << "link>self"
                                    << "";
    QTest::newRow("link loop") << "link>loop"
                               << "";
    QTest::newRow("folder") << "folder"
                            << "";
    QTest::newRow("link to a folder") << "link>folder"
                                      << "";
    QTest::newRow("FIFO") << "fifo"
                          << "";
    QTest::newRow("link to a FIFO") << "link>fifo"
                                    << "";
    QTest::newRow("socket") << "socket"
                            << "";
    QTest::newRow("link to a socket") << "link>socket"
                                      << "";
    QTest::newRow("character device (1,3)") << "chardev"
                                            << "";
    QTest::newRow("link to a character device (1,3)") << "link>chardev"
                                                      << "";
    QTest::newRow("inside a folder link to /proc") << "proc"
                                                   << "";
}

void TstSafeWrite::targetRuleForEachKindOfNode() {
    QFETCH(QString, node);
    QFETCH(QString, written);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray old = "old bytes\r\n";
    const QByteArray content = "new content\r\n";
    QString name = dir.filePath("name");
    const QString real = dir.filePath("real.DAT");
    auto writeOld = [&](const QString& path) {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write(old) == old.size();
    };
    int sock = -1;
    const QString what = node.section('>', -1);
    const QString thing = node.startsWith("link>") ? real : name; // where the node itself sits
    if (what == "file") {
        QVERIFY(writeOld(thing));
    } else if (what == "sub/file") {
        QVERIFY(QDir(dir.path()).mkdir("sub"));
        QVERIFY(writeOld(dir.filePath("sub/real.DAT")));
        QVERIFY(makeLink("sub/real.DAT", name));
    } else if (what == "folder") {
        QVERIFY(QDir().mkdir(thing));
    } else if (what == "fifo") {
        QCOMPARE(::mkfifo(QFile::encodeName(thing).constData(), 0600), 0);
    } else if (what == "socket") {
        sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        const QByteArray p = QFile::encodeName(thing);
        if (p.size() >= qsizetype(sizeof a.sun_path))
            QSKIP("temporary folder path too long for a socket");
        std::memcpy(a.sun_path, p.constData(), size_t(p.size()));
        QCOMPARE(::bind(sock, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    } else if (what == "chardev") {
        if (::geteuid() != 0)
            QSKIP("making a device node needs root");
        if (::mknod(QFile::encodeName(thing).constData(), S_IFCHR | 0666, makedev(1, 3)) != 0)
            QSKIP(qPrintable(QStringLiteral("mknod refused here: %1").arg(strerror(errno))));
    } else if (what == "self") {
        QVERIFY(makeLink("name", name));
    } else if (what == "loop") {
        QVERIFY(makeLink("other", name));
        QVERIFY(makeLink("name", dir.filePath("other")));
    } else if (what == "missing/x") {
        QVERIFY(makeLink("missing/x", name));
    } else if (what == "proc") {
        QVERIFY(makeLink("/proc", dir.filePath("data")));
        name = dir.filePath("data/061226.DAT");
    }
    const QStringList linkedKinds{"file", "none", "folder", "fifo", "socket", "chardev"};
    if (node.startsWith("link>") && linkedKinds.contains(what)) {
        if (node.startsWith("link>link>")) {
            QVERIFY(makeLink("middle", name));
            QVERIFY(makeLink("real.DAT", dir.filePath("middle")));
        } else {
            QVERIFY(makeLink("real.DAT", name));
        }
    }
    const QStringList before = entries(dir.path());
    const QString kindBefore = nodeKind(thing);

    const WriteOutcome r = writeFileSafely(name, content);
    if (sock >= 0)
        ::close(sock);

    if (written.isEmpty()) {
        QVERIFY2(!r.ok, "a node that is no file must not be written");
        QVERIFY(!r.error.isEmpty());
        QCOMPARE(nodeKind(thing), kindBefore); // the node itself untouched
        QCOMPARE(entries(dir.path()), before); // nothing new, no temporary file left
        if (what == "chardev")
            QCOMPARE(nodeKind(thing), QStringLiteral("char 1,3"));
        return;
    }
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(readAll(dir.filePath(written)), content);
    if (node.startsWith("link"))
        QCOMPARE(nodeKind(name), QStringLiteral("link")); // the link stays a link
    QCOMPARE(readAll(name), content);
}

void TstSafeWrite::fileNamesKeepTheirBytes_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown");
    QTest::newRow("ASCII") << QByteArray("061226.DAT") << "061226.DAT";
    QTest::newRow("UTF-8") << QByteArray("m\xC3\xA4nty.DAT")
                           << QString::fromUtf8("m\xC3\xA4nty.DAT");
    QTest::newRow("Latin-1 a umlaut")
        << QByteArray("lat1-\xE4.DAT") << QString::fromUtf8("lat1-\uFFFDE4.DAT");
    QTest::newRow("Latin-1 o umlaut")
        << QByteArray("lat1-\xF6.DAT") << QString::fromUtf8("lat1-\uFFFDF6.DAT");
    QTest::newRow("cut-off sequence at the end")
        << QByteArray("a\xC3") << QString::fromUtf8("a\uFFFDC3");
    QTest::newRow("overlong slash")
        << QByteArray("\xC0\xAF") << QString::fromUtf8("\uFFFDC0\uFFFDAF");
    QTest::newRow("encoded surrogate")
        << QByteArray("\xED\xB3\xA4") << QString::fromUtf8("\uFFFDED\uFFFDB3\uFFFDA4");
    QTest::newRow("a real U+FFFD")
        << QByteArray("x\xEF\xBF\xBD") << QString::fromUtf8("x\uFFFDEF\uFFFDBF\uFFFDBD");
    QTest::newRow("four-byte character")
        << QByteArray("\xF0\x9F\x8C\xB2.DAT") << QString::fromUtf8("\xF0\x9F\x8C\xB2.DAT");
}

void TstSafeWrite::fileNamesKeepTheirBytes() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);
    const QString name = decodeFileName(bytes);
    QCOMPARE(encodeFileName(name), bytes);
    QCOMPARE(displayFileName(name), shown);
}

void TstSafeWrite::writesANameThatIsNotUtf8() {
    QTemporaryDir dir;
    const QByteArray folder = QFile::encodeName(dir.path());
    const QString a = decodeFileName(folder + "/lat1-\xE4.DAT");
    const QString b = decodeFileName(folder + "/lat1-\xF6.DAT");
    QVERIFY(a != b);
    QVERIFY(writeFileSafely(a, "first"));
    QVERIFY(writeFileSafely(b, "second"));
    QVERIFY(writeFileSafely(a, "first again"));
    auto bytesOf = [](const QByteArray& path) {
        QFile f;
        const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 || !f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
            return QByteArray("<missing>");
        return f.readAll();
    };
    QCOMPARE(bytesOf(folder + "/lat1-\xE4.DAT"), QByteArray("first again"));
    QCOMPARE(bytesOf(folder + "/lat1-\xF6.DAT"), QByteArray("second"));
    // Qt cannot list or remove such names: the system's calls do both.
    QList<QByteArray> names;
    if (DIR* d = ::opendir(folder.constData())) {
        while (const dirent* e = ::readdir(d))
            if (e->d_name[0] != '.')
                names << QByteArray(e->d_name);
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    for (const QByteArray& n : names)
        ::unlink((folder + '/' + n).constData());
    QCOMPARE(names, (QList<QByteArray>{"lat1-\xE4.DAT", "lat1-\xF6.DAT"}));
}

QTEST_APPLESS_MAIN(TstSafeWrite)
#include "tst_safewrite.moc"
