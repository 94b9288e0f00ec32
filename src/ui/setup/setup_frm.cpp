#include "setup_frm.h"

#include "CaptionFit.h"
#include "PlainFont.h"
#include "PlainText.h"
#include "PortWatcher.h"
#include "Printer.h"
#include "QtMeterLink.h"
#include "TComComboBox.h"
#include "base/Dialogs.h"
#include "base/Failure.h"
#include "base/Guard.h"
#include "ini/IniProfile.h"
#include "main_frm.h"
#include "text/Codec.h"

#include <QApplication>
#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>

namespace kelotari {

namespace {

const QColor kMoneyGreen(192, 220, 192);
constexpr int kInfoFontPixels = 16;
QLabel* greenLabel(QWidget* parent, const char* name) {
    auto* l = new QLabel(parent);
    l->setTextFormat(Qt::PlainText); // a caption is never read as rich text
    l->setObjectName(QLatin1String(name));
    l->setAutoFillBackground(true);
    QPalette p = l->palette();
    p.setColor(QPalette::Window, kMoneyGreen);
    l->setPalette(p);
    return l;
}

QPushButton* button(QWidget* parent, const char* name, const QString& text, int x, int y, int w,
                    int h) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setGeometry(x, y, w, h);
    b->setAutoDefault(false); // Enter in a field does not press a button
    return b;
}

// The label above an edit field: its text's width, ending 3 pixels above the field, and not
// past `right` (where the next control begins).
void placeLabelAbove(QLabel* label, const QWidget* field, int right) {
    const int h = 13;
    const int w = std::min(label->sizeHint().width(), right - field->x());
    label->setGeometry(field->x(), field->y() - h - 3, std::max(w, 1), h);
}

// What a group box's title needs: the text and the frame's indent on both sides.
int titleNeed(const QGroupBox* box) {
    return box->fontMetrics().horizontalAdvance(box->title()) + 24;
}

} // namespace

QFont TSetupfrm::dialogFont(const QString& face) {
    return faceOrSystemFont(face, kFontPixels);
}

// The calibration test's view of the dialog: its buttons, its memo, the port choice, the
// handler's name and the certificate language.
class TSetupfrm::CertView : public CalView {
public:
    explicit CertView(TSetupfrm& form) : m_form(form) {}

    void setButtonEnabled(Button b, bool enabled) override { button(b)->setEnabled(enabled); }
    bool isButtonEnabled(Button b) const override { return button(b)->isEnabled(); }
    void resetButtons() override { m_form.ResetButtons(); }
    void clearInfo() override {
        m_form.useDialogFaceForInfo();
        m_form.clearInfo();
    }
    void appendInfo(const QString& line) override { m_form.appendInfo(line); }
    QString selectedPort() const override { return m_form.ComBox->text(); }
    QString handlerName() const override { return m_form.certedit->text(); }
    void setHandlerName(const QString& name) override { m_form.certedit->setText(name); }
    int certLanguageIndex() const override { return m_form.certLanguage(); }

private:
    QPushButton* button(Button b) const {
        switch (b) {
        case Button::MakeCert:
            return m_form.makecert_btn;
        case Button::Next:
            return m_form.next_btn;
        case Button::Info:
            return m_form.info_btn;
        case Button::ProbeInfo:
            return m_form.probe_info;
        case Button::Ok:
            return m_form.ok_btn;
        case Button::CertLoad:
            return m_form.certLoad;
        case Button::CertPrint:
            return m_form.cert_print;
        case Button::CertSave:
            break;
        }
        return m_form.cert_save;
    }

    TSetupfrm& m_form;
};

TSetupfrm::TSetupfrm(TMainFrm& mainFrm)
    : QDialog(&mainFrm), m_main(mainFrm), m_dialogs(mainFrm.dialogs()),
      m_languageFile(mainFrm.environment().languageFile), m_certNumberFormat(CertNumberFormat()),
      m_portSource([] { return serialPortList(); }) {
    setObjectName(QStringLiteral("TSetupfrm"));
    setWindowTitle(QStringLiteral("Setup"));
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setModal(true);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setTimerType(Qt::PreciseTimer);
    Timer1->setInterval(mainFrm.environment().tickMs);
    // Connected before the link, so the countdown is ticked before the link looks at it.
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    Timer1->start();
    m_certView = std::make_unique<CertView>(*this);
    makeLink();

    buildUi();
    m_portWatcher = new PortWatcher(this);
    m_portWatcher->setFolders(PortWatcher::systemFolders());
    connect(m_portWatcher, &PortWatcher::portsChanged, this, [this] { refreshPorts(); });
    connect(ComBox, &QComboBox::activated, this, [this] { m_wantedPort = ComBox->text(); });
    mainFrm.adoptSetupForm(this);
}

TSetupfrm::~TSetupfrm() {
    m_link->cancel();
}

void TSetupfrm::makeLink() {
    const CalRecord kept = m_cal ? m_cal->record() : CalRecord();
    const CalTexts texts = m_cal ? m_cal->texts() : CalTexts();
    m_cal.reset();
    m_link = std::make_unique<QtMeterLink>(ComPort, m_countdown, Timer1);
    m_cal = std::make_unique<CalibrationTest>(*m_link, *m_certView, m_dialogs);
    m_cal->record() = kept;
    m_cal->setTexts(texts);
}

void TSetupfrm::buildUi() {
    setFixedSize(761, 299);
    QPalette face = palette();
    face.setColor(QPalette::Window, face.color(QPalette::Button));
    setPalette(face);
    setAutoFillBackground(true);
    setFont(dialogFont(QStringLiteral("MS Sans Serif")));

    datapath_ed = new QLineEdit(this);
    datapath_ed->setObjectName(QStringLiteral("datapath_ed"));
    datapath_ed->setGeometry(16, 24, 361, 24);
    datapath_lbl = greenLabel(this, "datapath_lbl");
    datapath_lbl->setText(QStringLiteral("Datafiles path"));

    datapath_btn = button(this, "datapath_btn", QStringLiteral("..."), 392, 24, 25, 25);
    QFont bold;
    bold.setBold(true);
    datapath_btn->setFont(bold);

    com_lbl = greenLabel(this, "com_lbl");
    com_lbl->setText(QStringLiteral("Com port"));
    com_lbl->setAlignment(Qt::AlignCenter);
    com_lbl->setGeometry(16, 56, 97, 16);
    ComBox = new TComComboBox(this);
    ComBox->setObjectName(QStringLiteral("ComBox"));
    ComBox->setGeometry(16, 72, 97, 24);

    prn_lbl = greenLabel(this, "prn_lbl");
    prn_lbl->setText(QStringLiteral("Printer settings"));
    prn_lbl->setAlignment(Qt::AlignCenter);
    prn_lbl->setGeometry(128, 56, 129, 16);
    printerbox = new QComboBox(this);
    printerbox->setObjectName(QStringLiteral("printerbox"));
    printerbox->setEditable(true);
    printerbox->setInsertPolicy(QComboBox::NoInsert);
    printerbox->setGeometry(128, 72, 249, 24);

    info_box = new QPlainTextEdit(this);
    info_box->setObjectName(QStringLiteral("info_box"));
    info_box->setReadOnly(true);
    info_box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    info_box->setGeometry(16, 120, 385, 169);
    QFont infoFont;
    infoFont.setFamily(terminalFace());
    infoFont.setPixelSize(kInfoFontPixels);
    info_box->setFont(infoFont);

    info_btn = button(this, "info_btn", QStringLiteral("Information"), 416, 120, 105, 25);
    probe_info = button(this, "probe_info", QStringLiteral("Probe info"), 416, 152, 105, 25);
    next_btn = button(this, "next_btn", QStringLiteral("Next"), 416, 184, 105, 25);
    next_btn->setEnabled(false);
    ok_btn = button(this, "ok_btn", QStringLiteral("OK"), 416, 256, 105, 33);

    Cert_pnl = new QGroupBox(QStringLiteral("Certificate"), this);
    Cert_pnl->setObjectName(QStringLiteral("Cert_pnl"));
    Cert_pnl->setGeometry(528, 0, 225, 289);
    certedit = new QLineEdit(Cert_pnl);
    certedit->setObjectName(QStringLiteral("certedit"));
    certedit->setGeometry(8, 50, 209, 24);
    certedit_lbl = greenLabel(Cert_pnl, "certedit_lbl");
    certedit_lbl->setText(QStringLiteral("Handlers name"));

    certlang_pnl = new QGroupBox(QStringLiteral("Select Certificate language"), Cert_pnl);
    certlang_pnl->setObjectName(QStringLiteral("certlang_pnl"));
    certlang_pnl->setGeometry(10, 79, 207, 39);
    certlang_group = new QButtonGroup(this);
    certlang_group->setExclusive(true);

    makecert_btn =
        button(Cert_pnl, "makecert_btn", QStringLiteral("Make Certificate test"), 8, 136, 209, 23);
    GroupBox1 = new QGroupBox(Cert_pnl);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(8, 168, 209, 113);
    cert_save = button(GroupBox1, "cert_save", QStringLiteral("Save As"), 8, 16, 193, 25);
    cert_save->setEnabled(false);
    certLoad = button(GroupBox1, "certLoad", QStringLiteral("Load"), 8, 48, 193, 25);
    cert_print = button(GroupBox1, "cert_print", QStringLiteral("Print"), 8, 80, 193, 25);
    cert_print->setEnabled(false);

    // Design state of the language group: the first item selected (the opening step clears it).
    for (int i = 0; i < 2; ++i) {
        auto* r = new QRadioButton(i == 0 ? QStringLiteral("Suomi") : QStringLiteral("English"),
                                   certlang_pnl);
        r->setGeometry(8 + i * 100, 16, 96, 20);
        certlang_group->addButton(r, i);
    }
    certlang_group->button(0)->setChecked(true);
    fitCaptions();

    auto guard = [this](void (TSetupfrm::*handler)()) {
        return [this, handler] { runGuarded(m_dialogs, [&] { (this->*handler)(); }); };
    };
    connect(ok_btn, &QPushButton::clicked, this, guard(&TSetupfrm::ok_btnClick));
    connect(datapath_btn, &QPushButton::clicked, this, guard(&TSetupfrm::datapath_btnClick));
    connect(info_btn, &QPushButton::clicked, this, guard(&TSetupfrm::info_btnClick));
    connect(probe_info, &QPushButton::clicked, this, guard(&TSetupfrm::probe_infoClick));
    connect(makecert_btn, &QPushButton::clicked, this, guard(&TSetupfrm::makecert_btnClick));
    // The test's wait for Next ends when the button goes down, not when it is released.
    connect(next_btn, &QPushButton::pressed, this, guard(&TSetupfrm::next_btnClick));
    connect(cert_save, &QPushButton::clicked, this, guard(&TSetupfrm::cert_saveClick));
    connect(certLoad, &QPushButton::clicked, this, guard(&TSetupfrm::certLoadClick));
    connect(cert_print, &QPushButton::clicked, this, guard(&TSetupfrm::cert_printClick));

    m_printerList = new PrinterList(this);
    connect(m_printerList, &PrinterList::listed, this, &TSetupfrm::fillPrinterBox);
    m_certPrinter = new DocumentPrinter(this);
}

void TSetupfrm::fillPrinterBox(const QStringList& names) {
    // What the box shows, typed or chosen meanwhile, stays: the list only adds choices.
    const QString shown = printerbox->currentText();
    printerbox->clear();
    printerbox->addItems(names);
    printerbox->setEditText(shown);
}

void TSetupfrm::ApplyLanguage() {
    m_texts = readSetupTexts(IniProfile::fromFile(m_languageFile));
    setLabelCaption(datapath_lbl, m_texts.DL1_file);
    setLabelCaption(com_lbl, m_texts.DL1_cp);
    setLabelCaption(prn_lbl, m_texts.DL1_pr);
    info_btn->setText(literalCaption(m_texts.DL1_inf));
    probe_info->setText(literalCaption(m_texts.Probe));
    next_btn->setText(literalCaption(m_texts.Next));
    Cert_pnl->setTitle(literalCaption(m_texts.Cert));
    makecert_btn->setText(literalCaption(m_texts.makecert));
    setLabelCaption(certedit_lbl, m_texts.handler);
    certlang_pnl->setTitle(literalCaption(m_texts.Lang));
    // The items are made anew, so neither is selected afterwards.
    for (QAbstractButton* b : certlang_group->buttons()) {
        certlang_group->removeButton(b);
        delete b;
    }
    const QString items[2] = {m_texts.Lang_su, m_texts.Lang_en};
    for (int i = 0; i < 2; ++i) {
        auto* r = new QRadioButton(literalCaption(items[i]), certlang_pnl);
        r->setObjectName(QStringLiteral("certlang_item%1").arg(i));
        r->setGeometry(8 + i * 100, 16, 96, 20);
        r->show();
        certlang_group->addButton(r, i);
    }
    cert_save->setText(literalCaption(m_texts.Save));
    certLoad->setText(literalCaption(m_texts.Load));
    cert_print->setText(literalCaption(m_texts.Print));
    fitCaptions();
}

void TSetupfrm::fitCaptions() {
    // The design's layout, widened where a caption in the dialog's font needs more: the port
    // and printer columns, then the column of buttons, then the certificate panel, each
    // moving the ones right of it.
    const int comW = fittedWidth(com_lbl->sizeHint().width() + 4, 97);
    com_lbl->setGeometry(16, 56, comW, 16);
    ComBox->setGeometry(16, 72, comW, 24);
    const int prnX = 16 + comW + 15;
    const int prnLblW = fittedWidth(prn_lbl->sizeHint().width() + 4, 129);
    const int prnW = std::max(377 - prnX, prnLblW);
    prn_lbl->setGeometry(prnX, 56, prnLblW, 16);
    printerbox->setGeometry(prnX, 72, prnW, 24);
    const int right = prnX + prnW; // 377 in the design
    datapath_ed->setGeometry(16, 24, right - 16, 24);
    datapath_btn->setGeometry(right + 15, 24, 25, 25);
    info_box->setGeometry(16, 120, right + 8, 169);

    const int colX = right + 39;
    int colW = 105;
    for (QPushButton* b : {info_btn, probe_info, next_btn, ok_btn})
        colW = std::max(colW, fittedWidth(b->sizeHint().width(), 105));
    for (QPushButton* b : {info_btn, probe_info, next_btn, ok_btn})
        b->setGeometry(colX, b->y(), colW, b->height());

    // The certificate panel: its edit field, language group and buttons share one width. The
    // labels above edit fields are as wide as their text already and stop at the next control.
    int inner = 209;
    inner = std::max(inner, fittedWidth(makecert_btn->sizeHint().width(), 209));
    for (QPushButton* b : {cert_save, certLoad, cert_print})
        inner = std::max(inner, fittedWidth(b->sizeHint().width(), 193) + 16);
    inner = std::max(inner, fittedWidth(titleNeed(certlang_pnl), 207) + 2);
    inner = std::max(inner, fittedWidth(titleNeed(Cert_pnl), 225) - 16);
    const int panelX = colX + colW + 7;
    Cert_pnl->setGeometry(panelX, 0, inner + 16, 289);
    certedit->setGeometry(8, 50, inner, 24);
    certlang_pnl->setGeometry(10, 79, inner - 2, 39);
    makecert_btn->setGeometry(8, 136, inner, 23);
    GroupBox1->setGeometry(8, 168, inner, 113);
    for (QPushButton* b : {cert_save, certLoad, cert_print})
        b->setGeometry(8, b->y(), inner - 16, 25);
    setFixedSize(panelX + inner + 16 + 8, 299);

    placeLabelAbove(datapath_lbl, datapath_ed, panelX - 4);
    placeLabelAbove(certedit_lbl, certedit, inner + 8);
}

void TSetupfrm::ResetButtons() {
    makecert_btn->setEnabled(true);
    next_btn->setEnabled(false);
    info_btn->setEnabled(true);
    probe_info->setEnabled(true);
    ok_btn->setEnabled(true);
}

int TSetupfrm::certLanguage() const {
    return certlang_group->checkedId();
}

void TSetupfrm::useTerminalFaceForInfo() {
    QFont f = info_box->font();
    f.setFamily(terminalFace());
    info_box->setFont(f);
}

void TSetupfrm::useDialogFaceForInfo() {
    QFont f = info_box->font();
    f.setFamily(font().family());
    info_box->setFont(f);
}

void TSetupfrm::clearInfo() {
    info_box->clear();
    m_infoLineCount = 0;
}

void TSetupfrm::appendInfo(const QString& line) {
    addInfoLine(line);
}

void TSetupfrm::appendInfoBytes(const QByteArray& line) {
    addInfoLine(fromCp1252(line));
}

void TSetupfrm::addInfoLine(QString text) {
    // A line holding a lone CR is an empty line, not two.
    text.remove(QLatin1Char('\r'));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    QTextCursor c(info_box->document());
    c.movePosition(QTextCursor::End);
    if (m_infoLineCount > 0)
        c.insertBlock();
    c.insertText(text);
    ++m_infoLineCount;
    info_box->verticalScrollBar()->setValue(info_box->verticalScrollBar()->maximum());
}

QStringList TSetupfrm::infoLines() const {
    QStringList out;
    QTextBlock b = info_box->document()->firstBlock();
    for (int i = 0; i < m_infoLineCount && b.isValid(); ++i, b = b.next())
        out << b.text();
    return out;
}

} // namespace kelotari
