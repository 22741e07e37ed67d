#pragma once
// The change history: every change this program makes to the host's configuration, its button
// bar and its descriptions is kept with the file's bytes before and after, so it can be undone.
// Records are files in a `history` folder beside the settings file, each written in one step.
//
// A record is written before its change becomes visible (write-ahead): it is "open" while the
// change is under way, listing what each file held and what it is about to hold, and the program
// making it holds a marker beside it. A record that is open while nobody holds its marker belongs
// to a program that was killed: FinishAbandonedChanges keeps of it what did change (an undo is
// carried to its end), so any kill leaves no change, a change with its record, or an undo that
// the next start or the next undo completes. When the record cannot be written, the change is
// not made.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varnel {

class PluginTable;

struct Context;
struct Result;

struct HistoryFileChange {
    std::string path;                  // Windows path
    std::optional<std::string> before; // nullopt: the change made the file
    std::optional<std::string> after;  // nullopt: the change removed the file
};

struct HistoryRecord {
    uint64_t id = 0;
    std::string time;        // ISO 8601, local time (older records: as the system wrote it)
    std::string description; // one line, in the user's language
    uint64_t reverts = 0;    // the record this one undid, or 0
    bool open = false;       // its change is under way, or was cut short by a kill
    std::vector<HistoryFileChange> files;
};

inline constexpr size_t kHistoryMaxRecords = 200;
inline constexpr uint64_t kHistoryMaxBytes = 50ull * 1024 * 1024;
// One change keeps its files' bytes only up to this share of the history, so that it never
// pushes the others out: past it, the settings files alone are kept, and its description says
// that its other files cannot be taken back.
inline constexpr uint64_t kHistoryMaxChangeBytes = kHistoryMaxBytes / 4;
// Record numbers run up to this; a record file with a larger one is damaged.
inline constexpr uint64_t kHistoryMaxId = 999999999;

// Starts recording into `folder` (a Windows path; made when missing), or stops when it is empty.
// The host configuration in use is watched, and bar files and Descript.ion by their names.
void StartHistory(std::string_view folder);
// The history of that folder is read, and nothing is recorded or finished (a dry run).
void ReadHistoryFrom(std::string_view folder);
// The history folder of this settings file: `history` beside it.
std::string HistoryFolderOf(std::string_view settingsFile);
// The folder StartHistory was given ("" when the history is off).
const std::string& HistoryFolder();

// While one lives, every change the program makes forms one record with this description; an
// inner one joins the outer (and gives the description when the outer's is empty). A change made
// outside any is recorded on its own. It is the command's transaction: after Abandon() (the
// command failed, was refused, unanswered or cancelled, here or in an inner one), the outermost
// one takes back every file the change wrote, and the folders it made, and records nothing.
class RecordedChange {
public:
    explicit RecordedChange(std::string description, uint64_t reverts = 0);
    ~RecordedChange();
    void Abandon();
    // Gives the change its description when none was given yet (here or outside).
    void Name(std::string description);
    RecordedChange(const RecordedChange&) = delete;
    RecordedChange& operator=(const RecordedChange&) = delete;
};

// The records this program made since it started (an install of several files makes several),
// so that a command can say what it did.
struct MadeRecord {
    uint64_t id = 0;
    std::string description;
    std::vector<std::string> files; // the paths it names
};
const std::vector<MadeRecord>& RecordsMadeHere();

// A folder the change under way made, removed again (while empty) if it is abandoned.
void FolderMadeInThisChange(std::string_view path);
// Makes a folder (a Windows path) and those missing above it, each as one the change under way
// made; false when one could not be made.
bool MakeFoldersInThisChange(std::string path);

// The records, oldest first (the files' bytes only when withBytes). A record file that is
// damaged (cut short, not a record, a folder, too large, a number out of range) is left out, and
// its name goes to `skipped`.
std::vector<HistoryRecord> LoadHistory(bool withBytes = true, std::vector<std::string>* skipped = nullptr);
// Finishes what killed programs left: each abandoned open record keeps the files its change did
// reach (none: it goes), and an abandoned undo is carried to its end. Runs at the start and
// before every undo.
void FinishAbandonedChanges();
// A plugin as a record's description names it: its display name, read now when the table was
// loaded without it, with its file (or path) after it when another plugin goes by the same name.
std::string PluginLabel(const PluginTable& table, int row);
// " (file)" when another plugin of the table goes by the row's name, else empty.
std::string SharedNameSuffix(const PluginTable& table, int row);

// A record's files for a list: the settings files first, at most `shown` paths joined by
// `separator`, then "+N" for the rest (an archive install may have moved thousands).
std::string RecordFilesText(const HistoryRecord& record, size_t shown, std::string_view separator = ", ");

// The description of a new order of one kind's plugins.
std::string OrderChangeText(int kind);

// Files that reach their place other than through the profile engine (an archive's files moved
// into a plugin folder, a module copied there), recorded in the change under way: made before
// they change, it keeps what the targets hold and what they will hold (read from the sources) in
// the record before any of them changes; Done() once they are in place. Without Done() (the move
// failed part way) those that did change are recorded. A set too large for the history's share
// of one change is left out and named in the description as files that cannot be taken back.
class RecordedMove {
public:
    explicit RecordedMove(std::vector<std::pair<std::string, std::string>> fromTo);
    ~RecordedMove();
    RecordedMove(const RecordedMove&) = delete;
    RecordedMove& operator=(const RecordedMove&) = delete;
    // False when the record could not be written: nothing may be moved (the user is told).
    bool Ready() const { return m_ready; }
    void Done();

private:
    std::vector<std::string> m_targets;
    bool m_watching = false;
    bool m_ready = true;
};

// One record with its bytes; nullopt when it is gone or damaged.
std::optional<HistoryRecord> LoadHistoryRecord(uint64_t id);

// What "undo N" (or, with `to`, "undo to here") would leave in each file it changes: its bytes,
// or nullopt where the file would be removed. Nothing is written; nullopt (said to the user) when
// the undo would be refused.
struct PlannedFile {
    std::string path;
    std::optional<std::string> bytes;
};
std::optional<std::vector<PlannedFile>> PlanUndo(int count, std::optional<uint64_t> to);
// Whether each record's change is still in effect: false for one undone by a later record.
std::vector<bool> RecordsInEffect(const std::vector<HistoryRecord>& records);

// Undoes the newest `count` changes still in effect (undo records are not counted), each with a
// record of its own (the result names the last); stops at the first that cannot be, after
// telling the user why. Nothing left to undo is said, and done.
Result UndoLastChanges(const Context& context, int count);
// "Undo to here": undoes every change in effect from the newest down to `id`. When `id` is an
// undo, that undo alone is taken back (the change it undid is made again). Not done after
// telling the user why nothing or not everything was done.
Result UndoToRecord(const Context& context, uint64_t id);
// What Redo does: take back the newest undo of an ordinary change that is still in effect, when
// nothing but redos came after it (a new change ends what can be redone, as in an editor). The
// undo's record and the description of the change it undid; nullopt when there is nothing to redo.
struct RedoStep {
    uint64_t undoId = 0;
    std::string description;
};
std::optional<RedoStep> ChangeToRedo();

// What an undo would take back, newest first: the changes in effect from the newest down to `id`
// (for an undo record, that one alone), or with id 0 the one change UndoLastChanges(1) takes.
std::vector<HistoryRecord> ChangesToUndo(uint64_t id = 0);

} // namespace varnel
