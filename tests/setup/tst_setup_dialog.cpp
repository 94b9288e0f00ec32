// The setup dialog on the offscreen platform: opening step, OK and the other ways to close,
// the folder button, the information lines, the texts, the port selector, and the probe
// button's guards against a second conversation (over a pseudo-terminal nobody answers on).
#include "PlainText.h"
#include "Printer.h"
#include "Pty.h"
#include "ScriptedDialogs.h"
#include "TComComboBox.h"
#include "main_frm.h"
#include "setup_frm.h"

#include <QAction>
#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QToolButton>
#include <QtTest>

#include <fcntl.h>
#include <functional>
#include <stdlib.h>
#include <unistd.h>

using namespace kelotari;

namespace {

void writeFile(const QString& name, const QByteArray& bytes) {
    QFile f(name);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QList<SerialPortEntry> entries(const QStringList& names) {
    QList<SerialPortEntry> out;
    for (const QString& n : names)
        out << SerialPortEntry{n, "/dev/x"};
    return out;
}

struct Fixture {
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    std::unique_ptr<TMainFrm> frm;
    TSetupfrm* setup = nullptr; // owned by the main window
    QList<SerialPortEntry> ports = entries({"COM1", "COM3", "ttyUSB0"});

    explicit Fixture(const QByteArray& lang = QByteArray(), int tickMs = 20) {
        if (!lang.isNull())
            writeFile(langFile(), lang);
        writeFile(dir.filePath("kelotari.INI"), "[DB]\nPath=" + QFile::encodeName(dir.path()) +
                                                    "/\n[App]\nPort=COM3\nPrinter=LaserJet 4\n");
        MainFrmEnv env;
        env.settingsFile = dir.filePath("kelotari.INI");
        env.languageFile = langFile();
        env.dialogs = &dialogs;
        env.tickMs = tickMs;
        frm = std::make_unique<TMainFrm>(env);
        setup = new TSetupfrm(*frm);
        setup->setPortSource([this] { return ports; });
        frm->show();
    }
    QString langFile() const { return dir.filePath("DefLang.lng"); }
    template <class T = QWidget> T* w(const char* name) const {
        return setup->findChild<T*>(QLatin1String(name));
    }
    QPushButton* btn(const char* name) const { return w<QPushButton>(name); }
    TComComboBox* combo() const { return w<TComComboBox>("ComBox"); }
    // Opens the dialog as the Setup button does and runs body inside its modal wait; the
    // dialog is closed afterwards in any case, so a failed check cannot leave it waiting.
    int openModal(const std::function<void(TSetupfrm&)>& body) {
        bool ran = false;
        QTimer::singleShot(0, setup, [&] {
            ran = true;
            body(*setup);
            if (setup->isVisible())
                setup->reject();
        });
        frm->findChild<QToolButton*>(QStringLiteral("tyo_setup"))->click();
        [&] { QVERIFY(ran); }();
        return setup->result();
    }
};

} // namespace

class TestSetupDialog : public QObject {
    Q_OBJECT
private slots:
    void layoutFollowsTheControlTable_data();
    void layoutFollowsTheControlTable();
    void openingStepRestoresTheIdleState();
    void portSelection_data();
    void portSelection();
    void selectionStaysAsItWasAcrossOpenings();
    void selectorShowsNamesOnlyAndCannotBeTyped();
    void closing_data();
    void closing();
    void folderChoice_data();
    void folderChoice();
    void informationTwiceShowsItOnce();
    void textsComeFromTheLanguageFileAtEveryOpening();
    void captionsAreShownAsTypedInBothWindows();
    void longestTextsAreAppliedAndStayInTheDialog();
    void probeOnAMissingPortShowsThePortError();
    void probeBlocksASecondConversationAndClosingCancelsIt();
};

void TestSetupDialog::layoutFollowsTheControlTable_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("rect");
    QTest::newRow("datapath_ed") << "datapath_ed" << QRect(16, 24, 361, 24);
    QTest::newRow("datapath_btn") << "datapath_btn" << QRect(392, 24, 25, 25);
    QTest::newRow("com_lbl") << "com_lbl" << QRect(16, 56, 97, 16);
    QTest::newRow("ComBox") << "ComBox" << QRect(16, 72, 97, 24);
    QTest::newRow("prn_lbl") << "prn_lbl" << QRect(128, 56, 129, 16);
    QTest::newRow("printerbox") << "printerbox" << QRect(128, 72, 249, 24);
    QTest::newRow("info_box") << "info_box" << QRect(16, 120, 385, 169);
    QTest::newRow("info_btn") << "info_btn" << QRect(416, 120, 105, 25);
    QTest::newRow("probe_info") << "probe_info" << QRect(416, 152, 105, 25);
    QTest::newRow("next_btn") << "next_btn" << QRect(416, 184, 105, 25);
    QTest::newRow("ok_btn") << "ok_btn" << QRect(416, 256, 105, 33);
    QTest::newRow("Cert_pnl") << "Cert_pnl" << QRect(528, 0, 225, 289);
    QTest::newRow("certedit") << "certedit" << QRect(8, 50, 209, 24);
    QTest::newRow("certlang_pnl") << "certlang_pnl" << QRect(10, 79, 207, 39);
    QTest::newRow("makecert_btn") << "makecert_btn" << QRect(8, 136, 209, 23);
    QTest::newRow("GroupBox1") << "GroupBox1" << QRect(8, 168, 209, 113);
    QTest::newRow("cert_save") << "cert_save" << QRect(8, 16, 193, 25);
    QTest::newRow("certLoad") << "certLoad" << QRect(8, 48, 193, 25);
    QTest::newRow("cert_print") << "cert_print" << QRect(8, 80, 193, 25);
}

void TestSetupDialog::layoutFollowsTheControlTable() {
    QFETCH(QString, name);
    QFETCH(QRect, rect);
    Fixture fx;
    fx.setup->FormActivate();
    QCOMPARE(fx.setup->size(), QSize(761, 299));
    QCOMPARE(fx.setup->minimumSize(), fx.setup->maximumSize()); // cannot be resized
    QWidget* w = fx.setup->findChild<QWidget*>(name);
    QVERIFY(w);
    QCOMPARE(w->geometry(), rect);
    const Qt::WindowFlags f = fx.setup->windowFlags();
    QVERIFY(f.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!f.testFlag(Qt::WindowMinimizeButtonHint) && !f.testFlag(Qt::WindowMaximizeButtonHint));
    for (const char* green : {"com_lbl", "prn_lbl", "datapath_lbl", "certedit_lbl"}) {
        auto* l = fx.w<QLabel>(green);
        QVERIFY(l->autoFillBackground());
        QCOMPARE(l->palette().color(QPalette::Window), QColor(192, 220, 192));
    }
}

void TestSetupDialog::openingStepRestoresTheIdleState() {
    Fixture fx;
    fx.setup->FormActivate();
    // Leave it the way a test run and a certificate load might have.
    fx.w<QPlainTextEdit>("info_box")->setPlainText("left over");
    fx.setup->findChildren<QRadioButton*>().first()->setChecked(true);
    QCOMPARE(fx.setup->certLanguage(), 0);
    fx.btn("cert_save")->setEnabled(true);
    fx.btn("cert_print")->setEnabled(true);
    fx.btn("certLoad")->setEnabled(false);
    fx.btn("next_btn")->setEnabled(true);
    for (const char* n : {"makecert_btn", "info_btn", "probe_info", "ok_btn"})
        fx.btn(n)->setEnabled(false);
    fx.w<QLineEdit>("certedit")->setText("Matti Meikäläinen");
    fx.w<QLineEdit>("datapath_ed")->setText("/typed/but/not/confirmed/");
    Settings& s = fx.frm->state().settings;
    s.DataPath = "/data/kiln/";
    s.PortName = "ttyUSB0";
    s.PrinterName = QString(300, 'P');

    fx.setup->FormActivate();
    QCOMPARE(fx.w<QLineEdit>("datapath_ed")->text(), QStringLiteral("/data/kiln/"));
    QCOMPARE(fx.combo()->text(), QStringLiteral("ttyUSB0"));
    QCOMPARE(fx.setup->comPort().Port(), QStringLiteral("ttyUSB0"));
    auto* printers = fx.w<QComboBox>("printerbox");
    QCOMPARE(printers->currentText(), QString(300, 'P')); // kept although not installed
    auto items = [printers] {
        QStringList names;
        for (int i = 0; i < printers->count(); ++i)
            names << printers->itemText(i);
        return names;
    };
    // "PDF" at once, the installed printers once the print system has answered a worker.
    QCOMPARE(items().last(), QStringLiteral("PDF"));
    QTRY_COMPARE(items(), availablePrinterNames());
    QCOMPARE(printers->currentText(), QString(300, 'P'));
    QCOMPARE(fx.setup->certLanguage(), -1);
    // The number format prepared by the opening is the one the calibration test reads with.
    QCOMPARE(fx.setup->certNumberFormat().decimalSeparator, '.');
    QCOMPARE(fx.setup->calibration().numberFormat().decimalSeparator, '.');
    QCOMPARE(fx.setup->calibration().numberFormat().twoDecimals(25.9f), QStringLiteral("25.90"));
    QCOMPARE(fx.setup->infoLines(), QStringList());
    QVERIFY(fx.w<QPlainTextEdit>("info_box")->toPlainText().isEmpty());
    for (const char* n : {"makecert_btn", "info_btn", "probe_info", "ok_btn", "certLoad"})
        QVERIFY2(fx.btn(n)->isEnabled(), n);
    for (const char* n : {"next_btn", "cert_save", "cert_print"})
        QVERIFY2(!fx.btn(n)->isEnabled(), n);
    QCOMPARE(fx.w<QLineEdit>("certedit")->text(), QStringLiteral("Matti Meikäläinen"));
    QVERIFY(!fx.setup->font().bold() && !fx.setup->font().italic());
    QCOMPARE(fx.setup->font().pixelSize(), 13);
    QVERIFY(fx.btn("datapath_btn")->font().bold());
}

void TestSetupDialog::portSelection_data() {
    QTest::addColumn<QStringList>("ports");
    QTest::addColumn<QString>("portName");
    QTest::addColumn<QString>("shown");
    QTest::newRow("the stored port") << QStringList{"COM1", "COM3"} << "COM3"
                                     << "COM3";
    QTest::newRow("letter case ignored") << QStringList{"COM1", "COM3"} << "com3"
                                         << "COM3";
    QTest::newRow("missing port: the port's own COM1 stays")
        << QStringList{"COM1", "COM3"} << "COM7"
        << "COM1";
    QTest::newRow("missing port, no COM1: nothing selected")
        << QStringList{"COM3", "ttyUSB0"} << "COM7"
        << "";
    QTest::newRow("empty stored port") << QStringList{"COM3"} << ""
                                       << "";
    QTest::newRow("no ports at all") << QStringList{} << "COM1"
                                     << "";
    QTest::newRow("two meters differing by case: the lower-case one")
        << QStringList{"/run/p/Meter", "/run/p/meter"} << "/run/p/meter"
        << "/run/p/meter";
    QTest::newRow("two meters differing by case: the upper-case one")
        << QStringList{"/run/p/Meter", "/run/p/meter"} << "/run/p/Meter"
        << "/run/p/Meter";
    QTest::newRow("a device name in another case is another device")
        << QStringList{"COM1", "ttyUSB0"} << "TTYUSB0"
        << "COM1";
    QTest::newRow("COMn in another case is the same port")
        << QStringList{"COM10", "COM2"} << "cOm10"
        << "COM10";
}

// The selection stays as the dialog was left when the stored port is not listed; a port that
// has gone gives way to COM1, as a new list starts.
void TestSetupDialog::selectionStaysAsItWasAcrossOpenings() {
    Fixture fx;
    fx.ports = entries({"COM1", "COM3", "ttyUSB0"});
    fx.frm->state().settings.PortName = "COM7"; // not there
    fx.openModal([&](TSetupfrm& d) {
        QCOMPARE(fx.combo()->text(), QStringLiteral("COM1"));
        fx.combo()->setCurrentIndex(fx.combo()->names().indexOf("ttyUSB0"));
        QTest::keyClick(&d, Qt::Key_Escape);
    });
    QCOMPARE(fx.frm->state().settings.PortName, QStringLiteral("COM7"));
    fx.openModal([&](TSetupfrm& d) {
        QCOMPARE(fx.combo()->text(), QStringLiteral("ttyUSB0")); // as it was left
        QCOMPARE(d.comPort().Port(), QStringLiteral("ttyUSB0"));
        QTest::mouseClick(fx.btn("ok_btn"), Qt::LeftButton);
    });
    QCOMPARE(fx.frm->state().settings.PortName, QStringLiteral("ttyUSB0"));
    // The last used port unplugged: the list starts on COM1, and OK stores it.
    fx.ports = entries({"COM1", "COM3"});
    fx.openModal([&](TSetupfrm&) {
        QCOMPARE(fx.combo()->text(), QStringLiteral("COM1"));
        QTest::mouseClick(fx.btn("ok_btn"), Qt::LeftButton);
    });
    QCOMPARE(fx.frm->state().settings.PortName, QStringLiteral("COM1"));
    // Back again: the stored port is selected.
    fx.ports = entries({"COM1", "COM3", "ttyUSB0"});
    fx.frm->state().settings.PortName = "ttyUSB0";
    fx.openModal([&](TSetupfrm&) { QCOMPARE(fx.combo()->text(), QStringLiteral("ttyUSB0")); });
}

// What the opening shows is what OK stores: a vanished port is replaced by the one shown.
void TestSetupDialog::portSelection() {
    QFETCH(QStringList, ports);
    QFETCH(QString, portName);
    QFETCH(QString, shown);
    Fixture fx;
    fx.ports = entries(ports);
    fx.frm->state().settings.PortName = portName;
    fx.openModal([&](TSetupfrm& d) {
        QCOMPARE(fx.combo()->names(), ports);
        QCOMPARE(fx.combo()->text(), shown);
        QCOMPARE(d.comPort().Port(), shown);
        QTest::mouseClick(fx.btn("ok_btn"), Qt::LeftButton);
    });
    QCOMPARE(fx.frm->state().settings.PortName, shown);
}

void TestSetupDialog::selectorShowsNamesOnlyAndCannotBeTyped() {
    TComComboBox box;
    box.setPorts({{"COM1", "/dev/ttyS0"}, {"ttyUSB0", "/dev/ttyUSB0, FTDI FT232R"}},
                 QStringLiteral("ttyUSB0"));
    QVERIFY(!box.isEditable());
    QCOMPARE(box.text(), QStringLiteral("ttyUSB0"));
    QCOMPARE(box.currentText(), QStringLiteral("ttyUSB0"));
    QCOMPARE(box.itemData(1, Qt::ToolTipRole).toString(),
             Qt::convertFromPlainText("/dev/ttyUSB0, FTDI FT232R", Qt::WhiteSpaceNoWrap));
    box.setText(QStringLiteral("COM9")); // not there: the selection stays
    QCOMPARE(box.text(), QStringLiteral("ttyUSB0"));
    QTest::keyClicks(&box, QStringLiteral("xyz"));
    QCOMPARE(box.names(), (QStringList{"COM1", "ttyUSB0"}));
    box.setText(QStringLiteral("com1"));
    QCOMPARE(box.text(), QStringLiteral("COM1"));
    box.setText(QStringLiteral("TTYUSB0")); // a device name: letter case counts
    QCOMPARE(box.text(), QStringLiteral("COM1"));
    // A new list keeps the port selected when it is still there, in whatever place.
    box.setPorts({{"COM3", ""}, {"COM1", ""}}, QStringLiteral("COM3"));
    QCOMPARE(box.text(), QStringLiteral("COM1"));
    box.setPorts({{"COM3", ""}}, QStringLiteral("COM1"));
    QCOMPARE(box.currentIndex(), -1);
    QCOMPARE(box.text(), QString());
}

void TestSetupDialog::closing_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("taken");
    QTest::newRow("OK") << "ok" << true;
    QTest::newRow("close box") << "close" << false;
    QTest::newRow("Escape") << "escape" << false;
}

void TestSetupDialog::closing() {
    QFETCH(QString, how);
    QFETCH(bool, taken);
    Fixture fx;
    const Settings before = fx.frm->state().settings;
    const int result = fx.openModal([&](TSetupfrm& d) {
        QVERIFY(d.isModal());
        QVERIFY(QApplication::activeModalWidget() == &d);
        fx.w<QLineEdit>("datapath_ed")->setText("/not/validated");
        fx.combo()->setCurrentIndex(fx.combo()->names().indexOf("ttyUSB0"));
        fx.w<QComboBox>("printerbox")->setEditText("Typed printer");
        if (how == "ok")
            QTest::mouseClick(fx.btn("ok_btn"), Qt::LeftButton);
        else if (how == "close")
            d.close();
        else
            QTest::keyClick(&d, Qt::Key_Escape);
        QVERIFY(!d.isVisible());
    });
    const Settings& s = fx.frm->state().settings;
    QCOMPARE(result, taken ? int(QDialog::Accepted) : int(QDialog::Rejected));
    QCOMPARE(s.DataPath, taken ? QStringLiteral("/not/validated") : before.DataPath);
    QCOMPARE(s.PortName, taken ? QStringLiteral("ttyUSB0") : before.PortName);
    QCOMPARE(s.PrinterName, taken ? QStringLiteral("Typed printer") : before.PrinterName);
    QCOMPARE(s.DefName, before.DefName);
    // The next opening shows the settings again, not the edits.
    fx.openModal([&](TSetupfrm&) {
        QCOMPARE(fx.w<QLineEdit>("datapath_ed")->text(), s.DataPath);
        QCOMPARE(fx.combo()->text(), s.PortName);
        QCOMPARE(fx.w<QComboBox>("printerbox")->currentText(), s.PrinterName);
    });
}

void TestSetupDialog::folderChoice_data() {
    QTest::addColumn<bool>("fieldExists");
    QTest::addColumn<QString>("answer"); // "" cancels
    QTest::addColumn<bool>("changed");
    QTest::newRow("chosen") << true << "sub" << true;
    QTest::newRow("chosen, starting at home") << false << "sub" << true;
    QTest::newRow("chosen with its separator") << true << "sub/" << true;
    QTest::newRow("cancelled") << true << "" << false;
}

void TestSetupDialog::folderChoice() {
    QFETCH(bool, fieldExists);
    QFETCH(QString, answer);
    QFETCH(bool, changed);
    Fixture fx;
    QVERIFY(QDir().mkpath(fx.dir.filePath("sub")));
    const QString field = fieldExists ? fx.dir.path() : QStringLiteral("c:\\");
    fx.frm->state().settings.DataPath = field;
    if (!answer.isEmpty())
        fx.dialogs.folderNames << fx.dir.filePath(answer);
    fx.setup->FormActivate();
    QTest::mouseClick(fx.btn("datapath_btn"), Qt::LeftButton);
    const QList<ScriptedDialogs::Call> calls = fx.dialogs.callsOf("folder");
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls[0].text, fieldExists ? fx.dir.path() : QDir::homePath());
    QCOMPARE(fx.w<QLineEdit>("datapath_ed")->text(),
             changed ? fx.dir.filePath("sub") + "/" : field);
    QCOMPARE(fx.frm->state().settings.DataPath, field); // only OK hands it over
}

void TestSetupDialog::informationTwiceShowsItOnce() {
    Fixture fx;
    fx.setup->FormActivate();
    auto* box = fx.w<QPlainTextEdit>("info_box");
    QTest::mouseClick(fx.btn("info_btn"), Qt::LeftButton);
    QTest::mouseClick(fx.btn("info_btn"), Qt::LeftButton);
    QCOMPARE(fx.setup->infoLines(), programInformation());
    QCOMPARE(box->document()->blockCount(), 7);
    QCOMPARE(box->toPlainText().split('\n'), programInformation());
    QCOMPARE(box->font().family(), fx.setup->font().family());
    QCOMPARE(box->font().pixelSize(), 16);
    QVERIFY(box->isReadOnly());
    // The probe button gives the memo the fixed-pitch face back.
    fx.ports = {};
    fx.setup->FormActivate();
    QTest::mouseClick(fx.btn("probe_info"), Qt::LeftButton);
    QCOMPARE(box->font().family(), QFontDatabase::systemFont(QFontDatabase::FixedFont).family());
}

namespace {

// What Qt draws for a button, group title or menu text: "&&" is an "&", a lone "&" marks the
// shortcut and is not drawn.
QString drawnCaption(const QString& text) {
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&') && i + 1 < text.size()) {
            ++i;
            out += text[i];
            continue;
        }
        out += text[i];
    }
    return out;
}

} // namespace

// Every caption from the language file, in every widget of both windows, is shown as typed:
// no rich text in labels, no shortcut marks in buttons, group titles and menu items.
void TestSetupDialog::captionsAreShownAsTypedInBothWindows() {
    const QByteArray caption = "<b>x</b>&amp;";
    QByteArray lang = "[Toolbar]\n";
    for (const char* k : {"TB_setup", "TB_trans", "TB_clr", "TB_quit", "TB_save"})
        lang += QByteArray(k) + "=" + caption + "\n";
    lang += "[Panels]\nPacket=" + caption + "\nFiles=" + caption + "\n[Menu]\n";
    for (const char* k : {"Del", "PrnSel", "PrnAll"})
        lang += QByteArray(k) + "=" + caption + "\n";
    lang += "[Kelotari]\nExportSheet=" + caption + "\n[Setup]\n";
    for (const char* k :
         {"DL1_file", "DL1_cp", "DL1_pr", "DL1_inf", "Probe", "Next", "Cert", "makecert", "handler",
          "Lang", "Lang_su", "Lang_en", "Save", "Load", "Print"})
        lang += QByteArray(k) + "=" + caption + "\n";
    Fixture fx(lang);
    fx.setup->FormActivate();
    const QString typed = QString::fromLatin1(caption);

    QStringList shownAsTyped;
    QStringList wrong;
    // The dialog is a child of the main window: each object is looked at once.
    QSet<QObject*> all{fx.frm.get(), fx.setup};
    for (QWidget* top : {static_cast<QWidget*>(fx.frm.get()), static_cast<QWidget*>(fx.setup)})
        for (QObject* o : top->findChildren<QObject*>())
            all.insert(o);
    {
        for (QObject* o : all) {
            QString shown;
            const QString name = o->objectName();
            if (auto* l = qobject_cast<QLabel*>(o)) {
                if (l->textFormat() != Qt::PlainText && !l->text().isEmpty())
                    wrong << name + " is not plain text";
                shown = l->text();
            } else if (auto* b = qobject_cast<QAbstractButton*>(o)) {
                shown = drawnCaption(b->text());
            } else if (auto* g = qobject_cast<QGroupBox*>(o)) {
                shown = drawnCaption(g->title());
            } else if (auto* a = qobject_cast<QAction*>(o)) {
                shown = drawnCaption(a->text());
            } else if (auto* e = qobject_cast<QPlainTextEdit*>(o)) {
                shown = e->toPlainText();
            } else {
                continue;
            }
            if (shown == typed)
                shownAsTyped << name;
            else if (shown.contains(QLatin1String("x</b>")) ||
                     shown.contains(QLatin1String("amp;")))
                wrong << name + " shows " + shown;
        }
    }
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join("; ")));
    shownAsTyped.sort();
    QStringList expected{"tyo_setup",     "Transfer_btn", "Clear_btn",      "tyo_quit",
                         "SaveAs_btn",    "packet_grp",   "files_grp",      "Delete1",
                         "Printselected", "PrintAll",     "WDeletefile",    "ExportCsv",
                         "datapath_lbl",  "com_lbl",      "prn_lbl",        "info_btn",
                         "probe_info",    "next_btn",     "Cert_pnl",       "makecert_btn",
                         "certedit_lbl",  "certlang_pnl", "certlang_item0", "certlang_item1",
                         "cert_save",     "certLoad",     "cert_print"};
    expected.sort();
    QCOMPARE(shownAsTyped, expected);

    // The texts the windows pass on (dialog titles) are the captions as typed too.
    auto* print = fx.btn("cert_print");
    QCOMPARE(shownCaption(print->text()), typed);
}

void TestSetupDialog::textsComeFromTheLanguageFileAtEveryOpening() {
    Fixture fx("[Setup]\nProbe=Kelotarin tiedot\nLang_su=Suomi\nLang_en=Englanti\n"
               "DL1_cp=Portti 100%\nNext=\n");
    fx.openModal([&](TSetupfrm& d) {
        QCOMPARE(d.windowTitle(), QStringLiteral("Setup"));
        QCOMPARE(fx.btn("probe_info")->text(), QStringLiteral("Kelotarin tiedot"));
        QCOMPARE(fx.w<QLabel>("com_lbl")->text(), QStringLiteral("Portti 100%"));
        QCOMPARE(fx.btn("next_btn")->text(), QString());
        QCOMPARE(fx.btn("ok_btn")->text(), QStringLiteral("OK"));
        QCOMPARE(fx.btn("datapath_btn")->text(), QStringLiteral("..."));
        QCOMPARE(fx.w<QGroupBox>("Cert_pnl")->title(), QStringLiteral("Certification"));
        QCOMPARE(fx.w<QLabel>("datapath_lbl")->text(), QStringLiteral("Packetfiles path"));
        QCOMPARE(fx.btn("cert_print")->text(), QStringLiteral("Print document"));
        QCOMPARE(d.texts().StepText1, SetupTexts().StepText1);
        const QList<QRadioButton*> items =
            fx.w<QGroupBox>("certlang_pnl")->findChildren<QRadioButton*>();
        QCOMPARE(items.size(), 2);
        QCOMPARE(items[0]->text(), QStringLiteral("Suomi"));
        QCOMPARE(items[1]->text(), QStringLiteral("Englanti"));
        QTest::mouseClick(items[1], Qt::LeftButton);
        QCOMPARE(d.certLanguage(), 1);
    });
    // Edited while the program runs: the next opening shows it, with no language chosen.
    writeFile(fx.langFile(), "[Setup]\nProbe=Mittarin tiedot\nDone=Valmis 100%\n");
    fx.openModal([&](TSetupfrm& d) {
        QCOMPARE(fx.btn("probe_info")->text(), QStringLiteral("Mittarin tiedot"));
        QCOMPARE(d.texts().DoneText, QStringLiteral("Valmis 100%"));
        QCOMPARE(fx.w<QLabel>("com_lbl")->text(), QStringLiteral("Com port"));
        QCOMPARE(d.certLanguage(), -1);
    });
    QCOMPARE(fx.frm->texts().TB_setup, QStringLiteral("Setup")); // the main window keeps its own
}

void TestSetupDialog::longestTextsAreAppliedAndStayInTheDialog() {
    const QByteArray longest(2047, 'W');
    Fixture fx("[Setup]\nDL1_file=" + longest + "\nhandler=" + longest + "\nLang_en=" + longest +
               "\nEMsg=" + longest + "x\n");
    fx.setup->FormActivate();
    QCOMPARE(fx.w<QLabel>("datapath_lbl")->text().size(), 2047);
    QCOMPARE(fx.setup->texts().CertTimeoutText, QString(longest));
    // The labels are cut at the dialog's (and the group's) edge instead of spilling over.
    QVERIFY(fx.setup->rect().contains(fx.w<QLabel>("datapath_lbl")->geometry()));
    QVERIFY(fx.w<QGroupBox>("Cert_pnl")->rect().contains(fx.w<QLabel>("certedit_lbl")->geometry()));
    QCOMPARE(fx.setup->size(), QSize(761, 299));
}

void TestSetupDialog::probeOnAMissingPortShowsThePortError() {
    Fixture fx;
    fx.ports = entries({"/nonexistent/kelotari-port"});
    fx.setup->FormActivate();
    fx.combo()->setCurrentIndex(0);
    QTest::mouseClick(fx.btn("probe_info"), Qt::LeftButton);
    const QList<ScriptedDialogs::Call> errors = fx.dialogs.callsOf("error");
    QCOMPARE(errors.size(), 1);
    QCOMPARE(errors[0].title, QStringLiteral("Kelotari"));
    QVERIFY2(errors[0].text.contains("(win error code: 2)"), qPrintable(errors[0].text));
    QVERIFY(!fx.setup->comPort().Connected());
    QCOMPARE(fx.setup->infoLines(), QStringList());
    for (const char* n : {"makecert_btn", "info_btn", "probe_info", "ok_btn", "certLoad"})
        QVERIFY2(fx.btn(n)->isEnabled(), n);
    // Nothing selected: the same box, for the empty name.
    fx.ports = {};
    fx.setup->FormActivate();
    QTest::mouseClick(fx.btn("probe_info"), Qt::LeftButton);
    QCOMPARE(fx.dialogs.callsOf("error").size(), 2);
}

void TestSetupDialog::probeBlocksASecondConversationAndClosingCancelsIt() {
    Pty pty;
    QVERIFY(!pty.path.isEmpty());
    Fixture fx(QByteArray(), 1000); // a silent meter would keep the query 5 s
    fx.ports = entries({pty.path});
    bool checked = false;
    fx.openModal([&](TSetupfrm& d) {
        fx.btn("certLoad")->setEnabled(false);   // as a failed test leaves it
        QCOMPARE(fx.combo()->text(), QString()); // the stored COM3 is not there
        fx.combo()->setCurrentIndex(0);
        QTimer::singleShot(50, &d, [&] {
            checked = true;
            QVERIFY(d.conversationActive());
            QVERIFY(d.comPort().Connected());
            for (const char* n : {"probe_info", "makecert_btn", "info_btn", "certLoad", "ok_btn"})
                QVERIFY2(!fx.btn(n)->isEnabled(), n);
            d.probe_infoClick(); // a second press inside the wait starts nothing
            QTest::mouseClick(fx.btn("ok_btn"), Qt::LeftButton);
            QVERIFY(d.isVisible());
            d.close(); // the close box
        });
        QTest::mouseClick(fx.btn("probe_info"), Qt::LeftButton);
        QVERIFY(!d.isVisible());
        QVERIFY(!d.conversationActive());
        QVERIFY(d.countdown() > 0); // ended by the close, not by the 5-tick time-out
    });
    QVERIFY(checked);
    QCOMPARE(fx.setup->result(), int(QDialog::Rejected));
    QVERIFY(!fx.setup->comPort().Connected());
    QCOMPARE(pty.received(), QByteArray("S")); // one query only
    QCOMPARE(fx.dialogs.calls.size(), 0);
    QCOMPARE(fx.frm->state().settings.PortName, QStringLiteral("COM3")); // OK did not count
    QVERIFY(!fx.btn("certLoad")->isEnabled());                           // back as it was
    // The next opening talks again on a fresh link.
    fx.openModal([&](TSetupfrm& d) {
        // The stored port is still missing: the one the dialog's port last had stays chosen.
        QCOMPARE(fx.combo()->text(), pty.path);
        QTimer::singleShot(50, &d,
                           [&] { QCOMPARE(::write(pty.master, "42\r\x1a", 4), ssize_t(4)); });
        QTest::mouseClick(fx.btn("probe_info"), Qt::LeftButton);
        QCOMPARE(d.infoLines(), QStringList{"S/N: 42"});
        QVERIFY(!d.comPort().Connected());
    });
}

QTEST_MAIN(TestSetupDialog)
#include "tst_setup_dialog.moc"
