#pragma once
// The program's own process: its arguments and the terminal it writes to.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varnel::platform {

// The width of the terminal standard output goes to; 0 when it goes elsewhere (a file, a pipe).
size_t TerminalColumns();

// Whether standard error is a terminal (progress lines are shown only there).
bool ErrorOutputIsTerminal();

// Whether standard input is a terminal (a user who can answer a question there).
bool InputIsTerminal();
// One line typed on standard input, without its line end; nullopt at its end.
std::optional<std::string> ReadInputLine();

// Writes UTF-8 text to standard output (or error): to a console as its characters (on Windows
// through the console's own wide-character output, whatever its code page), to a file or a pipe
// as UTF-8 bytes. False when it could not be written.
bool WriteOutput(std::string_view utf8, bool toError = false);
// Takes a progress line that WriteOutput wrote to a terminal's standard error away again.
void ClearProgressLine(size_t length);

// While one lives, Ctrl+C does not end the program: it is noted, for the program to stop what it
// waits for. One at a time.
class InterruptCatcher {
public:
    InterruptCatcher();
    ~InterruptCatcher();
    InterruptCatcher(const InterruptCatcher&) = delete;
    InterruptCatcher& operator=(const InterruptCatcher&) = delete;
    // Whether Ctrl+C was pressed since the catcher was made.
    static bool Interrupted();

private:
    struct Previous;
    Previous* m_previous;
};

// Whether a window can be shown: on Linux a display (X11 or Wayland, or a Qt platform chosen by
// QT_QPA_PLATFORM); Windows always has one.
bool DisplayAvailable();

// A windowed program writes to the console it was started from (Windows gives it none of its own);
// elsewhere its standard output is already there.
void UseCallerConsole();

// The program's arguments after its name, as this machine's text (UTF-8): on Windows taken from
// the wide command line, so that no character outside the code page is lost on the way.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// A machine path made absolute against the current folder (and tidied); as given when it cannot be.
std::string AbsoluteMachinePath(const std::string& machinePath);

} // namespace varnel::platform
