#include "ops/host_process.h"

#include "app/settings.h"
#include "catalog/host_config.h"
#include "catalog/host_location.h"
#include "catalog/module_info.h"
#include "catalog/module_probe.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/program_folder.h"
#include "platform/system.h"
#include "util/text.h"

#include <chrono>

namespace varnel {

namespace {

constexpr const char* kHostWindowClass = "TTOTAL_CMD";
constexpr unsigned kAfterCloseMs = 200;
constexpr unsigned kAfterRunMs = 500;
constexpr unsigned kAfterBrowseMs = 300;

unsigned g_giveUpMs = 30000;
// A host asked to close may first ask its user whether to save: that is waited for, up to this.
unsigned g_closeGuardMs = 5 * 60 * 1000;
// Wine takes a few seconds to bring a program up; Run follows the host until it runs, up to this.
constexpr unsigned kFollowStartMs = 15000;
constexpr unsigned kPollMs = 250;

// Polls until the condition holds or the time is up; true when it held.
template <typename Condition> bool WaitUntil(Condition condition, unsigned limitMs) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= until)
            return false;
        platform::SleepMs(kPollMs);
    }
    return true;
}

// Tells the status bar that a command line could not be started (there is no message box for it).
void ReportNotStarted(std::string_view commandLine) {
    User().Status(FormatPrintf(Message(Msg::CannotStart), {commandLine}));
}

bool Start(std::string_view commandLine, platform::ShowMode show) {
    bool started = platform::StartProcess(commandLine, show, false);
    if (!started)
        ReportNotStarted(commandLine);
    return started;
}

// The host gets the same close it gets from the system and can save its settings; the wait covers
// a host that asks its user first.
platform::CloseAnswer CloseFirstHostWindow(unsigned timeoutMs) {
    return platform::CloseFirstWindowOfClass(kHostWindowClass, timeoutMs);
}

} // namespace

void OfferRestart() {
    User().OfferRestart(GetCaption(441));
}

void SetRestartGiveUpMs(unsigned milliseconds) {
    g_giveUpMs = milliseconds;
}

void SetCloseGuardMs(unsigned milliseconds) {
    g_closeGuardMs = milliseconds;
}

std::string ShortPathOf(std::string_view path) {
    return platform::ShortPathName(path);
}

std::string HostCommandLine(const Settings& s, bool shortConfigurationPath) {
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

Result RunHost(const Context& context) {
    CommandRun run(context, CommandRun::OwnRecords{});
    // A host that cannot start here is said so in a box, with the reason: a status line alone is
    // easily missed, and cut off at the window's width.
    const std::string& exe = context.settings.TCPath;
    std::string why;
    const int bits = ModuleBits(exe);
    if (bits != 0 && !platform::CanRunWindowsProgram(
                         bits == 32 ? platform::Bitness::Bits32 : platform::Bitness::Bits64, &why)) {
        ShowAppMessage(FormatPrintf(Message(Msg::CannotStart), {exe}) + "\r\r" + why, kStyleError,
                       Outcome::Failed, Msg::CannotStart);
        return run.Stop(Outcome::Failed);
    }
    const std::string command = HostCommandLine(context.settings, false);
    if (!platform::StartProcess(command, platform::ShowMode::Shown, false)) {
        ShowAppMessage(FormatPrintf(Message(Msg::CannotStart), {command}), kStyleError, Outcome::Failed,
                       Msg::CannotStart);
        return run.Stop(Outcome::Failed);
    }
    platform::SleepMs(kAfterRunMs);
    WaitUntil([&exe] { return HostRunning(exe); }, kFollowStartMs);
    return run.Finish();
}

Result RestartHost(const Context& context) {
    CommandRun run(context, CommandRun::OwnRecords{});
    const Settings& s = context.settings;
    std::string command = HostCommandLine(context.settings, true);
    if (s.RestartCmd == 0) {
        // The close is waited for until the host has handled it (it may ask its user first), and
        // the new host starts only once the old one's process has ended.
        if (CloseFirstHostWindow(g_closeGuardMs) != platform::CloseAnswer::NoWindow) {
            platform::SleepMs(kAfterCloseMs);
            if (!WaitUntil([&s] { return !HostRunning(s.TCPath); }, g_closeGuardMs)) {
                ShowAppMessage(
                    FormatPrintf(Message(Msg::HostStillRunning), {static_cast<int>(g_closeGuardMs / 60000)}),
                    kStyleError, Outcome::Failed, Msg::HostStillRunning);
                return run.Stop(Outcome::Failed);
            }
        }
        Start(command, platform::ShowMode::Shown);
    } else if (s.RestartCmd == 1) {
        // Keep asking every host window to close; a host that will not close (it asks the user
        // something, or refuses) is left alone after a while, and no second host is started.
        auto started = std::chrono::steady_clock::now();
        for (;;) {
            if (CloseFirstHostWindow(10000) == platform::CloseAnswer::NoWindow) {
                Start(command, platform::ShowMode::Shown);
                break;
            }
            platform::SleepMs(kAfterCloseMs);
            if (std::chrono::steady_clock::now() - started >= std::chrono::milliseconds(g_giveUpMs)) {
                ShowAppMessage(Message(Msg::HostDidNotClose), kStyleError, Outcome::Failed,
                               Msg::HostDidNotClose);
                platform::SleepMs(static_cast<unsigned>(std::max(0, s.RestartTime)));
                return run.Stop(Outcome::Failed);
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
    return run.Finish();
}

void BrowsePluginFolder(const Settings& settings, std::string_view moduleFile) {
    std::string command = ReadSettingString("Options", "BrowseCmd", kDefaultBrowseCmd);
    // The command names the 32-bit program by default: it starts the host program in use instead
    // (TOTALCMD64.EXE, or one the user browsed for), quoted for a folder with blanks.
    constexpr std::string_view kDefaultProgram = "%COMMANDER_PATH%\\Totalcmd.exe";
    if (command.size() >= kDefaultProgram.size() &&
        EqualsNoCaseAnsi(std::string_view(command).substr(0, kDefaultProgram.size()), kDefaultProgram) &&
        (command.size() == kDefaultProgram.size() || command[kDefaultProgram.size()] == ' '))
        command = "\"" + settings.TCPath + "\"" + command.substr(kDefaultProgram.size());
    command = ExpandHostPath(command);
    std::string folder = FolderPart(moduleFile);
    if (folder.size() > 1 && folder.back() == '\\')
        folder.pop_back();
    command = ReplaceFirstNoCase(command, "%s", folder);
    Start(command, platform::ShowMode::Shown);
    platform::SleepMs(kAfterBrowseMs);
}

void EditHostConfiguration(const Settings& settings) {
    const std::string& ini = settings.IniPath;
    if (!platform::ShellRun(ExpandHostPath(ini), "", platform::ShowMode::Normal, false))
        ShowAppMessage(FormatPrintf(Message(Msg::NothingCouldOpen), {ini}), kStyleError, Outcome::Failed,
                       Msg::NothingCouldOpen);
}

} // namespace varnel
