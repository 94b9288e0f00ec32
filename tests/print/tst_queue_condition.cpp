// What the status bar says of a queue that took a document, from the scheduler's printer-state
// and printer-state-reasons.
#include "print/QueueCondition.h"

#include <QtTest>

using namespace kelotari;

Q_DECLARE_METATYPE(kelotari::QueueCondition)

class TstQueueCondition : public QObject {
    Q_OBJECT
private slots:
    void conditionOfTheQueue_data();
    void conditionOfTheQueue();
};

void TstQueueCondition::conditionOfTheQueue_data() {
    QTest::addColumn<int>("state"); // 3 idle, 4 processing, 5 stopped; 0: not reported
    QTest::addColumn<QStringList>("reasons");
    QTest::addColumn<QueueCondition>("condition");
    const struct {
        const char* tag;
        int state;
        QStringList reasons;
        QueueCondition condition;
    } rows[] = {
        {"idle, no reasons", 3, {"none"}, QueueCondition::Ready},
        {"processing", 4, {"none"}, QueueCondition::Ready},
        {"paused by cupsdisable", 5, {"paused"}, QueueCondition::Stopped},
        {"stopped after a printer error", 5, {"offline-report"}, QueueCondition::Stopped},
        {"printer off, reported", 4, {"offline-report"}, QueueCondition::NotAnswering},
        {"printer offline as an error", 3, {"offline-error"}, QueueCondition::NotAnswering},
        {"backend still connecting", 4, {"connecting-to-device"}, QueueCondition::NotAnswering},
        {"device timed out",
         4,
         {"cups-waiting-for-job-completed", "timed-out-warning"},
         QueueCondition::NotAnswering},
        {"printer shut down", 3, {"shutdown"}, QueueCondition::NotAnswering},
        {"a reason that is no failure", 4, {"media-low-warning"}, QueueCondition::Ready},
        {"a keyword that only begins like one", 3, {"offline-soon"}, QueueCondition::Ready},
        {"nothing reported", 0, {}, QueueCondition::Unknown},
    };
    for (const auto& r : rows)
        QTest::newRow(r.tag) << r.state << r.reasons << r.condition;
}

void TstQueueCondition::conditionOfTheQueue() {
    QFETCH(int, state);
    QFETCH(QStringList, reasons);
    QFETCH(QueueCondition, condition);
    QCOMPARE(queueConditionOf(state, reasons), condition);
}

QTEST_APPLESS_MAIN(TstQueueCondition)
#include "tst_queue_condition.moc"
