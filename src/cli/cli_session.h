#pragma once
// What the window does with its user, done on a terminal: message boxes become lines on standard
// error, questions are answered by options (or end the run with exit code 2, naming the option),
// long waits show a progress line that Ctrl+C stops, and what happened decides the exit code.

#include <optional>
#include <string>
#include <string_view>

namespace varnel::cli {

enum ExitCode : int {
    kExitDone = 0,
    kExitFailed = 1,   // the command failed; a message says why and nothing was written
    kExitUsage = 2,    // the command line is wrong, or a question found no answer in it
    kExitConflict = 3, // another program changed the host's file meanwhile
    kExitNoHost = 4,   // the host or its configuration was not found
    kExitProblems = 5, // the health check found problems that are still there
};

// The answers the command line gives to the questions a command may ask.
struct Answers {
    bool yes = false;   // confirmations
    bool force = false; // a module the host cannot load
    // What the association dialog would be answered (extensions, a name, a detect string), and the
    // option that gives it, for the message when it is missing.
    std::optional<std::string> association;
    std::string associationOption = "--extensions";
    // A module outside the plugin folders is copied into one (--copy); else it is registered
    // where it lies, as scripts have always had it.
    bool copy = false;
    // Another plugin's FS name or packer extensions may be taken over (--replace).
    bool replace = false;
};

class Session {
public:
    Session(bool json, bool quiet);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    Answers& Given() { return m_answers; }
    bool Json() const { return m_json; }

    // Host text (the program's ANSI, or marked UTF-8) as the terminal's UTF-8.
    static std::string Terminal(std::string_view hostText);
    // A message on standard error (line breaks of message boxes become the terminal's).
    void Say(std::string_view hostText) const;
    // A failure: says it and keeps the first exit code raised.
    void Fail(int exitCode, std::string_view hostText);
    void Raise(int exitCode);
    // Sets the exit code whatever was raised before (a missing host is exit code 4 even though
    // its message box counted as a failure).
    void Override(int exitCode) { m_exit = exitCode; }
    int Exit() const { return m_exit; }
    // The last message said, for the outcome (host text).
    const std::string& LastMessage() const { return m_lastMessage; }
    // How many failures were raised so far: a command compares it before and after a step.
    int Raised() const { return m_raised; }
    // Ctrl+C was pressed.
    bool Interrupted() const;

private:
    int Box(const std::string& text, int style);

    bool m_json;
    bool m_quiet;
    bool m_progressShown = false;
    size_t m_progressLength = 0;
    int m_exit = kExitDone;
    int m_raised = 0;
    mutable std::string m_lastMessage;
    Answers m_answers;
    struct Saved;
    Saved* m_saved;
};

} // namespace varnel::cli
