#pragma once
// Child processes of the machine itself (not the host's Windows view).

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varnel::platform {

struct CapturedRun {
    bool started = false;
    bool exited = false; // ended by itself (not by a signal or by us)
    int exitCode = -1;
    bool timedOut = false; // killed because it ran too long
    std::string output;    // standard output
};

// Runs a program (argv[0] looked up on PATH when it has no "/"), with extra environment values,
// standard input empty and standard error discarded, and waits at most timeoutMs for it; a
// child still running then is killed. The output is capped at maxOutput bytes.
CapturedRun RunAndCapture(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                          unsigned timeoutMs, size_t maxOutput = 1 << 20);

// The full path of a program on PATH, or nullopt.
std::optional<std::string> FindOnPath(const std::string& program);

// The folder of this program's executable, as a machine path.
std::string OwnExecutableFolder();

// ---- Windows command lines ------------------------------------------------------------------

// Splits a command line into arguments by the Windows rules (blanks separate, double quotes
// group, backslashes escape only before a quote; the program name takes quotes literally).
std::vector<std::string> SplitWindowsCommandLine(std::string_view commandLine);

// How Wine is run here: the wine program and the environment it needs (the prefix in use, quiet
// debugging, no offer to install Mono or Gecko into a new prefix). nullopt without Wine.
struct WineLauncher {
    std::string wine;
    std::map<std::string, std::string> env;
};
std::optional<WineLauncher> FindWine();

// The machine's argument vector for a Windows command line: a Windows program (a PE file, found
// by its path, in the Windows folder or its system32) runs through Wine; a program "x.exe" that
// is not found runs as "x" from PATH; anything else as it is. Empty when nothing can run it.
struct Launch {
    std::vector<std::string> argv;
    std::map<std::string, std::string> env;
};
std::optional<Launch> PrepareLaunch(std::string_view commandLine);

enum class ShowMode { Hidden = 0, Normal = 1, Shown = 5, Minimized = 6 };

// Starts a process from a Windows command line (the show mode is a wish a Linux desktop may not
// honour). With wait, returns after the process ended; false when it could not be started.
bool StartProcess(std::string_view commandLine, ShowMode show, bool wait);

// Opens a document, folder or address with the program the desktop associates with it.
bool ShellOpen(std::string_view target);

} // namespace varnel::platform
