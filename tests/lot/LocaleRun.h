#pragma once
// A test run under a locale named in the environment first checks that the locale took effect,
// so a run meant for a decimal comma cannot pass quietly with a point.
#include <QLocale>
#include <QtTest>

inline void checkLocaleOfTheRun() {
    const QString expected = qEnvironmentVariable("KELOTARI_EXPECT_DECIMAL_POINT");
    if (!expected.isEmpty())
        QCOMPARE(QLocale::system().decimalPoint(), expected);
}
