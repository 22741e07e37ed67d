#include "ui/run_program.h"

#include "app/entry.h"
#include "app/settings.h"
#include "app/startup.h"
#include "catalog/host_location.h"
#include "lang/language.h"
#include "ops/archive_install.h"
#include "ops/command.h"
#include "ops/history.h"
#include "ops/host_process.h"
#include "ops/install.h"
#include "platform/console.h"
#include "ui/form_options.h"
#include "ui/form_tcvarnel.h"
#include "ui/qt_integration.h"

#include <QApplication>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <string>

namespace varnel {

EntryActions CommandLineActions() {
    EntryActions actions;
    actions.detectHost = [] { return DetectHost(AppSettings().TCPath, AppSettings().IniPath, 101); };
    actions.restartHost = [] { RestartHost(ProgramContext()); };
    // An archive opened with the program installs as the archive command does, with a question.
    actions.installFile = [](const std::string& path) {
        if (IsArchiveFile(path)) {
            InstallFromArchive(ProgramContext(), {path, true, true});
        } else {
            InstallRequest install;
            install.path = path;
            install.askConfirmation = true;
            install.restartAfter = true;
            install.reportDuplicate = true;
            InstallPlugin(ProgramContext(), install);
        }
    };
    return actions;
}

int RunProgram(int argc, char** argv) {
    const auto started = std::chrono::steady_clock::now();
    // Both are answered before Qt starts, which ends the process when it finds no display.
    if (AsksForHelp(platform::ProgramArguments(argc, argv))) {
        platform::UseCallerConsole();
        return platform::WriteOutput(CommandLineHelp()) ? 0 : 1;
    }
    if (!platform::DisplayAvailable()) {
        platform::WriteOutput(
            "tcvarnel: there is no display to show the window on (DISPLAY and WAYLAND_DISPLAY "
            "are not set).\nRun it in a desktop session, or use varnel on the command line "
            "(varnel --help).\n",
            true);
        return 1;
    }
    QApplication app(argc, argv);
    SetUpApplication(app);
    QtInteraction user;
    SetFatalHandler(EndProgramNow);
    if (!InitializeProgram())
        return 0;
    StartHistory(HistoryFolderOf(SettingsFilePath()));
    ApplyQtTranslation(AppSettings().Language);

    const std::vector<std::string> args = platform::ProgramArguments(argc, argv);
    if (RunEntry(args, CommandLineActions()) == EntryOutcome::EndProgram)
        return 0;

    std::string oneShot = WindowSwitch(args);
    if ((oneShot == "/installZip" && !TFormTCVarnel::CommandAvailable("mnuInstallZipClick")) ||
        (oneShot == "/order" && !TFormTCVarnel::CommandAvailable("btnOrderClick"))) {
        std::fprintf(stderr, "TC Varnel: %s is not available in this version\n", oneShot.c_str());
        return 0;
    }
    TFormTCVarnel window(oneShot);
    if (window.OneShotDone())
        return 0;
    TFormOptions options(&window); // created once, kept hidden
    window.show();
    // For benchmarks: how long the window took from the start to its filled list, on standard
    // error; then the program ends. (A fill waits for the table on another thread and lets the
    // window's events run meanwhile: the fill is watched for, not its call.)
    QTimer fillWatch;
    if (qEnvironmentVariableIsSet("VARNEL_TIME_FIRST_FILL")) {
        QObject::connect(&fillWatch, &QTimer::timeout, &window, [&window, started] {
            if (window.ListFills() == 0)
                return;
            const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - started);
            platform::WriteOutput("first fill: " + std::to_string(window.ListRowCount()) + " rows in " +
                                      std::to_string(elapsed.count()) + " ms\n",
                                  true);
            QApplication::exit(0);
        });
        fillWatch.start(2);
    }
    app.exec();
    return 0;
}

} // namespace varnel
