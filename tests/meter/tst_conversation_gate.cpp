// One conversation at a time: a second is refused, what was asked for meanwhile waits for the
// end, and the end comes however the conversation finished.
#include "meter/ConversationGate.h"

#include <QtTest>

#include <memory>
#include <stdexcept>

using namespace kelotari;

class TstConversationGate : public QObject {
    Q_OBJECT
private slots:
    void secondConversationIsRefused();
    void deferredRunsOnceAfterTheEnd_data();
    void deferredRunsOnceAfterTheEnd();
    void cancelReachesOnlyTheConversationUnderWay();
    void ownerGoneInsideTheConversation();
};

void TstConversationGate::secondConversationIsRefused() {
    ConversationGate gate;
    int inner = 0;
    bool nested = true;
    QVERIFY(gate.run([&] {
        QVERIFY(gate.busy());
        nested = gate.run([&] { ++inner; });
        QVERIFY(!gate.begin());
    }));
    QVERIFY(!nested);
    QCOMPARE(inner, 0);
    QVERIFY(!gate.busy());
    QVERIFY(gate.run([&] { ++inner; })); // free again afterwards
    QCOMPARE(inner, 1);
}

void TstConversationGate::deferredRunsOnceAfterTheEnd_data() {
    QTest::addColumn<bool>("throws");
    QTest::addColumn<QStringList>("requests"); // deferred during the conversation, in order
    QTest::addColumn<QStringList>("done");     // what was carried out, in order
    QTest::newRow("nothing asked") << false << QStringList{} << QStringList{"end"};
    QTest::newRow("one request") << false << QStringList{"quit"} << QStringList{"end", "quit"};
    QTest::newRow("the last request wins")
        << false << QStringList{"quit", "close"} << QStringList{"end", "close"};
    QTest::newRow("the conversation failed")
        << true << QStringList{"close"} << QStringList{"end", "close"};
}

void TstConversationGate::deferredRunsOnceAfterTheEnd() {
    QFETCH(bool, throws);
    QFETCH(QStringList, requests);
    QFETCH(QStringList, done);
    ConversationGate gate;
    QStringList log;
    auto body = [&] {
        for (const QString& r : requests)
            gate.deferUntilEnd([&log, r, &gate] {
                QVERIFY(!gate.busy()); // carried out once the gate is free
                log << r;
            });
        QVERIFY(log.isEmpty()); // nothing is carried out during the conversation
        log << "end";
        if (throws)
            throw std::runtime_error("port gone");
    };
    bool thrown = false;
    try {
        gate.run(body);
    } catch (const std::runtime_error&) {
        thrown = true;
    }
    QCOMPARE(thrown, throws);
    QCOMPARE(log, done);
    QVERIFY(!gate.busy());
    gate.end(); // nothing is carried out twice
    QCOMPARE(log, done);
    // Outside a conversation there is nothing to wait for.
    gate.deferUntilEnd([&] { log << "at once"; });
    QCOMPARE(log.last(), QStringLiteral("at once"));
}

void TstConversationGate::cancelReachesOnlyTheConversationUnderWay() {
    ConversationGate gate;
    int cancelled = 0;
    gate.cancel(); // none under way
    QVERIFY(gate.begin([&] { ++cancelled; }));
    gate.cancel();
    QCOMPARE(cancelled, 1);
    gate.end();
    gate.cancel();
    QCOMPARE(cancelled, 1);
}

void TstConversationGate::ownerGoneInsideTheConversation() {
    auto gate = std::make_unique<ConversationGate>();
    bool carriedOut = false;
    ConversationGate* raw = gate.get();
    QVERIFY(raw->run([&] {
        raw->deferUntilEnd([&] { carriedOut = true; });
        gate.reset(); // the window went away during the wait
    }));
    QVERIFY(!carriedOut);
}

QTEST_GUILESS_MAIN(TstConversationGate)
#include "tst_conversation_gate.moc"
