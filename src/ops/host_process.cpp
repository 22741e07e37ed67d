#include "ops/host_process.h"

#include "app/program_folder.h"
#include "app/settings.h"
#include "catalog/host_config.h"
#include "catalog/module_probe.h"
#include "lang/language.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/system.h"
#include "util/text.h"

#include <chrono>

namespace varnel {

namespace {

constexpr const char* kHostWindowClass = "TTOTAL_CMD";
constexpr unsigned kAfterCloseMs = 200;
constexpr unsigned kAfterRunMs = 500;
constexpr unsigned kAfterBrowseMs = 300;

StatusReporter& Reporter() {
    static StatusReporter reporter;
    return reporter;
}

unsigned g_giveUpMs = 30000;

// Tells the status bar that a command line could not be started (there is no message box for it).
void ReportNotStarted(std::string_view commandLine) {
    if (Reporter())
        Reporter()(FormatPrintf(Message(92), {commandLine}));
}

bool Start(std::string_view commandLine, platform::ShowMode show) {
    bool started = platform::StartProcess(commandLine, show, false);
    if (!started)
        ReportNotStarted(commandLine);
    return started;
}

enum class CloseAnswer { Closed, NoWindow, Busy };

// Sends WM_CLOSE to the first host window, through the Windows helper under Wine, so that the
// host gets the same close it gets on Windows and can save its settings.
CloseAnswer CloseFirstHostWindow() {
    std::optional<platform::WineLauncher> wine = platform::FindWine();
    std::string helper = ProbeFolder() + "/tcvarnel-probe-w64.exe";
    if (!wine || !platform::FindOnPath(helper))
        return CloseAnswer::NoWindow;
    platform::CapturedRun run =
        platform::RunAndCapture({wine->wine, helper, "close-window", kHostWindowClass}, wine->env, 15000);
    if (run.output.rfind("closed", 0) == 0)
        return CloseAnswer::Closed;
    if (run.output.rfind("nowindow", 0) == 0)
        return CloseAnswer::NoWindow;
    return CloseAnswer::Busy;
}

} // namespace

void SetStatusReporter(StatusReporter reporter) {
    Reporter() = std::move(reporter);
}

void SetRestartGiveUpMs(unsigned milliseconds) {
    g_giveUpMs = milliseconds;
}

std::string ShortPathOf(std::string_view path) {
    // Wine's file systems have no 8.3 names: the short form of an existing path is the path.
    return platform::FileExists(path) ? std::string(path) : std::string();
}

std::string HostCommandLine(bool shortConfigurationPath) {
    const Settings& s = AppSettings();
    std::string command = s.TCPath;
    std::string defaultIni = platform::WindowsDirectory() + "\\wincmd.ini";
    if (!EqualsNoCaseAnsi(s.IniPath, defaultIni)) {
        std::string ini = shortConfigurationPath ? ShortPathOf(s.IniPath) : s.IniPath;
        command = FormatPrintf("%s /i=\"%s\"", {command, ini});
    }
    if (!s.FtpIni.empty())
        command = FormatPrintf("%s /f=\"%s\"", {command, ShortPathOf(ExpandHostPath(s.FtpIni))});
    return command;
}

void RunHost() {
    Start(HostCommandLine(false), platform::ShowMode::Shown);
    platform::SleepMs(kAfterRunMs);
}

bool RestartHost() {
    const Settings& s = AppSettings();
    std::string command = HostCommandLine(true);
    bool done = true;
    if (s.RestartCmd == 0) {
        if (CloseFirstHostWindow() != CloseAnswer::NoWindow)
            platform::SleepMs(kAfterCloseMs);
        Start(command, platform::ShowMode::Shown);
    } else if (s.RestartCmd == 1) {
        // Keep asking every host window to close; a host that will not close (it asks the user
        // something, or refuses) is left alone after a while, and no second host is started.
        auto started = std::chrono::steady_clock::now();
        for (;;) {
            if (CloseFirstHostWindow() == CloseAnswer::NoWindow) {
                Start(command, platform::ShowMode::Shown);
                break;
            }
            platform::SleepMs(kAfterCloseMs);
            if (std::chrono::steady_clock::now() - started >= std::chrono::milliseconds(g_giveUpMs)) {
                ShowAppMessage(Message(93), kStyleError);
                done = false;
                break;
            }
        }
    } else {
        std::string folder = ProgramFolder();
        if (!folder.empty() && folder.back() == '\\')
            folder.pop_back();
        std::string restarter = ReplaceFirst(s.RestartExt, "%dir%", folder);
        Start(FormatPrintf(restarter, {command}), platform::ShowMode::Minimized);
    }
    platform::SleepMs(static_cast<unsigned>(std::max(0, s.RestartTime)));
    return done;
}

void BrowsePluginFolder(std::string_view moduleFile) {
    std::string command = ExpandHostPath(ReadSettingString("Options", "BrowseCmd", kDefaultBrowseCmd));
    std::string folder = FolderPart(moduleFile);
    if (folder.size() > 1 && folder.back() == '\\')
        folder.pop_back();
    command = ReplaceFirstNoCase(command, "%s", folder);
    Start(command, platform::ShowMode::Shown);
    platform::SleepMs(kAfterBrowseMs);
}

void EditHostConfiguration() {
    platform::ShellOpen(AppSettings().IniPath);
}

} // namespace varnel
