#include "platform/codepage.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/posix/child_process.h"
#include "platform/posix/wine.h"
#include "platform/process.h"
#include "util/text.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace varnel::platform {

namespace {
// How long the helper may take to start a program (Wine's first start in a prefix is slow).
constexpr unsigned kHelperStartMs = 60000;
} // namespace

namespace {

bool IsWindowsProgram(const std::string& hostPath) {
    int fd = open(hostPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    char magic[2] = {};
    bool pe = read(fd, magic, 2) == 2 && magic[0] == 'M' && magic[1] == 'Z';
    close(fd);
    return pe;
}

// Whether a loader runs on this machine at all (a 32-bit loader does not where the kernel runs no
// 32-bit programs); asked once per loader.
bool LoaderRuns(const std::string& loader) {
    static std::map<std::string, bool> known;
    auto found = known.find(loader);
    if (found != known.end())
        return found->second;
    CapturedRun run = RunAndCapture({loader, "--version"}, {}, 10000);
    bool runs = run.exited && run.exitCode == 0 && run.output.rfind("wine", 0) == 0;
    known[loader] = runs;
    return runs;
}

// What the prefix was made for: "win64" (64-bit, with or without 32-bit support) or "win32".
std::string PrefixArch() {
    std::ifstream in(PrefixDir() + "/system.reg");
    std::string line;
    for (int i = 0; i < 8 && std::getline(in, line); ++i)
        if (line.rfind("#arch=", 0) == 0)
            return line.substr(6);
    return {};
}

// A WoW64 prefix runs 32-bit programs only when its 32-bit system was really set up: a prefix made
// where no 32-bit loader ran has a syswow64 folder with nothing in it. A prefix Wine has not set up
// yet (no .update-timestamp) gets its system at the first start, from a loader that may run both.
bool PrefixRuns32Bit() {
    struct stat st;
    const std::string arch = PrefixArch();
    const std::string syswow64 = PrefixDir() + "/drive_c/windows/syswow64";
    if (arch == "win32")
        return true;
    if (stat(syswow64.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    if (stat((PrefixDir() + "/.update-timestamp").c_str(), &st) != 0)
        return true;
    return stat((syswow64 + "/kernel32.dll").c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

std::optional<WineLauncher> FindWine(Bitness bitness, std::string* whyNot) {
    auto fail = [whyNot](std::string reason) -> std::optional<WineLauncher> {
        if (whyNot)
            *whyNot = std::move(reason);
        return std::nullopt;
    };
    struct stat st;
    if (stat((PrefixDir() + "/dosdevices").c_str(), &st) != 0)
        return fail("the Wine prefix " + PrefixDir() + " (WINEPREFIX) does not exist or has no drives");
    const bool bits32 = bitness == Bitness::Bits32;
    std::string arch = PrefixArch();
    if (!bits32 && arch == "win32")
        return fail("the Wine prefix " + PrefixDir() + " is a 32-bit prefix and runs no 64-bit program");
    if (bits32 && !PrefixRuns32Bit())
        return fail("the Wine prefix " + PrefixDir() +
                    " is 64-bit only (no 32-bit system in syswow64) and runs no 32-bit program");

    std::vector<std::string> candidates;
    if (const char* custom = std::getenv("VARNEL_WINE"); custom && *custom) {
        candidates.push_back(custom);
    } else if (bits32) {
        // Debian keeps the 32-bit loader as wine beside wine64; elsewhere "wine" is a loader that
        // runs both.
        candidates = {"/usr/lib/wine/wine", "/usr/lib/i386-linux-gnu/wine/wine", "wine"};
    } else {
        candidates = {"wine64", "/usr/lib/wine/wine64", "/usr/lib64/wine/wine64",
                      "/usr/lib/x86_64-linux-gnu/wine/wine64", "wine"};
    }
    std::string tried;
    for (const std::string& candidate : candidates) {
        std::optional<std::string> loader = FindOnPath(candidate);
        if (!loader)
            continue;
        if (!LoaderRuns(*loader)) {
            tried += (tried.empty() ? "" : ", ") + *loader;
            continue;
        }
        WineLauncher launcher;
        launcher.wine = *loader;
        launcher.env["WINEPREFIX"] = PrefixDir();
        return launcher;
    }
    if (!tried.empty())
        return fail(std::string(bits32 ? "32-bit" : "64-bit") + " Wine cannot run on this system (" + tried +
                    ")");
    return fail(std::string(bits32 ? "32-bit Wine (wine32)" : "Wine") + " is not installed");
}

void AddQuietHelperSettings(std::map<std::string, std::string>& env) {
    env["WINEDEBUG"] = "-all";
    env["WINEDLLOVERRIDES"] = "mscoree,mshtml=";
}

std::string HelperFolder() {
    if (const char* dir = std::getenv("VARNEL_PROBE_DIR"); dir && *dir)
        return dir;
    return OwnExecutableFolder();
}

std::string WindowsHelperPath(Bitness bitness) {
    return HelperFolder() +
           (bitness == Bitness::Bits32 ? "/tcvarnel-probe-w32.exe" : "/tcvarnel-probe-w64.exe");
}

bool CanRunWindowsProgram(Bitness bitness, std::string* whyNot) {
    return FindWine(bitness, whyNot).has_value();
}

std::optional<HelperStart> WindowsHelperStart(Bitness bitness, std::string* whyNot) {
    std::optional<WineLauncher> wine = FindWine(bitness, whyNot);
    if (!wine)
        return std::nullopt;
    const std::string helper = WindowsHelperPath(bitness);
    if (!IsRegularMachineFile(helper)) {
        if (whyNot)
            *whyNot = "the helper " + helper + " is missing";
        return std::nullopt;
    }
    HelperStart start{{wine->wine, helper}, wine->env};
    AddQuietHelperSettings(start.env);
    return start;
}

CloseAnswer CloseFirstWindowOfClass(std::string_view className, unsigned timeoutMs) {
    // Through the Windows helper, so that the window gets the same close it gets on Windows.
    std::optional<WindowsHelper> helper = FindWindowsHelper();
    if (!helper)
        return CloseAnswer::NoWindow;
    std::map<std::string, std::string> env = helper->wine.env;
    AddQuietHelperSettings(env);
    CapturedRun run = RunAndCapture(
        {helper->wine.wine, helper->path, "close-window", std::string(className), std::to_string(timeoutMs)},
        env, timeoutMs + 15000);
    if (run.output.rfind("closed", 0) == 0)
        return CloseAnswer::Closed;
    if (run.output.rfind("nowindow", 0) == 0)
        return CloseAnswer::NoWindow;
    return CloseAnswer::Busy;
}

std::optional<WindowsHelper> FindWindowsHelper() {
    for (Bitness bitness : {Bitness::Bits64, Bitness::Bits32}) {
        std::optional<WineLauncher> wine = FindWine(bitness);
        struct stat st;
        std::string path = WindowsHelperPath(bitness);
        if (wine && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            return WindowsHelper{*wine, path};
    }
    return std::nullopt;
}

std::optional<Launch> PrepareLaunch(std::string_view commandLine, int showMode, bool wait) {
    LocatedProgram located = LocateProgram(commandLine);
    if (located.program.empty())
        return std::nullopt;
    Launch launch;
    if (located.found) {
        std::string host = ToHostPath(located.program);
        if (IsWindowsProgram(host)) {
            // The helper of the prefix's own kind starts it; Windows picks the program's loader.
            std::optional<WindowsHelper> helper = FindWindowsHelper();
            if (!helper)
                return std::nullopt;
            launch.argv = {helper->wine.wine,        helper->path,     "start",
                           std::to_string(showMode), wait ? "1" : "0", HexUtf16(located.program),
                           HexUtf16(commandLine)};
            launch.env = helper->wine.env;
            launch.throughHelper = true;
            return launch;
        }
        launch.argv = {host};
    } else {
        // "unzip.exe" and friends: the machine's own program of the same name.
        std::string name = located.program;
        if (name.find_first_of("\\:") != std::string::npos)
            name = FileNamePart(name);
        if (EqualsNoCaseAscii(ExtensionPart(name), ".exe"))
            name.resize(name.size() - 4);
        std::optional<std::string> native = FindOnPath(HostTextToUtf8(name));
        if (!native)
            return std::nullopt;
        launch.argv = {*native};
    }
    // A machine program gets the arguments split by the Windows rules.
    std::vector<std::string> args = SplitWindowsCommandLine("x " + located.arguments);
    for (size_t k = 1; k < args.size(); ++k)
        launch.argv.push_back(HostTextToUtf8(args[k]));
    return launch;
}

namespace detail {

// Starts argv with the extra environment. Without waiting, the process is started through an
// intermediate child that ends at once, so it never lingers as a zombie of ours. Returns whether
// the program itself could be executed.
bool Spawn(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env, bool wait,
           bool quiet) {
    std::vector<std::string> envStrings = detail::ChildEnvironment(env);
    std::vector<char*> envp = detail::CStrings(envStrings);
    std::vector<std::string> args = argv;
    std::vector<char*> argp = detail::CStrings(args);

    // The exec's failure comes back through a pipe that closes by itself on success.
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0)
        return false;
    pid_t child = fork();
    if (child < 0) {
        close(report[0]);
        close(report[1]);
        return false;
    }
    if (child == 0) {
        close(report[0]);
        if (!wait) {
            setsid();
            pid_t grandchild = fork();
            if (grandchild != 0)
                _exit(grandchild < 0 ? 127 : 0);
        }
        int devnull = open("/dev/null", O_RDWR);
        if (devnull >= 0) {
            dup2(devnull, 0);
            if (!wait || quiet) {
                dup2(devnull, 1);
                dup2(devnull, 2);
            }
        }
        execve(argp[0], argp.data(), envp.data());
        int error = errno;
        ssize_t written = write(report[1], &error, sizeof error);
        (void)written;
        _exit(127);
    }
    close(report[1]);
    int error = 0;
    ssize_t got;
    do {
        got = read(report[0], &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    close(report[0]);
    int status = 0;
    if (!wait) {
        waitpid(child, &status, 0); // the intermediate ends at once
        return got == 0;
    }
    if (got != 0) {
        waitpid(child, &status, 0);
        return false;
    }
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return true;
}

} // namespace detail

bool StartProcess(std::string_view commandLine, ShowMode show, bool wait) {
    std::optional<Launch> launch = PrepareLaunch(commandLine, static_cast<int>(show), wait);
    if (!launch)
        return false;
    if (!launch->throughHelper)
        return detail::Spawn(launch->argv, launch->env, wait);
    // The helper answers as soon as the program runs (or could not be started); with wait it
    // ends with the program.
    CapturedRun run = RunAndCapture(launch->argv, launch->env, wait ? UINT_MAX : kHelperStartMs, 4096);
    return run.output.rfind("started", 0) == 0;
}

namespace {

// Opens a document with the desktop's handler; false when there is none (xdg-open's answer).
bool DesktopOpen(const std::string& machinePath) {
    std::optional<std::string> opener = FindOnPath("xdg-open");
    if (!opener)
        return false;
    // xdg-open hands the file over and ends; a handler that keeps it busy longer counts as found.
    CapturedRun run = RunAndCapture({*opener, machinePath}, {}, 10000, 4096);
    return run.timedOut || (run.exited && run.exitCode == 0);
}

bool IsProgramFile(std::string_view file) {
    std::string ext = LowerAscii(ExtensionPart(file));
    return ext == ".exe" || ext == ".com" || ext == ".bat" || ext == ".cmd";
}

} // namespace

std::optional<WineLauncher> FindPrefixWine() {
    std::optional<WineLauncher> wine = FindWine(Bitness::Bits64);
    return wine ? wine : FindWine(Bitness::Bits32);
}

std::string WineVersionText() {
    std::optional<WineLauncher> wine = FindPrefixWine();
    if (!wine)
        return {};
    // "wine-8.0 (Debian 8.0~repack-4)": the number after "wine-".
    CapturedRun run = RunAndCapture({wine->wine, "--version"}, wine->env, 10000, 4096);
    std::string text = run.output.substr(0, run.output.find_first_of(" \r\n"));
    return text.rfind("wine-", 0) == 0 ? text.substr(5) : std::string();
}

bool ShellRun(std::string_view file, std::string_view parameters, ShowMode show, bool wait) {
    if (file.empty())
        return false;
    std::string quoted(1, '"');
    quoted.append(file).push_back('"');
    if (IsProgramFile(file))
        return StartProcess(parameters.empty() ? quoted : quoted + " " + std::string(parameters), show, wait);
    std::string machine = ToHostPath(file);
    if (parameters.empty() && !machine.empty() && DesktopOpen(machine))
        return true;
    // Wine's own shell in the prefix: its association for the type, Notepad for text files.
    if (std::optional<WindowsHelper> helper = FindWindowsHelper()) {
        CapturedRun run =
            RunAndCapture({helper->wine.wine, helper->path, "shell", std::to_string(static_cast<int>(show)),
                           wait ? "1" : "0", HexUtf16(file), HexUtf16(parameters)},
                          helper->wine.env, wait ? UINT_MAX : kHelperStartMs, 4096);
        if (run.output.rfind("started", 0) == 0)
            return true;
    }
    return StartProcess("notepad.exe " + quoted, show, wait);
}

bool ShellOpen(std::string_view target) {
    std::optional<std::string> opener = FindOnPath("xdg-open");
    if (!opener || target.empty())
        return false;
    // A Windows path becomes the machine's path; an address stays as it is.
    std::string what(target);
    bool windowsPath = target.size() >= 2 && (target[1] == ':' || (target[0] == '\\' && target[1] == '\\'));
    what = windowsPath ? ToHostPath(target) : AnsiToUtf8(target);
    if (what.empty())
        return false;
    return detail::Spawn({*opener, what}, {}, false);
}

} // namespace varnel::platform
