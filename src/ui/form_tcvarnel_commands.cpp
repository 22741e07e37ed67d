// The main window: the host area and the command handlers.
#include "ui/form_tcvarnel.h"

#include "app/settings.h"
#include "catalog/file_types.h"
#include "catalog/host_config.h"
#include "catalog/host_location.h"
#include "catalog/module_info.h"
#include "lang/interaction.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "ops/archive_install.h"
#include "ops/descriptions.h"
#include "ops/host_process.h"
#include "ops/install.h"
#include "ops/plugin_commands.h"
#include "ops/plugin_configure.h"
#include "ops/report.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "ui/form_about.h"
#include "ui/form_options.h"
#include "ui/form_order.h"
#include "ui/form_report.h"
#include "ui/menu_speed_button.h"
#include "ui/qt_integration.h"
#include "ui/qt_text.h"
#include "util/text.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTableWidget>
#include <QTimer>

namespace varnel {

namespace {

// OpenDialog1: the host executable.
FileDialogRequest HostExecutableDialog(const std::string& initialFolder) {
    FileDialogRequest request;
    request.title = GetCaption(55);
    request.initialFolder = initialFolder;
    request.defaultName = "TotalCmd.exe";
    request.filters = {{"*.exe", "*.exe"}};
    return request;
}

} // namespace

void TFormTCVarnel::FormShow() {
    SetCaptions();
    Settings& s = AppSettings();
    if (!m_hostOffered) {
        // Without a usable prefix no Windows path leads anywhere: say so once, by name, and let
        // the window open with the host controls off.
        if (std::optional<std::string> problem = platform::PrefixProblem()) {
            ShowAppMessage(FormatPrintf(Message(Msg::PrefixUnusable), {platform::PrefixDir(), *problem}),
                           kStyleError, Outcome::Failed, Msg::PrefixUnusable);
            m_hostOffered = true;
        }
    }
    if (!m_hostOffered && !platform::FileExists(s.TCPath)) {
        m_hostOffered = true;
        std::vector<std::string> chosen = User().OpenFiles(HostExecutableDialog("C:\\"));
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
    m_hostFound = DetectHost(AppSettings().TCPath, AppSettings().IniPath);
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

// Everything the window's texts come from, set again: captions, the tabs' kind names, the host's
// state and the list's rows (kind names and states) with the status line.
void TFormTCVarnel::ApplyLanguage() {
    ApplyQtTranslation(AppSettings().Language);
    SetCaptions();
    RebuildTabs(m_versionText);
    if (m_hostFound) {
        ShowHostState();
        FillList();
    } else {
        m_sTCState->setText(FromAnsi(Message(kStateIdle)));
    }
}

void TFormTCVarnel::ShowHostState() {
    bool running = HostRunning(AppSettings().TCPath);
    m_sTCState->setText(FromAnsi(Message(running ? kStateRunning : kStateIdle)));
    m_sTCState->setStyleSheet(running ? "color: blue;" : QString());
    SetCommandEnabled(m_btnTCRestart, "btnTCRestartClick", running);
}

void TFormTCVarnel::btnTCBrowseClick() {
    Settings& s = AppSettings();
    std::string start = platform::FileExists(s.TCPath) ? FolderPart(s.TCPath) : std::string("C:\\");
    std::vector<std::string> chosen = User().OpenFiles(HostExecutableDialog(start));
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
    std::vector<std::string> chosen = User().OpenFiles(request);
    if (chosen.empty())
        return;
    s.IniPath = chosen.front();
    m_sTCini1->setText(FromAnsi(s.IniPath));
    ShowHost(s.TCPath);
    WriteSettingString("Paths", "IniPath", ContractWindowsDir(s.IniPath));
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

// Asks for files in a dialog that opens in `folder` and remembers the folder of the first chosen
// one there; installs each, the host restarted after the last when wanted; refills the list.
void TFormTCVarnel::InstallChosenFiles(FileDialogRequest request, std::string& folder,
                                       void (*install)(const std::string& file, bool last)) {
    TimerOff();
    request.initialFolder = folder;
    request.multiple = true;
    std::vector<std::string> chosen = User().OpenFiles(request);
    if (!chosen.empty()) {
        std::string first = FolderPart(chosen.front());
        if (first.size() > 1 && first.back() == '\\')
            first.pop_back();
        folder = first;
        const auto before = ListedRegistrations();
        for (size_t i = 0; i < chosen.size(); ++i)
            install(chosen[i], i + 1 == chosen.size());
        if (!m_oneShot) {
            FillList();
            SelectRowsNewSince(before);
        }
    }
    TimerBack();
}

void TFormTCVarnel::btnAddClick() {
    FileDialogRequest request;
    request.title = GetCaption(63);
    // A 64-bit host's modules may come as "name.wcx64" and so on; they install like the others.
    request.filters = {{GetCaption(451), "*.wcx;*.wlx;*.wfx;*.wdx;*.wcx64;*.wlx64;*.wfx64;*.wdx64"},
                       {GetCaption(452), "*.dll"}};
    InstallChosenFiles(request, AppSettings().PluginsSrc, [](const std::string& file, bool last) {
        InstallRequest install;
        install.path = file;
        install.restartAfter = last;
        install.reportDuplicate = true;
        InstallPlugin(ProgramContext(), install);
    });
}

void TFormTCVarnel::RunSelectionCommand(Result (*command)(const Context&, const std::vector<int>&)) {
    TimerOff();
    // What the user turned down, or nothing selected, left the list as it is.
    const Result result = command(ProgramContext(), SelectedTableRows());
    if (result.code != Outcome::Refused && result.code != Outcome::NotFound)
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

void TFormTCVarnel::mnuDescClick() {
    std::vector<int> rows = SelectedTableRows();
    if (rows.empty())
        return;
    TimerOff();
    if (EditDescription(ProgramContext(), rows.front()).Done()) {
        // A description saved into a hidden column would look lost: the column comes on.
        Settings& s = AppSettings();
        if (!s.ShowDescriptions) {
            s.ShowDescriptions = true;
            ApplyColumnOptions();
        }
        ShowHostState();
        FillList();
    }
    TimerBack();
}

void TFormTCVarnel::btnTweakClick() {
    TimerOff();
    std::vector<int> rows = SelectedTableRows();
    if (!rows.empty()) {
        const PluginEntry& entry = EntryAt(rows.front());
        if (entry.Disabled)
            ShowAppMessage(Message(Msg::EnableFirst), kStyleError, Outcome::Failed, Msg::EnableFirst);
        else if (User().TweakPacker(entry.FileName))
            FillList();
    }
    TimerBack();
}

void TFormTCVarnel::btnOrderClick() {
    TimerOff();
    const Settings& s = AppSettings();
    SetHostPaths(s.TCPath, s.IniPath);
    // The kind: the tab's, or on the tab of all kinds the selected row's; Lister otherwise.
    PluginKind kind = kLister;
    std::string startFile; // the selected plugin, when it is of that kind
    if (!m_oneShot) {
        const int tab = SelectedTab();
        const std::vector<int> rows = SelectedTableRows();
        const int selected = rows.empty() ? -1 : EntryAt(rows.front()).Kind;
        if (tab == 4 || (tab == 0 && selected == kContent))
            kind = kContent;
        else if (tab == 2 || (tab == 0 && selected == kPacker))
            kind = kPacker;
        if (selected == kind)
            startFile = EntryAt(rows.front()).FileName;
    }
    {
        TFormOrder dialog(kind, this, startFile);
        dialog.exec();
    }
    if (!m_oneShot)
        FillList();
    TimerBack();
}

void TFormTCVarnel::btnConfigureClick() {
    TimerOff();
    std::vector<int> rows = SelectedTableRows();
    if (!rows.empty()) {
        ConfigureRow(ProgramContext(), rows.front(), static_cast<int64_t>(m_listView1->winId()));
        raise();
        activateWindow();
    }
    TimerBack();
}

void TFormTCVarnel::btnOptionsClick() {
    TimerOff();
    auto* options = findChild<TFormOptions*>();
    if (!options)
        options = new TFormOptions(this); // made once, kept for the next time
    Settings& s = AppSettings();
    options->Load(s, m_timer1->interval());
    // A language picked in the dialog shows here at once.
    QMetaObject::Connection redraw =
        connect(options, &TFormOptions::languageChanged, this, [this] { ApplyLanguage(); });
    const bool ok = options->exec() == QDialog::Accepted;
    disconnect(redraw);
    if (ok) { // the dialog took the choices over
        NoteRegistrationProblem();
        ApplyColumnOptions();
        m_tabControl1->setVisible(s.ShowTabs);
        if (!s.ShowTabs)
            m_tabControl1->setCurrentIndex(0);
        m_timer1->setInterval(s.RefreshInterval);
        FillList();
    }
    if (options->LanguageName() != s.Language) {
        s.Language = options->LanguageName();
        ApplyLanguage();
    }
    TimerBack();
}

void TFormTCVarnel::btnReportClick() {
    TFormReport dialog(this);
    dialog.LoadSettings();
    if (dialog.exec() != QDialog::Accepted)
        return;
    dialog.StoreSettings(); // kept also when the report cannot be written
    if (MakeReport(ProgramContext(), kProgramVersionText).Done())
        platform::ShellRun(AppSettings().ReportFile, "", platform::ShowMode::Normal, false);
}

void TFormTCVarnel::btnAboutClick() {
    TFormAbout about(this);
    about.exec();
}

// Commands that come with later parts of the program: their controls stay disabled, so these
// are reached only by code that forgets to ask CommandAvailable.
void TFormTCVarnel::mnuInstallZipClick() {
    FileDialogRequest request;
    request.title = GetCaption(63);
    request.filters = {{"Archives (*.zip;*.rar)", "*.zip;*.rar"}};
    InstallChosenFiles(request, AppSettings().PluginsSrcZip, [](const std::string& file, bool last) {
        InstallFromArchive(ProgramContext(), {file, false, last});
    });
}

// ---- The host process ---------------------------------------------------------------------

void TFormTCVarnel::BringToFront() {
    raise();
    activateWindow();
}

void TFormTCVarnel::btnTCRunClick() {
    RunHost(ProgramContext());
    ShowHostState();
    FillList();
    BringToFront();
}

void TFormTCVarnel::btnTCRestartClick() {
    m_restartOffered = false;
    RestartHost(ProgramContext());
    ShowHostState();
    FillList();
    BringToFront();
}

void TFormTCVarnel::mnuBrowseClick() {
    if (SelectedTableRows().empty())
        return;
    BrowsePluginFolder(AppSettings(), SelectedPluginFile());
    ShowHostState();
}

void TFormTCVarnel::btnIniEditClick() {
    EditHostConfiguration(AppSettings());
}

} // namespace varnel
