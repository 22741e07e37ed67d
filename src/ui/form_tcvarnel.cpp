#include "ui/form_tcvarnel.h"

#include "app/settings.h"
#include "catalog/host_config.h"
#include "catalog/host_location.h"
#include "catalog/module_info.h"
#include "lang/language.h"
#include "ops/host_process.h"
#include "ops/install.h"
#include "ops/plugin_commands.h"
#include "ops/user_dialogs.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "ui/menu_speed_button.h"
#include "ui/qt_text.h"
#include "util/text.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QSizeGrip>
#include <QStatusBar>
#include <QStyleOptionSizeGrip>
#include <QTabBar>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <cstring>
#include <set>

namespace varnel {

namespace {

// Design geometry of the window (client size and position).
constexpr int kDesignLeft = 186;
constexpr int kDesignTop = 103;
constexpr int kDesignWidth = 636;
constexpr int kDesignHeight = 426;
constexpr int kMinimumWidth = 450;
constexpr int kMinimumHeight = 250;
constexpr int kStatusBarDesignHeight = 19;
constexpr int kSizeGrip = 17;

// The size grip painted in the bottom-right corner when the status bar is hidden. QSizeGrip
// decides on its own visibility by the window manager's state; this one is shown exactly when
// the window says so.
class SizeGripCorner : public QSizeGrip {
public:
    using QSizeGrip::QSizeGrip;
    void SetShown(bool shown) { QWidget::setVisible(shown); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        QStyleOptionSizeGrip option;
        option.initFrom(this);
        option.corner = Qt::BottomRightCorner;
        style()->drawControl(QStyle::CE_SizeGrip, &option, &painter, this);
    }
};

// OpenDialog1: the host executable.
FileDialogRequest HostExecutableDialog(const std::string& initialFolder) {
    FileDialogRequest request;
    request.title = GetCaption(55);
    request.initialFolder = initialFolder;
    request.defaultName = "TotalCmd.exe";
    request.filters = {{"*.exe", "*.exe"}};
    return request;
}

QIcon ListIcon(int index) {
    static const char* const names[] = {":/icons/lister.svg", ":/icons/packer.svg", ":/icons/fs.svg",
                                        ":/icons/content.svg", ":/icons/off.svg"};
    if (index < 0 || index > 4)
        index = 4;
    return QIcon(names[index]);
}

} // namespace

bool TFormTCVarnel::CommandAvailable(const char* handler) {
    static const std::set<std::string> available = {
        "btnRefreshClick",   "btnCloseClick",   "btnTCBrowseClick", "btnIniBrowseClick", "TabControl1Change",
        "btnAddClick",       "btnDisableClick", "btnRemoveClick",   "btnRenameClick",    "btnTCRunClick",
        "btnTCRestartClick", "btnIniEditClick", "mnuBrowseClick",
    };
    return available.count(handler) != 0;
}

TFormTCVarnel::TFormTCVarnel(const std::string& firstArgument, QWidget* parent) : QMainWindow(parent) {
    setObjectName("TFormTCVarnel");
    setWindowIcon(QIcon(":/icons/varnel.svg"));
    CreateControls();
    CreateMenus();
    qApp->installEventFilter(this);
    SetStatusReporter([this](const std::string& text) { m_statusText->setText(FromAnsi(text)); });

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
    SetStatusReporter(nullptr);
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
    m_btnAbout = tool("btnAbout", ":/icons/about.svg");
    m_btnClose = tool("btnClose", ":/icons/close.svg");
    m_btnEnable->hide();
    m_btnTweak->hide();
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
    listArea->addWidget(m_tabControl1);
    m_listView1 = new QTableWidget(0, kPluginListColumns, m_panel3);
    m_listView1->setObjectName("ListView1");
    m_listView1->setShowGrid(true);
    m_listView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_listView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_listView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_listView1->setWordWrap(false);
    m_listView1->setIconSize(QSize(16, 16));
    m_listView1->verticalHeader()->hide();
    m_listView1->verticalHeader()->setDefaultSectionSize(m_listView1->fontMetrics().height() + 4);
    m_listView1->horizontalHeader()->setMinimumSectionSize(0);
    m_listView1->horizontalHeader()->setHighlightSections(false);
    m_listView1->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_listView1->horizontalHeader()->setStretchLastSection(false);
    // The bitness column came last; it is shown beside the state, which it explains.
    m_listView1->horizontalHeader()->moveSection(kPluginListColumns - 1, 4);
    m_listView1->setSortingEnabled(false);
    m_listView1->setContextMenuPolicy(Qt::CustomContextMenu);
    listArea->addWidget(m_listView1, 1);
    commands->addWidget(m_panel3, 1);
    outer->addWidget(m_panel2, 1);

    m_statusBar1 = new QStatusBar(this);
    m_statusBar1->setObjectName("StatusBar1");
    m_statusText = new QLabel(m_statusBar1);
    m_statusText->setObjectName("StatusText");
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
    m_btnAbout->SetClickCommand([this] { btnAboutClick(); });
    m_btnClose->SetClickCommand([this] { btnCloseClick(); });
    connect(m_tabControl1, &QTabBar::currentChanged, this, [this] { TabControl1Change(); });
    connect(m_listView1->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int column) { ListView1ColumnClick(column); });
    connect(m_listView1, &QTableWidget::itemSelectionChanged, this, [this] { ListView1Change(); });
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

    m_popupMenu2 = new QMenu(this);
    m_popupMenu2->setObjectName("PopupMenu2");
    m_mnu2Install = item(m_popupMenu2, "mnu2Install", [this] { btnAddClick(); });
    m_mnu2InstallZip = item(m_popupMenu2, "mnu2InstallZip", [this] { mnuInstallZipClick(); });
    m_btnAdd->SetDropDownMenu(m_popupMenu2);

    // Commands this build cannot run yet never look available.
    SetActionEnabled(m_mnuInstall, "btnAddClick", true);
    SetActionEnabled(m_mnu2Install, "btnAddClick", true);
    SetActionEnabled(m_mnuInstallZip, "mnuInstallZipClick", true);
    SetActionEnabled(m_mnu2InstallZip, "mnuInstallZipClick", true);
    SetActionEnabled(m_mnuEnable, "btnDisableClick", true);
    SetActionEnabled(m_mnuRefresh, "btnRefreshClick", true);
}

void TFormTCVarnel::ApplyCreationSettings() {
    Settings& s = AppSettings();
    s.Left = kDesignLeft;
    s.Top = kDesignTop;
    s.Width = kDesignWidth;
    s.Height = kDesignHeight;
    s.ColumnWidths = {200, 80, 0, 70, 180, 250, 110};
    ReadWindowSettings(s);

    m_tabControl1->setVisible(s.ShowTabs);
    m_statusBar1->setVisible(s.ShowStatusBar);
    int designHeight = kDesignHeight;
    if (!s.ShowStatusBar)
        designHeight -= kStatusBarDesignHeight - 4;
    m_timer1->setInterval(s.RefreshInterval);
    if (s.Refresh && s.RefreshInterval > 0)
        m_timer1->start();
    // A stored size below the minimum is refused as a whole, like a drag would be.
    if (s.Width >= kMinimumWidth && s.Height >= kMinimumHeight) {
        move(s.Left, s.Top);
        resize(s.Width, s.Height == kDesignHeight ? designHeight : s.Height);
    } else {
        move(s.Left, s.Top);
        resize(kDesignWidth, designHeight);
    }
    for (int i = 0; i < kPluginListColumns; ++i)
        m_listView1->setColumnWidth(i, s.ColumnWidths[static_cast<size_t>(i)]);
    if (s.SortColumn < 0 || s.SortColumn >= kPluginListColumns)
        s.SortColumn = 0;
    ApplyColumnOptions();
    PlaceSizeGrip();
}

void TFormTCVarnel::SetCommandEnabled(QWidget* widget, const char* handler, bool enabled) {
    widget->setEnabled(enabled && CommandAvailable(handler));
}

void TFormTCVarnel::SetActionEnabled(QAction* action, const char* handler, bool enabled) {
    action->setEnabled(enabled && CommandAvailable(handler));
}

int TFormTCVarnel::SelectedTab() const {
    return std::max(0, m_tabControl1->currentIndex());
}

// ---- Showing ------------------------------------------------------------------------------

void TFormTCVarnel::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!event->spontaneous())
        QTimer::singleShot(0, this, [this] { FormShow(); });
}

void TFormTCVarnel::SetCaptions() {
    QString title = FromAnsi(FormatPrintf(Message(50), {kProgramVersionText}));
    setWindowTitle(title);
    QApplication::setApplicationDisplayName(QString());
    auto caption = [](int n) { return FromAnsi(GetCaption(n)); };
    m_label4->setText(caption(51));
    m_label5->setText(caption(52));
    m_label6->setText(caption(53));
    m_label1->setText(caption(54));
    m_btnTCBrowse->setToolTip(caption(55));
    m_sTCPath1->setToolTip(caption(56));
    m_sTCini1->setToolTip(caption(57));
    m_btnIniBrowse->setToolTip(caption(58));
    m_btnTCRun->setText(caption(60));
    m_btnTCRun->setToolTip(caption(59));
    m_btnTCRestart->setText(caption(62));
    m_btnTCRestart->setToolTip(caption(61));
    struct Tool {
        TMenuSpeedButton* button;
        int text;
        int hint;
    } tools[] = {{m_btnAdd, 64, 63},    {m_btnOptions, 66, 65}, {m_btnAbout, 68, 67},
                 {m_btnClose, 70, 69},  {m_btnDisable, 85, 71}, {m_btnEnable, 86, 71},
                 {m_btnRemove, 74, 73}, {m_btnRename, 76, 75},  {m_btnConfigure, 81, 82},
                 {m_btnOrder, 83, 84},  {m_btnTweak, 93, 94},   {m_btnReport, 114, 115}};
    for (const Tool& t : tools) {
        t.button->setText(caption(t.text));
        t.button->setToolTip(caption(t.hint));
    }
    m_btnIniEdit->setText(caption(112));
    m_btnIniEdit->setToolTip(caption(113));
    m_tabControl1->setToolTip(caption(88));
    m_columnCaptions = {GetCaption(77), TextBefore(GetCaption(111), ":"),
                        GetCaption(78), GetCaption(79),
                        GetCaption(80), GetCaption(92),
                        GetCaption(90)};
    UpdateSortMarks();
    for (int k = 0; k < 4; ++k)
        m_kindShortNames[static_cast<size_t>(k)] = KindShortName(Message(40 + k));

    LayoutToolButtons();

    auto text = [](TMenuSpeedButton* b) { return b->text(); };
    m_mnuDisable->setText(text(m_btnDisable));
    m_mnuEnable->setText(text(m_btnEnable));
    m_mnuUninstall->setText(text(m_btnRemove) + "\tDel");
    m_mnuRename->setText(text(m_btnRename) + "\tF6");
    m_mnuTweak->setText(text(m_btnTweak) + "\tF6");
    m_mnuConfigure->setText(text(m_btnConfigure) + "\tF9");
    m_mnuBrowse->setText(caption(89) + "\tF4");
    m_mnuInstall->setText(caption(64) + "...\tIns");
    m_mnuInstallZip->setText(caption(91));
    m_mnu2Install->setText(m_mnuInstall->text());
    m_mnu2InstallZip->setText(m_mnuInstallZip->text());
    m_mnuOrder->setText(caption(83) + "\t\tCtrl+O");
    m_mnuRefresh->setText(caption(87) + "\tCtrl+R");
}

void TFormTCVarnel::LayoutToolButtons() {
    // Disable/Enable and Rename/Tweak each share one place; the place is as wide as the wider
    // caption of the pair, so that neither is cut off.
    struct Slot {
        TMenuSpeedButton* button;
        TMenuSpeedButton* partner;
    };
    const Slot sequence[] = {{m_btnAdd, nullptr},       {m_btnDisable, m_btnEnable}, {m_btnRemove, nullptr},
                             {m_btnRename, m_btnTweak}, {m_btnConfigure, nullptr},   {m_btnOrder, nullptr},
                             {nullptr, nullptr},        {m_btnOptions, nullptr},     {m_btnReport, nullptr},
                             {m_btnAbout, nullptr},     {m_btnClose, nullptr}};
    QFontMetrics metrics(font());
    auto widthOf = [&](TMenuSpeedButton* b) {
        QString text = b->text();
        int width = metrics.horizontalAdvance(text) + 2;
        if (!text.contains('&'))
            width += 4;
        // The style's own padding around the caption must fit too, or the caption is cut.
        return std::max({width, 55, b->sizeHint().width()});
    };
    int left = 0;
    bool afterGap = false;
    int rowHeight = 0;
    for (const Slot& slot : sequence) {
        if (!slot.button) {
            afterGap = true;
            continue;
        }
        int width = widthOf(slot.button);
        if (slot.partner)
            width = std::max(width, widthOf(slot.partner));
        if (afterGap) {
            left += 20;
            afterGap = false;
        }
        int buttonHeight = slot.button->sizeHint().height();
        rowHeight = std::max(rowHeight, buttonHeight);
        slot.button->setGeometry(left, 0, width, buttonHeight);
        if (slot.partner)
            slot.partner->setGeometry(left, 0, width, buttonHeight);
        left += width;
    }
    m_toolRow->setFixedHeight(rowHeight);
    m_toolRow->setMinimumWidth(left);
    // Longer captions (another language) widen the window so that no button is cut off.
    QMargins outer = centralWidget()->layout()->contentsMargins();
    QMargins inner = m_panel2->layout()->contentsMargins();
    int chrome = outer.left() + outer.right() + inner.left() + inner.right() + 2 * m_panel2->frameWidth();
    if (left + chrome > width())
        resize(left + chrome, height());
}

void TFormTCVarnel::FormShow() {
    SetCaptions();
    Settings& s = AppSettings();
    if (!m_hostOffered) {
        // Without a usable prefix no Windows path leads anywhere: say so once, by name, and let
        // the window open with the host controls off.
        if (std::optional<std::string> problem = platform::PrefixProblem()) {
            ShowAppMessage(FormatPrintf(Message(95), {platform::PrefixDir(), *problem}), kStyleError);
            m_hostOffered = true;
        }
    }
    if (!m_hostOffered && !platform::FileExists(s.TCPath)) {
        m_hostOffered = true;
        std::vector<std::string> chosen = Dialogs().OpenFiles(HostExecutableDialog("C:\\"));
        if (!chosen.empty()) {
            s.TCPath = chosen.front();
            WriteSettingString("Paths", "TCPath", s.TCPath);
        }
    }
    ShowHost(s.TCPath);
}

// ---- Host area ----------------------------------------------------------------------------

void TFormTCVarnel::ShowHost(const std::string& hostExe) {
    Settings& s = AppSettings();
    s.TCPath = hostExe;
    m_sTCPath1->setText(FromAnsi(hostExe));
    m_sTCini1->setText(FromAnsi(ContractWindowsDir(s.IniPath)));
    m_versionText = ReadVersionText(hostExe, "ProductVersion");
    m_sTCVersion->setText(FromAnsi(m_versionText));
    m_sTCState->setText(FromAnsi(Message(kStateIdle)));
    m_sTCState->setStyleSheet(QString());
    m_hostFound = DetectHost();
    m_listView1->setRowCount(0);
    m_rows.clear();
    SetHostControlsEnabled(m_hostFound);
    RebuildTabs(m_versionText);
    if (m_hostFound) {
        ShowHostState();
        FillList();
    } else {
        m_btnTCBrowse->setFocus();
    }
}

void TFormTCVarnel::SetHostControlsEnabled(bool ok) {
    m_listView1->setEnabled(ok);
    m_tabControl1->setEnabled(ok);
    SetCommandEnabled(m_btnTCRun, "btnTCRunClick", ok);
    SetCommandEnabled(m_btnTCRestart, "btnTCRestartClick", ok);
    SetCommandEnabled(m_btnAdd, "btnAddClick", ok);
    SetCommandEnabled(m_btnDisable, "btnDisableClick", ok);
    SetCommandEnabled(m_btnEnable, "btnDisableClick", ok);
    SetCommandEnabled(m_btnRemove, "btnRemoveClick", ok);
    SetCommandEnabled(m_btnRename, "btnRenameClick", ok);
    SetCommandEnabled(m_btnTweak, "btnTweakClick", ok);
    SetCommandEnabled(m_btnConfigure, "btnConfigureClick", ok);
    SetCommandEnabled(m_btnOrder, "btnOrderClick", ok);
    SetCommandEnabled(m_btnOptions, "btnOptionsClick", ok);
    SetCommandEnabled(m_btnReport, "btnReportClick", ok);
    SetCommandEnabled(m_btnIniEdit, "btnIniEditClick", ok);
    // The drop-down of btnAdd has no command of its own: it opens when any of its items can run.
    if (ok && !CommandAvailable("btnAddClick") && CommandAvailable("mnuInstallZipClick"))
        m_btnAdd->setEnabled(true);
    SetCommandEnabled(m_btnAbout, "btnAboutClick", true);
    SetCommandEnabled(m_btnClose, "btnCloseClick", true);
}

void TFormTCVarnel::RebuildTabs(const std::string& versionText) {
    int remembered = m_tabControl1->currentIndex();
    QSignalBlocker block(m_tabControl1);
    while (m_tabControl1->count() > 0)
        m_tabControl1->removeTab(0);
    m_tabControl1->addTab("    *  ");
    for (int k = 0; k < 3; ++k)
        m_tabControl1->addTab(FromAnsi(m_kindShortNames[static_cast<size_t>(k)]));
    if (HostVersionHasContentPlugins(versionText))
        m_tabControl1->addTab(FromAnsi(m_kindShortNames[3]));
    // A remembered tab that no longer exists (Content on an old host) falls back to all kinds.
    int index = remembered < 0 ? AppSettings().TabIndex : remembered;
    m_tabControl1->setCurrentIndex(index >= 0 && index < m_tabControl1->count() ? index : 0);
}

void TFormTCVarnel::ShowHostState() {
    bool running = HostRunning();
    m_sTCState->setText(FromAnsi(Message(running ? kStateRunning : kStateIdle)));
    m_sTCState->setStyleSheet(running ? "color: blue;" : QString());
    SetCommandEnabled(m_btnTCRestart, "btnTCRestartClick", running);
}

void TFormTCVarnel::btnTCBrowseClick() {
    Settings& s = AppSettings();
    std::string start = platform::FileExists(s.TCPath) ? FolderPart(s.TCPath) : std::string("C:\\");
    std::vector<std::string> chosen = Dialogs().OpenFiles(HostExecutableDialog(start));
    if (chosen.empty())
        return;
    ShowHost(chosen.front());
    WriteSettingString("Paths", "TCPath", s.TCPath);
}

void TFormTCVarnel::btnIniBrowseClick() {
    Settings& s = AppSettings();
    FileDialogRequest request;
    request.title = GetCaption(58);
    request.initialFolder = platform::WindowsDirectory();
    request.defaultName = "wincmd.ini";
    request.filters = {{"*.ini", "*.ini"}};
    std::vector<std::string> chosen = Dialogs().OpenFiles(request);
    if (chosen.empty())
        return;
    s.IniPath = chosen.front();
    m_sTCini1->setText(FromAnsi(s.IniPath));
    ShowHost(s.TCPath);
    WriteSettingString("Paths", "IniPath", ContractWindowsDir(s.IniPath));
}

// ---- The list -----------------------------------------------------------------------------

void TFormTCVarnel::FillList() {
    Settings& s = AppSettings();
    SetHostPaths(s.TCPath, s.IniPath);
    LoadTable(true);
    PluginListOptions options;
    options.tab = SelectedTab();
    options.showTypes = s.ShowTypes;
    options.showVersions = s.ShowVersionsCol;
    options.showDescriptions = s.ShowDescriptions;

    int remembered = 0;
    QList<QTableWidgetSelectionRange> ranges = m_listView1->selectedRanges();
    if (!ranges.isEmpty()) {
        remembered = m_listView1->rowCount();
        for (const QTableWidgetSelectionRange& r : ranges)
            remembered = std::min(remembered, r.topRow());
    }
    int missing = 0;
    m_rows = BuildPluginListRows(options, &missing);
    SortPluginListRows(m_rows, s.SortColumn, s.SortAsc);
    bool any = !m_rows.empty();
    if (!any) {
        PluginListRow placeholder;
        placeholder.placeholder = true;
        placeholder.icon = kIconDisabledOrMissing;
        placeholder.caption = Message(55);
        m_rows.push_back(placeholder);
    }
    PopulateList(any ? (remembered < static_cast<int>(m_rows.size()) ? remembered : 0) : -1);
    m_listView1->setEnabled(any);
    UpdateSortMarks();
    m_statusText->setText(FromAnsi(FormatPrintf(Message(72), {static_cast<int>(m_rows.size()), missing})));
    ListView1Change();
}

void TFormTCVarnel::PopulateList(int selectPosition) {
    m_listView1->setUpdatesEnabled(false);
    {
        QSignalBlocker block(m_listView1);
        m_listView1->clearSelection();
        m_listView1->setRowCount(static_cast<int>(m_rows.size()));
        for (int r = 0; r < static_cast<int>(m_rows.size()); ++r) {
            const PluginListRow& row = m_rows[static_cast<size_t>(r)];
            for (int c = 0; c < kPluginListColumns; ++c) {
                auto* item = m_listView1->item(r, c);
                if (!item) {
                    item = new QTableWidgetItem();
                    m_listView1->setItem(r, c, item);
                }
                item->setText(row.placeholder && c > 0 ? QString() : FromAnsi(row.Text(c)));
                if (c == kPluginListColumns - 1) {
                    item->setToolTip(item->text()); // the long form may not fit the column
                    item->setForeground(row.foreignBits ? QBrush(Qt::darkRed) : QBrush());
                }
                if (c == 0) {
                    item->setIcon(ListIcon(row.icon));
                    item->setData(Qt::UserRole, row.tableRow);
                }
            }
        }
        if (selectPosition >= 0 && selectPosition < m_listView1->rowCount()) {
            m_listView1->selectRow(selectPosition);
            m_listView1->setCurrentCell(selectPosition, 0, QItemSelectionModel::NoUpdate);
        }
    }
    m_listView1->setUpdatesEnabled(true);
}

void TFormTCVarnel::RefreshStates() {
    m_listView1->setUpdatesEnabled(false);
    platform::InUseScan scan;
    for (int r = 0; r < static_cast<int>(m_rows.size()); ++r) {
        PluginListRow& row = m_rows[static_cast<size_t>(r)];
        if (row.placeholder || row.tableRow < 1 || row.tableRow > Table().Count())
            continue;
        RefreshEntryFlags(row.tableRow);
        row.subItems[2] = StateText(row.tableRow);
        if (QTableWidgetItem* item = m_listView1->item(r, 3))
            item->setText(FromAnsi(row.subItems[2]));
    }
    m_listView1->setUpdatesEnabled(true);
}

void TFormTCVarnel::ApplyColumnOptions() {
    Settings& s = AppSettings();
    auto width = [&](int column) { return s.ColumnWidths[static_cast<size_t>(column)]; };
    if (s.ShowVersionsCol) {
        if (s.ShowVersions == 0)
            s.ShowVersions = 1;
        if (width(2) == 0)
            s.ColumnWidths[2] = 60;
    } else {
        s.ShowVersions = 0;
        s.ColumnWidths[2] = 0;
    }
    if (s.ShowDescriptions) {
        if (width(1) == 0)
            s.ColumnWidths[1] = 80;
    } else {
        s.ColumnWidths[1] = 0;
    }
    for (int c = 0; c < kPluginListColumns; ++c) {
        m_listView1->setColumnHidden(c, width(c) == 0);
        if (width(c) > 0)
            m_listView1->setColumnWidth(c, width(c));
    }
}

void TFormTCVarnel::UpdateSortMarks() {
    const Settings& s = AppSettings();
    UpdateSortMarkTexts(m_columnCaptions, s.SortColumn, s.SortAsc);
    QStringList labels;
    for (const std::string& caption : m_columnCaptions)
        labels << FromAnsi(caption);
    m_listView1->setHorizontalHeaderLabels(labels);
}

void TFormTCVarnel::ListView1ColumnClick(int column) {
    Settings& s = AppSettings();
    if (column == s.SortColumn)
        s.SortAsc = !s.SortAsc;
    s.SortColumn = column;
    UpdateSortMarks();
    std::set<int> selected;
    for (int tableRow : SelectedTableRows())
        selected.insert(tableRow);
    int current = m_listView1->currentRow();
    int currentTableRow = current >= 0 && current < static_cast<int>(m_rows.size())
                              ? m_rows[static_cast<size_t>(current)].tableRow
                              : 0;
    SortPluginListRows(m_rows, s.SortColumn, s.SortAsc);
    PopulateList(-1);
    QSignalBlocker block(m_listView1);
    for (int r = 0; r < static_cast<int>(m_rows.size()); ++r) {
        int tableRow = m_rows[static_cast<size_t>(r)].tableRow;
        if (selected.count(tableRow))
            m_listView1->selectionModel()->select(m_listView1->model()->index(r, 0),
                                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
        if (tableRow == currentTableRow && tableRow != 0)
            m_listView1->setCurrentCell(r, 0, QItemSelectionModel::NoUpdate);
    }
}

std::vector<int> TFormTCVarnel::SelectedTableRows() const {
    std::vector<int> result;
    for (int r = 0; r < static_cast<int>(m_rows.size()); ++r) {
        const PluginListRow& row = m_rows[static_cast<size_t>(r)];
        if (!row.placeholder && m_listView1->selectionModel()->isRowSelected(r, QModelIndex()))
            result.push_back(row.tableRow);
    }
    return result;
}

std::string TFormTCVarnel::SelectedPluginFile() const {
    std::vector<int> rows = SelectedTableRows();
    if (rows.empty() || rows.front() > Table().Count())
        return {};
    return Table().Row(rows.front()).FileName;
}

std::string TFormTCVarnel::SelectedPluginIni() const {
    return PluginIniOf(SelectedPluginFile());
}

void TFormTCVarnel::ListView1Change() {
    std::vector<int> rows = SelectedTableRows();
    SelectionState selection;
    selection.tab = SelectedTab();
    selection.selected = !rows.empty() && rows.front() <= Table().Count();
    selection.single = selection.selected && rows.size() == 1 &&
                       static_cast<int>(m_listView1->selectionModel()->selectedRows().size()) == 1;
    if (selection.selected) {
        const PluginEntry& entry = Table().Row(rows.front());
        selection.kind = entry.Kind;
        selection.disabled = entry.Disabled;
    }
    CommandStates c = CommandStatesFor(selection);
    m_btnDisable->setVisible(c.disableVisible);
    m_mnuDisable->setVisible(c.disableVisible);
    SetCommandEnabled(m_btnDisable, "btnDisableClick", c.disableEnabled && m_hostFound);
    SetActionEnabled(m_mnuDisable, "btnDisableClick", c.disableEnabled);
    m_btnEnable->setVisible(c.enableVisible);
    m_mnuEnable->setVisible(c.enableVisible);
    SetCommandEnabled(m_btnRemove, "btnRemoveClick", c.removeEnabled && m_hostFound);
    SetActionEnabled(m_mnuUninstall, "btnRemoveClick", c.removeEnabled);
    m_btnTweak->setVisible(c.tweakVisible);
    m_mnuTweak->setVisible(c.tweakVisible);
    SetCommandEnabled(m_btnTweak, "btnTweakClick", c.tweakEnabled && m_hostFound);
    SetActionEnabled(m_mnuTweak, "btnTweakClick", c.tweakEnabled);
    m_btnRename->setVisible(c.renameVisible);
    m_mnuRename->setVisible(c.renameVisible);
    SetCommandEnabled(m_btnRename, "btnRenameClick", c.renameEnabled && m_hostFound);
    SetActionEnabled(m_mnuRename, "btnRenameClick", c.renameEnabled);
    SetCommandEnabled(m_btnConfigure, "btnConfigureClick", c.configureEnabled && m_hostFound);
    SetActionEnabled(m_mnuConfigure, "btnConfigureClick", c.configureEnabled);
    SetCommandEnabled(m_btnOrder, "btnOrderClick", c.orderEnabled && m_hostFound);
    SetActionEnabled(m_mnuOrder, "btnOrderClick", c.orderEnabled);
    SetActionEnabled(m_mnuBrowse, "mnuBrowseClick", c.browseEnabled);
}

void TFormTCVarnel::TabControl1Change() {
    FillList();
}

void TFormTCVarnel::btnRefreshClick() {
    ShowHostState();
    FillList();
}

void TFormTCVarnel::Timer1Timer() {
    platform::InUseScan scan; // one look at the running processes serves the whole tick
    ShowHostState();
    RefreshStates();
}

void TFormTCVarnel::btnCloseClick() {
    close();
}

// ---- Commands that change plugins -----------------------------------------------------------

void TFormTCVarnel::TimerOff() {
    m_timer1->stop();
}

void TFormTCVarnel::TimerBack() {
    const Settings& s = AppSettings();
    if (s.Refresh && m_timer1->interval() > 0)
        m_timer1->start();
}

void TFormTCVarnel::btnAddClick() {
    TimerOff();
    Settings& s = AppSettings();
    FileDialogRequest request;
    request.title = GetCaption(63);
    request.initialFolder = s.PluginsSrc;
    // A 64-bit host's modules may come as "name.wcx64" and so on; they install like the others.
    request.filters = {{"TC plugins", "*.wcx;*.wlx;*.wfx;*.wdx;*.wcx64;*.wlx64;*.wfx64;*.wdx64"},
                       {"DLLs (*.dll)", "*.dll"}};
    request.multiple = true;
    std::vector<std::string> chosen = Dialogs().OpenFiles(request);
    if (!chosen.empty()) {
        std::string folder = FolderPart(chosen.front());
        if (folder.size() > 1 && folder.back() == '\\')
            folder.pop_back();
        s.PluginsSrc = folder;
        for (size_t i = 0; i < chosen.size(); ++i)
            InstallPlugin(chosen[i], false, i + 1 == chosen.size(), "", true);
        if (!m_oneShot)
            FillList();
    }
    TimerBack();
}

void TFormTCVarnel::RunSelectionCommand(bool (*command)(const std::vector<int>&)) {
    TimerOff();
    if (command(SelectedTableRows()))
        FillList();
    TimerBack();
}

void TFormTCVarnel::btnDisableClick() {
    RunSelectionCommand(DisableOrEnableSelected);
}
void TFormTCVarnel::btnRemoveClick() {
    RunSelectionCommand(UninstallSelected);
}
void TFormTCVarnel::btnRenameClick() {
    RunSelectionCommand(RenameCurrent);
}

// Commands that come with later parts of the program: their controls stay disabled, so these
// are reached only by code that forgets to ask CommandAvailable.
void TFormTCVarnel::mnuInstallZipClick() {}
void TFormTCVarnel::btnTweakClick() {}
void TFormTCVarnel::btnConfigureClick() {}
void TFormTCVarnel::btnOrderClick() {}
void TFormTCVarnel::btnOptionsClick() {}
void TFormTCVarnel::btnReportClick() {}
void TFormTCVarnel::btnAboutClick() {}
void TFormTCVarnel::mnuDescClick() {}

// ---- The host process ---------------------------------------------------------------------

void TFormTCVarnel::BringToFront() {
    raise();
    activateWindow();
}

void TFormTCVarnel::btnTCRunClick() {
    RunHost();
    ShowHostState();
    FillList();
    BringToFront();
}

void TFormTCVarnel::btnTCRestartClick() {
    RestartHost();
    ShowHostState();
    FillList();
    BringToFront();
}

void TFormTCVarnel::mnuBrowseClick() {
    if (SelectedTableRows().empty())
        return;
    BrowsePluginFolder(SelectedPluginFile());
    ShowHostState();
}

void TFormTCVarnel::btnIniEditClick() {
    EditHostConfiguration();
}

// ---- Keys, sizing, closing ----------------------------------------------------------------

bool TFormTCVarnel::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && isActiveWindow()) {
        // A key the focused control does not take travels on to its parents, and the
        // application's filter sees it at each of them: act on its first delivery only.
        auto* widget = qobject_cast<QWidget*>(watched);
        QWidget* first = focusWidget() ? focusWidget() : this;
        if (widget == first) {
            auto* key = static_cast<QKeyEvent*>(event);
            FormKeyDown(key->key(), key->modifiers(), key->modifiers().testFlag(Qt::KeypadModifier));
        }
    }
    return QMainWindow::eventFilter(watched, event); // the focused control still gets the key
}

bool TFormTCVarnel::FormKeyDown(int key, Qt::KeyboardModifiers modifiers, bool keypad) {
    Qt::KeyboardModifiers held = modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    bool none = held == Qt::NoModifier;
    bool ctrl = held == Qt::ControlModifier;
    bool alt = held == Qt::AltModifier;
    bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
    auto run = [](QWidget* control, auto handler) {
        if (!control->isEnabled())
            return false;
        handler();
        return true;
    };
    if (key == Qt::Key_A && ctrl) {
        bool placeholderOnly = m_rows.size() == 1 && m_rows.front().placeholder;
        if (!placeholderOnly)
            m_listView1->selectAll();
        return true;
    }
    if ((key == Qt::Key_Delete || key == Qt::Key_F8) && none)
        return run(m_btnRemove, [this] { btnRemoveClick(); });
    if (key == Qt::Key_Insert && none)
        return run(m_btnAdd, [this] {
            if (CommandAvailable("btnAddClick"))
                btnAddClick();
        });
    if (key == Qt::Key_Insert && ctrl)
        return run(m_btnAdd, [this] {
            if (CommandAvailable("mnuInstallZipClick"))
                mnuInstallZipClick();
        });
    if (key == Qt::Key_F6 && none) {
        if (m_btnRename->isEnabled() && m_btnRename->isVisible())
            return run(m_btnRename, [this] { btnRenameClick(); });
        return run(m_btnTweak, [this] { btnTweakClick(); });
    }
    if ((key == Qt::Key_F9 && none) || (enter && alt))
        return run(m_btnConfigure, [this] { btnConfigureClick(); });
    if (key == Qt::Key_F4 && none) {
        if (!m_mnuBrowse->isEnabled())
            return false;
        mnuBrowseClick();
        return true;
    }
    if (enter && none)
        return run(m_btnDisable, [this] { btnDisableClick(); });
    if (key == Qt::Key_O && ctrl)
        return run(m_btnOrder, [this] { btnOrderClick(); });
    if (key == Qt::Key_R && ctrl) {
        btnRefreshClick();
        return true;
    }
    if (key == Qt::Key_Z && ctrl) {
        if (!m_mnuUninstall->isEnabled() || !CommandAvailable("mnuDescClick"))
            return false;
        mnuDescClick();
        return true;
    }
    // Main-keyboard digits 1 to 5, with any modifiers (Shift turns them into !"#$% on US keyboards).
    static const int digitKeys[5][2] = {{Qt::Key_1, Qt::Key_Exclam},
                                        {Qt::Key_2, Qt::Key_At},
                                        {Qt::Key_3, Qt::Key_NumberSign},
                                        {Qt::Key_4, Qt::Key_Dollar},
                                        {Qt::Key_5, Qt::Key_Percent}};
    if (!keypad) {
        for (int d = 0; d < 5; ++d) {
            if (key != digitKeys[d][0] && key != digitKeys[d][1])
                continue;
            if (d < m_tabControl1->count()) {
                QSignalBlocker block(m_tabControl1);
                m_tabControl1->setCurrentIndex(d);
            }
            TabControl1Change();
            return true;
        }
    }
    if (key == Qt::Key_F1 && none) {
        if (!CommandAvailable("btnAboutClick"))
            return false;
        btnAboutClick();
        return true;
    }
    return false;
}

void TFormTCVarnel::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    PlaceSizeGrip();
}

void TFormTCVarnel::PlaceSizeGrip() {
    bool grip = !m_statusBar1->isVisibleTo(this);
    static_cast<SizeGripCorner*>(m_sizeGrip)->SetShown(grip);
    if (grip) {
        m_sizeGrip->move(width() - kSizeGrip, height() - kSizeGrip);
        m_sizeGrip->raise();
    }
}

void TFormTCVarnel::SaveWindowSettings() {
    Settings& s = AppSettings();
    s.Left = pos().x();
    s.Top = pos().y();
    s.Width = width();
    s.Height = height();
    for (int c = 0; c < kPluginListColumns; ++c)
        s.ColumnWidths[static_cast<size_t>(c)] =
            m_listView1->isColumnHidden(c) ? 0 : m_listView1->columnWidth(c);
    s.TabIndex = SelectedTab();
    s.RefreshInterval = m_timer1->interval();
    WriteSettingsAtExit(s);
}

void TFormTCVarnel::closeEvent(QCloseEvent* event) {
    QMainWindow::closeEvent(event);
    if (event->isAccepted() && m_created && !m_oneShot) {
        m_timer1->stop();
        SaveWindowSettings();
        m_created = false; // written once
    }
}

} // namespace varnel
