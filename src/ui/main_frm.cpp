#include "main_frm.h"

#include "CaptionFit.h"
#include "FilePanel.h"
#include "HistogramChart.h"
#include "Icons.h"
#include "PacketGrid.h"
#include "PacketModel.h"
#include "PlainFont.h"
#include "PlainText.h"
#include "app/SettingsFile.h"
#include "base/Failure.h"
#include "base/Guard.h"
#include "ini/IniProfile.h"
#include "setup_frm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLayout>
#include <QListWidget>
#include <QMenu>
#include <QScreen>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace kelotari {

namespace {

const QColor kCream(255, 251, 240);
const QString kTitle = QStringLiteral("Kelotari");

// A toolbar button: 39 pixels high (the window's font is always 13 pixels high), at least the
// design's 57 pixels wide, and as wide as its caption needs in the window's font. Its width
// follows the caption and the font whenever either changes.
class ToolbarButton : public QToolButton {
public:
    using QToolButton::QToolButton;
    QSize sizeHint() const override {
        return {fittedWidth(QToolButton::sizeHint().width(), 57), 39};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }
};

} // namespace

MainFrmEnv defaultEnvironment(Dialogs* dialogs) {
    return environmentFor(QCoreApplication::applicationFilePath(), userConfigFolder(), dialogs);
}

MainFrmEnv environmentFor(const QString& exe, const QString& userDir, Dialogs* dialogs) {
    MainFrmEnv env;
    env.dialogs = dialogs;
    env.installed = isInstalledLayout(exe);
    const QString settings = settingsFileNameFor(exe);
    env.settingsFile = settings;
    if (!userDir.isEmpty())
        env.settingsUserCopy = userDir + QLatin1Char('/') + QFileInfo(settings).fileName();
    const QString lang = languageFileNameFor(exe);
    const ConfigLocation langAt{lang, userDir.isEmpty() ? QString()
                                                        : userDir + QLatin1Char('/') +
                                                              QFileInfo(lang).fileName()};
    env.languageFile = langAt.readFrom();
    return env;
}

template <class F> bool TMainFrm::guarded(F&& f) {
    return runGuarded(m_dialogs, std::forward<F>(f));
}

// The file commands' view of the window: its file list and the grid's selection.
class TMainFrm::FilesView : public MainView {
public:
    explicit FilesView(TMainFrm& form) : m_form(form) {}
    void refreshFileList() override { m_form.m_filePanel->refreshFiles(); }
    QString selectedFile() const override { return m_form.m_filePanel->selectedFile(); }
    void clearGridSelection() override { m_form.m_grid->clearSelection(); }

private:
    TMainFrm& m_form;
};

TMainFrm::TMainFrm(const MainFrmEnv& env, QWidget* parent)
    : QMainWindow(parent), m_env(env), m_dialogs(*env.dialogs) {
    setObjectName(QStringLiteral("TMainFrm"));
    setWindowTitle(kTitle);
    buildUi();
    m_filesView = std::make_unique<FilesView>(*this);
    m_commands = std::make_unique<MainCommands>(m_state, m_texts, m_dialogs, *m_filesView);
    FormCreate();
}

TMainFrm::~TMainFrm() {
    m_closing = true;
    m_gate.cancel();
    m_setupFrm.reset(); // a child window that reads this one's state: it goes while that exists
    // The grid and its model look into m_state: they go before the state does.
    delete m_grid;
    delete m_model;
}

void TMainFrm::buildUi() {
    setMinimumSize(640, 480);
    resize(640, 480);

    // Toolbar: 43 px high, buttons of at least 57 x 39 with their icon above the caption.
    auto* bar = new QToolBar(this);
    bar->setObjectName(QStringLiteral("Tyokalupalkki"));
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    bar->setIconSize(QSize(16, 16));
    bar->setFixedHeight(43);
    bar->setContentsMargins(0, 0, 0, 0);
    bar->layout()->setContentsMargins(2, 2, 2, 2);
    bar->layout()->setSpacing(0);
    addToolBar(Qt::TopToolBarArea, bar);
    auto addButton = [&](const char* name, const QString& caption, const QIcon& icon, bool hand) {
        auto* b = new ToolbarButton(bar);
        b->setObjectName(QLatin1String(name));
        b->setText(caption);
        b->setIcon(icon);
        b->setIconSize(QSize(16, 16));
        b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        b->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        b->setAutoRaise(true);
        if (hand)
            b->setCursor(Qt::PointingHandCursor);
        bar->addWidget(b);
        return b;
    };
    auto addSeparator = [&](int width) {
        auto* s = new QWidget(bar);
        s->setFixedSize(width, 39);
        bar->addWidget(s);
    };
    // Transfer and Clear share one icon.
    const QIcon transferIcon = icons::transfer();
    m_setupBtn = addButton("tyo_setup", QStringLiteral("Setup"), icons::setup(), true);
    addSeparator(14);
    m_transferBtn = addButton("Transfer_btn", QStringLiteral("Transfer"), transferIcon, true);
    m_clearBtn = addButton("Clear_btn", QStringLiteral("Clear"), transferIcon, true);
    addSeparator(14);
    m_saveBtn = addButton("SaveAs_btn", QStringLiteral("Save"), icons::save(), false);
    addSeparator(8);
    m_quitBtn = addButton("tyo_quit", QStringLiteral("Quit"), icons::quit(), true);

    connect(m_setupBtn, &QToolButton::clicked, this,
            [this] { guarded([this] { tyo_setupClick(); }); });
    connect(m_transferBtn, &QToolButton::clicked, this,
            [this] { guarded([this] { Transfer_btnClick(); }); });
    connect(m_clearBtn, &QToolButton::clicked, this,
            [this] { guarded([this] { Clear_btnClick(); }); });
    connect(m_saveBtn, &QToolButton::clicked, this,
            [this] { guarded([this] { SaveAs_btnClick(); }); });
    connect(m_quitBtn, &QToolButton::clicked, this,
            [this] { guarded([this] { tyo_quitClick(); }); });

    auto* central = new QWidget(this);
    auto* vbox = new QVBoxLayout(central);
    vbox->setContentsMargins(2, 2, 2, 2);
    vbox->setSpacing(2);
    setCentralWidget(central);

    QPalette cream = palette();
    cream.setColor(QPalette::Window, kCream);

    // Packet panel with the grid.
    m_packetGrp = new QGroupBox(QStringLiteral("Packets"), central);
    m_packetGrp->setObjectName(QStringLiteral("packet_grp"));
    m_packetGrp->setAutoFillBackground(true);
    m_packetGrp->setPalette(cream);
    auto* pl = new QVBoxLayout(m_packetGrp);
    pl->setContentsMargins(4, 4, 4, 4);
    m_grid = new PacketGrid(m_packetGrp);
    m_grid->setObjectName(QStringLiteral("filecontent"));
    m_model = new PacketModel(m_state.table, this);
    m_grid->setModel(m_model);
    m_grid->setFrameShape(QFrame::NoFrame);
    m_grid->setCursor(Qt::PointingHandCursor);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectItems);
    m_grid->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::DoubleClicked |
                            QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    m_grid->setTabKeyNavigation(false);
    m_grid->verticalHeader()->hide();
    m_grid->verticalHeader()->setDefaultSectionSize(20);
    m_grid->verticalHeader()->setMinimumSectionSize(10);
    m_grid->horizontalHeader()->setDefaultSectionSize(80);
    m_grid->horizontalHeader()->setMinimumSectionSize(10);
    m_grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_grid->horizontalHeader()->setHighlightSections(false);
    m_grid->setFont(faceOrSystemFont(QStringLiteral("MS Sans Serif"), 13));
    // The heading row is drawn in the grid's own font, not the style's header font.
    m_grid->horizontalHeader()->setFont(m_grid->font());
    pl->addWidget(m_grid);
    vbox->addWidget(m_packetGrp, 1);

    m_gridPopup = new QMenu(m_grid);
    m_gridPopup->setObjectName(QStringLiteral("GridPopup"));
    m_delete1 = m_gridPopup->addAction(QStringLiteral("Delete"));
    m_delete1->setObjectName(QStringLiteral("Delete1"));
    m_printSelected = m_gridPopup->addAction(QStringLiteral("Print selected"));
    m_printSelected->setObjectName(QStringLiteral("Printselected"));
    m_printAll = m_gridPopup->addAction(QStringLiteral("Print all"));
    m_printAll->setObjectName(QStringLiteral("PrintAll"));
    m_exportCsv = m_gridPopup->addAction(m_texts.program.ExportSheet);
    m_exportCsv->setObjectName(QStringLiteral("ExportCsv"));
    connect(m_exportCsv, &QAction::triggered, this,
            [this] { guarded([this] { ExportCsvClick(); }); });
    connect(m_gridPopup, &QMenu::aboutToShow, this,
            [this] { m_exportCsv->setEnabled(exportCsvAvailable()); });
    connect(m_delete1, &QAction::triggered, this, [this] { guarded([this] { Delete1Click(); }); });
    connect(m_printSelected, &QAction::triggered, this,
            [this] { guarded([this] { PrintselectedClick(); }); });
    connect(m_printAll, &QAction::triggered, this,
            [this] { guarded([this] { PrintAllClick(); }); });
    connect(m_grid, &PacketGrid::popupRequested, this,
            [this](const QPoint& at) { m_gridPopup->popup(at); });
    connect(m_grid, &PacketGrid::cellSelected, this,
            [this](int col, int row) { guarded([&] { filecontentSelectCell(col, row); }); });

    // Bottom panel: files at the left, the chart filling the rest.
    auto* bottom = new QGroupBox(central);
    bottom->setObjectName(QStringLiteral("dirchart_box"));
    bottom->setAutoFillBackground(true);
    bottom->setPalette(cream);
    bottom->setFixedHeight(214);
    auto* hb = new QHBoxLayout(bottom);
    hb->setContentsMargins(4, 4, 4, 4);
    m_filesGrp = new QGroupBox(QStringLiteral("Files"), bottom);
    m_filesGrp->setObjectName(QStringLiteral("files_grp"));
    m_filesGrp->setFixedWidth(240);
    auto* fl = new QVBoxLayout(m_filesGrp);
    fl->setContentsMargins(4, 4, 4, 4);
    m_filePanel = new FilePanel(m_filesGrp);
    fl->addWidget(m_filePanel);
    hb->addWidget(m_filesGrp);
    m_chart = new HistogramChart(bottom);
    hb->addWidget(m_chart, 1);
    vbox->addWidget(bottom);

    m_filePopup = new QMenu(m_filePanel->fileList());
    m_filePopup->setObjectName(QStringLiteral("file_pu"));
    m_wDeleteFile = m_filePopup->addAction(QStringLiteral("Delete"));
    m_wDeleteFile->setObjectName(QStringLiteral("WDeletefile"));
    connect(m_wDeleteFile, &QAction::triggered, this,
            [this] { guarded([this] { WDeletefileClick(); }); });
    m_filePanel->fileList()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_filePanel->fileList(), &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) {
                m_filePopup->popup(m_filePanel->fileList()->viewport()->mapToGlobal(pos));
            });
    connect(m_filePanel, &FilePanel::fileActivated, this,
            [this](const QString& name) { guarded([&] { FileListBoxClick(name); }); });

    // Short notes (where a printed document went) at the window's foot.
    statusBar()->setObjectName(QStringLiteral("statusbar"));
    statusBar()->setSizeGripEnabled(false);

    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("Mtimer"));
    m_timer->setInterval(m_env.tickMs);
    m_timer->setTimerType(Qt::PreciseTimer); // a coarse timer may fire 5 % late
    connect(m_timer, &QTimer::timeout, this, [this] { MtimerTimer(); });
    m_timer->start();

    // Centred on the screen.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect avail = screen->availableGeometry();
        move(avail.center() - QPoint(width() / 2, height() / 2));
    }
}

void TMainFrm::FormCreate() {
    m_state.Unsaved = false;
    m_state.UiFontName = QStringLiteral("MS Sans Serif");
    m_state.PacketCount = 0;
    m_countdown = 0;
    m_state.SelRow = -1;
    // Each step that fails is reported and the ones after it skipped; the window still opens.
    guarded([this] {
        m_state.settings = readSettings(settingsLocation().readFrom());
        ApplyLanguage();
        setFont(faceOrSystemFont(m_state.UiFontName, 13));
        try {
            m_filePanel->setFolder(m_state.settings.DataPath);
        } catch (const Failure&) {
            throw Failure(m_texts.program.CannotOpenFolder.arg(m_state.settings.DataPath));
        }
    });
}

ConfigLocation TMainFrm::settingsLocation() const {
    // The package ships no settings file: an installed program reads only the user's own.
    return ConfigLocation{m_env.settingsFile, m_env.settingsUserCopy, m_env.installed, false};
}

void TMainFrm::ApplyLanguage() {
    m_texts = readMainTexts(IniProfile::fromFile(m_env.languageFile));
    // The language file's font face is the one both windows use.
    m_state.UiFontName = m_texts.fontName;
    m_setupBtn->setText(literalCaption(m_texts.TB_setup));
    m_transferBtn->setText(literalCaption(m_texts.TB_trans));
    m_clearBtn->setText(literalCaption(m_texts.TB_clr));
    m_quitBtn->setText(literalCaption(m_texts.TB_quit));
    m_saveBtn->setText(literalCaption(m_texts.TB_save));
    m_packetGrp->setTitle(literalCaption(m_texts.packetPanel));
    m_filesGrp->setTitle(literalCaption(m_texts.filesPanel));
    for (int col = 0; col < kColumns; ++col)
        m_state.table.setHeading(col, gridHeading(m_texts, col));
    m_delete1->setText(literalCaption(m_texts.menuDelete));
    m_printSelected->setText(literalCaption(m_texts.menuPrintSelected));
    m_printAll->setText(literalCaption(m_texts.menuPrintAll));
    m_exportCsv->setText(literalCaption(m_texts.program.ExportSheet));
    m_wDeleteFile->setText(m_delete1->text());
    m_grid->setColumnWidth(kCommentCol, 400);
    for (int col = kFirstReadingCol; col <= kLastCol; ++col)
        m_grid->setColumnWidth(col, 50);
}

void TMainFrm::MtimerTimer() {
    tickCountdown(m_countdown);
}

void TMainFrm::showBox(const QString& text) {
    m_dialogs.showMessage(kTitle, text, Dialogs::Icon::None);
}

QString TMainFrm::saveTitle() const {
    return shownCaption(m_saveBtn->text());
}

bool TMainFrm::askSaveQuestion() {
    return m_commands->askSaveQuestion();
}

bool TMainFrm::saveQuestionAndSave() {
    return m_commands->saveQuestionAndSave(saveTitle());
}

bool TMainFrm::SaveAs_btnClick() {
    if (m_gate.busy())
        return !m_state.Unsaved;
    return m_commands->saveAs(saveTitle());
}

bool TMainFrm::WriteDataFile(const QString& fileName, int count) {
    return m_commands->writeDataFile(fileName, count);
}

void TMainFrm::tyo_quitClick() {
    if (m_gate.busy()) {
        // Quit goes on once the conversation has unwound.
        m_gate.deferUntilEnd([this] {
            QTimer::singleShot(0, this, [this] { guarded([this] { tyo_quitClick(); }); });
        });
        m_gate.cancel();
        return;
    }
    if (!guarded([this] { writeSettings(settingsLocation(), m_state.settings); }))
        return;
    if (!saveQuestionAndSave())
        return; // the packets were not saved: stay
    m_closing = true;
    waitForPrints();
    close();
    QCoreApplication::quit();
}

void TMainFrm::waitForPrints() {
    if (!DocumentPrinter::anyBusy())
        return;
    // A few seconds for documents on their way to a queue; what the scheduler has by then
    // stays with it. The window repaints meanwhile but takes no more commands.
    setEnabled(false);
    DocumentPrinter::finishAll(kQuitPrintWaitMs);
}

void TMainFrm::closeEvent(QCloseEvent* event) {
    if (m_closing) {
        event->accept();
        return;
    }
    if (m_gate.busy()) {
        event->ignore();
        m_gate.deferUntilEnd([this] { QTimer::singleShot(0, this, [this] { close(); }); });
        m_gate.cancel();
        return;
    }
    if (m_state.Unsaved && !saveQuestionAndSave()) {
        event->ignore();
        return;
    }
    m_closing = true;
    waitForPrints();
    event->accept();
}

void TMainFrm::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    update();
}

void TMainFrm::FileListBoxClick(const QString& fileName) {
    if (!m_gate.busy())
        m_commands->openDataFile(fileName, saveTitle());
}

void TMainFrm::ImportdatafileClick(const QString& fileName) {
    m_commands->loadDataFile(fileName);
}

void TMainFrm::WDeletefileClick() {
    if (!m_gate.busy())
        m_commands->deleteSelectedFile();
}

void TMainFrm::Delete1Click() {
    if (m_gate.busy())
        return;
    kelotari::Delete1Click(m_state);
}

void TMainFrm::filecontentSelectCell(int col, int row) {
    m_state.SelRow = row;
    if (col == kCommentCol) {
        m_state.Unsaved = true;
        return;
    }
    UpdateHistogram(row);
}

} // namespace kelotari
