#include "FailingDevice.h"
#include "FifoWatchdog.h"
#include "packets/DataFile.h"

#include <QBuffer>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace kelotari;

namespace {

// A packet as the meter would send it: header fields in field order, then readings.
void putPacket(PacketTable& t, int row, const QByteArray& comment, int readings) {
    t.setCell(kCommentCol, row, comment);
    const QByteArray fields[9] = {"10.2",
                                  "19.8",
                                  QByteArray::number(row),
                                  "08.12.26",
                                  "14:3" + QByteArray::number(row),
                                  "Kuusi",
                                  "20",
                                  "14.1",
                                  "2.3"};
    for (int f = 0; f < 9; ++f)
        t.setCell(kPlacement[static_cast<size_t>(f)], row, fields[f]);
    for (int i = 0; i < readings; ++i)
        t.setCell(kFirstReadingCol + i, row, QByteArray::number(10 + i % 15) + ".5");
    t.setCell(kSamplesCol, row, QByteArray::number(readings));
}

LoadResult load(const QByteArray& bytes, PacketTable& t) {
    QBuffer b;
    b.setData(bytes);
    b.open(QIODevice::ReadOnly);
    return loadDataFile(b, t);
}

// A block: comment, nine header lines, readings, packet end.
QByteArray block(int readings, const QByteArray& eol = "\r\n") {
    QByteArray b = "comment" + eol;
    for (int f = 0; f < 9; ++f)
        b += "f" + QByteArray::number(f) + eol;
    for (int i = 1; i <= readings; ++i)
        b += "r" + QByteArray::number(i) + eol;
    return b + kPacketEnd + eol;
}

} // namespace

class TstDataFile : public QObject {
    Q_OBJECT
private slots:
    void writesTheBlockFormat();
    void emptyTableIsTheDataEndLineAlone();
    void commentLongerThan14IsWrittenWhole();
    void threePacketsRoundTrip();
    void proposedNameIsDataPathAndDate();
    void loadEdgeCases_data();
    void loadEdgeCases();
    void moreThan49BlocksLoadsTheFirst49();
    void surplusReadingsKeepTheNextBlockAligned();
    void overlongLineIsALoadError();
    void readFailureKeepsWhatWasRead();
    void readFailureRightAfterALineEndIsNoEnd_data();
    void readFailureRightAfterALineEndIsNoEnd();
    void specialFilesAreRefusedWithoutBlocking();
    void regularFileOpensForReading();
    void bytesSurviveUnchanged();
};

void TstDataFile::writesTheBlockFormat() {
    PacketTable t;
    putPacket(t, 1, "pine", 2);
    const QByteArray expected =
        "pine          \r\n10.2\r\n19.8\r\n1\r\n08.12.26\r\n14:31\r\nKuusi\r\n"
        "20\r\n14.1\r\n2.3\r\n10.5\r\n11.5\r\n\xaf\r\n\x1a\r\n";
    QCOMPARE(serializeDataFile(t, 1), expected);
}

void TstDataFile::emptyTableIsTheDataEndLineAlone() {
    PacketTable t;
    QCOMPARE(serializeDataFile(t, 0), QByteArray("\x1a\r\n"));
}

void TstDataFile::commentLongerThan14IsWrittenWhole() {
    PacketTable t;
    putPacket(t, 1, "twenty characters!!!", 0);
    const QByteArray bytes = serializeDataFile(t, 1);
    QVERIFY(bytes.startsWith("twenty characters!!!\r\n10.2"));
    PacketTable back;
    QCOMPARE(load(bytes, back).packetCount, 1);
    QCOMPARE(back.cell(kCommentCol, 1), QByteArray("twenty characters!!!"));
}

void TstDataFile::threePacketsRoundTrip() {
    PacketTable t;
    putPacket(t, 1, "", 5);
    putPacket(t, 2, "kiln 3", 0);
    putPacket(t, 3, "north stack", 30);
    const QByteArray bytes = serializeDataFile(t, 3);
    PacketTable back;
    const LoadResult r = load(bytes, back);
    QVERIFY(r.ok);
    QCOMPARE(r.packetCount, 3);
    QVERIFY(!r.moreBlocks);
    for (int row = 1; row <= 3; ++row) {
        for (int col = 0; col < kColumns; ++col) {
            if (col == kCommentCol)
                continue;
            QCOMPARE(back.cell(col, row), t.cell(col, row));
        }
        QCOMPARE(back.cell(kCommentCol, row).size(), 14); // padded
        QVERIFY(back.cell(kCommentCol, row).startsWith(t.cell(kCommentCol, row)));
    }
    QCOMPARE(back.cell(kSamplesCol, 2), QByteArray("0"));
    QCOMPARE(back.cell(kSamplesCol, 3), QByteArray("30"));
    QVERIFY(back.cell(0, 4).isEmpty());
    // Saving the loaded table again gives the same file.
    QCOMPARE(serializeDataFile(back, 3), bytes);
}

void TstDataFile::proposedNameIsDataPathAndDate() {
    QCOMPARE(proposedDataFileName("/home/u/", QDate(2026, 12, 8)),
             QStringLiteral("/home/u/081226.DAT"));
    QCOMPARE(proposedDataFileName("data", QDate(2027, 1, 31)), QStringLiteral("data310127.DAT"));
}

void TstDataFile::loadEdgeCases_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("count");
    QTest::addColumn<QList<int>>("samples"); // Samples column of rows 1..n
    const QByteArray end = "\x1a\r\n";
    QTest::newRow("zero bytes") << QByteArray() << 0 << QList<int>{};
    QTest::newRow("data-end line alone") << end << 0 << QList<int>{};
    QTest::newRow("only 0x1A bytes") << QByteArray(50, '\x1a') << 0 << QList<int>{};
    QTest::newRow("complete file") << block(5) + block(0) + end << 2 << QList<int>{5, 0};
    QTest::newRow("LF-only line ends") << block(3, "\n") + "\x1a\n" << 1 << QList<int>{3};
    QTest::newRow("no data-end line") << block(2) + block(1) << 2 << QList<int>{2, 1};
    QTest::newRow("ends after a reading")
        << block(2) + block(4).left(block(4).size() - 3) << 2 << QList<int>{2, 4};
    QTest::newRow("ends inside a header") << block(2) + "c\r\nf0\r\nf1\r\n" << 1 << QList<int>{2};
    QTest::newRow("packet end inside a header")
        << block(1) + "c\r\nf0\r\n\xaf\r\n" + block(3) + end << 1 << QList<int>{1};
    QTest::newRow("lone CRs are dropped")
        << block(1).replace("f3", "f\r3") + end << 1 << QList<int>{1};
    QTest::newRow("CR-only line ends give no packets")
        << block(3, "\r") + "\x1a\r" << 0 << QList<int>{};
}

void TstDataFile::loadEdgeCases() {
    QFETCH(QByteArray, file);
    QFETCH(int, count);
    QFETCH(QList<int>, samples);
    PacketTable t;
    const LoadResult r = load(file, t);
    QVERIFY(r.ok);
    QCOMPARE(r.packetCount, count);
    for (int row = 1; row <= samples.size(); ++row)
        QCOMPARE(t.cell(kSamplesCol, row), QByteArray::number(samples[row - 1]));
}

void TstDataFile::moreThan49BlocksLoadsTheFirst49() {
    QByteArray file;
    for (int i = 0; i < 1000; ++i)
        file += block(i % 31);
    file += "\x1a\r\n";
    PacketTable t;
    const LoadResult r = load(file, t);
    QVERIFY(r.ok);
    QVERIFY(r.moreBlocks);
    QCOMPARE(r.packetCount, 49);
    QCOMPARE(t.cell(kSamplesCol, 49), QByteArray::number(48 % 31));

    PacketTable exact;
    QByteArray file49;
    for (int i = 0; i < 49; ++i)
        file49 += block(1);
    const LoadResult r49 = load(file49 + "\x1a\r\n", exact);
    QCOMPARE(r49.packetCount, 49);
    QVERIFY(!r49.moreBlocks);
}

void TstDataFile::surplusReadingsKeepTheNextBlockAligned() {
    PacketTable t;
    const LoadResult r = load(block(33) + block(2) + "\x1a\r\n", t);
    QCOMPARE(r.packetCount, 2);
    QCOMPARE(t.cell(kSamplesCol, 1), QByteArray("30"));
    QCOMPARE(t.cell(kLastCol, 1), QByteArray("r30"));
    QCOMPARE(t.cell(kCommentCol, 2), QByteArray("comment"));
    QCOMPARE(t.cell(kPlacement[0], 2), QByteArray("f0"));
    QCOMPARE(t.cell(kSamplesCol, 2), QByteArray("2"));
}

void TstDataFile::overlongLineIsALoadError() {
    PacketTable t;
    QByteArray file = block(1);
    file += QByteArray(100 * 1024 * 1024, 'x'); // 100 MB without a line end
    const LoadResult r = load(file, t);
    QVERIFY(!r.ok);
    QCOMPARE(r.errorNumber, EFBIG);
    QCOMPARE(r.packetCount, 1);
}

void TstDataFile::readFailureKeepsWhatWasRead() {
    const QByteArray file = block(2) + block(3) + "\x1a\r\n";
    FailingDevice dev(file, block(2).size() + 20);
    QVERIFY(dev.open(QIODevice::ReadOnly));
    PacketTable t;
    const LoadResult r = loadDataFile(dev, t);
    QVERIFY(!r.ok);
    QCOMPARE(r.errorNumber, EIO);
    QCOMPARE(r.packetCount, 1);
    QCOMPARE(t.cell(kSamplesCol, 1), QByteArray("2"));
}

void TstDataFile::readFailureRightAfterALineEndIsNoEnd_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("failAt"); // the device fails on the first read past this offset
    QTest::addColumn<int>("count");  // complete packets kept in the table
    const QByteArray two = block(2);
    const QByteArray file = two + block(3) + "\x1a\r\n";
    QTest::newRow("after a comment line") << file << int(two.size() + 9) << 1;
    QTest::newRow("after a header line") << file << int(two.size() + 9 + 4) << 1;
    QTest::newRow("after a reading") << file << int(two.size() + 9 + 9 * 4 + 4) << 1;
    QTest::newRow("after a packet-end line") << file << int(two.size()) << 1;
    QTest::newRow("after the data-end line") << file << int(file.size()) << 2;
    const QByteArray open = two + block(1).left(block(1).size() - 3); // no end lines
    QTest::newRow("after the last reading of a file without end lines")
        << open << int(open.size()) << 1;
}

// A device that fails while the loader looks past a line end is not at its end: the load is a
// failure with the device's error number, never a success with a cut-off table.
void TstDataFile::readFailureRightAfterALineEndIsNoEnd() {
    QFETCH(QByteArray, file);
    QFETCH(int, failAt);
    QFETCH(int, count);
    QCOMPARE(file.at(failAt - 1), '\n');
    FailingDevice dev(file, failAt);
    QVERIFY(dev.open(QIODevice::ReadOnly));
    PacketTable t;
    const LoadResult r = loadDataFile(dev, t);
    QVERIFY(!r.ok);
    QCOMPARE(r.errorNumber, EIO);
    QCOMPARE(r.packetCount, count);
    QCOMPARE(t.cell(kSamplesCol, 1), QByteArray("2"));
}

// A FIFO, a socket, a link to a FIFO and a folder under a data file's name are refused, and
// the open returns at once: a FIFO without a writer would otherwise hold the program for good.
// Should an open block, a watchdog opens the FIFO for writing after a while to free it, and
// the test fails.
void TstDataFile::specialFilesAreRefusedWithoutBlocking() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray fifo = QFile::encodeName(dir.filePath("x.dat"));
    QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
    const QString sockName = dir.filePath("y.dat");
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    QVERIFY(sock >= 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const QByteArray sockPath = QFile::encodeName(sockName);
    QVERIFY(size_t(sockPath.size()) < sizeof(addr.sun_path));
    std::memcpy(addr.sun_path, sockPath.constData(), size_t(sockPath.size()));
    QCOMPARE(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    QVERIFY(QFile::link(dir.filePath("x.dat"), dir.filePath("link.DAT")));
    QVERIFY(QDir().mkpath(dir.filePath("folder.dat")));

    FifoWatchdog watchdog(fifo);
    struct Case {
        QString name;
        int err;
    };
    const Case cases[] = {{dir.filePath("x.dat"), ENXIO},
                          {sockName, ENXIO},
                          {dir.filePath("link.DAT"), ENXIO},
                          {dir.filePath("folder.dat"), EISDIR},
                          {dir.filePath("missing.dat"), ENOENT}};
    QList<int> got;
    for (const Case& c : cases) {
        QFile f;
        got << openDataFileForReading(f, c.name);
        if (f.isOpen())
            got.last() = -1;
    }
    const bool blocked = watchdog.stop();
    ::close(sock);
    QVERIFY2(!blocked, "opening a special file blocked");
    QList<int> expected;
    for (const Case& c : cases)
        expected << c.err;
    QCOMPARE(got, expected);
}

void TstDataFile::regularFileOpensForReading() {
    QTemporaryDir dir;
    const QString name = dir.filePath("a.DAT");
    {
        QFile w(name);
        QVERIFY(w.open(QIODevice::WriteOnly));
        w.write(block(2) + "\x1a\r\n");
    }
    QVERIFY(QFile::link(name, dir.filePath("link.dat")));
    for (const QString& n : {name, dir.filePath("link.dat")}) {
        QFile f;
        QCOMPARE(openDataFileForReading(f, n), 0);
        QVERIFY(f.isOpen());
        PacketTable t;
        const LoadResult r = loadDataFile(f, t);
        QVERIFY(r.ok);
        QCOMPARE(r.packetCount, 1);
        QCOMPARE(t.cell(kSamplesCol, 1), QByteArray("2"));
    }
}

void TstDataFile::bytesSurviveUnchanged() {
    PacketTable t;
    putPacket(t, 1, QByteArray("\xe4\xf6\x01 \xff", 5), 1);
    t.setCell(kFirstReadingCol, 1,
              QByteArray("1\x00"
                         "2",
                         3));
    const QByteArray bytes = serializeDataFile(t, 1);
    PacketTable back;
    QCOMPARE(load(bytes, back).packetCount, 1);
    QCOMPARE(back.cell(kFirstReadingCol, 1), QByteArray("1\x00"
                                                        "2",
                                                        3));
    QCOMPARE(serializeDataFile(back, 1), bytes);
}

QTEST_APPLESS_MAIN(TstDataFile)
#include "tst_datafile.moc"
