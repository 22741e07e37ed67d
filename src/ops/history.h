#pragma once
// The change history: every change this program makes to the host's configuration, its button
// bar and its descriptions is kept with the file's bytes before and after, so it can be undone.
// Records are files in a `history` folder beside the settings file, each written in one step.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varnel {

struct HistoryFileChange {
    std::string path;                  // Windows path
    std::optional<std::string> before; // nullopt: the change made the file
    std::optional<std::string> after;  // nullopt: the change removed the file
};

struct HistoryRecord {
    uint64_t id = 0;
    std::string time;        // as the user's system writes date and time
    std::string description; // one line, in the user's language
    uint64_t reverts = 0;    // the record this one undid, or 0
    std::vector<HistoryFileChange> files;
};

inline constexpr size_t kHistoryMaxRecords = 200;
inline constexpr uint64_t kHistoryMaxBytes = 50ull * 1024 * 1024;

// Starts recording into `folder` (a Windows path; made when missing), or stops when it is empty.
// The host configuration in use is watched, and bar files and Descript.ion by their names.
void StartHistory(std::string_view folder);
// The history folder of this settings file: `history` beside it.
std::string HistoryFolderOf(std::string_view settingsFile);
// The folder StartHistory was given ("" when the history is off).
const std::string& HistoryFolder();

// While one lives, every change the program makes forms one record with this description; an
// inner one joins the outer. A change made outside any is recorded on its own.
class RecordedChange {
public:
    explicit RecordedChange(std::string description, uint64_t reverts = 0);
    ~RecordedChange();
    RecordedChange(const RecordedChange&) = delete;
    RecordedChange& operator=(const RecordedChange&) = delete;
};

// The records, oldest first (the files' bytes only when withBytes).
std::vector<HistoryRecord> LoadHistory(bool withBytes = true);
// A plugin as a record's description names it: its display name, read now when the table was
// loaded without it.
std::string PluginLabel(int row);

// A record's files for a list: the settings files first, at most `shown` paths joined by
// `separator`, then "+N" for the rest (an archive install may have moved thousands).
std::string RecordFilesText(const HistoryRecord& record, size_t shown, std::string_view separator = ", ");

// The description of a new order of one kind's plugins.
std::string OrderChangeText(int kind);

// Records this file too in the change under way (a module copied into a plugin folder), so
// that undoing the change removes it again.
void WatchInThisChange(std::string_view path);

// Files that reach their place by a rename rather than a replacement (an archive's files moved
// into a plugin folder), recorded in the change under way as replacements would be: made before
// the move, it keeps what the paths hold; Done() after it keeps what they hold then. Without
// Done() (the move failed) nothing of them is recorded. A set of more than kMaxMovedBytes in all
// is left out, so that one large plugin does not push the rest of the history out.
inline constexpr uint64_t kMaxMovedBytes = 8ull * 1024 * 1024;
class RecordedMove {
public:
    explicit RecordedMove(std::vector<std::string> paths);
    ~RecordedMove();
    RecordedMove(const RecordedMove&) = delete;
    RecordedMove& operator=(const RecordedMove&) = delete;
    void Done();

private:
    std::vector<std::string> m_paths;
    bool m_watching = false;
};

// One record with its bytes; nullopt when it is gone or damaged.
std::optional<HistoryRecord> LoadHistoryRecord(uint64_t id);
// Whether each record's change is still in effect: false for one undone by a later record.
std::vector<bool> RecordsInEffect(const std::vector<HistoryRecord>& records);

// Undoes the newest `count` changes still in effect (undo records are not counted). Returns how
// many were undone; stops at the first that cannot be, after telling the user why.
int UndoLastChanges(int count);
// "Undo to here": undoes every change in effect from the newest down to `id`. When `id` is an
// undo, that undo alone is taken back (the change it undid is made again). False after telling
// the user why nothing or not everything was done.
bool UndoToRecord(uint64_t id);

} // namespace varnel
