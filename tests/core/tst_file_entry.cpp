// The one overwrite rule of every save path: which names count as existing (by their bytes,
// links whether or not they lead anywhere), when the question is asked, and removing an entry.
#include "NameKinds.h"
#include "ScriptedDialogs.h"
#include "files/FileEntry.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace kelotari;

class TstFileEntry : public QObject {
    Q_OBJECT
private slots:
    void overwriteQuestionForEachKindOfName_data();
    void overwriteQuestionForEachKindOfName();
    void nameIsTakenByItsBytes();
    void removingTakesTheEntryItself_data();
    void removingTakesTheEntryItself();
};

void TstFileEntry::overwriteQuestionForEachKindOfName_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("yes");
    QTest::addColumn<bool>("exists");
    for (const QString& kind : kNameKinds)
        for (bool yes : {true, false})
            QTest::newRow(
                qPrintable(kind + (yes ? QStringLiteral(", Yes") : QStringLiteral(", No"))))
                << kind << yes << (kind != QLatin1String("missing"));
}

void TstFileEntry::overwriteQuestionForEachKindOfName() {
    QFETCH(QString, kind);
    QFETCH(bool, yes);
    QFETCH(bool, exists);
    QTemporaryDir dir;
    const QString name = makeNameOfKind(dir.path(), kind, QStringLiteral(".DAT"));
    QVERIFY(!name.isEmpty());
    const QStringList before = describeFolder(dir.path());

    QCOMPARE(nameExists(name), exists);
    ScriptedDialogs dialogs;
    dialogs.yesNoAnswers << yes;
    const QString question = QStringLiteral("File already exist!\rWrite anyway ?");
    QCOMPARE(confirmOverwrite(dialogs, name, question), !exists || yes);
    QCOMPARE(dialogs.callsOf(QStringLiteral("ask")).size(), exists ? 1 : 0);
    if (exists) {
        QCOMPARE(dialogs.calls.first().title, QStringLiteral("Confirm"));
        QCOMPARE(dialogs.calls.first().text, question);
    }
    // Asking touches nothing.
    QCOMPARE(describeFolder(dir.path()), before);
}

void TstFileEntry::nameIsTakenByItsBytes() {
    // Only the Latin-1 name exists: neither of the names a lossy conversion would make of it
    // counts, and the Latin-1 name itself does.
    QTemporaryDir dir;
    const QString latin1 = makeNameOfKind(dir.path(), QStringLiteral("not UTF-8"), ".DAT");
    QVERIFY(!latin1.isEmpty());
    QVERIFY(nameExists(latin1));
    QVERIFY(!nameExists(dir.path() + QStringLiteral("/lat1-\uFFFD.DAT")));
    QVERIFY(!nameExists(dir.path() + QStringLiteral("/lat1-?.DAT")));
    QVERIFY(!nameExists(QString()));
}

void TstFileEntry::removingTakesTheEntryItself_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("removed");
    QTest::addColumn<QStringList>("after");
    QTest::newRow("regular") << "regular" << true << QStringList();
    QTest::newRow("link to a file") << "link to a file" << true << QStringList{"target.DAT: old"};
    QTest::newRow("link to nothing") << "link to nothing" << true << QStringList();
    QTest::newRow("not UTF-8") << "not UTF-8" << true << QStringList();
    QTest::newRow("folder") << "folder" << false << QStringList{"name.DAT: folder"};
    QTest::newRow("missing") << "missing" << false << QStringList();
}

void TstFileEntry::removingTakesTheEntryItself() {
    QFETCH(QString, kind);
    QFETCH(bool, removed);
    QFETCH(QStringList, after);
    QTemporaryDir dir;
    const QString name = makeNameOfKind(dir.path(), kind, QStringLiteral(".DAT"));
    QVERIFY(!name.isEmpty());
    QCOMPARE(removeFileEntry(name), removed);
    QCOMPARE(describeFolder(dir.path()), after);
}

QTEST_GUILESS_MAIN(TstFileEntry)
#include "tst_file_entry.moc"
