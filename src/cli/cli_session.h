#pragma once
// What the window does with its user, done on a terminal: message boxes become lines on standard
// error, questions are answered by options (or end the run with exit code 2, naming the option),
// long waits show a progress line that Ctrl+C stops, and what happened decides the exit code.

#include "lang/interaction.h"
#include "ops/command.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace varnel::platform {
class InterruptCatcher;
}

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

// The tool's user: what a command shows or asks goes here while the session lives.
class Session : public Interaction {
public:
    Session(bool json, bool quiet);
    ~Session() override;

    Answers& Given() { return m_answers; }
    bool Json() const { return m_json; }

    // Host text (the program's ANSI, or marked UTF-8) as the terminal's UTF-8.
    static std::string Terminal(std::string_view hostText);
    // A message on standard error (line breaks of message boxes become the terminal's).
    void Say(std::string_view hostText) const;
    // A failure: says it (message: its number, 0 for text of no message) and keeps the first exit
    // code raised.
    void Fail(int exitCode, std::string_view hostText, int message);
    void Raise(int exitCode);
    // What a command came to, as the exit code (the failure said on its way was said already).
    int Present(const Result& result);
    // The exit code of what a command came to.
    static int ExitCodeOf(Outcome outcome);
    // Sets the exit code whatever was raised before (Ctrl+C ends a command as failed).
    void Override(int exitCode) { m_exit = exitCode; }
    int Exit() const { return m_exit; }
    // The last message said, for the outcome (host text).
    const std::string& LastMessage() const { return m_lastMessage; }
    // The number of the last error message a command showed (0: it had none, or the tool's own).
    int LastNumber() const { return m_lastNumber; }
    // How many failures were raised so far: a command compares it before and after a step.
    int Raised() const { return m_raised; }
    // Ctrl+C was pressed.
    bool Interrupted() const;

    // What a command shows or asks, answered from the command line.
    int Show(const Notice& notice) override;
    std::optional<std::string> AskAssociation(const std::string& modulePath, int8_t kind,
                                              const std::string& proposal, bool allowEmpty) override;
    std::optional<std::string> AskText(const std::string& title, const std::string& label,
                                       const std::string& text) override;
    // The flags of an installed packer are set with "varnel tweak", not in a dialog.
    bool TweakPacker(const std::string&) override { return false; }
    CopyChoice AskCopyModule(const std::string& question) override;
    bool AcceptBitness(const std::string& question) override;
    void Status(const std::string& text) override { Say(text); }
    // A long wait shows how long it has waited (on a terminal only), and Ctrl+C ends it the way
    // the window's Cancel does: a query stopped early writes nothing.
    bool Waiting(unsigned elapsedMs, bool ended) override;

private:
    // A question nobody on the command line answered: said, naming the option that answers it,
    // to the command's run first, whose outcome it then is.
    void NoAnswer(int message, std::string_view hostText, Outcome outcome = Outcome::Unanswered);

    bool m_json;
    bool m_quiet;
    bool m_progressShown = false;
    size_t m_progressLength = 0;
    int m_exit = kExitDone;
    int m_raised = 0;
    mutable std::string m_lastMessage;
    mutable int m_lastNumber = 0;
    Answers m_answers;
    std::unique_ptr<platform::InterruptCatcher> m_interrupt;
};

} // namespace varnel::cli
