// The main window on copies of the demo host, driven by control names, offscreen.

#include "all_dialogs.h"
#include "app/settings.h"
#include "archive_maker.h"
#include "catalog/host_config.h"
#include "catalog/module_info.h"
#include "catalog/plugin_table.h"
#include "gui_host.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "mapped_file.h"
#include "ops/archive_install.h"
#include "ops/plugin_configure.h"
#include "platform/process.h"
#include "sample_plugins.h"
#include "ui/busy_wait.h"
#include "ui/form_about.h"
#include "ui/form_check.h"
#include "ui/form_history.h"
#include "ui/form_options.h"
#include "ui/form_order.h"
#include "ui/form_report.h"
#include "ui/menu_speed_button.h"
#include "ui/qt_text.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

using namespace varnel;
using varnel::test::GuiHost;
using varnel::test::Settle;

namespace {

std::string HeaderText(QTableWidget* list, int column) {
    return ToAnsi(list->horizontalHeaderItem(column)->text());
}

void Key(QWidget* target, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(target, key, modifiers);
    Settle();
}

// An ini with `count` Lister plugins (modules missing is fine for captions).
std::string ListersIni(int count) {
    std::string ini = "[ListerPlugins]\r\n";
    for (int i = 1; i <= count; ++i)
        ini += std::to_string(i) + "=C:\\l\\v" + std::to_string(i) + ".wlx\r\n";
    return ini;
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void controlsCarryTheirNames() {
        GuiHost host;
        host.Open();
        for (const char* name : {"Panel1", "Image1", "Label4", "Label1", "Label5", "Label6", "sTCVersion",
                                 "sTCState", "Panel2", "Panel3", "StatusBar1"})
            QVERIFY2(host.Find<QWidget>(name), name);
        for (const char* name : {"sTCPath1", "sTCini1"})
            QVERIFY2(host.Find<QLineEdit>(name), name);
        for (const char* name : {"btnTCBrowse", "btnIniBrowse", "btnTCRun", "btnTCRestart", "btnIniEdit"})
            QVERIFY2(host.Find<QPushButton>(name), name);
        for (const char* name :
             {"btnAdd", "btnEnable", "btnDisable", "btnRemove", "btnRename", "btnTweak", "btnConfigure",
              "btnOrder", "btnOptions", "btnReport", "btnAbout", "btnClose"})
            QVERIFY2(host.Find<TMenuSpeedButton>(name), name);
        QVERIFY(host.Find<QTabBar>("TabControl1"));
        QVERIFY(host.List());
        QVERIFY(host.Find<QTimer>("Timer1"));
        for (const char* name :
             {"mnuDisable", "mnuEnable", "mnuUninstall", "mnuBrowse", "mnuRename", "mnuTweak", "mnuConfigure",
              "mnuInstall", "mnuInstallZip", "mnuOrder", "mnuRefresh", "mnu2Install", "mnu2InstallZip"})
            QVERIFY2(host.Action(name), name);
        QCOMPARE(host.Window().windowTitle(), QString("TC Varnel 1.8.4"));
        QCOMPARE(host.Action("mnuRefresh")->text(), QString("Refresh list\tCtrl+R"));
        QCOMPARE(host.Action("mnuOrder")->text(), QString("&Order\t\tCtrl+O"));
        QCOMPARE(host.Action("mnuInstall")->text(), QString("&Install new...\tIns"));
    }

    void demoHostRowsStatesAndStatus() {
        GuiHost host;
        host.Open();
        QTableWidget* list = host.List();
        QCOMPARE(list->rowCount(), 6);
        // Sorted by the Plugin column, ascending: the disabled numbered row (leading blank) first.
        QCOMPARE(host.RowText(0, 0), std::string(" Lister: [1] old_viewer"));
        QCOMPARE(host.RowText(0, 3), std::string("-disabled-"));
        QCOMPARE(host.RowText(1, 0), std::string("Content: [0] Beispiel-Inhalt"));
        QCOMPARE(host.RowText(2, 3), std::string("-deleted-"));
        QCOMPARE(host.RowText(5, 0), std::string("Packer: Sample Packer"));
        QCOMPARE(host.RowText(5, 4), std::string("smp spk sp2"));
        QCOMPARE(host.RowText(5, 5),
                 std::string("C:\\totalcmd\\plugins\\wcx\\sample_packer\\sample_packer.wcx"));
        QCOMPARE(host.Find<QLabel>("StatusText")->text(), QString("6 plugins, 2 disabled or missing"));
        QCOMPARE(host.Find<QLabel>("sTCVersion")->text(), QString("11.03"));
        QCOMPARE(host.Find<QLabel>("sTCState")->text(), QString("idle"));
        QCOMPARE(host.Find<QLineEdit>("sTCini1")->text(), QString("C:\\totalcmd\\wincmd.ini"));
        // Row data is the table row; icons by kind, 4 for disabled or missing.
        const std::vector<PluginListRow>& rows = host.Window().ListRows();
        QCOMPARE(rows[0].icon, 4);
        QCOMPARE(rows[1].icon, 3);
        QCOMPARE(rows[5].icon, 1);
        QCOMPARE(list->item(5, 0)->data(Qt::UserRole).toInt(), 1); // the packer is table row 1
        // The 11.03 host has content plugins: five tabs.
        QCOMPARE(host.Find<QTabBar>("TabControl1")->count(), 5);
        QCOMPARE(host.Find<QTabBar>("TabControl1")->tabText(4), QString("Content"));
    }

    void numberPrefixesForTenAndElevenListers() {
        for (int count : {10, 11}) {
            GuiHost host("[Options]\r\nShowTypes=0\r\n");
            host.SetWincmdIni(ListersIni(count));
            host.Open();
            QTableWidget* list = host.List();
            QCOMPARE(list->rowCount(), count);
            if (count == 10) {
                // Plain numbers: in byte order "[10]" comes before "[1]".
                QCOMPARE(host.RowText(0, 0), std::string("[10] v10"));
                QCOMPARE(host.RowText(1, 0), std::string("[1] v1"));
                QCOMPARE(host.RowText(9, 0), std::string("[9] v9"));
            } else {
                QCOMPARE(host.RowText(0, 0), std::string("[ 1] v1"));
                QCOMPARE(host.RowText(10, 0), std::string("[11] v11"));
            }
        }
    }

    void headerClicksSortAndMark() {
        GuiHost host;
        host.Open();
        QTableWidget* list = host.List();
        QHeaderView* header = list->horizontalHeader();
        auto click = [&](int column) {
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                              QPoint(header->sectionViewportPosition(column) + 5, 5));
            Settle();
        };
        // The header's own arrow marks the sort; the captions stay as the language has them.
        QVERIFY(header->isSortIndicatorShown());
        QCOMPARE(header->sortIndicatorSection(), 0);
        QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
        QCOMPARE(HeaderText(list, 0), std::string("Plugin"));
        click(3);
        QCOMPARE(header->sortIndicatorSection(), 3);
        QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
        QCOMPARE(HeaderText(list, 3), std::string("State"));
        click(3);
        QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
        QCOMPARE(AppSettings().SortColumn, 3);
        QVERIFY(!AppSettings().SortAsc);
        // Descending by state: "idle" rows first, "-disabled-" and "-deleted-" last.
        QCOMPARE(host.RowText(0, 3), std::string("idle"));
        QCOMPARE(host.RowText(5, 3), std::string("-deleted-"));
        // Another column starts ascending, whatever order the last one had.
        click(5);
        QCOMPARE(header->sortIndicatorSection(), 5);
        QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
        QVERIFY(AppSettings().SortAsc);
    }

    void selectionShowsTheFittingButtons() {
        GuiHost host;
        host.Open();
        auto* rename = host.Find<TMenuSpeedButton>("btnRename");
        auto* tweak = host.Find<TMenuSpeedButton>("btnTweak");
        auto* disable = host.Find<TMenuSpeedButton>("btnDisable");
        auto* enable = host.Find<TMenuSpeedButton>("btnEnable");
        host.Select({5}); // the packer
        QVERIFY(tweak->isVisible());
        QVERIFY(!rename->isVisible());
        QCOMPARE(tweak->geometry(), rename->geometry()); // one place for the pair
        host.Select({4});                                // a lister
        QVERIFY(rename->isVisible());
        QVERIFY(!tweak->isVisible());
        host.Select({0}); // the disabled lister
        QVERIFY(enable->isVisible());
        QVERIFY(!disable->isVisible());
        QCOMPARE(enable->geometry(), disable->geometry());
        QVERIFY(host.Action("mnuEnable")->isVisible());
        auto* remove = host.Find<TMenuSpeedButton>("btnRemove");
        host.Select({1, 4}); // two rows: nothing to rename, but both can be disabled and removed
        QVERIFY(rename->isVisible() && !rename->isEnabled());
        QCOMPARE(rename->toolTip(),
                 QString("Rename the registration of the plugin\nSelect just one plugin."));
        QVERIFY(disable->isEnabled() && remove->isEnabled());
        QCOMPARE(remove->toolTip(), QString("Uninstall the selected plugins")); // no reason while it is on
        host.List()->clearSelection();
        QVERIFY(disable->isVisible() && !disable->isEnabled() && !remove->isEnabled() &&
                !rename->isEnabled());
        QVERIFY(remove->toolTip().endsWith("\nSelect a plugin in the list first."));
        QVERIFY(host.Find<TMenuSpeedButton>("btnOptions")->isEnabled()); // needs no selection
        QVERIFY(host.Action("mnuInstallZip")->isEnabled());              // needs no selection either
        host.Select({0, 5});
        QCOMPARE(host.Window().SelectedTableRows().size(), size_t{2});
        QCOMPARE(host.Window().SelectedPluginFile(),
                 std::string("C:\\totalcmd\\plugins\\wlx\\old_viewer\\old_viewer.wlx"));
        QCOMPARE(host.Window().SelectedPluginIni(),
                 std::string("C:\\totalcmd\\plugins\\wlx\\old_viewer\\old_viewer.ini"));
        // Configure works on one plugin only; Options needs none.
        QVERIFY(!host.Find<TMenuSpeedButton>("btnConfigure")->isEnabled());
        QVERIFY(host.Find<TMenuSpeedButton>("btnOptions")->isEnabled());
    }

    void placeholderRowForAnEmptyKind() {
        GuiHost host;
        host.SetWincmdIni("[PackerPlugins]\r\nzip=1,C:\\p\\z.wcx\r\n");
        host.Open();
        auto* tabs = host.Find<QTabBar>("TabControl1");
        tabs->setCurrentIndex(3); // FS
        Settle();
        QTableWidget* list = host.List();
        QCOMPARE(list->rowCount(), 1);
        QCOMPARE(host.RowText(0, 0), std::string("No plugins of this kind are installed."));
        QVERIFY(!list->isEnabled());
        QVERIFY(host.Window().SelectedTableRows().empty());
        QCOMPARE(host.Find<QLabel>("StatusText")->text(), QString("0 plugins, 0 disabled or missing"));
        QVERIFY(!host.Action("mnuUninstall")->isEnabled());
        tabs->setCurrentIndex(2); // Packer: one plugin, counted in the singular
        Settle();
        QCOMPARE(host.Find<QLabel>("StatusText")->text(), QString("1 plugin, 1 disabled or missing"));

        // A configuration that cannot be read is not shown as an empty one.
        std::filesystem::remove(host.prefix.Path("drive_c/totalcmd/wincmd.ini"));
        std::filesystem::create_directory(host.prefix.Path("drive_c/totalcmd/wincmd.ini"));
        host.Window().FillList();
        QCOMPARE(host.Find<QLabel>("StatusText")->text(),
                 QString("C:\\totalcmd\\wincmd.ini cannot be read: it is a folder or a special file, not a "
                         "regular file."));
    }

    void keysOfTheWindow() {
        GuiHost host;
        host.Open();
        QTableWidget* list = host.List();
        auto* tabs = host.Find<QTabBar>("TabControl1");
        list->setFocus();
        Key(list, Qt::Key_3); // tab 2, Packer
        QCOMPARE(tabs->currentIndex(), 2);
        QCOMPARE(list->rowCount(), 1);
        Key(list, Qt::Key_1, Qt::ShiftModifier); // digits work with any modifiers
        QCOMPARE(tabs->currentIndex(), 0);
        QCOMPARE(list->rowCount(), 6);
        Key(list, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(host.Window().SelectedTableRows().size(), size_t{6});
        // Ctrl+R reloads: a registration added behind the program's back shows.
        std::string ini = host.WincmdIni();
        ini.insert(ini.find("[FileSystemPlugins]\r\n") + 21, "More=C:\\x.wfx\r\n");
        host.SetWincmdIni(ini);
        Key(list, Qt::Key_R, Qt::ControlModifier);
        QCOMPARE(list->rowCount(), 7);
        // Shift+Delete is not Delete; nothing is asked.
        Key(list, Qt::Key_Delete, Qt::ShiftModifier);
        QVERIFY(host.boxes.Boxes().empty());
        // Tab leaves the list for the next control instead of walking its cells.
        host.Window().activateWindow();
        list->setFocus();
        list->setCurrentCell(0, 0);
        const int column = list->currentColumn();
        Key(list, Qt::Key_Tab);
        QCOMPARE(list->currentColumn(), column);
        QVERIFY(!list->hasFocus());
        // Space unticks the current row's box from another column too: the disable asks first.
        list->setFocus();
        list->setCurrentCell(0, 2);
        host.boxes.SetAnswer(kIdCancel);
        Key(list, Qt::Key_Space);
        QVERIFY(!host.boxes.Boxes().empty());
        QVERIFY(host.boxes.Boxes().back().text.starts_with("Disable the plugin"));
        QCOMPARE(list->item(0, 0)->checkState(), Qt::Checked); // cancelled
        // The install menus show the keys that run them.
        QCOMPARE(host.Action("mnu2InstallZip")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Insert));
    }

    // The Help menu explains what the window leaves to the user to know: the detect-string syntax
    // and the command line; About keeps F1.
    void helpMenuExplains() {
        GuiHost host;
        host.Open();
        QVERIFY(host.Find<QMenu>("mnuHelp"));
        host.Action("mnuHelpDetect")->trigger();
        QCOMPARE(host.boxes.Boxes().back().text, Message(Msg::DetectHelp));
        host.Action("mnuHelpCommandLine")->trigger();
        QVERIFY(host.boxes.Boxes().back().text.find("/installZip") != std::string::npos);
        QCOMPARE(host.Action("mnuHelpAbout")->shortcut(), QKeySequence(Qt::Key_F1));
    }

    void digitForAMissingTabRefillsTheCurrentOne() {
        GuiHost host;
        host.Open();
        auto* tabs = host.Find<QTabBar>("TabControl1");
        // Take the Content tab away as for a host older than 6.50.
        tabs->removeTab(4);
        tabs->setCurrentIndex(1);
        Settle();
        Key(host.List(), Qt::Key_5);
        QCOMPARE(tabs->currentIndex(), 1);
        QCOMPARE(host.List()->rowCount(), 2);
    }

    void minimumSizeAndStatusBarOff() {
        {
            GuiHost host;
            host.Open();
            host.Window().resize(300, 200);
            Settle();
            QCOMPARE(host.Window().size(), QSize(450, 250));
            // Every command stays reachable: on the row, or in the overflow menu at its end.
            QWidget* row = host.Find<QWidget>("ToolRow");
            auto* more = host.Find<QToolButton>("btnMore");
            QVERIFY(more->isVisible());
            emit more->menu()->aboutToShow();
            QStringList overflowed;
            for (QAction* action : more->menu()->actions())
                overflowed << action->text();
            for (auto* button : row->findChildren<TMenuSpeedButton*>()) {
                if (!button->isVisibleTo(row))
                    continue; // the other one of a pair
                bool onRow = button->geometry().right() < more->geometry().left();
                QVERIFY2(onRow != overflowed.contains(button->text()), qPrintable(button->text()));
            }
            QVERIFY(overflowed.contains("Close"));
            host.Window().resize(1000, 426);
            Settle();
            QVERIFY(!more->isVisible());
            QVERIFY(host.Find<QStatusBar>("StatusBar1")->isVisible());
            QVERIFY(!host.Find<QWidget>("SizeGrip")->isVisible());
        }
        GuiHost host("[Options]\r\nShowStatusBar=0\r\n[Window]\r\nWidth=300\r\n");
        host.Open();
        QVERIFY(!host.Find<QStatusBar>("StatusBar1")->isVisible());
        QWidget* grip = host.Find<QWidget>("SizeGrip");
        QVERIFY(grip->isVisible());
        QCOMPARE(grip->geometry().bottomRight(),
                 QPoint(host.Window().width() - 1, host.Window().height() - 1));
        QCOMPARE(grip->size(), QSize(17, 17));
        QCOMPARE(host.Window().height(), 426 - 15); // first start without the bar: 15 pixels lower
        QVERIFY(host.Window().width() >= 450);      // a stored width below the minimum is refused
    }

    void hostMissing() {
        GuiHost host("[Paths]\r\nTCPath=C:\\nowhere\\Totalcmd.exe\r\n");
        host.Open();
        // The first showing offers the host dialog; cancelled here.
        QCOMPARE(host.dialogs.fileRequests.size(), size_t{1});
        QCOMPARE(host.dialogs.fileRequests[0].defaultName, std::string("TotalCmd.exe"));
        QCOMPARE(host.dialogs.fileRequests[0].title, std::string("Browse for Total Commander"));
        QCOMPARE(host.boxes.Boxes().size(), size_t{1});
        QCOMPARE(host.boxes.Boxes()[0].text,
                 std::string("TotalCmd.exe was not found.\rChoose the right file with the \"...\" button."));
        QVERIFY(!host.List()->isEnabled());
        QCOMPARE(host.List()->rowCount(), 0);
        QVERIFY(!host.Find<TMenuSpeedButton>("btnAdd")->isEnabled());
        QCOMPARE(
            host.Find<TMenuSpeedButton>("btnAdd")->toolTip(),
            QString("Install a new plugin\nTotal Commander or its wincmd.ini was not found: choose them with "
                    "the \"...\" buttons."));
        QVERIFY(!host.Find<QTabBar>("TabControl1")->isEnabled());
        QVERIFY(host.Find<QPushButton>("btnTCBrowse")->isEnabled());
        QVERIFY(host.Find<TMenuSpeedButton>("btnClose")->isEnabled());
        QCOMPARE(host.Window().focusWidget(), host.Find<QWidget>("btnTCBrowse"));

        // Browsing to the right executable brings everything back and stores the choice.
        host.dialogs.files.push_back({"C:\\totalcmd\\TOTALCMD.EXE"});
        host.Find<QPushButton>("btnTCBrowse")->click();
        Settle();
        QCOMPARE(host.List()->rowCount(), 6);
        QVERIFY(host.List()->isEnabled());
        QVERIFY(host.prefix.Read("drive_c/Varnel/TC_varnel.ini").find("TCPath=C:\\totalcmd\\TOTALCMD.EXE") !=
                std::string::npos);
    }

    void iniBrowseStoresTheWindowsFolderShortened() {
        GuiHost host;
        host.Open();
        host.prefix.Write("drive_c/windows/wincmd.ini", "[ListerPlugins]\r\n0=C:\\a.wlx\r\n");
        host.dialogs.files.push_back({"C:\\windows\\wincmd.ini"});
        host.Find<QPushButton>("btnIniBrowse")->click();
        Settle();
        QCOMPARE(host.Find<QLineEdit>("sTCini1")->text(), QString("%windir%\\wincmd.ini"));
        QCOMPARE(host.List()->rowCount(), 1);
        QCOMPARE(host.dialogs.fileRequests.back().initialFolder, std::string("C:\\windows"));
        QVERIFY(host.prefix.Read("drive_c/Varnel/TC_varnel.ini").find("IniPath=%windir%\\wincmd.ini") !=
                std::string::npos);
    }

    void refreshTickUpdatesStatesOnly() {
        GuiHost host("[Options]\r\nRefresh=1\r\nRefreshInterval=60000\r\n");
        host.Open();
        QVERIFY(host.Find<QTimer>("Timer1")->isActive());
        QCOMPARE(host.Find<QTimer>("Timer1")->interval(), 60000);
        std::filesystem::remove(
            host.prefix.Path("drive_c/totalcmd/plugins/wlx/sample_lister/sample_lister.wlx"));
        host.Window().Timer1Timer();
        QCOMPARE(host.RowText(4, 3), std::string("-deleted-"));
        QCOMPARE(host.Window().ListRows()[4].icon, 0); // the icon waits for the next fill
        host.Window().FillList();
        QCOMPARE(host.Window().ListRows()[4].icon, 4);
    }

    void hostStateFollowsTheRunningHost() {
        GuiHost host("[Options]\r\nRefresh=1\r\nRefreshInterval=60000\r\n");
        host.Open();
        auto* state = host.Find<QLabel>("sTCState");
        auto* restart = host.Find<QPushButton>("btnTCRestart");
        QCOMPARE(state->text(), QString("idle"));
        QVERIFY(!restart->isEnabled());
        // A process that maps the host's executable, as a running host under Wine does.
        test::MappedInChild running(host.prefix.Path("drive_c/totalcmd/TOTALCMD.EXE"));
        QVERIFY(running.Mapped());
        host.Window().Timer1Timer();
        QCOMPARE(state->text(), QString("running"));
        QVERIFY(state->styleSheet().contains("blue"));
        QVERIFY(restart->isEnabled());
        running.Stop();
        host.Window().Timer1Timer();
        QCOMPARE(state->text(), QString("idle"));
        QVERIFY(!state->styleSheet().contains("blue"));
        QVERIFY(!restart->isEnabled());
    }

    // A plugin's own settings dialog is up while its helper runs: the busy indicator shows below
    // the middle of the window, where such dialogs open, and its Cancel still works. (Whether it
    // stays behind another program's window is for a real desktop to show: this test has none.)
    void aPluginsOwnDialogKeepsTheFrontWhileItIsUp() {
        GuiHost host;
        host.Open();
        BusyWaits busyWaits;
        const std::string hang =
            test::InstallSample(host.prefix.Dir(), test::ModuleBuild::Native, "hang.dll", "plugins");
        bool shown = false, lowHalf = false;
        QTimer poll;
        poll.setInterval(50);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            for (QWidget* widget : QApplication::topLevelWidgets())
                if (auto* busy = qobject_cast<QProgressDialog*>(widget);
                    busy && busy->objectName() == "BusyIndicator" && busy->isVisible() && !shown) {
                    shown = true;
                    lowHalf = busy->geometry().center().y() > host.Window().frameGeometry().center().y();
                    busy->cancel();
                }
        });
        poll.start();
        ConfigurePackerPlugin(Host(), hang); // hang.dll's ConfigurePacker never returns
        QVERIFY(shown);
        QVERIFY(lowHalf);
        QVERIFY(!BusyWaiting());
    }

    // A helper that hangs and a load that takes long: the window keeps its events going, the
    // busy indicator shows after a moment, and its Cancel stops the wait.
    void longWaitsShowTheBusyIndicatorAndCanBeCancelled() {
        GuiHost host;
        host.Open();
        BusyWaits busyWaits;
        const std::string hang =
            test::InstallSample(host.prefix.Dir(), test::ModuleBuild::Native, "hang.dll", "plugins");
        int ticks = 0;
        bool shown = false;
        QTimer poll;
        poll.setInterval(50);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            ++ticks;
            for (QWidget* widget : QApplication::topLevelWidgets())
                if (auto* busy = qobject_cast<QProgressDialog*>(widget);
                    busy && busy->objectName() == "BusyIndicator" && busy->isVisible() && ticks > 8) {
                    shown = true;
                    busy->cancel();
                }
        });
        poll.start();

        QueryStatus status = QueryStatus::Answered;
        QElapsedTimer clock;
        clock.start();
        QueryPackerCaps(hang, &status);
        QCOMPARE(status, QueryStatus::Cancelled);
        QVERIFY(shown);
        QVERIFY(clock.elapsed() < 5000);
        QVERIFY(!BusyWaiting());

        shown = false;
        ticks = 0;
        std::atomic<bool> stop{false};
        RunOffGuiThread(
            [&stop] {
                while (!stop)
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
            },
            &stop);
        QVERIFY(shown);

        // Unpacking a large archive: the same indicator, and its Cancel leaves nothing behind and
        // says nothing more.
        std::vector<test::ArchiveItem> items = {{"big/a.wlx", "MZ"}};
        for (int i = 0; i < 19000; ++i)
            items.push_back({"big/f" + std::to_string(i) + ".txt", "x"});
        test::WriteZip(host.prefix.Path("drive_c/big.zip"), items);
        const std::string ini = host.WincmdIni();
        shown = false;
        ticks = 0;
        const size_t boxes = host.boxes.Boxes().size();
        InstallFromArchive(ProgramContext(), {"C:\\big.zip", false, false});
        QVERIFY(shown);
        QCOMPARE(host.boxes.Boxes().size(), boxes);
        QCOMPARE(host.WincmdIni(), ini);
        QVERIFY(!host.prefix.Exists("drive_c/totalcmd/plugins/Install.tmp"));
        QVERIFY(!host.prefix.Exists("drive_c/totalcmd/plugins/wlx/a"));
    }

    void germanCaptions() {
        GuiHost host("[Options]\r\nLanguage=Deutsch\r\n");
        host.Open();
        QCOMPARE(host.Find<QLabel>("Label4")->text(), QString("TC-Pfad:"));
        QCOMPARE(host.Find<QTabBar>("TabControl1")->tabText(3), QString("Dateisystem"));
        QCOMPARE(host.RowText(0, 3), std::string("-deaktiviert-"));
        // The window is wide enough for every tool button's caption.
        auto* close = host.Find<TMenuSpeedButton>("btnClose");
        QVERIFY(close->geometry().right() < host.Find<QWidget>("ToolRow")->width());
    }

    // Every accelerator letter is the only one of its place, in both languages: among the window's
    // own controls and menu titles, and within each menu; History and Check are reached by keys.
    void acceleratorsDoNotClash() {
        for (const char* language : {"English", "Deutsch"}) {
            GuiHost host(std::string("[Options]\r\nLanguage=") + language + "\r\n");
            host.Open();
            auto letter = [](const QString& text) -> QChar {
                for (qsizetype i = 0; i + 1 < text.size(); ++i) {
                    if (text[i] == '&' && text[i + 1] == '&')
                        ++i;
                    else if (text[i] == '&')
                        return text[i + 1].toLower();
                }
                return {};
            };
            auto clashes = [&](const QStringList& texts) {
                QStringList found;
                QHash<QChar, QString> taken;
                for (const QString& text : texts) {
                    const QChar key = letter(text);
                    if (key.isNull())
                        continue;
                    if (taken.contains(key))
                        found << taken[key] + " / " + text;
                    taken[key] = text;
                }
                return found;
            };
            // A window's level: its menu titles, buttons (hidden ones too: which show depends on
            // the row and the host) and labels with a buddy; then each of its menus.
            auto faultsIn = [&](QWidget* window) {
                QStringList top;
                if (auto* main = qobject_cast<QMainWindow*>(window))
                    for (QAction* action : main->menuBar()->actions())
                        top << action->text();
                for (QAbstractButton* button : window->findChildren<QAbstractButton*>())
                    if (button->window() == window)
                        top << button->text();
                for (QLabel* label : window->findChildren<QLabel*>())
                    if (label->buddy() && label->window() == window)
                        top << label->text();
                QStringList found = clashes(top);
                for (QMenu* menu : window->findChildren<QMenu*>()) {
                    QStringList items;
                    for (QAction* action : menu->actions())
                        if (!action->isSeparator())
                            items << action->text();
                    found << clashes(items);
                }
                return found;
            };
            QStringList faults = faultsIn(&host.Window());
            test::AllDialogs dialogs(&host.Window());
            for (QWidget* dialog : dialogs.List())
                for (const QString& fault : faultsIn(dialog))
                    faults << dialog->objectName() + ": " + fault;
            QVERIFY2(faults.isEmpty(), qPrintable(QString(language) + ": " + faults.join("; ")));
            for (const char* name : {"mnuHistory", "mnuCheck"})
                QVERIFY2(!letter(host.Action(name)->text()).isNull(), name);
        }
    }

    void settingsWrittenWhenClosed() {
        GuiHost host;
        host.Open();
        host.Window().resize(700, 500);
        host.Find<QTabBar>("TabControl1")->setCurrentIndex(2);
        Settle();
        // The first run widened the name column from its design width to the names.
        const int nameWidth = host.List()->columnWidth(0);
        QVERIFY(nameWidth > 200);
        host.Window().close();
        std::string settings = host.prefix.Read("drive_c/Varnel/TC_varnel.ini");
        QVERIFY(settings.find("Width=700") != std::string::npos);
        QVERIFY(settings.find("Height=500") != std::string::npos);
        QVERIFY(settings.find("TabIndex=2") != std::string::npos);
        QVERIFY(settings.find("Column0W=" + std::to_string(nameWidth) + "\r\n") != std::string::npos);
        QVERIFY(settings.find("Column2W=0") != std::string::npos);

        // Widths and a size the user has are kept: only a first run is fitted.
        GuiHost again("[Window]\r\nWidth=640\r\nHeight=420\r\nColumn0W=150\r\nColumn3W=30\r\n");
        again.Open();
        QCOMPARE(again.List()->columnWidth(3), 30);
        QCOMPARE(again.Window().size(), QSize(640, 420));
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
