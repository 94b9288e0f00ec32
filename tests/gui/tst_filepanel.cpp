// The file panel follows its folder: files another program adds, removes or renames show up and
// go by themselves, row by row, the selected file stays selected while it exists, and a folder
// that vanishes or is replaced leaves a list that is right.
#include "FilePanel.h"
#include "files/FileNames.h"

#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

using namespace kelotari;

namespace {

void touch(const QString& name) {
    QFile f(name);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(name));
    f.write("\x1a\r\n");
}

QStringList listed(const FilePanel& panel) {
    QStringList names;
    for (int i = 0; i < panel.fileList()->count(); ++i)
        names << panel.fileList()->item(i)->text();
    return names;
}

QString selectedName(const FilePanel& panel) {
    return QFileInfo(panel.selectedFile()).fileName();
}

} // namespace

class TstFilePanel : public QObject {
    Q_OBJECT
private slots:
    void followsChangesByOthers_data();
    void followsChangesByOthers();
    void oneChangeTouchesOneRow_data();
    void oneChangeTouchesOneRow();
    void vanishedFolderLeavesForTheOneAbove();
    void folderReplacedByALinkListsTheLinkedFolder();
    void namesThatAreNotUtf8AreFollowed();
};

void TstFilePanel::followsChangesByOthers_data() {
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QString>("selected");
    // Steps: "+name" creates, "-name" removes, "old>new" renames; "burst" creates 3000 files
    // and removes 2000 of them again at once.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<QString>("selectedAfter");

    const QStringList three{"a.DAT", "b.DAT", "c.DAT"};
    QTest::newRow("added") << three << "b.DAT" << QStringList{"+ab.dat"}
                           << QStringList{"a.DAT", "ab.dat", "b.DAT", "c.DAT"} << "b.DAT";
    QTest::newRow("removed") << three << "c.DAT" << QStringList{"-a.DAT"}
                             << QStringList{"b.DAT", "c.DAT"} << "c.DAT";
    QTest::newRow("renamed") << three << "a.DAT" << QStringList{"b.DAT>z.DAT"}
                             << QStringList{"a.DAT", "c.DAT", "z.DAT"} << "a.DAT";
    QTest::newRow("selected file removed")
        << three << "b.DAT" << QStringList{"-b.DAT"} << QStringList{"a.DAT", "c.DAT"} << "";
    QTest::newRow("selected file renamed") << three << "b.DAT" << QStringList{"b.DAT>B2.DAT"}
                                           << QStringList{"a.DAT", "B2.DAT", "c.DAT"} << "";
    QTest::newRow("other names are not listed")
        << three << "a.DAT" << QStringList{"+notes.txt", "+d.Dat"}
        << QStringList{"a.DAT", "b.DAT", "c.DAT", "d.Dat"} << "a.DAT";
    QStringList burst = three;
    for (int i = 0; i < 1000; ++i)
        burst << QStringLiteral("m%1.DAT").arg(i, 4, 10, QLatin1Char('0'));
    burst.sort(Qt::CaseInsensitive);
    QTest::newRow("burst") << three << "c.DAT" << QStringList{"burst"} << burst << "c.DAT";
    QTest::newRow("emptied") << three << "a.DAT" << QStringList{"-a.DAT", "-b.DAT", "-c.DAT"}
                             << QStringList{} << "";
}

void TstFilePanel::followsChangesByOthers() {
    QFETCH(QStringList, before);
    QFETCH(QString, selected);
    QFETCH(QStringList, steps);
    QFETCH(QStringList, after);
    QFETCH(QString, selectedAfter);

    QTemporaryDir dir;
    for (const QString& n : before)
        touch(dir.filePath(n));
    FilePanel panel;
    panel.setFolder(dir.path());
    QTRY_COMPARE(listed(panel), before);
    QVERIFY(panel.selectFile(dir.filePath(selected)));

    for (const QString& s : steps) {
        if (s == QLatin1String("burst")) {
            for (int i = 0; i < 3000; ++i)
                touch(dir.filePath(QStringLiteral("m%1.DAT").arg(i, 4, 10, QLatin1Char('0'))));
            for (int i = 1000; i < 3000; ++i)
                QVERIFY(QFile::remove(
                    dir.filePath(QStringLiteral("m%1.DAT").arg(i, 4, 10, QLatin1Char('0')))));
        } else if (s.startsWith('+')) {
            touch(dir.filePath(s.mid(1)));
        } else if (s.startsWith('-')) {
            QVERIFY(QFile::remove(dir.filePath(s.mid(1))));
        } else {
            const QStringList names = s.split('>');
            QVERIFY(QFile::rename(dir.filePath(names[0]), dir.filePath(names[1])));
        }
    }
    QTRY_COMPARE_WITH_TIMEOUT(listed(panel), after, 10000);
    // Past the last look of a burst, nothing changes any more.
    QTest::qWait(3 * FilePanel::kSettleMs);
    QCOMPARE(listed(panel), after);
    QCOMPARE(selectedName(panel), selectedAfter);
}

void TstFilePanel::oneChangeTouchesOneRow_data() {
    QTest::addColumn<bool>("add");
    QTest::newRow("a file added") << true;
    QTest::newRow("a file removed") << false;
}

void TstFilePanel::oneChangeTouchesOneRow() {
    QFETCH(bool, add);
    QTemporaryDir dir;
    for (int i = 0; i < 500; ++i)
        touch(dir.filePath(QStringLiteral("%1.DAT").arg(i, 4, 10, QLatin1Char('0'))));
    FilePanel panel;
    panel.setFolder(dir.path());
    QTRY_COMPARE(panel.fileList()->count(), 500);
    QAbstractItemModel* model = panel.fileList()->model();
    QSignalSpy resets(model, &QAbstractItemModel::modelReset);
    QSignalSpy inserted(model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(model, &QAbstractItemModel::rowsRemoved);
    if (add)
        touch(dir.filePath("0250a.DAT"));
    else
        QVERIFY(QFile::remove(dir.filePath("0250.DAT")));
    QTRY_COMPARE(panel.fileList()->count(), add ? 501 : 499);
    QTest::qWait(3 * FilePanel::kSettleMs);
    QCOMPARE(resets.count(), 0);
    QCOMPARE(inserted.count(), add ? 1 : 0);
    QCOMPARE(removed.count(), add ? 0 : 1);
    QCOMPARE(panel.fileList()->item(251)->text(), add ? QString("0250a.DAT") : QString("0252.DAT"));
}

void TstFilePanel::vanishedFolderLeavesForTheOneAbove() {
    QTemporaryDir dir;
    touch(dir.filePath("top.DAT"));
    QVERIFY(QDir(dir.path()).mkpath("site/inner"));
    touch(dir.filePath("site/inner/x.DAT"));
    FilePanel panel;
    panel.setFolder(dir.filePath("site/inner"));
    QTRY_COMPARE(listed(panel), QStringList{"x.DAT"});
    QVERIFY(QDir(dir.filePath("site")).removeRecursively());
    QTRY_COMPARE(panel.folder(), QDir::cleanPath(dir.path()));
    QTRY_COMPARE(listed(panel), QStringList{"top.DAT"});
}

void TstFilePanel::folderReplacedByALinkListsTheLinkedFolder() {
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath("data"));
    QVERIFY(QDir(dir.path()).mkpath("elsewhere"));
    touch(dir.filePath("data/old.DAT"));
    touch(dir.filePath("elsewhere/new.DAT"));
    FilePanel panel;
    panel.setFolder(dir.filePath("data"));
    QTRY_COMPARE(listed(panel), QStringList{"old.DAT"});
    QVERIFY(QFile::rename(dir.filePath("data"), dir.filePath("data.old")));
    QVERIFY(QFile::link(dir.filePath("elsewhere"), dir.filePath("data")));
    QTRY_COMPARE(listed(panel), QStringList{"new.DAT"});
    // And it goes on following the folder the name now stands for.
    touch(dir.filePath("elsewhere/newer.DAT"));
    touch(dir.filePath("data.old/stale.DAT"));
    QTRY_COMPARE(listed(panel), (QStringList{"new.DAT", "newer.DAT"}));
    QTest::qWait(3 * FilePanel::kSettleMs);
    QCOMPARE(listed(panel), (QStringList{"new.DAT", "newer.DAT"}));
}

void TstFilePanel::namesThatAreNotUtf8AreFollowed() {
    QTemporaryDir dir;
    FilePanel panel;
    panel.setFolder(dir.path());
    const QByteArray raw = QFile::encodeName(dir.path()) + "/lat1-\xE4.DAT";
    const int fd = ::open(raw.constData(), O_CREAT | O_WRONLY, 0644);
    QVERIFY(fd >= 0);
    ::close(fd);
    QTRY_COMPARE(listed(panel), QStringList{QString::fromUtf8("lat1-\xEF\xBF\xBD"
                                                              "E4.DAT")});
    QVERIFY(panel.selectFile(decodeFileName(raw)));
    QCOMPARE(encodeFileName(panel.selectedFile()), raw);
    QVERIFY(::unlink(raw.constData()) == 0);
    QTRY_COMPARE(listed(panel), QStringList{});
}

QTEST_MAIN(TstFilePanel)
#include "tst_filepanel.moc"
