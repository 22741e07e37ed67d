// The main window: building its controls and menus.
#include "ui/form_tcvarnel.h"
#include "ui/form_tcvarnel_design.h"

#include "app/settings.h"
#include "lang/language.h"
#include "ops/host_process.h"
#include "ui/details_pane.h"
#include "ui/menu_speed_button.h"
#include "ui/qt_text.h"

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSizeGrip>
#include <QStatusBar>
#include <QTabBar>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <set>

namespace varnel {

bool TFormTCVarnel::CommandAvailable(const char* handler) {
    static const std::set<std::string> available = {
        "btnRefreshClick",    "btnCloseClick",   "btnTCBrowseClick", "btnIniBrowseClick", "TabControl1Change",
        "btnAddClick",        "btnDisableClick", "btnRemoveClick",   "btnRenameClick",    "btnTCRunClick",
        "btnTCRestartClick",  "btnIniEditClick", "mnuBrowseClick",   "mnuDescClick",      "btnAboutClick",
        "btnReportClick",     "btnTweakClick",   "btnOrderClick",    "btnConfigureClick", "btnOptionsClick",
        "mnuInstallZipClick",
    };
    return available.count(handler) != 0;
}

class TFormTCVarnel::StatusLine : public Interaction {
public:
    explicit StatusLine(TFormTCVarnel& window) : m_window(window) {}
    void Status(const std::string& text) override { m_window.m_statusText->setText(FromAnsi(text)); }
    void OfferRestart(const std::string&) override { m_window.m_restartOffered = true; }

private:
    TFormTCVarnel& m_window;
};

TFormTCVarnel::TFormTCVarnel(const std::string& firstArgument, QWidget* parent) : QMainWindow(parent) {
    setObjectName("TFormTCVarnel");
    setWindowIcon(QIcon(":/icons/varnel.svg"));
    CreateControls();
    CreateMenus();
    setAcceptDrops(true);
    qApp->installEventFilter(this);
    m_statusLine = std::make_unique<StatusLine>(*this);

    // One-shot switches run their command and end the program before any window setting is read.
    if (firstArgument == "/install" || firstArgument == "/installZip" || firstArgument == "/order") {
        m_oneShot = true;
        if (firstArgument == "/install")
            btnAddClick();
        else if (firstArgument == "/installZip")
            mnuInstallZipClick();
        else
            btnOrderClick();
        return;
    }
    ApplyCreationSettings();
    m_created = true;
}

TFormTCVarnel::~TFormTCVarnel() {
    qApp->removeEventFilter(this);
}

void TFormTCVarnel::CreateControls() {
    auto* central = new QWidget(this);
    central->setObjectName("central");
    setCentralWidget(central);
    auto* outer = new QVBoxLayout(central);
    outer->setContentsMargins(2, 2, 2, 2);
    outer->setSpacing(2);

    // Host area.
    m_panel1 = new QFrame(central);
    m_panel1->setObjectName("Panel1");
    m_panel1->setFrameShape(QFrame::StyledPanel);
    m_panel1->setFrameShadow(QFrame::Raised);
    auto* grid = new QGridLayout(m_panel1);
    grid->setContentsMargins(6, 6, 6, 6);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(4);
    m_image1 = new QLabel(m_panel1);
    m_image1->setObjectName("Image1");
    m_image1->setPixmap(QIcon(":/icons/varnel.svg").pixmap(32, 32));
    m_image1->setFixedSize(32, 32);
    auto label = [&](const char* name) {
        auto* l = new QLabel(m_panel1);
        l->setObjectName(name);
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        return l;
    };
    auto readOnly = [&](const char* name) {
        auto* e = new QLineEdit(m_panel1);
        e->setObjectName(name);
        e->setReadOnly(true);
        e->setFocusPolicy(Qt::NoFocus);
        return e;
    };
    auto button = [&](const char* name, const QString& text) {
        auto* b = new QPushButton(text, m_panel1);
        b->setObjectName(name);
        return b;
    };
    m_label4 = label("Label4");
    m_label1 = label("Label1");
    m_label5 = label("Label5");
    m_label6 = label("Label6");
    m_sTCPath1 = readOnly("sTCPath1");
    m_sTCini1 = readOnly("sTCini1");
    m_sTCVersion = new QLabel(m_panel1);
    m_sTCVersion->setObjectName("sTCVersion");
    m_sTCState = new QLabel(m_panel1);
    m_sTCState->setObjectName("sTCState");
    m_btnTCBrowse = button("btnTCBrowse", "...");
    m_btnIniBrowse = button("btnIniBrowse", "...");
    for (QPushButton* b : {m_btnTCBrowse, m_btnIniBrowse})
        b->setFixedWidth(28);
    m_btnTCRun = button("btnTCRun", "R&un");
    m_btnTCRestart = button("btnTCRestart", "Res&tart!");
    m_btnIniEdit = button("btnIniEdit", "&Edit");

    grid->addWidget(m_image1, 0, 0, 2, 1, Qt::AlignTop);
    grid->addWidget(m_label4, 0, 1);
    grid->addWidget(m_sTCPath1, 0, 2);
    grid->addWidget(m_btnTCBrowse, 0, 3);
    grid->addWidget(m_btnTCRun, 0, 4);
    grid->addWidget(m_btnTCRestart, 0, 5);
    grid->addWidget(m_label1, 1, 1);
    grid->addWidget(m_sTCini1, 1, 2);
    grid->addWidget(m_btnIniBrowse, 1, 3);
    grid->addWidget(m_btnIniEdit, 1, 4);
    auto* stateRow = new QHBoxLayout();
    stateRow->setSpacing(6);
    stateRow->addWidget(m_sTCVersion);
    stateRow->addSpacing(24);
    stateRow->addWidget(m_label6);
    stateRow->addWidget(m_sTCState);
    stateRow->addStretch(1);
    grid->addWidget(m_label5, 2, 1);
    grid->addLayout(stateRow, 2, 2, 1, 4);
    grid->setColumnStretch(2, 1);
    outer->addWidget(m_panel1);

    // Command area: tool buttons, tabs and the list.
    m_panel2 = new QFrame(central);
    m_panel2->setObjectName("Panel2");
    m_panel2->setFrameShape(QFrame::StyledPanel);
    m_panel2->setFrameShadow(QFrame::Raised);
    auto* commands = new QVBoxLayout(m_panel2);
    commands->setContentsMargins(4, 4, 4, 4);
    commands->setSpacing(4);
    m_toolRow = new QWidget(m_panel2);
    m_toolRow->setObjectName("ToolRow");
    auto tool = [&](const char* name, const char* icon) {
        auto* b = new TMenuSpeedButton(m_toolRow);
        b->setObjectName(name);
        b->setIcon(QIcon(icon));
        return b;
    };
    m_btnAdd = tool("btnAdd", ":/icons/add.svg");
    m_btnEnable = tool("btnEnable", ":/icons/enable.svg");
    m_btnDisable = tool("btnDisable", ":/icons/disable.svg");
    m_btnRemove = tool("btnRemove", ":/icons/remove.svg");
    m_btnRename = tool("btnRename", ":/icons/rename.svg");
    m_btnTweak = tool("btnTweak", ":/icons/tweak.svg");
    m_btnConfigure = tool("btnConfigure", ":/icons/configure.svg");
    m_btnOrder = tool("btnOrder", ":/icons/order.svg");
    m_btnOptions = tool("btnOptions", ":/icons/options.svg");
    m_btnReport = tool("btnReport", ":/icons/report.svg");
    m_btnUndo = tool("btnUndo", ":/icons/undo.svg");
    m_btnAbout = tool("btnAbout", ":/icons/about.svg");
    m_btnClose = tool("btnClose", ":/icons/close.svg");
    m_btnEnable->hide();
    m_btnTweak->hide();
    m_toolMore = new QToolButton(m_toolRow);
    m_toolMore->setObjectName("btnMore");
    m_toolMore->setText(QString::fromUtf8("\u00BB"));
    m_toolMore->setAutoRaise(true);
    m_toolMore->setPopupMode(QToolButton::InstantPopup);
    m_toolMoreMenu = new QMenu(m_toolMore);
    m_toolMore->setMenu(m_toolMoreMenu);
    m_toolMore->hide();
    connect(m_toolMoreMenu, &QMenu::aboutToShow, this, [this] { FillToolOverflowMenu(); });
    commands->addWidget(m_toolRow);

    m_panel3 = new QWidget(m_panel2);
    m_panel3->setObjectName("Panel3");
    auto* listArea = new QVBoxLayout(m_panel3);
    listArea->setContentsMargins(0, 0, 0, 0);
    listArea->setSpacing(0);
    m_tabControl1 = new QTabBar(m_panel3);
    m_tabControl1->setObjectName("TabControl1");
    m_tabControl1->setDocumentMode(true);
    m_tabControl1->setExpanding(false);
    m_tabControl1->setDrawBase(false);
    // The kind tabs, and at their right the filter box.
    auto* tabRow = new QHBoxLayout();
    tabRow->setContentsMargins(0, 0, 0, 2);
    tabRow->addWidget(m_tabControl1);
    tabRow->addStretch(1);
    m_ffFilter = new QLineEdit(m_panel3);
    m_ffFilter->setObjectName("ffFilter");
    m_ffFilter->setClearButtonEnabled(true);
    m_ffFilter->setMinimumWidth(180);
    tabRow->addWidget(m_ffFilter);
    listArea->addLayout(tabRow);
    m_listView1 = new QTableWidget(0, kPluginListColumns, m_panel3);
    m_listView1->setObjectName("ListView1");
    m_listView1->setShowGrid(true);
    m_listView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_listView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_listView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_listView1->setTabKeyNavigation(false); // Tab goes to the next control, as in any list of rows
    m_listView1->setWordWrap(false);
    m_listView1->setIconSize(QSize(16, 16));
    m_listView1->verticalHeader()->hide();
    m_listView1->verticalHeader()->setDefaultSectionSize(m_listView1->fontMetrics().height() + 4);
    m_listView1->horizontalHeader()->setMinimumSectionSize(0);
    m_listView1->horizontalHeader()->setHighlightSections(false);
    m_listView1->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_listView1->horizontalHeader()->setStretchLastSection(true);
    // The bitness column came last; it is shown beside the state, which it explains.
    m_listView1->horizontalHeader()->moveSection(kPluginListColumns - 1, 4);
    m_listView1->setSortingEnabled(false);
    m_listView1->setContextMenuPolicy(Qt::CustomContextMenu);
    listArea->addWidget(m_listView1, 1);
    m_details = new TDetailsPane(m_panel3);
    // Room for the name, its facts and the links without scrolling.
    m_details->setFixedHeight(12 * m_details->fontMetrics().height());
    m_details->hide();
    listArea->addWidget(m_details);
    commands->addWidget(m_panel3, 1);
    outer->addWidget(m_panel2, 1);

    m_statusBar1 = new QStatusBar(this);
    m_statusBar1->setObjectName("StatusBar1");
    m_statusText = new QLabel(m_statusBar1);
    m_statusText->setObjectName("StatusText");
    m_statusText->setTextFormat(Qt::PlainText);
    connect(m_statusText, &QLabel::linkActivated, this, [this] {
        m_restartOffered = false;
        btnTCRestartClick();
    });
    m_statusBar1->addWidget(m_statusText, 1);
    setStatusBar(m_statusBar1);
    m_sizeGrip = new SizeGripCorner(this);
    m_sizeGrip->setObjectName("SizeGrip");
    m_sizeGrip->setFixedSize(kSizeGrip, kSizeGrip);
    m_sizeGrip->hide();

    m_timer1 = new QTimer(this);
    m_timer1->setObjectName("Timer1");
    m_timer1->setInterval(5000);

    setMinimumSize(kMinimumWidth, kMinimumHeight);
    move(kDesignLeft, kDesignTop);
    resize(kDesignWidth, kDesignHeight);

    connect(m_btnTCBrowse, &QPushButton::clicked, this, [this] { btnTCBrowseClick(); });
    connect(m_btnIniBrowse, &QPushButton::clicked, this, [this] { btnIniBrowseClick(); });
    connect(m_btnTCRun, &QPushButton::clicked, this, [this] { btnTCRunClick(); });
    connect(m_btnTCRestart, &QPushButton::clicked, this, [this] { btnTCRestartClick(); });
    connect(m_btnIniEdit, &QPushButton::clicked, this, [this] { btnIniEditClick(); });
    m_btnDisable->SetClickCommand([this] { btnDisableClick(); });
    m_btnEnable->SetClickCommand([this] { btnDisableClick(); });
    m_btnRemove->SetClickCommand([this] { btnRemoveClick(); });
    m_btnRename->SetClickCommand([this] { btnRenameClick(); });
    m_btnTweak->SetClickCommand([this] { btnTweakClick(); });
    m_btnConfigure->SetClickCommand([this] { btnConfigureClick(); });
    m_btnOrder->SetClickCommand([this] { btnOrderClick(); });
    m_btnOptions->SetClickCommand([this] { btnOptionsClick(); });
    m_btnReport->SetClickCommand([this] { btnReportClick(); });
    m_btnUndo->SetClickCommand([this] { mnuUndoClick(); });
    m_btnAbout->SetClickCommand([this] { btnAboutClick(); });
    m_btnClose->SetClickCommand([this] { btnCloseClick(); });
    connect(m_tabControl1, &QTabBar::currentChanged, this, [this] { TabControl1Change(); });
    connect(m_listView1->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int column) { ListView1ColumnClick(column); });
    connect(m_listView1, &QTableWidget::itemSelectionChanged, this, [this] { ListView1Change(); });
    connect(m_listView1, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (!m_populating && item->column() == 0)
            ListCheckChanged(item->row());
    });
    connect(m_listView1, &QTableWidget::currentCellChanged, this, [this] { ShowDetails(); });
    connect(m_ffFilter, &QLineEdit::textChanged, this, [this] { ApplyFilter(); });
    m_listView1->viewport()->installEventFilter(this);
    connect(m_listView1, &QTableWidget::cellDoubleClicked, this, [this] {
        if (m_btnDisable->isEnabled() || m_btnEnable->isEnabled())
            btnDisableClick();
    });
    connect(m_listView1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { m_popupMenu1->popup(m_listView1->viewport()->mapToGlobal(at)); });
    connect(m_timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
}

void TFormTCVarnel::CreateMenus() {
    m_popupMenu1 = new QMenu(this);
    m_popupMenu1->setObjectName("PopupMenu1");
    auto item = [&](QMenu* menu, const char* name, auto handler) {
        auto* action = menu->addAction(QString());
        action->setObjectName(name);
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    m_mnuDisable = item(m_popupMenu1, "mnuDisable", [this] { btnDisableClick(); });
    m_mnuEnable = item(m_popupMenu1, "mnuEnable", [this] { btnDisableClick(); });
    m_mnuUninstall = item(m_popupMenu1, "mnuUninstall", [this] { btnRemoveClick(); });
    m_mnuBrowse = item(m_popupMenu1, "mnuBrowse", [this] { mnuBrowseClick(); });
    m_mnuRename = item(m_popupMenu1, "mnuRename", [this] { btnRenameClick(); });
    m_mnuTweak = item(m_popupMenu1, "mnuTweak", [this] { btnTweakClick(); });
    m_mnuConfigure = item(m_popupMenu1, "mnuConfigure", [this] { btnConfigureClick(); });
    m_popupMenu1->addSeparator();
    m_mnuInstall = item(m_popupMenu1, "mnuInstall", [this] { btnAddClick(); });
    m_mnuInstallZip = item(m_popupMenu1, "mnuInstallZip", [this] { mnuInstallZipClick(); });
    m_popupMenu1->addSeparator();
    m_mnuOrder = item(m_popupMenu1, "mnuOrder", [this] { btnOrderClick(); });
    m_mnuRefresh = item(m_popupMenu1, "mnuRefresh", [this] { btnRefreshClick(); });
    m_mnuEnable->setVisible(false);
    m_mnuTweak->setVisible(false);

    CreateFileMenu();
    CreateEditMenu();
    CreateHelpMenu();
    // Undo, History and Check where the user's right click is too (without the Edit menu's
    // accelerators, which letters of this menu already use).
    m_popupMenu1->addSeparator();
    m_popUndo = item(m_popupMenu1, "mnuUndoPopup", [this] { mnuUndoClick(); });
    m_popHistory = item(m_popupMenu1, "mnuHistoryPopup", [this] { mnuHistoryClick(); });
    m_popCheck = item(m_popupMenu1, "mnuCheckPopup", [this] { mnuCheckClick(); });
    connect(m_popupMenu1, &QMenu::aboutToShow, this, [this] { UpdateUndoAction(); });

    m_popupMenu2 = new QMenu(this);
    m_popupMenu2->setObjectName("PopupMenu2");
    m_mnu2Install = item(m_popupMenu2, "mnu2Install", [this] { btnAddClick(); });
    m_mnu2InstallZip = item(m_popupMenu2, "mnu2InstallZip", [this] { mnuInstallZipClick(); });
    m_btnAdd->SetDropDownMenu(m_popupMenu2);
    // The menus show the keys the window answers (it handles them itself, whatever has the focus).
    for (QAction* action : {m_mnuInstall, m_mnu2Install})
        action->setShortcut(QKeySequence(Qt::Key_Insert));
    for (QAction* action : {m_mnuInstallZip, m_mnu2InstallZip})
        action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Insert));
    for (QAction* action : {m_mnuInstall, m_mnu2Install, m_mnuInstallZip, m_mnu2InstallZip})
        action->setShortcutContext(Qt::WidgetShortcut);

    // Commands this build cannot run yet never look available.
    SetActionEnabled(m_mnuInstall, "btnAddClick", true);
    SetActionEnabled(m_mnu2Install, "btnAddClick", true);
    SetActionEnabled(m_mnuInstallZip, "mnuInstallZipClick", true);
    SetActionEnabled(m_mnu2InstallZip, "mnuInstallZipClick", true);
    SetActionEnabled(m_mnuEnable, "btnDisableClick", true);
    SetActionEnabled(m_mnuRefresh, "btnRefreshClick", true);
}

void TFormTCVarnel::SetCommandEnabled(QWidget* widget, const char* handler, bool enabled, int whyNot) {
    if (!CommandAvailable(handler))
        whyNot = kWhyNotInThisVersion;
    else if (!enabled && !m_hostFound)
        whyNot = kWhyNoHost;
    bool on = enabled && CommandAvailable(handler);
    widget->setEnabled(on);
    widget->setProperty("whyNot", on ? 0 : whyNot);
    UpdateToolTip(widget);
}

void TFormTCVarnel::SetHint(QWidget* widget, const QString& hint) {
    widget->setProperty("hint", hint);
    UpdateToolTip(widget);
}

void TFormTCVarnel::UpdateToolTip(QWidget* widget) {
    QString tip = widget->property("hint").toString();
    int whyNot = widget->property("whyNot").toInt();
    if (whyNot > 0)
        tip += (tip.isEmpty() ? "" : "\n") + FromAnsi(Message(whyNot));
    widget->setToolTip(tip);
}

void TFormTCVarnel::SetActionEnabled(QAction* action, const char* handler, bool enabled) {
    action->setEnabled(enabled && CommandAvailable(handler));
}

int TFormTCVarnel::SelectedTab() const {
    return std::max(0, m_tabControl1->currentIndex());
}

} // namespace varnel
