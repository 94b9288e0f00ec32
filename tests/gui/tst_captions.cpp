// Captions from the language file fit their controls, on the offscreen platform with the
// system's fonts: each toolbar button and each button and label of the setup dialog keeps at
// least its design size and is wide enough to show its caption whole in the window's font (the
// shipped Finnish file has longer texts than the English defaults); a caption far too long for
// any control (a faulty language file) is cut inside its own control and never covers another.
#include "ScriptedDialogs.h"
#include "main_frm.h"
#include "setup_frm.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>

using namespace kelotari;

namespace {

QByteArray finnish() {
    QFile f(QStringLiteral(KELOTARI_SOURCE_DIR "/lang/Suomi.lng"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The Finnish file with one key's value replaced by a 200-character sentence.
QByteArray withLongCaption(const QByteArray& section, const QByteArray& key) {
    QByteArray sentence;
    while (sentence.size() < 200)
        sentence += "Pitk\xC3\xA4 kuvateksti ";
    sentence.truncate(200);
    return finnish() + "\n[" + section + "]\n" + key + "=" + sentence + "\n";
}

// A window whose language file holds `lang` (none when null).
struct Fixture {
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    std::unique_ptr<TMainFrm> frm;
    TSetupfrm* setup = nullptr;

    explicit Fixture(const QByteArray& lang) {
        if (!lang.isNull()) {
            QFile f(dir.filePath("DefLang.lng"));
            if (f.open(QIODevice::WriteOnly))
                f.write(lang);
        }
        QFile ini(dir.filePath("kelotari.INI"));
        if (ini.open(QIODevice::WriteOnly))
            ini.write("[DB]\nPath=" + QFile::encodeName(dir.path()) + "/\n");
        MainFrmEnv env;
        env.settingsFile = dir.filePath("kelotari.INI");
        env.languageFile = dir.filePath("DefLang.lng");
        env.dialogs = &dialogs;
        frm = std::make_unique<TMainFrm>(env);
        setup = new TSetupfrm(*frm);
        setup->setPortSource([] { return QList<SerialPortEntry>{{"COM1", "/dev/x"}}; });
        frm->show();
    }
};

// The style cuts a caption that is wider than the control leaves it room for.
bool showsWhole(const QWidget* w, const QString& text, int margins) {
    const QFontMetrics fm(w->font());
    return fm.horizontalAdvance(text) + margins <= w->width();
}

// Shown siblings never overlap, and each lies inside its parent.
QString overlaps(const QList<QWidget*>& siblings) {
    QList<QWidget*> shown;
    for (QWidget* w : siblings)
        if (w->isVisibleTo(w->parentWidget()))
            shown << w;
    for (int i = 0; i < shown.size(); ++i) {
        if (!shown[i]->parentWidget()->rect().contains(shown[i]->geometry()))
            return shown[i]->objectName() + " leaves its parent";
        for (int j = i + 1; j < shown.size(); ++j)
            if (shown[i]->geometry().intersects(shown[j]->geometry()))
                return shown[i]->objectName() + " overlaps " + shown[j]->objectName();
    }
    return QString();
}

QList<QWidget*> childrenOf(QWidget* parent) {
    return parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
}

} // namespace

class TstCaptions : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY2(!finnish().isEmpty(), "lang/Suomi.lng is missing"); }
    void toolbarButtonsFitTheirCaptions_data();
    void toolbarButtonsFitTheirCaptions();
    void setupDialogFitsItsCaptions_data();
    void setupDialogFitsItsCaptions();
};

void TstCaptions::toolbarButtonsFitTheirCaptions_data() {
    QTest::addColumn<QByteArray>("lang");
    QTest::addColumn<QString>("longButton"); // the button with a 200-character caption, if any
    QTest::newRow("English defaults") << QByteArray() << QString();
    QTest::newRow("Finnish file") << finnish() << QString();
    QTest::newRow("200 characters on Setup")
        << withLongCaption("Toolbar", "TB_setup") << QStringLiteral("tyo_setup");
    QTest::newRow("200 characters on Save")
        << withLongCaption("Toolbar", "TB_save") << QStringLiteral("SaveAs_btn");
}

void TstCaptions::toolbarButtonsFitTheirCaptions() {
    QFETCH(QByteArray, lang);
    QFETCH(QString, longButton);
    Fixture fx(lang);
    QVERIFY(QTest::qWaitForWindowExposed(fx.frm.get()));
    auto* bar = fx.frm->findChild<QToolBar*>("Tyokalupalkki");
    QVERIFY(bar);
    QVERIFY(bar->height() >= 43);
    QCOMPARE(bar->width(), fx.frm->width());
    QList<QWidget*> buttons;
    for (const char* name : {"tyo_setup", "Transfer_btn", "Clear_btn", "SaveAs_btn", "tyo_quit"}) {
        auto* b = fx.frm->findChild<QToolButton*>(name);
        QVERIFY(b);
        buttons << b;
        QVERIFY2(b->width() >= 57 && b->height() >= 39, name);
        QVERIFY2(b->height() <= bar->height(), name);
        if (longButton != QLatin1String(name))
            QVERIFY2(showsWhole(b, b->text(), 4),
                     qPrintable(QStringLiteral("%1: \"%2\" needs %3 px, the button has %4")
                                    .arg(name, b->text())
                                    .arg(QFontMetrics(b->font()).horizontalAdvance(b->text()))
                                    .arg(b->width())));
    }
    // The window keeps its size, and every button stays on the toolbar, none over another.
    QCOMPARE(fx.frm->size(), QSize(640, 480));
    for (QWidget* b : buttons)
        QVERIFY2(b->isVisible(), qPrintable(b->objectName()));
    const QString clash = overlaps(buttons);
    QVERIFY2(clash.isEmpty(), qPrintable(clash));
}

void TstCaptions::setupDialogFitsItsCaptions_data() {
    QTest::addColumn<QByteArray>("lang");
    QTest::addColumn<QString>("longControl");
    QTest::newRow("English defaults") << QByteArray() << QString();
    QTest::newRow("Finnish file") << finnish() << QString();
    const QList<std::pair<const char*, const char*>> keys{
        {"DL1_inf", "info_btn"}, {"Probe", "probe_info"},      {"DL1_cp", "com_lbl"},
        {"DL1_pr", "prn_lbl"},   {"DL1_file", "datapath_lbl"}, {"handler", "certedit_lbl"},
        {"Save", "cert_save"},   {"makecert", "makecert_btn"}, {"Lang_en", "certlang_item1"}};
    for (const auto& [key, control] : keys)
        QTest::addRow("200 characters in %s", key)
            << withLongCaption("Setup", key) << QString::fromLatin1(control);
}

void TstCaptions::setupDialogFitsItsCaptions() {
    QFETCH(QByteArray, lang);
    QFETCH(QString, longControl);
    Fixture fx(lang);
    bool ran = false;
    TSetupfrm& d = *fx.setup;
    const auto check = [&] {
        // Design sizes: the controls never get smaller than the dialog's design.
        const QList<std::tuple<const char*, int, int>> buttons{
            {"info_btn", 105, 25}, {"probe_info", 105, 25},   {"next_btn", 105, 25},
            {"ok_btn", 105, 33},   {"makecert_btn", 209, 23}, {"cert_save", 193, 25},
            {"certLoad", 193, 25}, {"cert_print", 193, 25}};
        for (const auto& [name, w, h] : buttons) {
            auto* b = d.findChild<QPushButton*>(name);
            QVERIFY2(b, name);
            QVERIFY2(b->width() >= w && b->height() == h, name);
            if (longControl != QLatin1String(name))
                QVERIFY2(showsWhole(b, b->text(), 8),
                         qPrintable(QStringLiteral("%1: \"%2\" in %3 px")
                                        .arg(name, b->text())
                                        .arg(b->width())));
        }
        for (const char* name : {"com_lbl", "prn_lbl", "datapath_lbl", "certedit_lbl"}) {
            auto* l = d.findChild<QLabel*>(name);
            QVERIFY2(l, name);
            if (longControl != QLatin1String(name))
                QVERIFY2(showsWhole(l, l->text(), 0),
                         qPrintable(QStringLiteral("%1: \"%2\" in %3 px")
                                        .arg(name, l->text())
                                        .arg(l->width())));
        }
        for (auto* r : d.findChildren<QRadioButton*>())
            if (longControl != r->objectName())
                QVERIFY2(r->sizeHint().width() <= r->width(), qPrintable(r->text()));
        // The labels above edit fields stop where the next control begins.
        for (const char* name : {"datapath_lbl", "certedit_lbl"}) {
            auto* l = d.findChild<QLabel*>(name);
            QVERIFY2(l->parentWidget()->rect().contains(l->geometry()), name);
        }
        for (auto* g : d.findChildren<QGroupBox*>())
            QVERIFY2(showsWhole(g, g->title(), 16), qPrintable(g->title()));
        // No control over another, in the dialog and in each of its panels.
        for (QWidget* parent :
             {static_cast<QWidget*>(&d), d.findChild<QWidget*>("Cert_pnl"),
              d.findChild<QWidget*>("GroupBox1"), d.findChild<QWidget*>("certlang_pnl")}) {
            const QString clash = overlaps(childrenOf(parent));
            QVERIFY2(clash.isEmpty(), qPrintable(clash));
        }
    };
    // The dialog is closed whatever the checks found, so a failed one cannot leave it waiting.
    QTimer::singleShot(0, fx.setup, [&] {
        ran = true;
        check();
        d.reject();
    });
    fx.frm->findChild<QToolButton*>(QStringLiteral("tyo_setup"))->click();
    QVERIFY(ran);
}

QTEST_MAIN(TstCaptions)
#include "tst_captions.moc"
