#include "platform/codepage.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/posix/child_process.h"
#include "platform/process.h"
#include "util/text.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace varnel::platform {

std::vector<std::string> SplitWindowsCommandLine(std::string_view line) {
    std::vector<std::string> args;
    size_t i = 0;
    auto blank = [&](size_t at) { return at < line.size() && (line[at] == ' ' || line[at] == '\t'); };
    while (blank(i))
        ++i;
    if (i >= line.size())
        return args;
    // The program name: quotes group, nothing is escaped.
    std::string program;
    bool quoted = false;
    for (; i < line.size(); ++i) {
        char c = line[i];
        if (c == '"') {
            quoted = !quoted;
            continue;
        }
        if (!quoted && (c == ' ' || c == '\t'))
            break;
        program.push_back(c);
    }
    args.push_back(program);
    for (;;) {
        while (blank(i))
            ++i;
        if (i >= line.size())
            break;
        std::string arg;
        quoted = false;
        while (i < line.size()) {
            char c = line[i];
            if (c == '\\') {
                size_t slashes = 0;
                while (i < line.size() && line[i] == '\\') {
                    ++slashes;
                    ++i;
                }
                if (i < line.size() && line[i] == '"') {
                    arg.append(slashes / 2, '\\');
                    if (slashes % 2 == 1) {
                        arg.push_back('"');
                        ++i;
                    }
                } else {
                    arg.append(slashes, '\\');
                }
                continue;
            }
            if (c == '"') {
                if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
                    arg.push_back('"'); // "" inside quotes is one quote
                    i += 2;
                    continue;
                }
                quoted = !quoted;
                ++i;
                continue;
            }
            if (!quoted && (c == ' ' || c == '\t'))
                break;
            arg.push_back(c);
            ++i;
        }
        args.push_back(arg);
    }
    return args;
}

std::optional<WineLauncher> FindWine() {
    std::optional<std::string> wine;
    if (const char* custom = std::getenv("VARNEL_WINE"); custom && *custom)
        wine = FindOnPath(custom);
    else
        wine = FindOnPath("wine");
    if (!wine)
        return std::nullopt;
    WineLauncher launcher;
    launcher.wine = *wine;
    launcher.env["WINEPREFIX"] = PrefixDir();
    launcher.env["WINEDEBUG"] = "-all";
    launcher.env["WINEDLLOVERRIDES"] = "mscoree,mshtml=";
    return launcher;
}

namespace {

bool IsWindowsProgram(const std::string& hostPath) {
    int fd = open(hostPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char magic[2] = {};
    bool pe = read(fd, magic, 2) == 2 && magic[0] == 'M' && magic[1] == 'Z';
    close(fd);
    return pe;
}

bool IsRegularFile(const std::string& hostPath) {
    struct stat st;
    return !hostPath.empty() && stat(hostPath.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Where Windows would find a program named without a folder: the Windows folder and system32.
std::optional<std::string> FindWindowsProgram(const std::string& name) {
    std::string windows = WindowsDirectory();
    for (const std::string& candidate : {windows + "\\" + name, windows + "\\system32\\" + name}) {
        if (IsRegularFile(ToHostPath(candidate)))
            return candidate;
    }
    return std::nullopt;
}

} // namespace

std::optional<Launch> PrepareLaunch(std::string_view commandLine) {
    std::vector<std::string> args = SplitWindowsCommandLine(commandLine);
    if (args.empty() || args.front().empty())
        return std::nullopt;
    const std::string program = args.front();
    std::optional<std::string> windowsPath;
    bool hasFolder = program.find_first_of("\\:") != std::string::npos;
    if (hasFolder) {
        if (IsRegularFile(ToHostPath(program)))
            windowsPath = program;
    } else {
        windowsPath = FindWindowsProgram(program);
    }

    Launch launch;
    if (windowsPath) {
        std::string host = ToHostPath(*windowsPath);
        if (IsWindowsProgram(host)) {
            std::optional<WineLauncher> wine = FindWine();
            if (!wine)
                return std::nullopt;
            launch.argv = {wine->wine, AnsiToUtf8(*windowsPath)};
            launch.env = wine->env;
        } else {
            launch.argv = {host};
        }
    } else {
        // "unzip.exe" and friends: the machine's own program of the same name.
        std::string name = hasFolder ? FileNamePart(program) : program;
        if (EqualsNoCaseAscii(ExtensionPart(name), ".exe"))
            name.resize(name.size() - 4);
        std::optional<std::string> native = FindOnPath(AnsiToUtf8(name));
        if (!native)
            return std::nullopt;
        launch.argv = {*native};
    }
    for (size_t i = 1; i < args.size(); ++i)
        launch.argv.push_back(AnsiToUtf8(args[i]));
    return launch;
}

namespace {

// Starts argv with the extra environment. Without waiting, the process is started through an
// intermediate child that ends at once, so it never lingers as a zombie of ours. Returns whether
// the program itself could be executed.
bool Spawn(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env, bool wait) {
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
            if (!wait) {
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

} // namespace

bool StartProcess(std::string_view commandLine, ShowMode, bool wait) {
    std::optional<Launch> launch = PrepareLaunch(commandLine);
    if (!launch)
        return false;
    return Spawn(launch->argv, launch->env, wait);
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
    return Spawn({*opener, what}, {}, false);
}

} // namespace varnel::platform
