// Install, uninstall, disable, enable and rename from the main window, and installing from the
// command line, on copies of the demo host.

#include "app/entry.h"
#include "app/settings.h"
#include "archive_maker.h"
#include "catalog/host_config.h"
#include "catalog/host_location.h"
#include "catalog/module_probe.h"
#include "gui_host.h"
#include "install_request.h"
#include "ops/button_bar.h"
#include "ops/history.h"
#include "ops/install.h"
#include "platform/environment.h"
#include "sample_plugins.h"
#include "ui/details_pane.h"
#include "ui/form_add.h"
#include "ui/form_check.h"
#include "ui/form_history.h"
#include "ui/form_order.h"
#include "ui/form_tweak.h"
#include "ui/menu_speed_button.h"
#include "ui/qt_text.h"
#include "ui/run_program.h"
#include "util/text.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sys/stat.h>

using namespace varnel;
using varnel::test::GuiHost;
using varnel::test::ModuleBuild;
using varnel::test::Settle;

namespace {

std::string Native(GuiHost& host, const char* name, const char* as = "") {
    return test::InstallSample(host.prefix.Dir(), ModuleBuild::Native, name, "new", as);
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The list position of the row whose caption contains `part`.
int Position(GuiHost& host, const std::string& part) {
    for (int r = 0; r < host.List()->rowCount(); ++r)
        if (Contains(host.RowText(r, 0), part))
            return r;
    return -1;
}

// Disables the FS plugin in the open window, answering its question; the file before and after.
std::pair<std::string, std::string> DisableTheFsPlugin(GuiHost& host) {
    const std::string before = host.WincmdIni();
    host.Select({Position(host, "FS: sample_fs")});
    host.boxes.SetAnswer(kIdOk);
    host.Window().btnDisableClick();
    Settle();
    return {before, host.WincmdIni()};
}

} // namespace

class CommandsTest : public QObject {
    Q_OBJECT
private slots:
    void installFourFilesInOrder() {
        GuiHost host;
        host.Open();
        std::string lister = Native(host, "sample_lister.wlx", "second.wlx");
        std::string fs = Native(host, "sample_fs.wfx");
        std::string content = Native(host, "sample_content.wdx");
        // A second module of the same name, from another folder.
        std::string twin =
            test::InstallSample(host.prefix.Dir(), ModuleBuild::Native, "sample_content.wdx", "other");
        host.dialogs.files.push_back({lister, fs, content, twin});
        host.Window().btnAddClick();
        Settle();
        const auto& request = host.dialogs.fileRequests.back();
        QVERIFY(request.multiple);
        QCOMPARE(request.initialFolder, std::string("C:\\totalcmd"));
        QCOMPARE(request.filters.size(), size_t{2});
        QCOMPARE(request.filters[0].second,
                 std::string("*.wcx;*.wlx;*.wfx;*.wdx;*.wcx64;*.wlx64;*.wfx64;*.wdx64"));
        std::vector<std::string> infos;
        for (const auto& box : host.boxes.Boxes())
            if (box.style == (kStyleInformation | kMbSetForeground))
                infos.push_back(box.text);
        QCOMPARE(infos,
                 (std::vector<std::string>{"The plugin \"second\" has been installed.",
                                           "The plugin \"sample_fs\" has been installed.",
                                           "The plugin \"sample_content\" has been installed.",
                                           "The plugin \"sample_content (C:\\other\\sample_content.wdx)\" "
                                           "has been installed."}));
        std::string ini = host.WincmdIni();
        QVERIFY(Contains(ini, "1=C:\\new\\second.wlx\r\n1_detect=EXT=\"TXT\" | EXT=\"LOG\"\r\n"));
        QVERIFY(Contains(ini, "Sample FS=C:\\new\\sample_fs.wfx\r\n"));
        QVERIFY(Contains(ini, "2=C:\\new\\sample_content.wdx\r\n2_detect=MULTIMEDIA\r\n"));
        QCOMPARE(AppSettings().PluginsSrc, std::string("C:\\new"));
        // The native FS sample answers the same root name as the demo's: its key now names the new module.
        QCOMPARE(host.List()->rowCount(), 9);
        // The rows the install made are the ones selected, so the user sees what came.
        std::set<std::string> selected;
        for (int row : host.Window().SelectedTableRows())
            selected.insert(EntryAt(row).FileName);
        QCOMPARE(selected,
                 (std::set<std::string>{"C:\\new\\second.wlx", "C:\\new\\sample_fs.wfx",
                                        "C:\\new\\sample_content.wdx", "C:\\other\\sample_content.wdx"}));
    }

    // File -> Export plugins writes the ticked plugins; File -> Import plugins shows the plan and
    // imports the ticked ones as one change.
    void pluginSetsGoOutAndComeBackThroughTheFileMenu() {
        GuiHost host;
        host.Open();
        auto inDialog = [](std::function<void(QTreeWidget&, QPushButton&)> act) {
            QTimer::singleShot(0, [act] {
                auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
                QVERIFY(dialog && dialog->objectName() == "TFormPluginSet");
                act(*dialog->findChild<QTreeWidget*>("ListView1"), *dialog->findChild<QPushButton*>("btnOk"));
            });
        };
        auto row = [](QTreeWidget& list, const QString& start) -> QTreeWidgetItem* {
            for (int i = 0; i < list.topLevelItemCount(); ++i)
                if (list.topLevelItem(i)->text(0).startsWith(start))
                    return list.topLevelItem(i);
            return nullptr;
        };
        host.dialogs.files.push_back({"C:\\set.zip"});
        inDialog([&](QTreeWidget& list, QPushButton& ok) {
            QVERIFY(row(list, "old_viewer"));
            QCOMPARE(row(list, "old_viewer")->checkState(0), Qt::Checked);
            row(list, "old_viewer")->setCheckState(0, Qt::Unchecked);
            ok.click();
        });
        host.Action("mnuExportPlugins")->trigger();
        Settle();
        const std::vector<std::string> names = test::ZipNames(host.prefix.Path("drive_c/set.zip"));
        const std::set<std::string> members(names.begin(), names.end());
        QVERIFY(members.count("lister/sample_lister/sample_lister.wlx"));
        QVERIFY(!members.count("lister/old_viewer/old_viewer.wlx"));

        host.SetWincmdIni("[Configuration]\r\nInstallDir=C:\\totalcmd\r\n");
        host.Window().btnRefreshClick();
        const size_t records = RecordsMadeHere().size();
        host.dialogs.files.push_back({"C:\\set.zip"});
        inDialog([&](QTreeWidget& list, QPushButton& ok) {
            QCOMPARE(list.topLevelItemCount(), 4);
            QVERIFY(row(list, "sample_fs"));
            QVERIFY(row(list, "sample_fs")->text(1).startsWith("new: "));
            row(list, "sample_fs")->setCheckState(0, Qt::Unchecked);
            ok.click();
        });
        host.Action("mnuImportPlugins")->trigger();
        Settle();
        const std::string ini = host.WincmdIni();
        QVERIFY(Contains(ini, "0_detect=EXT=\"TXT\" | EXT=\"LOG\""));
        QVERIFY(Contains(ini, "sp2=29,"));
        QVERIFY(Contains(ini, "0_detect=MULTIMEDIA"));
        QVERIFY(!Contains(ini, "sample_fs"));
        QCOMPARE(RecordsMadeHere().size(), records + 1);
        QCOMPARE(host.List()->rowCount(), 3);
    }

    void installRestartsTheHostOnceAfterTheLastFile() {
        GuiHost host("[Options]\r\nInstRestart=1\r\n[Restart]\r\nRestartCmd=2\r\nRestartExt=%dir%\\restarter "
                     "\"%s\"\r\n");
        host.prefix.Write("drive_c/Varnel/restarter", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> \"$0.log\"\n");
        chmod(host.prefix.Path("drive_c/Varnel/restarter").c_str(), 0755);
        host.Open();
        host.dialogs.files.push_back({Native(host, "sample_fs.wfx", "one.wfx"),
                                      Native(host, "sample_lister.wlx", "two.wlx"),
                                      Native(host, "none.dll")});
        EndProbeHelpers();
        const unsigned helpers = ProbeHelperStarts();
        host.Window().btnAddClick();
        Settle();
        QCOMPARE(ProbeHelperStarts() - helpers, 1u); // one helper asked about all three
        // The last file fails (message 60), and the host is restarted all the same, once.
        QVERIFY(Contains(host.boxes.Boxes().back().text, "is not a Total Commander plugin"));
        std::string log;
        for (int i = 0; i < 100 && log.empty(); ++i) {
            QTest::qWait(20);
            log = host.prefix.Read("drive_c/Varnel/restarter.log");
        }
        QCOMPARE(
            log,
            std::string(
                "C:\\totalcmd\\Totalcmd.exe /i=C:\\totalcmd\\wincmd.ini /f=C:\\totalcmd\\wcx_ftp.ini\n"));
    }

    void installAPackerAsksForExtensions() {
        GuiHost host("[Options]\r\nInstTweak=1\r\n");
        host.Open();
        std::string packer = Native(host, "sample_packer.wcx", "zip.wcx");
        host.dialogs.associations.push_back(std::string("zip,jar"));
        host.dialogs.files.push_back({packer});
        host.Window().btnAddClick();
        Settle();
        QCOMPARE(host.dialogs.associationRequests.size(), size_t{1});
        QCOMPARE(host.dialogs.associationRequests[0].proposal, std::string("zip"));
        QVERIFY(!host.dialogs.associationRequests[0].allowEmpty);
        QVERIFY(Contains(host.WincmdIni(), "zip=285,C:\\new\\zip.wcx\r\njar=285,C:\\new\\zip.wcx\r\n"));
        // With InstTweak on, the flags dialog follows (cancelled here: the flags just written stay).
        QCOMPARE(host.dialogs.tweakRequests, std::vector<std::string>{"C:\\new\\zip.wcx"});
        // Cancelling the association dialog writes nothing and shows nothing.
        std::string before = host.WincmdIni();
        size_t boxes = host.boxes.Boxes().size();
        host.dialogs.files.push_back({Native(host, "sample_packer.wcx", "other.wcx")});
        host.Window().btnAddClick();
        Settle();
        QCOMPARE(host.WincmdIni(), before);
        QCOMPARE(host.boxes.Boxes().size(), boxes);
    }

    void installFailuresAreReported() {
        GuiHost host;
        host.Open();
        // A duplicate Lister: message 61, nothing written.
        std::string before = host.WincmdIni();
        host.dialogs.files.push_back({"C:\\totalcmd\\plugins\\wlx\\sample_lister\\sample_lister.wlx"});
        host.Window().btnAddClick();
        Settle();
        QCOMPARE(host.boxes.Boxes().back().text,
                 std::string(
                     "C:\\totalcmd\\plugins\\wlx\\sample_lister\\sample_lister.wlx\ris installed already."));
        QCOMPARE(host.WincmdIni(), before);
        // A module of no kind: message 60.
        host.dialogs.files.push_back({Native(host, "none.dll")});
        host.Window().btnAddClick();
        Settle();
        QVERIFY(Contains(host.boxes.Boxes().back().text, "is not a Total Commander plugin of a known kind"));
        // A configuration that cannot be written: an error naming the file, and no success box.
        chmod(host.prefix.Path("drive_c/totalcmd/wincmd.ini").c_str(), 0444);
        size_t count = host.boxes.Boxes().size();
        host.dialogs.files.push_back({Native(host, "sample_fs.wfx")});
        host.Window().btnAddClick();
        Settle();
        chmod(host.prefix.Path("drive_c/totalcmd/wincmd.ini").c_str(), 0644);
        // Its FS name is the registered sample's: replacing that registration is asked first.
        QCOMPARE(host.boxes.Boxes().size(), count + 2);
        QVERIFY(Contains(host.boxes.Boxes()[count].text, "\"Sample FS\" belongs to"));
        QCOMPARE(host.boxes.Boxes().back().text,
                 std::string("C:\\totalcmd\\wincmd.ini could not be written. Nothing was changed."));
        QCOMPARE(host.WincmdIni(), before);
    }

    void uninstallThreeRowsAsksOnceAndSkipsTheDisabled() {
        GuiHost host;
        host.Open();
        host.boxes.SetAnswer(kIdOk);
        host.Select(
            {Position(host, "old_viewer"), Position(host, "Sample Lister"), Position(host, "Sample Packer")});
        host.Window().btnRemoveClick();
        Settle();
        QCOMPARE(host.boxes.Boxes().size(), size_t{1});
        QCOMPARE(host.boxes.Boxes()[0].text, std::string("Uninstall the 3 selected plugins?"));
        std::string ini = host.WincmdIni();
        QVERIFY(!Contains(ini, "sample_lister.wlx"));
        QVERIFY(!Contains(ini, "sample_packer.wcx"));
        QVERIFY(Contains(ini, "old_viewer.wlx")); // the disabled one keeps its registration
        QVERIFY(Contains(ini, "[ListerPlugins]\r\n[PackerPlugins]\r\n"));
        // The module files stay where they are.
        QVERIFY(host.prefix.Exists("drive_c/totalcmd/plugins/wlx/sample_lister/sample_lister.wlx"));
        QCOMPARE(host.List()->rowCount(), 4);
    }

    void uninstallOneAsksWithNameAndFile() {
        GuiHost host;
        host.Open();
        host.Select({Position(host, "FS: sample_fs")});
        host.boxes.SetAnswer(kIdCancel);
        host.Window().btnRemoveClick();
        QCOMPARE(host.boxes.Boxes().back().text,
                 std::string("Uninstall the plugin \"sample_fs\"?\r\rFile: sample_fs.wfx"));
        QVERIFY(Contains(host.WincmdIni(), "Sample FS="));
        // Delete runs the same command; F8 too.
        host.boxes.SetAnswer(kIdOk);
        host.List()->setFocus();
        QTest::keyClick(host.List(), Qt::Key_Delete);
        Settle();
        QVERIFY(!Contains(host.WincmdIni(), "Sample FS="));
        // A single disabled row: message 56.
        host.Select({Position(host, "old_viewer")});
        host.Window().btnRemoveClick();
        QCOMPARE(host.boxes.Boxes().back().text, std::string("The plugin is disabled. Enable it first."));
    }

    void timerIsOffWhileACommandRuns() {
        GuiHost host("[Options]\r\nRefresh=1\r\nRefreshInterval=60000\r\n");
        host.Open();
        auto* timer = host.Find<QTimer>("Timer1");
        QVERIFY(timer->isActive());
        bool activeDuringQuestion = true;
        test::MessageLog question(kIdCancel);
        question.whileShown = [&](const test::ShownBox&) { activeDuringQuestion = timer->isActive(); };
        host.Select({Position(host, "FS: sample_fs")});
        host.Window().btnDisableClick();
        QVERIFY(!activeDuringQuestion);
        QVERIFY(timer->isActive()); // back on, as Refresh is set
    }

    void disableAsksOnlyForOneRow() {
        GuiHost host;
        host.Open();
        host.Select({Position(host, "FS: sample_fs")});
        host.boxes.SetAnswer(kIdCancel);
        host.Window().btnDisableClick();
        QCOMPARE(host.boxes.Boxes().size(), size_t{1});
        QCOMPARE(host.boxes.Boxes()[0].text, std::string("Disable the plugin \"sample_fs\"?"));
        QVERIFY(Contains(host.WincmdIni(), "[FileSystemPlugins]\r\nSample FS="));
        host.Select({Position(host, "FS: sample_fs"), Position(host, "Sample Packer")});
        host.Window().btnDisableClick();
        Settle();
        QCOMPARE(host.boxes.Boxes().size(), size_t{1}); // two rows: no question
        std::string ini = host.WincmdIni();
        QVERIFY(Contains(
            ini, "FileSystemPlugins;%COMMANDER_PATH%\\plugins\\wfx\\sample_fs\\sample_fs.wfx;Sample FS;="));
        QVERIFY(Contains(
            ini, "PackerPlugins;285,%COMMANDER_PATH%\\plugins\\wcx\\sample_packer\\sample_packer.wcx;smp;="));
        QCOMPARE(host.Find<QLabel>("StatusText")->text(), QString("6 plugins, 4 disabled or missing"));

        // The cursor stays on the plugin it was on, wherever the command moved its row, so that
        // Enter does not act on another one.
        host.Select({Position(host, "Sample Packer")});
        host.boxes.SetAnswer(kIdOk);
        host.Window().btnDisableClick(); // enables it again
        Settle();
        QTableWidget* list = host.List();
        QCOMPARE(list->currentRow(), Position(host, "Sample Packer"));
        QVERIFY(list->item(list->currentRow(), 0)->isSelected());

        // A disabled Lister (its caption starts with a blank) sorts to the top; the view follows
        // it even when the list shows only two rows at a time.
        list->setFixedHeight(list->horizontalHeader()->height() + 2 * list->rowHeight(0) + 4);
        Settle();
        const int before = Position(host, "Sample Lister");
        host.Select({before});
        list->scrollToItem(list->item(before, 0), QAbstractItemView::PositionAtTop);
        host.Window().btnDisableClick();
        Settle();
        const int after = Position(host, "Sample Lister");
        QVERIFY(after < before - 1); // moved out of the rows shown before
        QCOMPARE(list->currentRow(), after);
        QVERIFY(list->viewport()->rect().intersects(list->visualItemRect(list->item(after, 0))));
    }

    void mixedSelectionFollowsTheCurrentRow() {
        GuiHost host;
        host.Open();
        // Disabled first in list order: enable it, leave the other alone.
        host.Select({Position(host, "old_viewer"), Position(host, "Sample Lister")});
        host.Window().btnDisableClick();
        Settle();
        QVERIFY(host.boxes.Boxes().empty());
        std::string ini = host.WincmdIni();
        QVERIFY(Contains(
            ini, "1=%COMMANDER_PATH%\\plugins\\wlx\\old_viewer\\old_viewer.wlx\r\n1_detect=EXT=\"INI\"\r\n"));
        QVERIFY(Contains(ini, "0=%COMMANDER_PATH%\\plugins\\wlx\\sample_lister\\sample_lister.wlx\r\n"));
        QVERIFY(Contains(ini, "[DisabledPlugins]\r\n") && !Contains(ini, "ListerPlugins;"));
        // Enabled first: disable it (no question with two rows); the disabled one stays disabled.
        host.SetWincmdIni(ini + "");
        host.Window().FillList();
        host.Window().btnRefreshClick();
        host.Select({Position(host, "Beispiel"), Position(host, "lost")});
        int disabledBefore = 0;
        for (int r : host.Window().SelectedTableRows())
            disabledBefore += Table().Row(r).Disabled;
        QCOMPARE(disabledBefore, 0);
        host.Window().btnDisableClick();
        Settle();
        QVERIFY(!Contains(host.WincmdIni(), "[ContentPlugins]\r\n0="));
        // Double click on a disabled row enables it.
        host.Select({Position(host, "Beispiel")});
        QTableWidgetItem* item = host.List()->item(Position(host, "Beispiel"), 0);
        emit host.List()->cellDoubleClicked(item->row(), 0);
        Settle();
        QVERIFY(Contains(host.WincmdIni(),
                         "[ContentPlugins]\r\n0=%COMMANDER_PATH%\\plugins\\wdx\\sample_content"));
    }

    void renameAnFsPluginAndADetectString() {
        GuiHost host;
        host.Open();
        host.Select({Position(host, "FS: sample_fs")});
        host.dialogs.associations.push_back(std::string("Renamed FS"));
        host.List()->setFocus();
        QTest::keyClick(host.List(), Qt::Key_F6);
        Settle();
        QCOMPARE(host.dialogs.associationRequests.size(), size_t{1});
        QCOMPARE(host.dialogs.associationRequests[0].proposal, std::string("Sample FS"));
        QVERIFY(!host.dialogs.associationRequests[0].allowEmpty);
        QVERIFY(
            Contains(host.WincmdIni(), "[FileSystemPlugins]\r\nRenamed FS=%COMMANDER_PATH%\\plugins\\wfx"));
        // Names that would break the file are refused: in the dialog, which stays open, and by the
        // command itself, which writes nothing.
        std::string before = host.WincmdIni();
        for (const char* bad : {"[Net]", "a=b", ";x", " padded"}) {
            host.dialogs.associations.push_back(std::string(bad));
            host.Window().btnRenameClick();
            Settle();
            QCOMPARE(host.WincmdIni(), before);
            QVERIFY(Contains(host.boxes.Boxes().back().text, "may not contain \"=\""));
        }
        TFormAdd typed("C:\\p\\x.wfx", kFileSystem, "a=b", false);
        typed.show();
        typed.findChild<QPushButton*>("btnOk")->click();
        QVERIFY(typed.isVisible());
        QCOMPARE(host.boxes.Boxes().back().text,
                 std::string(
                     "\"a=b\" cannot be used: it may not contain \"=\", line breaks or NUL characters, and "
                     "may not begin with \"[\" or \";\" or begin or end with a blank."));
        typed.findChild<QLineEdit*>("sExt")->setText("Net drive");
        typed.findChild<QPushButton*>("btnOk")->click();
        QVERIFY(!typed.isVisible());
        QCOMPARE(typed.result(), int(QDialog::Accepted));
        host.Select({Position(host, "Sample Lister")});
        host.dialogs.associations.push_back(std::string(""));
        host.Window().btnRenameClick();
        Settle();
        QVERIFY(host.dialogs.associationRequests.back().allowEmpty);
        QVERIFY(!Contains(host.WincmdIni(), "0_detect=EXT=\"TXT\""));
        QVERIFY(Contains(host.WincmdIni(), "0_detect=MULTIMEDIA")); // the content plugin keeps its own
        // A disabled plugin is refused before any dialog.
        host.Select({Position(host, "old_viewer")});
        size_t asked = host.dialogs.associationRequests.size();
        host.Window().btnRenameClick();
        QCOMPARE(host.dialogs.associationRequests.size(), asked);
        QCOMPARE(host.boxes.Boxes().back().text, std::string("The plugin is disabled. Enable it first."));
    }

    // Ctrl+Z edits the selected module's description, which the Description column then shows.
    void descriptionEditorWritesAndTheColumnShows() {
        GuiHost host("[Options]\r\nShowDescriptions=1\r\n");
        host.Open();
        const int row = Position(host, "sample_fs");
        host.Select({row});
        host.dialogs.texts.push_back(std::string("Browses the network"));
        host.List()->setFocus();
        QTest::keyClick(host.List(), Qt::Key_Z, Qt::ControlModifier);
        Settle();
        QCOMPARE(host.dialogs.textRequests.size(), size_t{1});
        QCOMPARE(host.dialogs.textRequests[0].title, std::string("Description of sample_fs.wfx"));
        QCOMPARE(host.dialogs.textRequests[0].label, std::string("Description:"));
        QCOMPARE(host.dialogs.textRequests[0].text, std::string());
        QCOMPARE(host.RowText(Position(host, "sample_fs"), 1), std::string("Browses the network"));
        // Cancel changes nothing; the editor opens with the text there is.
        host.Select({Position(host, "sample_fs")});
        host.Window().mnuDescClick();
        Settle();
        QCOMPARE(host.dialogs.textRequests.back().text, std::string("Browses the network"));
        QCOMPARE(host.RowText(Position(host, "sample_fs"), 1), std::string("Browses the network"));
    }

    // A description saved while its column is hidden turns the column on; a cancelled edit does not.
    void savedDescriptionShowsItsColumn() {
        GuiHost host;
        host.Open();
        QVERIFY(host.List()->isColumnHidden(1));
        host.Select({Position(host, "sample_fs")});
        host.Window().mnuDescClick(); // no answer: cancelled
        Settle();
        QVERIFY(host.List()->isColumnHidden(1));
        host.dialogs.texts.push_back(std::string("Browses the network"));
        host.Select({Position(host, "sample_fs")});
        host.Window().mnuDescClick();
        Settle();
        QVERIFY(!host.List()->isColumnHidden(1));
        QVERIFY(AppSettings().ShowDescriptions);
        QCOMPARE(host.RowText(Position(host, "sample_fs"), 1), std::string("Browses the network"));
    }

    // The Report dialog stores its choices only on OK; a report that cannot be written says so.
    void reportDialogCancelAndFailure() {
        GuiHost host;
        host.Open();
        auto answer = [&](const QString& path, bool ok) {
            QTimer::singleShot(0, [&, path, ok] {
                auto* report = qobject_cast<QDialog*>(QApplication::activeModalWidget());
                QVERIFY(report && report->objectName() == "TFormReport");
                QCOMPARE(report->windowTitle(), QString("Report"));
                report->findChild<QLineEdit*>("sFile")->setText(path);
                report->findChild<QCheckBox*>("fState")->setChecked(true);
                report->findChild<QPushButton*>(ok ? "btnOk" : "btnCancel")->click();
            });
            host.Window().btnReportClick();
            Settle();
        };
        answer("C:\\elsewhere.txt", false);
        QCOMPARE(AppSettings().ReportFile, std::string("C:\\TC Varnel report.txt"));
        QVERIFY(!AppSettings().ReportState);
        QVERIFY(!host.prefix.Exists("drive_c/elsewhere.txt"));
        QVERIFY(host.boxes.Boxes().empty());

        answer("C:\\no such folder\\report.txt", true);
        QCOMPARE(AppSettings().ReportFile, std::string("C:\\no such folder\\report.txt"));
        QVERIFY(AppSettings().ReportState);
        QCOMPARE(host.boxes.Boxes().size(), size_t{1});
        QCOMPARE(host.boxes.Boxes()[0].text,
                 std::string("The report could not be written to C:\\no such folder\\report.txt."));
    }

    // The packer flags dialog: one extension's flag changes only its key, bits beyond the boxes
    // stay, a second pair of one extension is refused, Cancel writes nothing, and removing every
    // extension removes the module.
    void tweakDialogRewritesThePackersKeys() {
        GuiHost host;
        host.Open();
        setenv("VARNEL_WINE", "/nonexistent/wine", 1); // the module's own flags: unknown, 0
        std::string ini = host.WincmdIni();
        const std::string key = "sp2=29,";
        ini.replace(ini.find(key), key.size(), "sp2=797,"); // 797 = 512 + 285
        host.SetWincmdIni(ini);
        const std::string module = "C:\\totalcmd\\plugins\\wcx\\sample_packer\\sample_packer.wcx";
        {
            TFormTweak tweak(module);
            tweak.show();
            Settle();
            auto* ext = tweak.findChild<QComboBox*>("ffExt");
            QCOMPARE(ext->count(), 3);
            QCOMPARE(tweak.findChild<QLabel*>("LabelFlags")->text(), QString("(285)"));
            ext->setCurrentIndex(2);
            QVERIFY(tweak.findChild<QCheckBox*>("ffFlag9")->isChecked());
            tweak.findChild<QCheckBox*>("ffFlag0")->click(); // 797 - 1
            QCOMPARE(tweak.findChild<QLabel*>("LabelFlags")->text(), QString("(796)"));
            host.dialogs.texts.push_back(std::string(" SMP "));
            tweak.btnAddClick();
            QCOMPARE(ext->count(), 3);
            QCOMPARE(host.boxes.Boxes().back().text,
                     std::string("The extension SMP is in the list already."));
            // Extensions that would be a split key, a comment or a section header.
            for (const char* bad : {"a=b", ";x", "[y"}) {
                host.dialogs.texts.push_back(std::string(bad));
                tweak.btnAddClick();
                QCOMPARE(ext->count(), 3);
                QVERIFY(Contains(host.boxes.Boxes().back().text, "cannot be used"));
            }
            tweak.btnOkClick();
            QCOMPARE(tweak.result(), int(QDialog::Accepted));
        }
        QVERIFY(Contains(host.WincmdIni(),
                         "smp=285,%COMMANDER_PATH%\\plugins\\wcx\\sample_packer\\sample_packer.wcx\r\n"
                         "spk=285,%COMMANDER_PATH%\\plugins\\wcx\\sample_packer\\sample_packer.wcx\r\n"
                         "sp2=796,%COMMANDER_PATH%"));
        const std::string before = host.WincmdIni();
        {
            TFormTweak tweak(module);
            tweak.show();
            Settle();
            for (int i = 0; i < 3; ++i)
                tweak.btnRemoveClick();
            QVERIFY(!tweak.findChild<QPushButton*>("btnRemove")->isEnabled());
            tweak.reject();
        }
        QCOMPARE(host.WincmdIni(), before);
        {
            // Another program adds an extension and changes one while the dialog is open: OK
            // refuses (their section changed) and keeps the other program's file.
            TFormTweak tweak(module);
            tweak.show();
            Settle();
            std::string other = before;
            other.replace(other.find("spk=285,"), 8, "spk=95,");
            other.insert(other.find("[PackerPlugins]\r\n") + 17, "xxx=1,C:\\x.wcx\r\n");
            host.SetWincmdIni(other);
            tweak.btnRemoveClick();
            tweak.btnOkClick();
            QVERIFY(tweak.isVisible());
            QVERIFY(Contains(host.boxes.Boxes().back().text, "was changed by another program"));
            QCOMPARE(host.WincmdIni(), other);
            tweak.reject();
            host.SetWincmdIni(before);
        }
        {
            TFormTweak tweak(module);
            tweak.show();
            Settle();
            for (int i = 0; i < 3; ++i)
                tweak.btnRemoveClick();
            tweak.btnOkClick();
        }
        QVERIFY(!Contains(host.WincmdIni(), "sample_packer.wcx"));
        unsetenv("VARNEL_WINE");
    }

    // Ctrl+O orders the Lister plugins: Down and OK exchange two numbers; Esc writes nothing but
    // keeps the window's geometry; "/order" opens the dialog alone.
    void orderDialogMovesAndWrites() {
        GuiHost host;
        host.Open();
        auto inDialog = [&](std::function<void(TFormOrder&)> act) {
            QTimer::singleShot(0, [act] {
                auto* order = qobject_cast<TFormOrder*>(QApplication::activeModalWidget());
                QVERIFY(order);
                act(*order);
            });
        };
        std::string ini = host.WincmdIni();
        const std::string detect = "0_detect=EXT=\"TXT\" | EXT=\"LOG\"\r\n";
        ini.insert(ini.find(detect) + detect.size(), "1=C:\\x\\second.wlx\r\n");
        host.SetWincmdIni(ini);
        const std::string before = host.WincmdIni();
        inDialog([](TFormOrder& order) {
            QCOMPARE(order.OrderKind(), kLister);
            auto* list = order.findChild<QTreeWidget*>("ListView1");
            QVERIFY(list->topLevelItemCount() >= 2);
            QVERIFY(!order.findChild<QPushButton*>("btnUp")->isEnabled());
            QTest::keyClick(list, Qt::Key_Down, Qt::ControlModifier);
            QCOMPARE(list->currentItem(), list->topLevelItem(1));
            QVERIFY(list->topLevelItem(0)->text(0).startsWith("0:  "));
            order.findChild<QPushButton*>("btnOk")->click();
        });
        host.List()->setFocus();
        QTest::keyClick(host.List(), Qt::Key_O, Qt::ControlModifier);
        Settle();
        const std::string after = host.WincmdIni();
        QVERIFY(Contains(after,
                         "[ListerPlugins]\r\n0=C:\\x\\second.wlx\r\n1=%COMMANDER_PATH%\\plugins\\wlx"
                         "\\sample_lister\\sample_lister.wlx\r\n1_detect=EXT=\"TXT\" | EXT=\"LOG\"\r\n"));

        // Opened from a plugin, the dialog starts on it, and its file tells rows of one name apart.
        host.Select({Position(host, "Sample Lister")});
        inDialog([](TFormOrder& order) {
            auto* list = order.findChild<QTreeWidget*>("ListView1");
            QCOMPARE(list->headerItem()->text(2), QString("File"));
            QCOMPARE(list->topLevelItem(0)->text(2), QString("C:\\x\\second.wlx"));
            QCOMPARE(list->currentItem(), list->topLevelItem(1));
            QVERIFY(list->currentItem()->text(2).endsWith("\\sample_lister\\sample_lister.wlx"));
            // Fitted to the texts: no file is cut.
            QVERIFY(list->columnWidth(2) >=
                    list->fontMetrics().horizontalAdvance(list->currentItem()->text(2)));
            order.reject();
        });
        host.Window().btnOrderClick();
        Settle();
        QCOMPARE(host.WincmdIni(), after);

        inDialog([](TFormOrder& order) {
            order.btnDownClick();
            QTest::keyClick(&order, Qt::Key_Escape);
        });
        host.Window().btnOrderClick();
        Settle();
        QCOMPARE(host.WincmdIni(), after);
        // Cancel leaves the same way, moves and all.
        inDialog([](TFormOrder& order) {
            QCOMPARE(order.findChild<QPushButton*>("btnCancel")->text(), QString("Cancel"));
            order.btnDownClick();
            order.findChild<QPushButton*>("btnCancel")->click();
        });
        host.Window().btnOrderClick();
        Settle();
        QCOMPARE(host.WincmdIni(), after);
        QVERIFY(Contains(host.prefix.Read("drive_c/Varnel/TC_varnel.ini"), "OrderColumn1W="));

        inDialog([](TFormOrder& order) { order.reject(); });
        TFormTCVarnel oneShot("/order");
        QVERIFY(oneShot.OneShotDone());
    }

    // Two archives and a module dropped on the window install in the order dropped (the archives to
    // the plugin folders of their kinds); a drop holding anything else is refused. The menu command
    // asks for archives in its own dialog and remembers their folder.
    void droppedArchivesAndModulesInstallInOrder() {
        GuiHost host;
        host.Open();
        auto sample = [](const char* name) {
            std::ifstream in(test::SamplePluginFile(ModuleBuild::Native, name), std::ios::binary);
            return std::string(std::istreambuf_iterator<char>(in), {});
        };
        std::filesystem::create_directories(host.prefix.Path("drive_c/in"));
        test::WriteZip(host.prefix.Path("drive_c/in/view.zip"),
                       {{"view/viewer.wlx", sample("sample_lister.wlx")}});
        test::WriteZip(host.prefix.Path("drive_c/in/fs.zip"),
                       {{"pluginst.inf", "[PluginInstall]\nFile=fs.wfx\nDefaultDir=fsdir\n"},
                        {"fs.wfx", sample("sample_fs.wfx")}});
        std::string content = Native(host, "sample_content.wdx");
        auto drop = [&](const QList<QUrl>& urls) {
            QMimeData data;
            data.setUrls(urls);
            QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&host.Window(), &enter);
            if (!enter.isAccepted())
                return false;
            QDropEvent dropped(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&host.Window(), &dropped);
            Settle();
            return true;
        };
        auto url = [&](const char* relative) {
            return QUrl::fromLocalFile(QString::fromStdString(host.prefix.Path(relative)));
        };
        QVERIFY(!drop({url("drive_c/in/view.zip"), url("drive_c/totalcmd/wincmd.ini")}));
        QVERIFY(drop(
            {url("drive_c/in/view.zip"), url("drive_c/in/fs.zip"), url("drive_c/new/sample_content.wdx")}));
        std::vector<std::string> infos; // fs.wfx's name is taken: the question comes between
        for (const auto& box : host.boxes.Boxes())
            if ((box.style & 0xF0) != kMbIconQuestion)
                infos.push_back(box.text);
        QCOMPARE(infos, (std::vector<std::string>{"The plugin \"viewer\" has been installed.",
                                                  "The plugin \"fs\" has been installed.",
                                                  "The plugin \"sample_content\" has been installed."}));
        const std::string ini = host.WincmdIni();
        QVERIFY(Contains(ini, "%COMMANDER_PATH%\\Plugins\\WLX\\viewer\\view\\viewer.wlx\r\n"));
        QVERIFY(Contains(ini, "Sample FS=%COMMANDER_PATH%\\Plugins\\WFX\\fsdir\\fs.wfx\r\n"));
        QVERIFY(Contains(ini, "C:\\new\\sample_content.wdx\r\n"));

        host.dialogs.files.push_back({"C:\\in\\view.zip"});
        host.Window().mnuInstallZipClick();
        Settle();
        QCOMPARE(host.dialogs.fileRequests.back().filters.front().second, std::string("*.zip;*.rar"));
        QCOMPARE(AppSettings().PluginsSrcZip, std::string("C:\\in"));
        QCOMPARE(host.boxes.Boxes().size(), size_t{5}); // the three installs, the question and this one
    }

    // The Options dialog: numbers as the settings hold them, a refresh period checked before the
    // dialog closes, the restart choice, tabs off, and a language that applies at once, Cancel or not.
    void optionsDialogLoadsChecksAndApplies() {
        GuiHost host("[Options]\r\nRefresh=1\r\nRefreshInterval=6000\r\n[Restart]\r\nRestartCmd=5\r\n");
        host.Open();
        auto inDialog = [&](std::function<void(QDialog&)> act) {
            QTimer::singleShot(0, [act] {
                auto* options = qobject_cast<QDialog*>(QApplication::activeModalWidget());
                QVERIFY(options && options->objectName() == "TFormOptions");
                act(*options);
            });
        };
        inDialog([&](QDialog& options) {
            auto* seconds = options.findChild<QLineEdit*>("ffTimerSec");
            QCOMPARE(seconds->text(), QString("6"));
            QVERIFY(options.findChild<QRadioButton*>("ffRestart3")->isChecked());
            QVERIFY(options.findChild<QLineEdit*>("ffRestartExt")->isEnabled());
            auto* bar = options.findChild<QPushButton*>("btnBarAdd");
            QCOMPARE(bar->text(),
                     "Add buttons to the TC bar " + FromAnsi(FileNamePart(GetButtonBarFile(Host()))));
            bar->click();
            QCOMPARE(host.boxes.Boxes().back().text,
                     "TC Varnel's buttons were added to the button bar " + GetButtonBarFile(Host()) + ".");
            seconds->setText("ten");
            options.findChild<QPushButton*>("btnOk")->click();
            QVERIFY(options.isVisible()); // stays open, and says why
            QCOMPARE(host.boxes.Boxes().back().text, std::string("\"ten\" is not a whole number."));
            seconds->setText("0");
            options.findChild<QPushButton*>("btnOk")->click();
            QVERIFY(options.isVisible());
            // More than a day would overflow the milliseconds; negative is refused with the timer off too.
            seconds->setText("3000000");
            options.findChild<QPushButton*>("btnOk")->click();
            QVERIFY(options.isVisible());
            QVERIFY(host.boxes.Boxes().back().text.find("out of range") != std::string::npos);
            options.findChild<QCheckBox*>("ffTimer")->setChecked(false);
            seconds->setText("-5");
            options.findChild<QPushButton*>("btnOk")->click();
            QVERIFY(options.isVisible());
            options.findChild<QCheckBox*>("ffTimer")->setChecked(true);
            seconds->setText("10");
            options.findChild<QCheckBox*>("ffTabs")->setChecked(false);
            // A plugin folder that cannot be made (it would lie below a file) keeps the dialog
            // open and the settings as they were; the folder made before it goes again.
            auto* lister = options.findChild<QLineEdit*>("ffPluginsLister");
            auto* packer = options.findChild<QLineEdit*>("ffPluginsPacker");
            const QString listerBefore = lister->text();
            lister->setText("C:\\Neue Plugins\\WLX");
            packer->setText(QString::fromStdString(Host().HostIniPath) + "\\WCX");
            options.findChild<QPushButton*>("btnOk")->click();
            QVERIFY(options.isVisible());
            QCOMPARE(host.boxes.Boxes().back().text,
                     "The folder " + Host().HostIniPath +
                         "\\WCX cannot be made. The options were not changed.");
            QVERIFY(!platform::DirectoryExists("C:\\Neue Plugins"));
            QCOMPARE(AppSettings().RefreshInterval, 6000);
            QVERIFY(AppSettings().ShowTabs);
            packer->setText("C:\\Neue Plugins\\WCX");
            options.findChild<QPushButton*>("btnOk")->click();
            QVERIFY(!options.isVisible());
            QVERIFY(platform::DirectoryExists("C:\\Neue Plugins\\WLX"));
            QVERIFY(platform::DirectoryExists("C:\\Neue Plugins\\WCX"));
            QCOMPARE(AppSettings().PluginsLister, std::string("C:\\Neue Plugins\\WLX"));
            QVERIFY(listerBefore != lister->text());
        });
        host.Window().btnOptionsClick();
        Settle();
        QCOMPARE(AppSettings().RefreshInterval, 10000);
        QCOMPARE(AppSettings().RestartCmd, 2);
        QVERIFY(!AppSettings().ShowTabs);
        QVERIFY(!host.Find<QTabBar>("TabControl1")->isVisible());
        const std::string barFile = GetButtonBarFile(Host());
        const int archiveButton = ButtonCount(barFile) - 2; // the third of the program's five
        QCOMPARE(FindButton(barFile, platform::OwnExecutablePath()), archiveButton - 2);
        QCOMPARE(ReadBarValue(barFile, "param" + std::to_string(archiveButton)), std::string("/installZip"));
        QCOMPARE(ReadBarValue(barFile, "menu" + std::to_string(archiveButton)),
                 std::string("Install from archive..."));

        inDialog([](QDialog& options) {
            auto* language = options.findChild<QComboBox*>("sLang");
            language->setCurrentIndex(language->findText("Deutsch"));
            QCOMPARE(options.findChild<QPushButton*>("btnCancel")->text(), QString("Abbrechen"));
            options.findChild<QPushButton*>("btnCancel")->click();
        });
        host.Window().btnOptionsClick();
        Settle();
        QCOMPARE(AppSettings().Language, std::string("Deutsch"));
        QCOMPARE(host.Find<QWidget>("btnClose")->property("text").toString(),
                 QString::fromUtf8("Schlie\u00dfen"));
        // Not only the captions: the tabs, the host's state and the rows speak German too.
        auto* tabs = host.Find<QTabBar>("TabControl1");
        QCOMPARE(tabs->tabText(3), QString("Dateisystem"));
        QCOMPARE(host.Find<QLabel>("sTCState")->text(), QString("bereit"));
        QVERIFY(Contains(host.RowText(Position(host, "sample_fs"), 0), "Dateisystem: "));
        // And the numbers: the details pane gives a module's size in the German form.
        host.Action("mnuDetails")->trigger();
        host.Select({Position(host, "Sample Packer")});
        const QString details = host.Find<TDetailsPane>("PanelDetails")->toPlainText();
        QVERIFY2(QRegularExpression("\\d\\.\\d\\d\\d B, \\d\\d\\.\\d\\d\\.\\d\\d").match(details).hasMatch(),
                 qPrintable(details));
        QCOMPARE(AppSettings().RefreshInterval, 10000); // Cancel kept the rest
    }

    // F1 opens the About box, with or without a host, in the language in use.
    void aboutBoxOnF1() {
        GuiHost host("[Options]\r\nLanguage=Deutsch\r\n");
        host.Open();
        bool seen = false;
        QTimer::singleShot(0, [&] {
            auto* about = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            QVERIFY(about && about->objectName() == "TFormAbout");
            seen = true;
            QCOMPARE(about->windowTitle(), QString::fromUtf8("\u00dcber"));
            // The build's own date, not a made-up one.
            const QString version = about->findChild<QLabel*>("Label1")->text();
            QVERIFY2(QRegularExpression("^Version 1\\.8\\.4 \\(\\d\\d\\.\\d\\d\\.20\\d\\d\\)$")
                         .match(version)
                         .hasMatch(),
                     qPrintable(version));
            QVERIFY(!version.contains("2005"));
            // No README in this program folder: no link to one.
            QVERIFY(about->findChild<QLabel*>("sHomepage")->isHidden());
            about->findChild<QPushButton*>("btnOk")->click();
        });
        host.List()->setFocus();
        QTest::keyClick(host.List(), Qt::Key_F1);
        QVERIFY(seen);

        // With the README beside the program, the box links to it.
        host.prefix.Write("drive_c/Varnel/README.md", "# TC Varnel\n");
        seen = false;
        QTimer::singleShot(0, [&] {
            auto* about = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            QVERIFY(about);
            seen = true;
            auto* link = about->findChild<QLabel*>("sHomepage");
            QVERIFY(!link->isHidden());
            QCOMPARE(link->text(), QString("README.md"));
            QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
            const QString credits = about->findChild<QPlainTextEdit*>("Memo1")->toPlainText();
            for (const auto& file :
                 std::filesystem::directory_iterator(std::string(VARNEL_SOURCE_DIR) + "/Language"))
                QVERIFY2(credits.contains(QString::fromStdString(file.path().stem().string())),
                         file.path().c_str());
            about->findChild<QPushButton*>("btnOk")->click();
        });
        host.Window().btnAboutClick();
        QVERIFY(seen);
    }

    void associationDialogNeedsANameWhereOneIsRequired() {
        GuiHost host;
        TFormAdd dialog("C:\\p\\x.wfx", kFileSystem, "", false);
        auto* ok = dialog.findChild<QPushButton*>("btnOk");
        auto* text = dialog.findChild<QLineEdit*>("sExt");
        QVERIFY(!ok->isEnabled());
        text->setText("   ");
        QVERIFY(!ok->isEnabled());
        text->setText(" a ");
        QVERIFY(ok->isEnabled());
        QCOMPARE(dialog.Text(), QString(" a ")); // as typed, not trimmed
        QCOMPARE(dialog.findChild<QLineEdit*>("sFile")->text(), QString("C:\\p\\x.wfx"));
        QCOMPARE(dialog.windowTitle(), QString("Plugin association"));
        TFormAdd emptyAllowed("C:\\p\\x.wlx", kLister, "", true);
        QVERIFY(emptyAllowed.findChild<QPushButton*>("btnOk")->isEnabled());
        auto* help = dialog.findChild<QPushButton*>("btnHelp");
        help->setFocus(); // as a mouse click leaves it
        help->click();
        QCOMPARE(host.boxes.Boxes().back().title, std::string("Plugin association"));
        QCOMPARE(host.boxes.Boxes().back().style, kStyleInformation | kMbSetForeground);
        QCOMPARE(dialog.focusWidget(), text); // typing goes on in the text

        // The label says what the text is, and the dialog is wide enough for path and title.
        const QString path =
            "C:\\Program Files\\totalcmd\\plugins\\wcx\\Some Archiver 7\\archiver_plugin.wcx";
        TFormAdd packer(path, kPacker, "7z", false);
        QCOMPARE(packer.findChild<QLabel*>("Label2")->text(), QString("Extension:"));
        QCOMPARE(dialog.findChild<QLabel*>("Label2")->text(), QString("Name:"));
        QCOMPARE(emptyAllowed.findChild<QLabel*>("Label2")->text(), QString("Registered for:"));
        packer.show();
        auto* file = packer.findChild<QLineEdit*>("sFile");
        QVERIFY(file->width() > file->fontMetrics().horizontalAdvance(path));
        QVERIFY(packer.width() > packer.fontMetrics().horizontalAdvance(packer.windowTitle()) + 100);

        // A detect string is checked as it is typed; "?" shows its syntax.
        auto* syntax = emptyAllowed.findChild<QLabel*>("lblSyntax");
        auto* detect = emptyAllowed.findChild<QLineEdit*>("sExt");
        detect->setText("EXT=\"TXT\" | ");
        QCOMPARE(syntax->text(), QString("Error at character 13: an operand is missing here"));
        detect->setText("EXT=\"TXT\" | EXT=\"LOG\"");
        QVERIFY(syntax->text().isEmpty());
        QVERIFY(!packer.findChild<QLabel*>("lblSyntax")->isVisibleTo(&packer));
        emptyAllowed.findChild<QPushButton*>("btnHelp")->click();
        QVERIFY(Contains(host.boxes.Boxes().back().text, "FINDI(\"text\")"));
    }

    void f6OnAPackerOpensTheFlagsDialog() {
        GuiHost host;
        host.Open();
        host.Select({Position(host, "Sample Packer")});
        std::string before = host.WincmdIni();
        host.List()->setFocus();
        QTest::keyClick(host.List(), Qt::Key_F6);
        Settle();
        QCOMPARE(host.dialogs.tweakRequests.size(), size_t{1}); // cancelled here
        QVERIFY(host.dialogs.associationRequests.empty());
        QVERIFY(host.boxes.Boxes().empty());
        QCOMPARE(host.WincmdIni(), before);
    }

    void commandLineInstallAsksFirst() {
        GuiHost host;
        std::string lister = Native(host, "sample_lister.wlx", "cmdline.wlx");
        EntryActions actions;
        actions.detectHost = [] { return DetectHost(AppSettings().TCPath, AppSettings().IniPath); };
        actions.restartHost = [] {};
        actions.installFile = [](const std::string& path) {
            InstallPlugin(ProgramContext(), test::Install(path, true, true, "", true));
        };
        host.boxes.SetAnswer(kIdOk);
        QCOMPARE(RunEntry({lister}, actions), EntryOutcome::EndProgram);
        QCOMPARE(host.boxes.Boxes().front().text, std::string("Install the plugin file \"cmdline.wlx\"?"));
        QVERIFY(Contains(host.WincmdIni(), "1=C:\\new\\cmdline.wlx\r\n"));
        // Known already: the question carries the current association.
        RunEntry({lister}, actions);
        QVERIFY(Contains(host.boxes.Boxes()[2].text, "Install the plugin file \"cmdline.wlx\"?\r\rIt is "
                                                     "installed already and registered for: EXT=\"TXT\""));
        // A machine path works as well.
        QCOMPARE(PluginFileArgument(host.prefix.Path("drive_c/new/cmdline.wlx")),
                 std::string("C:\\new\\cmdline.wlx"));
    }

    void commandLineWithTheHostMissingAsksNothing() {
        GuiHost host("[Paths]\r\nTCPath=C:\\gone\\Totalcmd.exe\r\n");
        int installs = 0;
        EntryActions actions = CommandLineActions();
        actions.restartHost = [] {};
        actions.installFile = [&](const std::string&) { ++installs; };
        QCOMPARE(RunEntry({"C:\\x.wlx"}, actions), EntryOutcome::EndProgram);
        QCOMPARE(installs, 0);
        QCOMPARE(host.boxes.Boxes().size(), size_t{1});
        // No window, so no "..." button to point at: the message says how to get to it.
        QCOMPARE(host.boxes.Boxes()[0].text,
                 std::string("TotalCmd.exe was not found.\rStart TC Varnel without arguments and choose the "
                             "right file with the \"...\" button in its window."));
        QCOMPARE(RunEntry({"/Restart"}, actions), EntryOutcome::EndProgram); // any argument checks the host
        QCOMPARE(RunEntry({}, actions), EntryOutcome::OpenMainWindow);
    }

    // The filter shows the rows whose name, file or registration holds its text, survives a
    // refresh, and Esc empties it; a row's check box is Disable/Enable with its question; the
    // details pane shows the module's paths and flags.
    void filterCheckBoxesAndDetails() {
        GuiHost host;
        host.Open();
        QTableWidget* list = host.List();
        auto shown = [&] {
            std::vector<std::string> captions;
            for (int r = 0; r < list->rowCount(); ++r)
                if (!list->isRowHidden(r))
                    captions.push_back(host.RowText(r, 0));
            return captions;
        };
        const size_t all = shown().size();
        auto* filter = host.Find<QLineEdit>("ffFilter");
        QVERIFY(filter);
        host.Action("mnuFilter")->trigger();
        filter->setText("SAMPLE_FS.WFX"); // the file, whatever its case
        QCOMPARE(shown(), std::vector<std::string>{"FS: sample_fs"});
        host.Window().btnRefreshClick();
        QCOMPARE(shown(), std::vector<std::string>{"FS: sample_fs"});
        filter->setText("smp"); // a packer's registration
        QCOMPARE(shown(), std::vector<std::string>{"Packer: Sample Packer"});
        // A description, although its column is hidden.
        QVERIFY(!AppSettings().ShowDescriptions);
        host.prefix.Write("drive_c/totalcmd/plugins/wfx/sample_fs/Descript.ion",
                          "sample_fs.wfx Browses the network\r\n");
        host.Window().btnRefreshClick();
        filter->setText("NETWORK");
        QCOMPARE(shown(), std::vector<std::string>{"FS: sample_fs"});
        filter->setText("smp");
        QVERIFY(host.Window().isActiveWindow()); // so that the window's own keys are live
        QTest::keyClick(filter, Qt::Key_5);      // typed into the box, not the tab switch
        QCOMPARE(filter->text(), QString("smp5"));
        QCOMPARE(host.Find<QTabBar>("TabControl1")->currentIndex(), 0);
        filter->setText("smp");
        QTest::keyClick(filter, Qt::Key_Escape);
        QVERIFY(filter->text().isEmpty());
        QCOMPARE(shown().size(), all);

        const std::string before = host.WincmdIni();
        QTableWidgetItem* fs = list->item(Position(host, "FS: sample_fs"), 0);
        QCOMPARE(fs->checkState(), Qt::Checked);
        host.boxes.SetAnswer(kIdCancel);
        fs->setCheckState(Qt::Unchecked);
        Settle();
        QCOMPARE(host.boxes.Boxes().back().text, std::string("Disable the plugin \"sample_fs\"?"));
        QCOMPARE(host.WincmdIni(), before);
        QCOMPARE(list->item(Position(host, "FS: sample_fs"), 0)->checkState(), Qt::Checked);
        host.boxes.SetAnswer(kIdOk);
        list->item(Position(host, "FS: sample_fs"), 0)->setCheckState(Qt::Unchecked);
        Settle();
        QVERIFY(Contains(
            host.WincmdIni(),
            "FileSystemPlugins;%COMMANDER_PATH%\\plugins\\wfx\\sample_fs\\sample_fs.wfx;Sample FS;="));
        QCOMPARE(list->item(Position(host, "FS: sample_fs"), 0)->checkState(), Qt::Unchecked);
        list->item(Position(host, "FS: sample_fs"), 0)->setCheckState(Qt::Checked); // enables, no question
        Settle();
        QCOMPARE(host.WincmdIni(), before);

        host.Action("mnuDetails")->trigger();
        auto* details = host.Find<TDetailsPane>("PanelDetails");
        QVERIFY(details && details->isVisible());
        host.Select({Position(host, "Sample Packer")});
        const QString text = details->toPlainText();
        QVERIFY2(text.contains("C:\\totalcmd\\plugins\\wcx\\sample_packer\\sample_packer.wcx"),
                 qPrintable(text));
        QVERIFY2(text.contains("Packer flags:"), qPrintable(text));
        // Its version and what it is registered for, whether the list shows them or not.
        QVERIFY2(QRegularExpression("Version:[\\s\\x{00a0}]*2\\.10 beta").match(text).hasMatch(),
                 qPrintable(text));
        QVERIFY2(QRegularExpression("Registered for:[\\s\\x{00a0}]*smp spk sp2").match(text).hasMatch(),
                 qPrintable(text));
        QCOMPARE(details->LinkTargets().back(), std::string("C:\\totalcmd\\plugins\\wcx\\sample_packer"));
        QCOMPARE(ReadSettingInt("Window", "Details", 0), 1); // remembered
    }

    // Another program's install (varnel, a second window) shows in an open window at the next
    // timer tick, without the user asking for a refresh.
    void anotherProgramsChangeShowsInTheOpenWindow() {
        GuiHost host;
        host.Open();
        const int before = host.List()->rowCount();
        std::string ini = host.WincmdIni();
        ini.insert(ini.find("[FileSystemPlugins]\r\n") + 21, "Other FS=C:\\other\\other.wfx\r\n");
        host.SetWincmdIni(ini);
        host.Window().Timer1Timer();
        Settle();
        QCOMPARE(host.List()->rowCount(), before + 1);
        QVERIFY(Position(host, "other") >= 0);
    }

    void redoAndTheToolbarsUndo() {
        GuiHost host;
        host.Open();
        const auto [original, disabled] = DisableTheFsPlugin(host);
        auto* redo = host.Action("mnuRedo");
        QVERIFY(!redo->isEnabled()); // nothing undone yet
        host.Action("mnuUndo")->trigger();
        QCOMPARE(host.WincmdIni(), original);
        // Redo makes the change again, once; then there is nothing to redo. The toolbar's Undo
        // names the change in its tip and takes it back.
        QVERIFY(redo->isEnabled());
        QCOMPARE(redo->text(), QString("&Redo: Disabled sample_fs"));
        QCOMPARE(redo->shortcut(), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Y));
        redo->trigger();
        QCOMPARE(host.WincmdIni(), disabled);
        QVERIFY(!redo->isEnabled());
        auto* undoButton = host.Find<QToolButton>("btnUndo");
        QVERIFY(undoButton->isEnabled());
        QCOMPARE(undoButton->toolTip(), QString("Undo: Disabled sample_fs"));
        undoButton->click();
        Settle();
        QCOMPARE(host.WincmdIni(), original);
        QVERIFY(redo->isEnabled()); // that undo can be taken back again
        redo->trigger();
        QCOMPARE(host.WincmdIni(), disabled);
    }

    // Undo from the Edit menu, the History dialog taking that undo back, and the Check dialog
    // repairing what it found, each visible in wincmd.ini.
    void undoHistoryAndCheck() {
        GuiHost host;
        host.Open();
        const auto [original, disabled] = DisableTheFsPlugin(host);
        QVERIFY(disabled != original);
        // Undo says what it will take back, in the Edit menu and in the list's context menu, and
        // the status bar says what it took back.
        auto* popup = host.Window().findChild<QMenu*>("PopupMenu1");
        QMetaObject::invokeMethod(popup, "aboutToShow");
        QCOMPARE(host.Action("mnuUndoPopup")->text(), QString("Undo: Disabled sample_fs"));
        QCOMPARE(host.Action("mnuHistoryPopup")->text(), QString("History..."));
        QVERIFY(popup->actions().contains(host.Action("mnuCheckPopup")));
        QCOMPARE(host.Action("mnuUndo")->text(), QString("&Undo: Disabled sample_fs"));
        host.Action("mnuUndoPopup")->trigger();
        QCOMPARE(host.WincmdIni(), original);
        QCOMPARE(host.Action("mnuUndo")->shortcut(), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Z));
        QCOMPARE(host.Window().findChild<QLabel*>("StatusText")->text(),
                 QString("Undid: Disabled sample_fs"));

        {
            TFormHistory history(&host.Window());
            auto* rows = history.findChild<QTreeWidget*>("ListView1");
            QCOMPARE(rows->topLevelItemCount(), 2);
            QCOMPARE(rows->topLevelItem(0)->text(1), QString("Undid: Disabled sample_fs"));
            QCOMPARE(rows->topLevelItem(1)->text(1), QString("(undone) Disabled sample_fs"));
            auto* undoToHere = history.findChild<QPushButton*>("btnUndoToHere");
            rows->setCurrentItem(rows->topLevelItem(1));
            QVERIFY(!undoToHere->isEnabled()); // undone already
            rows->setCurrentItem(rows->topLevelItem(0));
            QVERIFY(undoToHere->isEnabled());
            undoToHere->click();
            QCOMPARE(host.WincmdIni(), disabled);
            QCOMPARE(rows->topLevelItemCount(), 3);
        }
        // Undo to here over two changes asks first, naming how many; Cancel keeps both.
        host.Select({Position(host, "Sample Packer")});
        host.Window().btnDisableClick();
        Settle();
        const std::string twoChanges = host.WincmdIni();
        {
            TFormHistory history(&host.Window());
            auto* rows = history.findChild<QTreeWidget*>("ListView1");
            QTreeWidgetItem* older = nullptr; // the first disable, in effect again
            for (int i = 0; i < rows->topLevelItemCount(); ++i)
                if (rows->topLevelItem(i)->text(1) == "Disabled sample_fs")
                    older = rows->topLevelItem(i);
            QVERIFY(older);
            rows->setCurrentItem(older);
            const size_t asked = host.boxes.Boxes().size();
            host.boxes.SetAnswer(kIdCancel);
            history.findChild<QPushButton*>("btnUndoToHere")->click();
            QCOMPARE(host.boxes.Boxes().size(), asked + 1);
            QVERIFY(host.boxes.Boxes().back().text.find("last 2 changes") != std::string::npos);
            QCOMPARE(host.WincmdIni(), twoChanges);
            host.boxes.SetAnswer(kIdOk);
            history.findChild<QPushButton*>("btnUndoToHere")->click();
            QCOMPARE(host.WincmdIni(), original);
        }

        std::string broken = original;
        broken.insert(broken.find("[ListerPlugins]\r\n") + 17, "9_detect=EXT=\"X\"\r\n");
        host.SetWincmdIni(broken);
        {
            TFormCheck check(&host.Window());
            auto* rows = check.findChild<QTreeWidget*>("ListView1");
            int orphan = -1;
            for (int i = 0; i < rows->topLevelItemCount(); ++i)
                if (rows->topLevelItem(i)->text(0).contains("9_detect"))
                    orphan = i;
            QVERIFY(orphan >= 0);
            QCOMPARE(rows->topLevelItem(orphan)->checkState(0), Qt::Checked); // a safe repair
            for (int i = 0; i < rows->topLevelItemCount(); ++i)
                if (i != orphan)
                    rows->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
            check.findChild<QPushButton*>("btnRepair")->click();
            QCOMPARE(host.WincmdIni(), original);
        }
    }

    // A module already where plugins are kept (anywhere under the host's plugins tree, or beside
    // another registered plugin) is installed where it lies, without the copy question.
    void aModuleInTheHostsPluginsTreeIsNotTakenForADownload() {
        GuiHost host;
        host.Open();
        for (const char* place : {"totalcmd/plugins/extra/deep", "totalcmd/plugins/wlx/sample_lister"}) {
            const std::string module = test::InstallSample(host.prefix.Dir(), ModuleBuild::Native,
                                                           "sample_lister.wlx", place, "bbview.wlx");
            host.dialogs.copyQuestions.clear();
            InstallPlugin(ProgramContext(), test::Install(module, false, false, "", true));
            QVERIFY2(host.dialogs.copyQuestions.empty(), place);
            QVERIFY(Contains(host.WincmdIni(), "bbview.wlx\r\n"));
            QCOMPARE(UndoLastChanges(ProgramContext(), 1).records.size(), size_t(1));
        }
    }

    // A module from a download folder is copied into the plugin folder of its kind, with the
    // files that belong to it, and registered there; a different file in the way is replaced only
    // when the user agrees; undoing the install takes the copies away again.
    void installFromADownloadFolderCopiesIntoThePluginFolder() {
        GuiHost host;
        host.Open();
        const std::string original = host.WincmdIni();
        const std::string module =
            test::InstallSample(host.prefix.Dir(), ModuleBuild::Native, "sample_lister.wlx",
                                "Downloads/Bild Betrachter", "bild.wlx");
        const std::string downloads = "drive_c/Downloads/Bild Betrachter/";
        host.prefix.Write(downloads + "bild.ini", "[bild]\r\n");
        host.prefix.Write(downloads + "bild.lng", "lang");
        host.prefix.Write(downloads + "lang/deutsch.lng", "deutsch");
        host.prefix.Write(downloads + "readme.txt", "not ours");
        const std::string target = "drive_c/totalcmd/Plugins/WLX/bild/";
        host.prefix.Write(target + "bild.ini", "[bild]\r\nmine=1\r\n"); // the user's own settings

        host.dialogs.copyChoices = {CopyChoice::Copy, CopyChoice::Copy};
        host.boxes.SetAnswer(kIdCancel); // keep the user's bild.ini: nothing is copied then
        InstallPlugin(ProgramContext(), test::Install(module, false, false, "", true));
        QCOMPARE(host.dialogs.copyQuestions.size(), size_t{1});
        QVERIFY(Contains(host.dialogs.copyQuestions[0], "C:\\totalcmd\\Plugins\\WLX\\bild"));
        QVERIFY(!host.prefix.Exists(target + "bild.wlx"));
        QCOMPARE(host.WincmdIni(), original);

        host.boxes.SetAnswer(kIdOk);
        InstallPlugin(ProgramContext(), test::Install(module, false, false, "", true));
        for (const char* copied : {"bild.wlx", "bild.ini", "bild.lng", "lang/deutsch.lng"})
            QCOMPARE(host.prefix.Read(target + copied), host.prefix.Read(downloads + copied));
        QVERIFY(!host.prefix.Exists(target + "readme.txt"));
        QVERIFY(Contains(host.WincmdIni(), "=%COMMANDER_PATH%\\Plugins\\WLX\\bild\\bild.wlx\r\n"));

        QCOMPARE(UndoLastChanges(ProgramContext(), 1).records.size(), size_t(1));
        QCOMPARE(host.WincmdIni(), original);
        QVERIFY(!host.prefix.Exists(target + "bild.wlx"));
        QCOMPARE(host.prefix.Read(target + "bild.ini"), std::string("[bild]\r\nmine=1\r\n"));

        // "Where it lies" registers the download as it is.
        host.dialogs.copyChoices = {CopyChoice::InPlace};
        InstallPlugin(ProgramContext(), test::Install(module, false, false, "", true));
        QVERIFY(Contains(host.WincmdIni(), "=C:\\Downloads\\Bild Betrachter\\bild.wlx\r\n"));
    }

    void oneShotInstallLeavesTheSettingsAlone() {
        GuiHost host;
        std::string settingsBefore = host.prefix.Read("drive_c/Varnel/TC_varnel.ini");
        host.dialogs.files.push_back({Native(host, "sample_fs.wfx")});
        TFormTCVarnel window("/install");
        QVERIFY(window.OneShotDone());
        QVERIFY(Contains(host.WincmdIni(), "Sample FS=C:\\new\\sample_fs.wfx"));
        window.close();
        QCOMPARE(host.prefix.Read("drive_c/Varnel/TC_varnel.ini"), settingsBefore);
    }
};

QTEST_MAIN(CommandsTest)
#include "commands_test.moc"
