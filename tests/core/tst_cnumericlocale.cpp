#include "CLocaleSwitch.h"
#include "text/CNumericLocale.h"

#include <QThread>
#include <QtTest>

#include <cstdlib>

using namespace kelotari;

class TstCNumericLocale : public QObject {
    Q_OBJECT
private slots:
    void pointInsideTheScopeOnly_data();
    void pointInsideTheScopeOnly();
};

void TstCNumericLocale::pointInsideTheScopeOnly_data() {
    QTest::addColumn<QByteArray>("locale");
    QTest::addColumn<QByteArray>("regional"); // 7.25 as printf writes it there
    QTest::newRow("Finnish") << QByteArray("fi_FI.UTF-8") << QByteArray("7,25");
    QTest::newRow("German") << QByteArray("de_DE.UTF-8") << QByteArray("7,25");
    QTest::newRow("Turkish") << QByteArray("tr_TR.UTF-8") << QByteArray("7,25");
    QTest::newRow("C") << QByteArray("C") << QByteArray("7.25");
}

void TstCNumericLocale::pointInsideTheScopeOnly() {
    QFETCH(QByteArray, locale);
    QFETCH(QByteArray, regional);
    const CLocaleSwitch switched(locale.constData());
    if (!switched.installed())
        QSKIP(qPrintable("locale " + locale + " is not installed (locale-gen)"));
    QCOMPARE(cPrinted(7.25), regional);
    QByteArray otherThread;
    {
        const CNumericLocaleScope outer;
        QVERIFY(outer.active());
        QCOMPARE(cPrinted(7.25), QByteArray("7.25"));
        QCOMPARE(std::strtod("7.25", nullptr), 7.25);
        {
            const CNumericLocaleScope inner; // nested: still the point, and back to the outer's
            QVERIFY(inner.active());
            QCOMPARE(cPrinted(7.25), QByteArray("7.25"));
        }
        QCOMPARE(cPrinted(7.25), QByteArray("7.25"));
        // Another thread meanwhile keeps the process's numbers.
        std::unique_ptr<QThread> t(
            QThread::create([&otherThread] { otherThread = cPrinted(7.25); }));
        t->start();
        QVERIFY(t->wait(30000));
    }
    QCOMPARE(otherThread, regional);
    QCOMPARE(cPrinted(7.25), regional);
}

QTEST_GUILESS_MAIN(TstCNumericLocale)
#include "tst_cnumericlocale.moc"
