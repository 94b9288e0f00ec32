// The line reader: lines, lone CRs, markers and the tick-counted time-out.
#include "ScriptedLink.h"
#include "base/Failure.h"
#include "meter/LineReader.h"

#include <QTest>

using namespace kelotari;

Q_DECLARE_METATYPE(QList<kelotari::Arrival>)

namespace {

// Results as short texts: "L:<bytes>", "CR", "PE", "DE", "TO".
QString describe(const ReadResult& r) {
    switch (r.kind) {
    case ReadResult::Kind::Line:
        return QStringLiteral("L:") + QString::fromLatin1(r.line);
    case ReadResult::Kind::LoneCr:
        return QStringLiteral("CR");
    case ReadResult::Kind::PacketEnd:
        return QStringLiteral("PE");
    case ReadResult::Kind::DataEnd:
        return QStringLiteral("DE");
    case ReadResult::Kind::Timeout:
        return QStringLiteral("TO");
    case ReadResult::Kind::Cancelled:
        return QStringLiteral("CANCEL");
    }
    return {};
}

// The same small arrival every tick, n times.
QList<Arrival> everyTick(const QByteArray& b, int n) {
    QList<Arrival> s;
    for (int i = 0; i < n; ++i)
        s << bytes(b) << ticks(1);
    return s;
}

} // namespace

class TestLineReader : public QObject {
    Q_OBJECT
private slots:
    void results_data();
    void results();
    void resultsAreToldApartByKind();
    void lineCapIsAFailureNotUnboundedMemory();
};

void TestLineReader::results_data() {
    QTest::addColumn<QList<Arrival>>("script");
    QTest::addColumn<int>("timeout");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("ticksSpent");

    QTest::newRow("CR LF: the LF is dropped by the next read")
        << QList<Arrival>{bytes("12.3\r\n4\r")} << 10 << QStringList{"L:12.3", "L:4"} << 0;
    QTest::newRow("lone CR") << QList<Arrival>{bytes("\r")} << 10 << QStringList{"CR"} << 0;
    QTest::newRow("LF then CR is still a lone CR")
        << QList<Arrival>{bytes("\n\n\r")} << 10 << QStringList{"CR"} << 0;
    QTest::newRow("packet-end drops the unfinished line") << QList<Arrival>{bytes("12\xAF"
                                                                                  "5\r")}
                                                          << 10 << QStringList{"PE", "L:5"} << 0;
    QTest::newRow("data-end drops the unfinished line")
        << QList<Arrival>{bytes("7.5\x1A")} << 10 << QStringList{"DE"} << 0;
    QTest::newRow("silence: time-out after 10 ticks")
        << QList<Arrival>{} << 10 << QStringList{"TO"} << 10;
    QTest::newRow("silence: time-out after 5 ticks")
        << QList<Arrival>{} << 5 << QStringList{"TO"} << 5;
    QTest::newRow("time-out 0 wins over waiting bytes")
        << QList<Arrival>{bytes("1\r")} << 0 << QStringList{"TO"} << 0;
    QTest::newRow("LF noise every tick does not restart the countdown")
        << everyTick("\n", 20) << 10 << QStringList{"TO"} << 10;
    QTest::newRow("NUL noise every tick does not restart the countdown")
        << everyTick(QByteArray(1, '\0'), 20) << 10 << QStringList{"TO"} << 10;
    QTest::newRow("a digit every tick restarts it: no time-out")
        << (everyTick("9", 15) << bytes("\r")) << 10 << QStringList{"L:" + QString(15, '9')} << 15;
    QTest::newRow("re-armed, then 10 quiet ticks")
        << QList<Arrival>{ticks(9), bytes("1"), ticks(9), bytes("2")} << 10 << QStringList{"TO"}
        << 28;
    QTest::newRow("NUL between digits") << QList<Arrival>{bytes(QByteArray("1\0"
                                                                           "2\r",
                                                                           4))}
                                        << 10 << QStringList{"L:12"} << 0;
    QTest::newRow("0xB0 inside a line is an ordinary byte")
        << QList<Arrival>{bytes("a\xB0"
                                "b\r")}
        << 10
        << QStringList{QString::fromLatin1("L:a\xB0"
                                           "b")}
        << 0;
    QTest::newRow("bytes after a result wait for the next read")
        << QList<Arrival>{bytes("A\rB\r\xAF\x1A")} << 10 << QStringList{"L:A", "L:B", "PE", "DE"}
        << 0;
    QTest::newRow("time-out mid-line: the next read starts a new line")
        << QList<Arrival>{bytes("12"), ticks(10), bytes("3\r")} << 10 << QStringList{"TO", "L:3"}
        << 10;
}

void TestLineReader::results() {
    QFETCH(QList<Arrival>, script);
    QFETCH(int, timeout);
    QFETCH(QStringList, expected);
    QFETCH(int, ticksSpent);

    ScriptedLink link(script);
    QStringList got;
    for (int i = 0; i < expected.size(); ++i)
        got << describe(link.readResult(timeout));
    QCOMPARE(got, expected);
    QCOMPARE(link.ticksSpent, ticksSpent);
}

// Callers decide by kind: a line of 0xB0 alone is a line, a cancel is no time-out.
void TestLineReader::resultsAreToldApartByKind() {
    QVERIFY(!(ReadResult::lineOf("\xB0") == ReadResult::of(ReadResult::Kind::Timeout)));
    QVERIFY(!(ReadResult::of(ReadResult::Kind::Cancelled) ==
              ReadResult::of(ReadResult::Kind::Timeout)));
    int countdown = 0;
    LineReader reader(countdown);
    reader.start(10);
    ReadResult r;
    const QByteArray lone("\xB0\r");
    int pos = 0;
    QVERIFY(reader.feed(lone.constData(), int(lone.size()), &pos, &r));
    QCOMPARE(r.kind, ReadResult::Kind::Line);
    QCOMPARE(r.line, QByteArray("\xB0"));
}

void TestLineReader::lineCapIsAFailureNotUnboundedMemory() {
    int countdown = 0;
    LineReader reader(countdown);
    ReadResult r;

    reader.start(10);
    const QByteArray longest(LineReader::kMaxLine, 'x');
    int pos = 0;
    QVERIFY(!reader.feed(longest.constData(), static_cast<int>(longest.size()), &pos, &r));
    QVERIFY(reader.feed('\r', &r));
    QCOMPARE(r.line.size(), LineReader::kMaxLine);

    reader.start(10);
    pos = 0;
    QVERIFY(!reader.feed(longest.constData(), static_cast<int>(longest.size()), &pos, &r));
    // LF and NUL do not count, and do not end the run.
    QVERIFY(!reader.feed('\n', &r));
    QVERIFY(!reader.feed('\0', &r));
    QVERIFY_THROWS_EXCEPTION(Failure, reader.feed('x', &r));

    // The reader is usable again afterwards.
    reader.start(10);
    QVERIFY(!reader.feed('1', &r));
    QVERIFY(reader.feed('\r', &r));
    QCOMPARE(r.line, QByteArray("1"));
}

QTEST_APPLESS_MAIN(TestLineReader)
#include "tst_linereader.moc"
