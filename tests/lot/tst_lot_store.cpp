#include "LocaleRun.h"
#include "ini/IniProfile.h"
#include "lot/LotSpecStore.h"
#include "lot/LotTexts.h"
#include "text/Codec.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace kelotari;

namespace {

const QString kReadyMade = LotTexts().ShippingDryName;

// A settings file as Quit leaves it, with other sections the list must not disturb.
const QByteArray kSettings = "[DB]\r\nPath=/home/user/\r\nDefName=NoName.dat\r\n[Lang]\r\n"
                             "Set=English\r\n[App]\r\nPort=COM1\r\nPrinter=None\r\n";

LotSpec make(const QString& name, std::optional<int> target, std::optional<int> deviation,
             std::optional<int> lower, std::optional<int> upper, std::optional<int> share) {
    LotSpec s;
    s.name = name;
    s.target = target;
    s.deviation = deviation;
    s.lower = lower;
    s.upper = upper;
    s.share = share;
    return s;
}

QString names(const LotSpecList& list) {
    QStringList n;
    for (const LotSpec& s : list.specs)
        n << s.name;
    return n.join(QLatin1Char('|'));
}

QByteArray readAll(const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace

class TstLotStore : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        checkLocaleOfTheRun();
        QVERIFY(m_dir.isValid());
    }
    void roundTripThroughTheFile_data();
    void roundTripThroughTheFile();
    void codePageFileStaysInItsCodePage();
    void twoHundredSpecifications();
    void shorterListEmptiesTheKeysOfTheLongerOne();
    void damagedSectionIsReadAsFarAsItIsSound_data();
    void damagedSectionIsReadAsFarAsItIsSound();
    void cutOrScribbledSectionNeverGivesAnUnsoundSpecification();

private:
    QTemporaryDir m_dir;
};

void TstLotStore::roundTripThroughTheFile_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("ready-made") << kReadyMade;
    QTest::newRow("separators") << "a=b; c=d;;";
    QTest::newRow("section-like") << "[App]";
    QTest::newRow("double quotes") << "\"quoted\"";
    QTest::newRow("single quotes") << "'quoted'";
    QTest::newRow("markup") << "<b>bold</b> & <i>x</i>";
    QTest::newRow("looks escaped") << "a\\3Bb\\\\ \\";
    QTest::newRow("placeholders") << "%1 %2 100 %";
    QTest::newRow("blanks at the ends") << "  x\t ";
    QTest::newRow("line breaks") << "one\ntwo\rthree\r\n";
    QTest::newRow("code page letters") << "M\u00E4nty \u20AC \u00B1";
    QTest::newRow("beyond the code page") << "\u0151 \u65E5\u672C \U0001F332";
    QTest::newRow("500 separators") << QString(500, QLatin1Char(';'));
    QTest::newRow("500 letters") << QString(500, QChar(0x00E4));
    QString trees; // 500 characters of the name are 250 characters outside the 16-bit range
    for (int i = 0; i < 250; ++i)
        trees += QStringLiteral("\U0001F332");
    QTest::newRow("250 trees") << trees;
}

void TstLotStore::roundTripThroughTheFile() {
    QFETCH(QString, name);
    LotSpecList list;
    list.specs << make(name, 125, 15, 100, 140, 975) << make("second", 0, 1000, 0, 1000, 0)
               << make("third", std::nullopt, std::nullopt, std::nullopt, 240, 970)
               << make("fourth", 120, std::nullopt, std::nullopt, std::nullopt, std::nullopt);
    list.current = 0;

    const QString file = m_dir.filePath(QStringLiteral("roundtrip.INI"));
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(kSettings);
    f.close();
    IniProfile ini = IniProfile::forRewrite(file);
    writeLotSpecs(ini, list);
    ini.writeTo(file);

    const QByteArray written = readAll(file);
    QVERIFY2(written.startsWith(kSettings), written.constData()); // other lines untouched
    const LotSpecsRead back = readLotSpecs(IniProfile::fromFile(file), kReadyMade);
    QVERIFY(back.present);
    QCOMPARE(back.dropped, 0);
    QCOMPARE(back.list.specs.size(), list.specs.size());
    QCOMPARE(back.list.specs[0].name, name);
    QVERIFY(back.list == list);

    // Written again unchanged, the file stays byte for byte as it was.
    IniProfile again = IniProfile::forRewrite(file);
    writeLotSpecs(again, back.list);
    QCOMPARE(again.bytes(), written);
}

void TstLotStore::codePageFileStaysInItsCodePage() {
    const QByteArray cp1252 = "[DB]\r\nPath=C:\\Mittaukset\\M\xE4nty\\\r\n";
    IniProfile ini(cp1252);
    QVERIFY(!ini.isUtf8());
    LotSpecList list;
    list.specs << make(QStringLiteral("Kuiva \u00E4\u00F6 \u20AC"), std::nullopt, std::nullopt,
                       std::nullopt, 200, 900);
    list.current = 0;
    writeLotSpecs(ini, list);
    QVERIFY(!ini.isUtf8());
    QVERIFY(ini.bytes().startsWith(cp1252));
    QVERIFY(ini.bytes().contains("name=Kuiva \xE4\xF6 \x80;upper=20;share=90"));
    QVERIFY(readLotSpecs(ini, kReadyMade).list == list);
}

void TstLotStore::twoHundredSpecifications() {
    LotSpecList list;
    for (int i = 0; i < kMaxLotSpecs + 1; ++i)
        list.specs << make(QStringLiteral("Spec %1; lot=%2").arg(i).arg(i * 7),
                           i % 3 ? std::optional<int>(i % 1001) : std::nullopt,
                           i % 3 ? std::optional<int>(i % 11) : std::nullopt, (i * 3) % 500,
                           500 + i % 501, i % 1001);
    list.current = 137;
    IniProfile ini(kSettings);
    writeLotSpecs(ini, list);
    const LotSpecsRead back = readLotSpecs(ini, kReadyMade);
    QCOMPARE(back.dropped, 0);
    QCOMPARE(back.list.specs.size(), kMaxLotSpecs); // the one beyond is not kept
    QCOMPARE(back.list.current, 137);
    QVERIFY(back.list.specs == list.specs.mid(0, kMaxLotSpecs));
    QVERIFY(!ini.contains(QStringLiteral("LotCheck"), QStringLiteral("Spec201")));

    // Current beyond what is kept: none.
    list.current = kMaxLotSpecs;
    writeLotSpecs(ini, list);
    QCOMPARE(readLotSpecs(ini, kReadyMade).list.current, -1);
}

void TstLotStore::shorterListEmptiesTheKeysOfTheLongerOne() {
    LotSpecList list;
    for (int i = 1; i <= 5; ++i)
        list.specs << make(QStringLiteral("s%1").arg(i), std::nullopt, std::nullopt, std::nullopt,
                           200 + i, 900);
    list.current = 4;
    IniProfile ini(kSettings);
    writeLotSpecs(ini, list);
    list.specs.resize(2);
    list.current = 1;
    writeLotSpecs(ini, list);
    QCOMPARE(names(readLotSpecs(ini, kReadyMade).list), QStringLiteral("s1|s2"));
    for (int k = 3; k <= 5; ++k)
        QCOMPARE(ini.readString("LotCheck", QStringLiteral("Spec%1").arg(k), "<missing>"),
                 QString());
    // Even with its count lost, the list does not grow back.
    ini.writeString("LotCheck", "Count", "lost");
    const LotSpecsRead damaged = readLotSpecs(ini, kReadyMade);
    QCOMPARE(names(damaged.list), QStringLiteral("s1|s2"));
    QCOMPARE(damaged.list.current, 1);

    // An empty list is a list: the ready-made one does not come back.
    writeLotSpecs(ini, LotSpecList{});
    const LotSpecsRead empty = readLotSpecs(ini, kReadyMade);
    QVERIFY(empty.present);
    QVERIFY(empty.list.specs.isEmpty());
    QCOMPARE(empty.list.current, -1);
}

void TstLotStore::damagedSectionIsReadAsFarAsItIsSound_data() {
    QTest::addColumn<QByteArray>("section"); // lines after "[LotCheck]"
    QTest::addColumn<bool>("present");
    QTest::addColumn<QString>("names");
    QTest::addColumn<int>("current");
    QTest::addColumn<int>("dropped");

    const QByteArray a = "Spec1=name=a;upper=24;share=97\n";
    const QByteArray b = "Spec2=name=b;lower=10;upper=14;share=90\n";
    QTest::newRow("no section") << QByteArray() << false << kReadyMade << -1 << 0;
    QTest::newRow("sound") << "Count=2\nCurrent=2\n" + a + b << true << "a|b" << 1 << 0;
    QTest::newRow("empty list") << QByteArray("Count=0\nCurrent=1\n") + a << true << "" << -1 << 0;
    QTest::newRow("names and labels in another case")
        << QByteArray("count=1\ncurrent=1\nSPEC1=Name=a;UPPER=24;Share=97\n") << true << "a" << 0
        << 0;
    QTest::newRow("quoted value") << QByteArray("Count=1\nSpec1=\"name=a;upper=24;share=97\"\n")
                                  << true << "a" << -1 << 0;
    QTest::newRow("a key missing") << "Count=3\nCurrent=3\n" + a + "Spec3=name=c;upper=5;share=1\n"
                                   << true << "a|c" << 1 << 1;
    QTest::newRow("count not a number: up to the first gap")
        << "Count=two\nCurrent=2\n" + a + b + "Spec4=name=d;upper=5;share=1\n"
        << true << "a|b" << 1 << 0;
    QTest::newRow("count negative") << "Count=-1\n" + a << true << "a" << -1 << 0;
    QTest::newRow("count beyond int") << "Count=99999999999\n" + a + b << true << "a|b" << -1 << 0;
    QTest::newRow("count beyond the keys")
        << "Count=100000\n" + a + b << true << "a|b" << -1 << kMaxLotSpecs - 2;
    QTest::newRow("without a count") << a + b << true << "a|b" << -1 << 0;
    QTest::newRow("current names a dropped one")
        << "Count=2\nCurrent=1\nSpec1=name=a;upper=2x4;share=97\n" + b << true << "b" << -1 << 1;
    QTest::newRow("current after a dropped one")
        << "Count=2\nCurrent=2\nSpec1=name=a;upper=2x4;share=97\n" + b << true << "b" << 0 << 1;
    QTest::newRow("current beyond the list")
        << "Count=1\nCurrent=5\n" + a << true << "a" << -1 << 0;
    QTest::newRow("current not a number") << "Count=1\nCurrent=x\n" + a << true << "a" << -1 << 0;

    auto one = [&](const char* tag, const QByteArray& spec, bool kept) {
        QTest::newRow(tag) << "Count=2\n" + a + "Spec2=" + spec + "\n"
                           << true << (kept ? QStringLiteral("a|b") : QStringLiteral("a")) << -1
                           << (kept ? 0 : 1);
    };
    one("lower above upper", "name=b;lower=15;upper=14;share=90", false);
    one("limit without share", "name=b;upper=24", false);
    one("share without limit", "name=b;share=90", false);
    one("deviation without target", "name=b;deviation=1", false);
    one("beyond 100", "name=b;upper=100.1;share=90", false);
    one("two decimals", "name=b;upper=24.55;share=90", false);
    one("no name", "upper=24;share=97", false);
    one("empty name", "name=;upper=24;share=97", false);
    one("blank name", "name=\\20;upper=24;share=97", false);
    one("label twice", "name=b;upper=24;upper=25;share=97", false);
    one("field without label", "name=b;upper=24;share=97;junk", false);
    one("empty value", "", false);
    one("a later version's field", "name=b;colour=red;upper=24;share=97", true);
    one("decimal comma", "name=b;upper=24,5;share=97", true);
    one("empty fields", ";name=b;;upper=24;share=97;", true);
    one("name cut by the reader",
        "name=b" + QByteArray(IniProfile::kMaxValueLength, 'x') + ";upper=24;share=97", false);
    // Not UTF-8: the profile reads the whole file in the code page.
    QTest::newRow("bytes that are no UTF-8")
        << "Count=2\n" + a + "Spec2=name=b\xFF\xFE\x01;upper=24;share=97\n"
        << true << QStringLiteral("a|b\u00FF\u00FE\u0001") << -1 << 0;
}

void TstLotStore::damagedSectionIsReadAsFarAsItIsSound() {
    QFETCH(QByteArray, section);
    QFETCH(bool, present);
    QFETCH(QString, names);
    QFETCH(int, current);
    QFETCH(int, dropped);
    QByteArray file = kSettings;
    if (!section.isEmpty())
        file += "[LotCheck]\n" + section + "[After]\nKey=1\n";
    const LotSpecsRead r = readLotSpecs(IniProfile(file), kReadyMade);
    QCOMPARE(r.present, present);
    QCOMPARE(::names(r.list), names);
    QCOMPARE(r.list.current, current);
    QCOMPARE(r.dropped, dropped);
    for (const LotSpec& s : r.list.specs)
        QVERIFY(!firstFault(s));
}

// A settings file cut short, or with one byte scribbled over, at every position: the reader
// never crashes, and every specification it gives is a sound one.
void TstLotStore::cutOrScribbledSectionNeverGivesAnUnsoundSpecification() {
    LotSpecList list;
    list.specs << make("Kiln; \"12\" \\ [x]", 120, 15, 100, 140, 900)
               << make(kReadyMade, std::nullopt, std::nullopt, std::nullopt, 240, 970);
    list.current = 1;
    IniProfile ini(kSettings);
    writeLotSpecs(ini, list);
    const QByteArray sound = ini.bytes();
    int readings = 0;
    auto check = [&](const QByteArray& bytes) {
        const LotSpecsRead r = readLotSpecs(IniProfile(bytes), kReadyMade);
        for (const LotSpec& s : r.list.specs)
            QVERIFY2(!firstFault(s), bytes.constData());
        QVERIFY(r.list.current < r.list.specs.size());
        ++readings;
    };
    for (int n = 0; n <= sound.size(); ++n)
        check(sound.left(n));
    for (int i = kSettings.size(); i < sound.size(); ++i)
        for (const char c : {';', '\\', '=', '\n', '\0', '"', '9', '\xFF'}) {
            QByteArray b = sound;
            b[i] = c;
            check(b);
        }
    QVERIFY(readings > sound.size());
}

QTEST_GUILESS_MAIN(TstLotStore)
#include "tst_lot_store.moc"
