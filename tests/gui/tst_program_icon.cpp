// The window icon is drawn from the installed SVG picture at the usual sizes.
#include "ProgramIcon.h"

#include <QGuiApplication>
#include <QImage>
#include <QtTest>

using namespace kelotari;

class TstProgramIcon : public QObject {
    Q_OBJECT
private slots:
    void iconIsThePicture();
};

void TstProgramIcon::iconIsThePicture() {
    const QIcon icon = programIcon();
    QVERIFY(!icon.isNull());
    const QList<QSize> sizes = icon.availableSizes();
    for (const int s : {16, 32, 48, 256})
        QVERIFY2(sizes.contains(QSize(s, s)), qPrintable(QString::number(s)));

    // The picture itself: a rounded green square with the log end in it, nothing outside it.
    const QImage img =
        icon.pixmap(QSize(128, 128)).toImage().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(img.size(), QSize(128, 128));
    QCOMPARE(qAlpha(img.pixel(0, 0)), 0); // outside the rounded corner
    QCOMPARE(qAlpha(img.pixel(127, 127)), 0);
    QCOMPARE(QColor(img.pixel(120, 64)), QColor(0x2f, 0x5d, 0x3a)); // the green ground
    QCOMPARE(QColor(img.pixel(56, 88)), QColor(0xe9, 0xc1, 0x84));  // the wood between rings
}

QTEST_MAIN(TstProgramIcon)
#include "tst_program_icon.moc"
