// Packet download and memory clear over a scripted link: where every line lands, how each
// kind of end leaves the window's state, and the order of port operations.
#include "ScriptedLink.h"
#include "app/MainCommands.h"
#include "app/MainState.h"
#include "meter/Download.h"
#include "packets/PacketTable.h"

#include <QTest>

using namespace kelotari;

Q_DECLARE_METATYPE(QList<kelotari::Arrival>)
Q_DECLARE_METATYPE(kelotari::DownloadResult::End)

namespace {

const QString kTimeoutMsg = QStringLiteral("Transferring has timed out!\rCommunication problems?");
using End = DownloadResult::End;

// Header fields that say where they belong: L lowest, H highest, packet number, D date,
// T time, W wood, C temperature, A average, S the "s" value.
QList<QByteArray> fieldsOf(int no) {
    const QByteArray n = QByteArray::number(no);
    return {"L" + n, "H" + n, n, "D" + n, "T" + n, "W" + n, "C" + n, "A" + n, "S" + n};
}

QByteArray reading(int no, int k) {
    return QByteArray::number(no) + '.' + QByteArray::number(k);
}

// A packet as the meter sends it: nine fields, the readings, the packet-end marker.
QByteArray packet(int no, int readings, int fieldsSent = 9, bool end = true) {
    QByteArray out;
    for (const QByteArray& f : fieldsOf(no).mid(0, fieldsSent))
        out += f + '\r';
    if (fieldsSent == 9)
        for (int k = 1; k <= readings; ++k)
            out += reading(no, k) + '\r';
    if (end)
        out += '\xAF';
    return out;
}

QByteArray packets(std::initializer_list<int> readingCounts) {
    QByteArray out;
    int no = 0;
    for (int n : readingCounts)
        out += packet(++no, n);
    return out;
}

const QByteArray kDataEndBytes("\x1A");

} // namespace

class TestDownload : public QObject {
    Q_OBJECT
private slots:
    void ends_data();
    void ends();
    void fieldsAndReadingsGoByThePlacementTable();
    void tableIsEmptiedFirst();
    void openFailureShowsTheMessageWithThePortText_data();
    void openFailureShowsTheMessageWithThePortText();
    void clearSendsCAndClosesThePort();
    void clearFailureClosesThePortAndPassesOn();
};

void TestDownload::ends_data() {
    QTest::addColumn<QList<Arrival>>("script");
    QTest::addColumn<End>("end");
    QTest::addColumn<int>("packetCount");
    QTest::addColumn<bool>("unsaved");
    QTest::addColumn<QStringList>("samples"); // column 1 of each row that holds anything
    QTest::addColumn<bool>("restUnread");
    QTest::addColumn<QString>("message"); // "", "timeout" or the failure line

    QTest::newRow("3 packets of 5, 0 and 12 readings")
        << QList<Arrival>{bytes(packets({5, 0, 12}) + kDataEndBytes)} << End::Complete << 3 << true
        << QStringList{"5", "0", "12"} << false << "";
    QTest::newRow("no packets: data-end at once")
        << QList<Arrival>{bytes(kDataEndBytes)} << End::Complete << 0 << true << QStringList{}
        << false << "";
    QTest::newRow("lone CRs between packets and after markers shift nothing")
        << QList<Arrival>{bytes("\r" + packet(1, 5) + "\r\r" + packet(2, 0) + "\r" + packet(3, 12) +
                                "\r" + kDataEndBytes)}
        << End::Complete << 3 << true << QStringList{"5", "0", "12"} << false << "";
    QTest::newRow("CR LF line ends")
        << QList<Arrival>{bytes(packets({5, 0, 12}).replace('\r', "\r\n") + kDataEndBytes)}
        << End::Complete << 3 << true << QStringList{"5", "0", "12"} << false << "";
    QTest::newRow("exactly 30 readings is a whole packet")
        << QList<Arrival>{bytes(packets({30, 2}) + kDataEndBytes)} << End::Complete << 2 << true
        << QStringList{"30", "2"} << false << "";
    QTest::newRow("a 31st reading ends the download, the row uncounted")
        << QList<Arrival>{bytes(packet(1, 4) + packet(2, 30, 9, false) + reading(2, 31) + "\r" +
                                "\xAF" + packet(3, 1) + kDataEndBytes)}
        << End::Complete << 1 << true << QStringList{"4", ""} << true << "";
    {
        QByteArray many;
        for (int no = 1; no <= 55; ++no)
            many += packet(no, 2);
        QTest::newRow("more than 49 packets: ends at the 49th marker")
            << QList<Arrival>{bytes(many + kDataEndBytes)} << End::Complete << 49 << true
            << QStringList(49, "2") << true << "";
    }
    QTest::newRow("time-out mid-data keeps what arrived")
        << QList<Arrival>{bytes(packets({5, 0}) + packet(3, 0, 5, false))} << End::TimedOut << 2
        << true << QStringList{"5", "0", ""} << false << "timeout";
    QTest::newRow("silent meter") << QList<Arrival>{} << End::TimedOut << 0 << false
                                  << QStringList{} << false << "timeout";
    {
        QList<Arrival> lfNoise{bytes(packet(1, 3))};
        for (int i = 0; i < 30; ++i)
            lfNoise << bytes("\n") << ticks(1);
        lfNoise << bytes(packet(2, 3) + kDataEndBytes);
        QTest::newRow("LF noise does not keep a dead line alive")
            << lfNoise << End::TimedOut << 1 << true << QStringList{"3"} << true << "timeout";
    }
    {
        // A slow meter: a byte every 9 ticks is never a time-out.
        QList<Arrival> slow;
        for (char c : packet(1, 2) + kDataEndBytes)
            slow << ticks(9) << bytes(QByteArray(1, c));
        QTest::newRow("slow but steady meter")
            << slow << End::Complete << 1 << true << QStringList{"2"} << false << "";
    }
    QTest::newRow("port failure mid-data keeps what arrived")
        << QList<Arrival>{bytes(packet(1, 5) + packet(2, 3, 9, false)),
                          portFailure("ReadFile function failed (win error code: 5)")}
        << End::Failed << 1 << true << QStringList{"5", ""} << false
        << "ReadFile function failed (win error code: 5)";
    QTest::newRow("failure before any byte leaves nothing unsaved")
        << QList<Arrival>{portFailure("ClearCommError function failed (win error code: 5)")}
        << End::Failed << 0 << false << QStringList{} << false
        << "ClearCommError function failed (win error code: 5)";
    QTest::newRow("cancelled: no message, what arrived can be saved")
        << QList<Arrival>{bytes(packet(1, 5) + packet(2, 1, 4, false)), cancelRequest(),
                          bytes(packet(3, 1))}
        << End::Cancelled << 1 << true << QStringList{"5", ""} << true << "";
}

void TestDownload::ends() {
    QFETCH(QList<Arrival>, script);
    QFETCH(End, end);
    QFETCH(int, packetCount);
    QFETCH(bool, unsaved);
    QFETCH(QStringList, samples);
    QFETCH(bool, restUnread);
    QFETCH(QString, message);

    MainState state;
    state.PacketCount = 7; // from an earlier load; any end replaces it
    ScriptedLink link(script);
    const DownloadResult r = downloadPackets(link, QStringLiteral("COM2"), state.table);
    const QString shown = finishDownload(r, state, kTimeoutMsg);

    QCOMPARE(r.end, end);
    QCOMPARE(state.PacketCount, packetCount);
    QCOMPARE(state.Unsaved, unsaved);
    QStringList gotSamples;
    for (int row = 1; row <= kMaxPackets; ++row) {
        bool any = false;
        for (int col = 0; col < kColumns; ++col)
            any = any || !state.table.cell(col, row).isEmpty();
        if (any)
            gotSamples << QString::fromLatin1(state.table.cell(kSamplesCol, row));
    }
    QCOMPARE(gotSamples, samples);
    QCOMPARE(link.unreadBytes() > 0, restUnread);

    if (message.isEmpty())
        QVERIFY2(shown.isEmpty(), qPrintable(shown));
    else if (message == QLatin1String("timeout"))
        QCOMPARE(shown, kTimeoutMsg);
    else
        QCOMPARE(shown, kTimeoutMsg + '\r' + message);

    // Port first, then purge before the command; closed once, at the end, on every path.
    QCOMPARE(link.calls.mid(0, 4), (QStringList{"port COM2", "open", "purge", "send D"}));
    QCOMPARE(link.calls.last(), QStringLiteral("close"));
    QCOMPARE(link.calls.count(QStringLiteral("close")), 1);
    QVERIFY(!link.isOpen);
}

void TestDownload::fieldsAndReadingsGoByThePlacementTable() {
    PacketTable table;
    ScriptedLink link({bytes(packets({3, 30}) + kDataEndBytes)});
    QCOMPARE(downloadPackets(link, "COM1", table).end, End::Complete);

    const QList<int> columnOfField{6, 7, 0, 2, 3, 4, 5, 8, 9};
    for (int row = 1; row <= 2; ++row) {
        for (int f = 0; f < 9; ++f)
            QCOMPARE(table.cell(columnOfField[f], row), fieldsOf(row)[f]);
        QVERIFY(table.cell(kCommentCol, row).isEmpty());
    }
    for (int k = 1; k <= 3; ++k)
        QCOMPARE(table.cell(10 + k, 1), reading(1, k));
    QVERIFY(table.cell(14, 1).isEmpty());
    for (int k = 1; k <= 30; ++k)
        QCOMPARE(table.cell(10 + k, 2), reading(2, k));
    QCOMPARE(table.cell(kSamplesCol, 1), QByteArray("3"));
    QCOMPARE(table.cell(kSamplesCol, 2), QByteArray("30"));
    QVERIFY(table.cell(0, 3).isEmpty());
}

void TestDownload::tableIsEmptiedFirst() {
    MainState state;
    for (int row = 1; row <= 5; ++row)
        for (int col = 0; col < kColumns; ++col)
            state.table.setCell(col, row, "old");
    state.PacketCount = 5;
    ScriptedLink link({bytes(packet(1, 1) + kDataEndBytes)});
    finishDownload(downloadPackets(link, "COM1", state.table), state, kTimeoutMsg);
    QCOMPARE(state.PacketCount, 1);
    QCOMPARE(state.table.cell(kCommentCol, 1), QByteArray()); // never written by a download
    for (int row = 2; row <= 5; ++row)
        for (int col = 0; col < kColumns; ++col)
            QVERIFY(state.table.cell(col, row).isEmpty());
}

void TestDownload::openFailureShowsTheMessageWithThePortText_data() {
    QTest::addColumn<QString>("advice");
    QTest::newRow("no such device") << QString();
    QTest::newRow("no permission") << QStringLiteral("No permission to use /dev/ttyS0: ...");
}

void TestDownload::openFailureShowsTheMessageWithThePortText() {
    QFETCH(QString, advice);
    MainState state;
    state.table.setCell(0, 1, "1");
    state.PacketCount = 1;
    ScriptedLink link;
    link.openFailure = QStringLiteral("Unable to open com port (win error code: 2)");
    link.openAdvice = advice;

    const DownloadResult r = downloadPackets(link, "COM1", state.table);
    const QString shown = finishDownload(r, state, kTimeoutMsg);

    QCOMPARE(r.end, End::Failed);
    QString expected =
        kTimeoutMsg + QStringLiteral("\rUnable to open com port (win error code: 2)");
    if (!advice.isEmpty())
        expected += '\r' + advice;
    QCOMPARE(shown, expected);
    QCOMPARE(state.PacketCount, 0);
    QVERIFY(!state.Unsaved);
    QVERIFY(state.table.cell(0, 1).isEmpty());
    QVERIFY(!link.calls.contains(QStringLiteral("send D")));
}

void TestDownload::clearSendsCAndClosesThePort() {
    ScriptedLink link;
    clearMeterMemory(link, QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(link.calls, (QStringList{"port /dev/ttyUSB0", "open", "purge", "send C", "close"}));
}

void TestDownload::clearFailureClosesThePortAndPassesOn() {
    ScriptedLink link;
    link.openFailure = QStringLiteral("Unable to open com port (win error code: 2)");
    QVERIFY_THROWS_EXCEPTION(LinkFailure, clearMeterMemory(link, QStringLiteral("COM1")));
    QCOMPARE(link.calls.last(), QStringLiteral("close"));
    QVERIFY(!link.calls.contains(QStringLiteral("send C")));
}

QTEST_APPLESS_MAIN(TestDownload)
#include "tst_download.moc"
