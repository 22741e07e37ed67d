// Renders the main window on a host (offscreen) and saves it as a PNG, for looking at what the
// program shows without a display.
//
//   varnel-screenshot OUT.png [--language NAME] [--no-statusbar] [--select N] [--tab N] [--host WINDOWS-PATH]
//   [--size WxH] [--history | --about | --check | --export |
//   --import WINDOWS-PATH-OF-A-SET]
// With --history the History dialog is shown instead, after two changes and beside a damaged record;
// --about and --check show those dialogs over the window.
//
// WINEPREFIX names the host's prefix (the demo host). The program runs from a temporary
// portable folder with the language files beside this tool and a settings file made from the
// options.

#include "app/settings.h"
#include "app/startup.h"
#include "lang/language.h"
#include "ops/history.h"
#include "ops/plugin_commands.h"
#include "ops/plugin_set.h"
#include "ops/plugin_set.h"
#include "platform/paths.h"
#include "platform/program_folder.h"
#include "ui/form_about.h"
#include "ui/form_check.h"
#include "ui/form_history.h"
#include "ui/form_plugin_set.h"
#include "ui/form_tcvarnel.h"
#include "ui/qt_integration.h"

#include <QAction>
#include <QApplication>
#include <QTabBar>
#include <QTableWidget>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(
            stderr,
            "usage: varnel-screenshot OUT.png [--language NAME] [--no-statusbar] [--select "
            "N] [--tab N] [--details] [--host WINDOWS-PATH] [--size WxH] [--history | --about | --check]\n");
        return 2;
    }
    std::string out = argv[1];
    std::string language = "English";
    bool statusBar = true;
    bool history = false;
    bool exportDialog = false; // File -> Export plugins, its dialog
    std::string importSet;     // File -> Import plugins of this set, its plan
    std::string dialogName;
    int select = -1;
    bool details = false; // the details pane shown
    int tab = 0;
    std::string host; // a host program other than the one found
    int width = 0;    // the window's stored size; 0 for the design size
    int height = 0;
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--language" && i + 1 < argc)
            language = argv[++i];
        else if (arg == "--no-statusbar")
            statusBar = false;
        else if (arg == "--select" && i + 1 < argc)
            select = std::atoi(argv[++i]);
        else if (arg == "--tab" && i + 1 < argc)
            tab = std::atoi(argv[++i]);
        else if (arg == "--host" && i + 1 < argc)
            host = argv[++i];
        else if (arg == "--details")
            details = true;
        else if (arg == "--import" && i + 1 < argc)
            importSet = argv[++i];
        else if (arg == "--export")
            exportDialog = true;
        else if (arg == "--history")
            history = true;
        else if (arg == "--about" || arg == "--check")
            dialogName = arg.substr(2);
        else if (arg == "--size" && i + 1 < argc)
            std::sscanf(argv[++i], "%dx%d", &width, &height);
    }
    // A platform the caller chose is kept (a configured offscreen screen, or xcb under Xvfb).
    if (qgetenv("QT_QPA_PLATFORM").isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    varnel::SetUpApplication(app);

    fs::path portable = fs::temp_directory_path() / ("varnel-shot-" + std::to_string(::getpid()));
    fs::create_directories(portable);
    fs::copy(fs::path(argv[0]).parent_path() / "Language", portable / "Language",
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    std::ofstream(portable / "TC_varnel.ini")
        << "[Options]\r\nLanguage=" << language << "\r\nShowStatusBar=" << (statusBar ? 1 : 0)
        << "\r\nShowVersionsCol=1\r\nRegisterExt=0\r\n[Window]\r\nTabIndex=" << tab << "\r\n";
    if (width > 0 && height > 0)
        std::ofstream(portable / "TC_varnel.ini", std::ios::app)
            << "Width=" << width << "\r\nHeight=" << height << "\r\n";
    if (!host.empty())
        std::ofstream(portable / "TC_varnel.ini", std::ios::app) << "[Paths]\r\nTCPath=" << host << "\r\n";
    varnel::SetProgramFolder(varnel::platform::ToWindowsPath(portable.string()));
    varnel::SetFatalHandler([] { std::exit(1); });
    if (!varnel::InitializeProgram())
        return 1;

    int rc = 1;
    {
        varnel::TFormTCVarnel window;
        window.show();
        window.FormShow();
        if (details)
            if (auto* toggle = window.findChild<QAction*>("mnuDetails"))
                toggle->trigger();
        if (select >= 0) {
            auto* list = window.findChild<QTableWidget*>("ListView1");
            list->selectRow(select);
        }
        std::unique_ptr<varnel::PluginSetImport> importPlan;
        std::unique_ptr<QDialog> dialog;
        QWidget* shown = &window;
        if (history) {
            const std::string folder = varnel::HistoryFolderOf(varnel::SettingsFilePath());
            varnel::StartHistory(folder);
            // The questions of the changes that fill the history are answered, and not shown.
            struct AnswerOk : varnel::Interaction {
                int Show(const varnel::Notice&) override { return varnel::kIdOk; }
            } answer;
            varnel::DisableOrEnableSelected(varnel::ProgramContext(), {1});
            varnel::DisableOrEnableSelected(varnel::ProgramContext(), {1});
            varnel::UndoLastChanges(varnel::ProgramContext(), 1);
            fs::create_directories(portable / "history" / "0000000009.rec");
            dialog = std::make_unique<varnel::TFormHistory>(&window);
            dialog->show();
            shown = dialog.get();
        } else if (!importSet.empty()) {
            importPlan = varnel::PluginSetImport::Open(varnel::ProgramContext(), importSet);
            if (!importPlan)
                return 1;
            dialog = varnel::MakeImportDialog(&window, *importPlan);
            dialog->show();
            shown = dialog.get();
        } else if (!dialogName.empty()) {
            if (dialogName == "about")
                dialog = std::make_unique<varnel::TFormAbout>(&window);
            else
                dialog = std::make_unique<varnel::TFormCheck>(&window);
            dialog->show();
            shown = dialog.get();
        }
        if (exportDialog) {
            // The dialog runs modal inside the menu's command: taken and closed from its own loop.
            QTimer::singleShot(300, [&] {
                auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
                rc = modal && modal->grab().save(QString::fromStdString(out)) ? 0 : 1;
                if (modal)
                    modal->reject();
            });
            window.findChild<QAction*>("mnuExportPlugins")->trigger();
        } else {
            QTimer::singleShot(200, [&] {
                rc = shown->grab().save(QString::fromStdString(out)) ? 0 : 1;
                app.quit();
            });
            app.exec();
        }
    }
    fs::remove_all(portable);
    return rc;
}
