#pragma once
// The main window: the host area, the tool buttons, the kind tabs and the plugin list.

#include <QMainWindow>
#include <array>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "lang/interaction.h"
#include "ops/command.h"
#include "ops/plugin_list.h"
#include "platform/files.h"

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSizeGrip;
class QStatusBar;
class QTabBar;
class QTableWidget;
class QTimer;
class QToolButton;

namespace varnel {

class TMenuSpeedButton;
class TDetailsPane;

// The main window. Its code lies in form_tcvarnel.cpp (controls and menus), _layout.cpp
// (captions, geometry), _list.cpp (the plugin list), _commands.cpp (host area and commands) and
// _keys.cpp (the keyboard map). Each dialog has a file pair of its own.
class TFormTCVarnel : public QMainWindow {
    Q_OBJECT
public:
    // How many rows the plugin list shows, and how often it was filled from the table.
    int ListRowCount() const;
    int ListFills() const;
    // firstArgument: the command line's first argument; "/install", "/installZip" and "/order"
    // run their command from here and leave the window unused (OneShotDone()).
    explicit TFormTCVarnel(const std::string& firstArgument = {}, QWidget* parent = nullptr);
    ~TFormTCVarnel() override;

    bool OneShotDone() const { return m_oneShot; }

    // Operations the rest of the program calls on the window.
    void FormShow();
    void FillList();
    // The registrations listed now (kind and folded module), and, after a fill, the selection
    // moved to the rows that are new since: an install shows what it made.
    std::set<std::pair<PluginKind, std::string>> ListedRegistrations() const;
    void SelectRowsNewSince(const std::set<std::pair<PluginKind, std::string>>& before);
    // Registers the plugin file types when the settings ask for it; remembers why it could not.
    void RegisterFileTypes();
    void NoteRegistrationProblem();
    void RefreshStates();
    void ApplyColumnOptions();
    void UpdateSortMarks();
    std::string SelectedPluginFile() const;
    std::string SelectedPluginIni() const;
    void ShowHost(const std::string& hostExe);
    void ShowHostState();
    void ApplyLanguage();

    // Handlers.
    void btnAddClick();
    void mnuInstallZipClick();
    void btnDisableClick();
    void btnRemoveClick();
    void btnRenameClick();
    void btnTweakClick();
    void btnConfigureClick();
    void btnOrderClick();
    void btnOptionsClick();
    void btnReportClick();
    void btnAboutClick();
    void btnCloseClick();
    void mnuBrowseClick();
    void mnuDescClick();
    void btnRefreshClick();
    void btnTCRunClick();
    void btnTCRestartClick();
    void btnIniEditClick();
    void btnTCBrowseClick();
    void btnIniBrowseClick();
    void mnuUndoClick();
    void mnuRedoClick();
    // The Undo command's text names the change it would take back.
    void UpdateUndoAction();
    void mnuHistoryClick();
    void mnuCheckClick();
    void mnuExportPluginsClick();
    void mnuImportPluginsClick();
    void mnuDetailsClick();
    void TabControl1Change();
    void ListView1ColumnClick(int column);
    void ListView1Change();
    void Timer1Timer();
    // Returns true when a key of the window's table ran an action.
    bool FormKeyDown(int key, Qt::KeyboardModifiers modifiers, bool keypad);

    // The rows as the list shows them (tests and benchmarks look at them).
    const std::vector<PluginListRow>& ListRows() const { return m_rows; }
    // The table-row numbers of the selected list rows, in list order (placeholder left out).
    std::vector<int> SelectedTableRows() const;

    // The commands the window can run; the controls of all others stay disabled.
    static bool CommandAvailable(const char* handler);

    // Installs dropped plugin modules and archives (Windows paths) in their order, restarting
    // the host once after the last one when that is wanted; false when one of them is neither.
    bool InstallDropped(const std::vector<std::string>& files);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // The filter box's text decides which rows show: name, file, registration or description.
    void ApplyFilter();
    // A row's check box was turned: the plugin is enabled or disabled as the command does it.
    void ListCheckChanged(int listRow);
    // The details pane follows the current row.
    void ShowDetails();
    // Shows the full text of a cell cut at its column's edge; true when it did.
    bool ShowCellToolTip(const QPoint& at);
    // Whether another program (the host, varnel) rewrote the configuration since the list was read.
    bool HostConfigChangedSinceFill() const;
    void CreateEditMenu();
    // Help: the detect-string syntax, the command line, About (F1 stays About's key).
    void CreateHelpMenu();
    void CreateFileMenu();
    void InstallChosenFiles(FileDialogRequest request, std::string& folder,
                            void (*install)(const std::string& file, bool last));
    void CreateControls();
    void CreateMenus();
    void ApplyCreationSettings();
    // Measures the tool buttons for their captions (widening the window when they need it), then
    // places them; PlaceToolButtons puts those that do not fit the row into the overflow menu.
    void LayoutToolButtons();
    void PlaceToolButtons();
    void FillToolOverflowMenu();
    void SetCaptions();
    void RebuildTabs(const std::string& versionText);
    void PopulateList(int selectPosition);
    void FitNameColumn();
    // The first time the program runs (no stored layout): columns as wide as their texts, and
    // the window as large as its rows and columns need, within the screen.
    void FitToContentOnce();
    // Enables a command's control, or disables it and tells why in its tooltip: the command is not
    // in this version, the host was not found, or whyNot (a message number).
    void SetCommandEnabled(QWidget* widget, const char* handler, bool enabled, int whyNot = 0);
    // A control's tooltip: its hint, and the reason when it is off.
    static void SetHint(QWidget* widget, const QString& hint);
    static void UpdateToolTip(QWidget* widget);
    void SetActionEnabled(QAction* action, const char* handler, bool enabled);
    void SetHostControlsEnabled(bool enabled);
    void SaveWindowSettings();
    void TimerOff();
    // Runs a command on the selected plugins with the refresh timer off, refilling the list after it.
    void RunSelectionCommand(Result (*command)(const Context&, const std::vector<int>&));
    void BringToFront();
    void TimerBack();
    void PlaceSizeGrip();
    int SelectedTab() const;

    bool m_oneShot = false;
    bool m_created = false;
    std::string m_registrationProblem; // why plugin files could not be registered, for the status bar
    bool m_hostOffered = false;
    bool m_fitColumns = false; // no column widths stored yet
    bool m_fitWindow = false;  // no window size stored yet
    bool m_layoutFitted = false;
    bool m_hostFound = false;
    std::string m_versionText;

    QFrame* m_panel1 = nullptr;
    QLabel* m_image1 = nullptr;
    QLabel* m_label4 = nullptr;
    QLabel* m_label1 = nullptr;
    QLabel* m_label5 = nullptr;
    QLabel* m_label6 = nullptr;
    QLineEdit* m_sTCPath1 = nullptr;
    QLineEdit* m_sTCini1 = nullptr;
    QLabel* m_sTCVersion = nullptr;
    QLabel* m_sTCState = nullptr;
    QPushButton* m_btnTCBrowse = nullptr;
    QPushButton* m_btnIniBrowse = nullptr;
    QPushButton* m_btnTCRun = nullptr;
    QPushButton* m_btnTCRestart = nullptr;
    QPushButton* m_btnIniEdit = nullptr;
    QFrame* m_panel2 = nullptr;
    QWidget* m_toolRow = nullptr;
    QWidget* m_panel3 = nullptr;
    TMenuSpeedButton* m_btnAdd = nullptr;
    TMenuSpeedButton* m_btnEnable = nullptr;
    TMenuSpeedButton* m_btnDisable = nullptr;
    TMenuSpeedButton* m_btnRemove = nullptr;
    TMenuSpeedButton* m_btnRename = nullptr;
    TMenuSpeedButton* m_btnTweak = nullptr;
    TMenuSpeedButton* m_btnConfigure = nullptr;
    TMenuSpeedButton* m_btnOrder = nullptr;
    TMenuSpeedButton* m_btnOptions = nullptr;
    TMenuSpeedButton* m_btnReport = nullptr;
    TMenuSpeedButton* m_btnUndo = nullptr;
    TMenuSpeedButton* m_btnAbout = nullptr;
    TMenuSpeedButton* m_btnClose = nullptr;
    // The tool buttons' places, left to right; Disable/Enable and Rename/Tweak share one each.
    struct ToolSlot {
        TMenuSpeedButton* button = nullptr;
        TMenuSpeedButton* partner = nullptr;
        int left = 0;
        int width = 0;
        bool overflowed = false;
    };
    std::vector<ToolSlot> m_toolSlots;
    int m_toolRowHeight = 0;
    QToolButton* m_toolMore = nullptr; // "»": the commands the row has no room for
    QMenu* m_toolMoreMenu = nullptr;
    QTabBar* m_tabControl1 = nullptr;
    QTableWidget* m_listView1 = nullptr;
    QStatusBar* m_statusBar1 = nullptr;
    QLabel* m_statusText = nullptr;
    QSizeGrip* m_sizeGrip = nullptr;
    QTimer* m_timer1 = nullptr;
    QMenu* m_popupMenu1 = nullptr;
    QMenu* m_popupMenu2 = nullptr;
    QAction* m_mnuDisable = nullptr;
    QAction* m_mnuEnable = nullptr;
    QAction* m_mnuUninstall = nullptr;
    QAction* m_mnuBrowse = nullptr;
    QAction* m_mnuRename = nullptr;
    QAction* m_mnuTweak = nullptr;
    QAction* m_mnuConfigure = nullptr;
    QAction* m_mnuInstall = nullptr;
    QAction* m_mnuInstallZip = nullptr;
    QAction* m_mnuOrder = nullptr;
    QAction* m_mnuRefresh = nullptr;
    QAction* m_mnu2Install = nullptr;
    QAction* m_mnu2InstallZip = nullptr;

    QMenu* m_mnuEditMenu = nullptr;
    QAction* m_mnuUndo = nullptr;
    QAction* m_mnuRedo = nullptr;
    QAction* m_popUndo = nullptr;
    QAction* m_popHistory = nullptr;
    QAction* m_popCheck = nullptr;
    QAction* m_mnuHistory = nullptr;
    QAction* m_mnuCheck = nullptr;
    QAction* m_mnuFilter = nullptr;
    QAction* m_mnuDetails = nullptr;
    QMenu* m_mnuHelpMenu = nullptr;
    QMenu* m_mnuFileMenu = nullptr;
    QAction* m_mnuExportPlugins = nullptr;
    QAction* m_mnuImportPlugins = nullptr;
    QAction* m_mnuHelpDetect = nullptr;
    QAction* m_mnuHelpCommandLine = nullptr;
    QAction* m_mnuHelpAbout = nullptr;
    QLineEdit* m_ffFilter = nullptr;
    TDetailsPane* m_details = nullptr;
    bool m_restartOffered = false; // an install waits for the host's restart
    int m_fills = 0;               // fills of the list from the table
    // What commands say on the status bar, and their offer to restart the host.
    class StatusLine;
    std::unique_ptr<StatusLine> m_statusLine;
    bool m_populating = false;                     // check boxes being set by the program, not the user
    std::optional<platform::FileStamp> m_iniStamp; // of the configuration as the list read it

    std::vector<PluginListRow> m_rows;
    // The rows' descriptions for the filter while the Description column is hidden, read on the
    // first filtered keystroke after each fill.
    std::vector<QString> m_filterDescriptions;
    std::array<std::string, kPluginListColumns> m_columnCaptions;
    std::array<std::string, 4> m_kindShortNames;
};

} // namespace varnel
