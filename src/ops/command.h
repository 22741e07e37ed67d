#pragma once
// A command of the program, as the window and varnel run it: what it works on (Context) and what
// it came to (Result). Each command runs as one CommandRun: one change, which leaves exactly one
// history record when it is done and every file as it was when it is not.

#include "lang/interaction.h"
#include "ops/history.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace varnel {

struct Settings;
struct HostContext;
class PluginTable;
class HostConfigTransaction;
namespace platform {
class ProfileSnapshot;
}

// What a command works on: the program's settings, the host it manages, the plugin table as last
// loaded, and its user.
struct Context {
    Settings& settings;
    const HostContext& host;
    PluginTable& table;
    Interaction& user;
};

// The program's own: its settings, its host, its table, and the user in use now.
Context ProgramContext();

// What a command came to.
struct Result {
    Outcome code = Outcome::Done;
    std::string text; // what the user was told about it when it was not done (host text)
    int message = 0;  // the number of that message; 0 when none says it
    // The history records it left: its change's one (an undo leaves one for each change it undid),
    // none when it wrote nothing; and the files they name (Windows paths).
    std::vector<uint64_t> records;
    std::vector<std::string> files;
    bool Done() const { return code == Outcome::Done; }
};

// The run of one command. While it lives it is the user its command meets (everything is passed
// on to the user in use before it), and it notes what ends the command: a failure it is told
// (the notice's kind), a Cancel of a wait. A command returns Finish() when it went its way to the
// end, Stop() where it ends early; either way a failure or a cancel on the way decides. Only a
// command that is done keeps its change: its files are written, with one record. Runs inside a
// run join its change.
class CommandRun final : public Interaction {
public:
    // description: the history record's; empty to let an inner change name it.
    CommandRun(const Context& context, std::string description);
    // A command whose steps make their own records (an undo makes one for each change it undoes),
    // or none (a plugin's own settings dialog).
    struct OwnRecords {};
    CommandRun(const Context& context, OwnRecords);
    ~CommandRun() override;

    // Names the change when it was not named at the start.
    void Name(std::string description);
    // The context, with this run as its user.
    Context& Here() { return m_context; }
    // The command ended where it meant to: done, unless something failed or was cancelled.
    Result Finish();
    // The command ended early: `why` (refused, failed), unless a failure told on the way says
    // otherwise (an unanswered question, a conflict).
    Result Stop(Outcome why);
    // Whether a failure or a cancel has ended the command already.
    bool Failing() const { return m_code != Outcome::Done; }
    // Whether a command runs now: one that starts inside it leaves what follows the whole (the
    // restart of the host) to it.
    static bool Active();

    // The command's edit of the host configuration, written as one whole, and the run ended with
    // it: done when the edit was (it says so) and the file was written. since: the file as the
    // user saw it when a dialog opened.
    Result EditHost(const std::function<Outcome()>& edit, const platform::ProfileSnapshot* since = nullptr);

    int Show(const Notice& notice) override;
    bool Waiting(unsigned elapsedMs, bool ended) override;

private:
    Result End(Outcome code);
    void Note(Outcome code, const std::string& text, int message = 0);

    Context m_context;
    bool m_ended = false;
    std::optional<RecordedChange> m_change;
    size_t m_recordsBefore;
    Outcome m_code = Outcome::Done;
    std::string m_text;
    int m_message = 0;
};

// Commits a command's writes to the host configuration; when they cannot be written, tells the
// user which file and returns false (the file is then unchanged).
bool CommitOrReport(const HostContext& host, HostConfigTransaction& transaction);

} // namespace varnel
