#pragma once
// Child processes of the machine itself (not the host's Windows view).

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varnel::platform {

struct CapturedRun {
    bool started = false;
    bool exited = false; // ended by itself (not by a signal or by us)
    int exitCode = -1;
    bool timedOut = false;  // killed because it ran too long
    bool cancelled = false; // killed because the user asked to stop waiting
    std::string output;     // standard output
};

// Called every few milliseconds while this program waits for a child process, with the time
// waited so far, and once more with `ended` when the wait is over; answering true stops the
// child. The user interface installs one that keeps its windows painted, shows that it is busy
// once a wait grows long and offers to cancel.
using WaitObserver = std::function<bool(unsigned elapsedMs, bool ended)>;
// Installs an observer (an empty one removes it); returns the previous one.
WaitObserver SetWaitObserver(WaitObserver observer);

// While one lives, the child waited for shows a window of its own that the user works in (a
// plugin's settings dialog): whatever shows that this program is busy stays behind it.
class ChildWindowWait {
public:
    ChildWindowWait();
    ~ChildWindowWait();
    ChildWindowWait(const ChildWindowWait&) = delete;
    ChildWindowWait& operator=(const ChildWindowWait&) = delete;
    static bool Active();

private:
    bool m_previous;
};

// Long work on this thread (walking a large tree, unpacking) shown to the same observer as a
// wait for a child: Turn() is called often, and true means the user asked to stop.
class BusyWork {
public:
    BusyWork();
    ~BusyWork();
    BusyWork(const BusyWork&) = delete;
    BusyWork& operator=(const BusyWork&) = delete;
    bool Turn();
    bool Cancelled() const { return m_cancelled; }

private:
    long long m_startedMs;
    long long m_lastTurnMs;
    bool m_told = false;
    bool m_cancelled = false;
};

// Runs a program (argv[0] looked up on PATH when it has no "/"), with extra environment values,
// standard input empty and standard error discarded, and waits at most timeoutMs for it; a
// child still running then is killed. The output is capped at maxOutput bytes.
CapturedRun RunAndCapture(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                          unsigned timeoutMs, size_t maxOutput = 1 << 20);

// A helper that stays: started once, then asked one request after another over its standard
// input, each answered on its standard output up to a line that ends the answer (its standard
// error is discarded). Its input is held by this program alone, so it sees its input end when
// this program ends, however it ends.
class ServingChild {
public:
    // Started() tells whether it could be started.
    ServingChild(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env);
    ~ServingChild(); // closes its input, and kills it if it has not ended a moment later
    ServingChild(const ServingChild&) = delete;
    ServingChild& operator=(const ServingChild&) = delete;

    bool Started() const;
    // Still there to be asked: started, not ended, not killed.
    bool Running();
    // Whether a child started now would get another environment than this one got (this
    // program's own environment changed since).
    bool EnvironmentChanged() const;
    // Writes the request line, then reads until a line that begins with endLine has come, the
    // child has ended, the time is up, or the wait observer asks to stop (the last two kill it).
    // An answer that came whole reads as a run that exited with code 0; its output holds every
    // line, the end line too.
    CapturedRun Ask(std::string_view request, std::string_view endLine, unsigned timeoutMs,
                    size_t maxOutput = 1 << 20);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// The full path of a program on PATH, or nullopt.
std::optional<std::string> FindOnPath(const std::string& program);

// The folder of this program's executable, as a machine path.
std::string OwnExecutableFolder();

// ---- Windows command lines ------------------------------------------------------------------

// Splits a command line into arguments by the Windows rules (blanks separate, double quotes
// group, backslashes escape only before a quote; the program name takes quotes literally).
std::vector<std::string> SplitWindowsCommandLine(std::string_view commandLine);

// Whether this machine can run a Windows program of the bitness; when not, whyNot says why.
enum class Bitness { Bits32, Bits64 };
bool CanRunWindowsProgram(Bitness bitness, std::string* whyNot = nullptr);

// How to start the Windows helper of a bitness (tcvarnel-probe-w32.exe or -w64.exe): the words
// that start it (under Wine the loader first), to be followed by the helper's own arguments, and
// the environment it needs. nullopt when it cannot run here or is missing; whyNot then says why.
struct HelperStart {
    std::vector<std::string> argv;
    std::map<std::string, std::string> env;
};
std::optional<HelperStart> WindowsHelperStart(Bitness bitness, std::string* whyNot = nullptr);

// Asks the first top-level window of the class to close (WM_CLOSE), as the system's own close
// does, so that its program can save its settings, and waits up to timeoutMs for it to handle
// the request.
enum class CloseAnswer { Closed, NoWindow, Busy };
CloseAnswer CloseFirstWindowOfClass(std::string_view className, unsigned timeoutMs);

// ---- Helpers, and Wine's programs (its launchers are in platform/posix/wine.h) ---------------

// The folder that holds the helpers (beside the program; VARNEL_PROBE_DIR overrides it).
std::string HelperFolder();
// The Windows helper of a bitness: tcvarnel-probe-w64.exe or tcvarnel-probe-w32.exe.
std::string WindowsHelperPath(Bitness bitness);

// Host text as UTF-16LE in hex digits: how text crosses into the Windows helper unchanged.
std::string HexUtf16(std::string_view hostText);

// Where a Windows command line's program is, found as the system finds it when no separate
// program name is given: a quoted first token, else each blank-separated prefix in turn
// ("C:\Program Files\x\a.exe /p" tries "C:\Program", then "C:\Program Files\x\a.exe"), each also
// with ".exe" added; a name without a folder is looked for in the Windows folder and system32.
struct LocatedProgram {
    std::string program; // the Windows path found, or the first token when nothing was found
    bool found = false;
    std::string arguments; // the rest of the command line
};
LocatedProgram LocateProgram(std::string_view commandLine);

enum class ShowMode { Hidden = 0, Normal = 1, Shown = 5, Minimized = 6 };

// Starts a process from a Windows command line (the show mode is a wish a Linux desktop may not
// honour). With wait, returns after the process ended; false when it could not be started.
bool StartProcess(std::string_view commandLine, ShowMode show, bool wait);

// The version of the Wine that runs this prefix's programs ("8.0"); "" when there is none.
std::string WineVersionText();

// Opens a document, folder or address with the program the desktop associates with it.
bool ShellOpen(std::string_view target);

// Opens a file with the program associated with it, with parameters: a program is started; a
// document goes to the desktop's handler, then to Wine's own handler in the prefix (Notepad for
// text). False when nothing could open it.
bool ShellRun(std::string_view file, std::string_view parameters, ShowMode show, bool wait);

} // namespace varnel::platform
