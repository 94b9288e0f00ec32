#include "WriteLimit.h"
#include "files/SafeWrite.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

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

QTEST_APPLESS_MAIN(TstSafeWrite)
#include "tst_safewrite.moc"
