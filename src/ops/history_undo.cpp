// Undoing recorded changes: the bytes before the change come back in one step while the file is as
// the change left it; after another program's edits, only the change's own keys are taken back.
// Each undo holds the locks of the files it changes from its check to its last write, plans every
// file before it changes one, and can be cancelled; it is whole or it is not at all.

#include "catalog/host_config.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "ops/command.h"
#include "ops/history.h"
#include "ops/history_store.h"
#include "ops/install_copy.h"
#include "platform/file_tree.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "util/text.h"

#include <algorithm>
#include <map>
#include <memory>

namespace varnel {

namespace history_detail {
bool PlanWrites(const std::vector<std::pair<std::string, std::optional<std::string>>>& files);
}

using namespace history_detail;

namespace {

constexpr size_t kMaxUndoneFile = 64 * 1024 * 1024;

enum class Plan { Restore, Keep, Conflict, Unreadable };

// Only settings files are taken back key by key: a module, Descript.ion or a plugin's other files
// are not INI text, so another program's change of them makes an undo a conflict.
bool IsProfileText(std::string_view path) {
    const std::string ext = LowerAscii(ExtensionPart(path));
    return ext == ".ini" || ext == ".bar" || EqualsNoCaseAnsi(path, Host().HostIniPath);
}

struct FilePlan {
    Plan plan = Plan::Unreadable;
    std::optional<std::string> now;      // the file as it is before the undo
    std::optional<std::string> intended; // what the undo gives it (nullopt: it goes)
};

// The keys the change wrote go back to what they were, on the file as it is now. Nothing is
// written: the bytes the file would get.
// A section the change made (the file had no such header before) goes again when the undo leaves
// it empty.
// With `ahead`, `now` is what earlier steps of the same command will leave, not the file as it
// lies: the keys go onto those bytes alone.
std::optional<std::string> KeysTakenBack(const std::string& path, const std::string& now,
                                         const std::optional<std::string>& before,
                                         const std::vector<platform::ProfileKeyEdit>& edits, bool ahead) {
    std::vector<std::string> hadSections;
    if (before)
        hadSections = platform::ProfileSectionNames(*before).value_or(std::vector<std::string>{});
    platform::ProfileSnapshot since = platform::ProfileSnapshot::OfBytes(path, now);
    platform::ProfileBatch batch(path, since);
    for (const platform::ProfileKeyEdit& edit : edits) {
        std::optional<std::string_view> value;
        if (edit.value)
            value = *edit.value;
        platform::ProfileWriteString(path, edit.section, edit.key, value);
    }
    for (const platform::ProfileKeyEdit& edit : edits)
        if (!edit.value &&
            std::none_of(hadSections.begin(), hadSections.end(),
                         [&](const std::string& section) { return EqualsNoCaseAnsi(section, edit.section); }))
            platform::ProfileRemoveEmptySection(path, edit.section);
    std::string bytes;
    if (!(ahead ? batch.Preview(bytes) : batch.Commit(&bytes)))
        return std::nullopt;
    return bytes;
}

// Whether another change since touched one of the keys this change wrote: then taking them back
// would overwrite it. Keys of the same section that the change did not write are no conflict
// (a plugin disabled by another program beside this one's).
bool TouchedSince(const std::vector<platform::ProfileKeyEdit>& mine,
                  const std::vector<platform::ProfileKeyEdit>& since) {
    for (const platform::ProfileKeyEdit& edit : mine)
        for (const platform::ProfileKeyEdit& other : since)
            if (EqualsNoCaseAnsi(edit.section, other.section) && EqualsNoCaseAnsi(edit.key, other.key))
                return true;
    return false;
}

// The plan for a file that holds `now` (nullopt: there is none); `ahead` as for KeysTakenBack.
FilePlan PlanWith(const HistoryFileChange& file, std::optional<std::string> now, bool ahead) {
    FilePlan result;
    result.now = std::move(now);
    if (result.now == file.after) {
        result.plan = Plan::Restore;
        result.intended = file.before;
        return result;
    }
    result.plan = Plan::Conflict;
    if (!IsProfileText(file.path) || !result.now)
        return result;
    std::optional<std::vector<platform::ProfileKeyEdit>> edits =
        platform::ProfileDifferences(file.after, file.before);
    std::optional<std::vector<platform::ProfileKeyEdit>> since =
        platform::ProfileDifferences(file.after, result.now);
    if (!edits || !since || TouchedSince(*edits, *since))
        return result;
    if (edits->empty()) {
        result.plan = Plan::Keep; // nothing of the change's own is left to take back
        return result;
    }
    if (std::optional<std::string> taken =
            KeysTakenBack(file.path, *result.now, file.before, *edits, ahead)) {
        result.plan = Plan::Restore;
        result.intended = std::move(taken);
    }
    return result;
}

FilePlan PlanFor(const HistoryFileChange& file) {
    std::string bytes;
    switch (platform::ReadWholeFile(file.path, bytes, kMaxUndoneFile)) {
    case platform::ReadResult::Ok:
        return PlanWith(file, std::move(bytes), false);
    case platform::ReadResult::Missing:
        return PlanWith(file, std::nullopt, false);
    default:
        return FilePlan{};
    }
}

// The locks of the files' folders, taken in one order by every program, so that two undos and
// the profile engine never wait for each other in a circle.
class RecordLocks {
public:
    explicit RecordLocks(const std::vector<HistoryFileChange>& files) {
        std::vector<std::pair<std::string, std::string>> order;
        for (const HistoryFileChange& file : files)
            order.emplace_back(LowerAscii(FolderPart(file.path)), file.path);
        std::sort(order.begin(), order.end());
        for (const auto& [folder, path] : order)
            m_held.push_back(std::make_unique<platform::FileWriteLock>(path));
    }

private:
    std::vector<std::unique_ptr<platform::FileWriteLock>> m_held;
};

bool Apply(const std::string& path, const std::optional<std::string>& bytes) {
    // A file comes back into the folder an earlier undo took away with it.
    if (bytes)
        return MakeFoldersInThisChange(FolderPart(path)) && platform::ReplaceFileAtomically(path, *bytes);
    if (!PlanRemoval(path))
        return false;
    const bool removed = platform::DeleteFileAt(path) || !platform::FileExists(path);
    Removed(path, removed);
    return removed;
}

bool Refuse(int message, const std::string& path) {
    ShowAppMessage(FormatPrintf(Message(message), {path}), kStyleError,
                   message == Msg::IniConflict ? Outcome::Conflict : Outcome::Failed, message);
    return false;
}

// The folders the undo emptied: those of the files it removed, and the ones above them, while
// they are empty and lie inside a plugin folder (never that folder itself). A plugin's folder
// goes with the plugin, as its install made it.
void RemoveEmptiedFolders(const Settings& settings, const std::vector<std::string>& removedFiles) {
    std::vector<std::string> pluginFolders;
    for (int kind = 0; kind < kPluginKindCount; ++kind)
        pluginFolders.push_back(PluginFolderOfKind(settings, static_cast<PluginKind>(kind)));
    auto below = [&](const std::string& folder) {
        return std::any_of(pluginFolders.begin(), pluginFolders.end(), [&](const std::string& plugins) {
            return !plugins.empty() && folder.size() > plugins.size() + 1 &&
                   EqualsNoCaseAnsi(folder.substr(0, plugins.size() + 1), plugins + "\\") &&
                   platform::LiesInside(folder, plugins);
        });
    };
    for (const std::string& file : removedFiles) {
        std::string folder = FolderPart(file);
        while (folder.size() > 3 && folder.back() == '\\')
            folder.pop_back();
        while (below(folder) && platform::RemoveFolder(folder)) {
            folder = FolderPart(folder);
            folder.pop_back();
        }
    }
}

enum class Undone { Done, Gone, Failed };

// The files as the undos of the records leave them, each planned on the files as the undos before
// it leave them (records newest first); nullopt, said, when one of them cannot be undone.
std::optional<std::vector<PlannedFile>> PlanUndos(const std::vector<uint64_t>& ids) {
    struct Planned {
        PlannedFile file;
        std::optional<std::string> first; // the file as it is now
    };
    std::map<std::string, Planned> after; // by folded path
    for (uint64_t id : ids) {
        std::optional<HistoryRecord> record = LoadHistoryRecord(id);
        if (!record)
            continue;
        for (const HistoryFileChange& file : record->files) {
            const std::string key = FoldAnsi(file.path);
            auto known = after.find(key);
            const FilePlan plan =
                known == after.end() ? PlanFor(file) : PlanWith(file, known->second.file.bytes, true);
            if (plan.plan == Plan::Conflict)
                return Refuse(Msg::IniConflict, file.path), std::nullopt;
            if (plan.plan == Plan::Unreadable)
                return Refuse(Msg::FileUnreadable, file.path), std::nullopt;
            Planned& planned =
                known == after.end() ? after[key] = Planned{{file.path, {}}, plan.now} : known->second;
            planned.file.bytes = plan.plan == Plan::Restore ? plan.intended : plan.now;
        }
    }
    std::vector<PlannedFile> files; // those that change
    for (auto& [key, planned] : after)
        if (planned.file.bytes != planned.first)
            files.push_back(std::move(planned.file));
    return files;
}

// Several undos in one command are whole or not at all: a conflict or an unreadable file in any
// of them refuses the command before the first is undone.
bool EveryUndoPlans(const std::vector<uint64_t>& ids) {
    return ids.size() < 2 || PlanUndos(ids).has_value(); // a single undo plans its files itself
}

// The records "undo N" takes back, newest first.
std::vector<uint64_t> LastChanges(int count) {
    const std::vector<HistoryRecord> records = LoadHistory(false);
    const std::vector<bool> inEffect = RecordsInEffect(records);
    std::vector<uint64_t> ids;
    for (size_t i = records.size(); i-- > 0 && static_cast<int>(ids.size()) < count;)
        if (inEffect[i] && records[i].reverts == 0 && !records[i].open)
            ids.push_back(records[i].id);
    return ids;
}

// The records "undo to here" takes back, newest first: an undo alone (taking it back), or the
// change and every later one still in effect; empty when the record is not in effect.
std::vector<uint64_t> ChangesDownTo(uint64_t id) {
    const std::vector<HistoryRecord> records = LoadHistory(false);
    const std::vector<bool> inEffect = RecordsInEffect(records);
    std::vector<uint64_t> ids;
    for (size_t i = 0; i < records.size(); ++i) {
        if (records[i].id != id)
            continue;
        if (!inEffect[i])
            return {};
        if (records[i].reverts != 0)
            return {id};
        for (size_t j = records.size(); j-- > i;)
            if (inEffect[j] && records[j].reverts == 0 && !records[j].open)
                ids.push_back(records[j].id);
    }
    return ids;
}

Undone UndoRecord(const Settings& settings, uint64_t id) {
    std::optional<HistoryRecord> record = LoadHistoryRecord(id);
    if (!record)
        return Undone::Gone;
    RecordLocks locks(record->files);
    // Under the locks: another program may have undone it meanwhile.
    {
        const std::vector<HistoryRecord> records = LoadHistory(false);
        const std::vector<bool> inEffect = RecordsInEffect(records);
        auto found =
            std::find_if(records.begin(), records.end(), [&](const auto& each) { return each.id == id; });
        if (found == records.end() || !inEffect[static_cast<size_t>(found - records.begin())] || found->open)
            return Undone::Gone;
    }
    std::vector<FilePlan> plans;
    for (const HistoryFileChange& file : record->files) {
        plans.push_back(PlanFor(file));
        if (plans.back().plan == Plan::Conflict)
            return Refuse(Msg::IniConflict, file.path), Undone::Failed;
        if (plans.back().plan == Plan::Unreadable)
            return Refuse(Msg::FileUnreadable, file.path), Undone::Failed;
    }
    RecordedChange change(FormatPrintf(Message(Msg::HistUndid), {record->description}), record->id);
    std::vector<std::pair<std::string, std::optional<std::string>>> planned;
    for (size_t i = 0; i < plans.size(); ++i)
        if (plans[i].plan == Plan::Restore)
            planned.emplace_back(record->files[i].path, plans[i].intended);
    if (!PlanWrites(planned))
        return Undone::Failed; // the record could not be written: the user is told
    // Thousands of files (an archive's) take a while: the window stays painted and offers Cancel.
    platform::BusyWork busy;
    for (size_t i = 0; i < plans.size(); ++i) {
        const bool cancelled = busy.Turn();
        if (cancelled ||
            (plans[i].plan == Plan::Restore && !Apply(record->files[i].path, plans[i].intended))) {
            // Whole or not at all: what was changed goes back, newest first.
            for (size_t j = i; j-- > 0;)
                if (plans[j].plan == Plan::Restore)
                    Apply(record->files[j].path, plans[j].now);
            if (!cancelled)
                Refuse(Msg::FileNotWritten, record->files[i].path);
            return Undone::Failed;
        }
    }
    std::vector<std::string> removed;
    for (size_t i = 0; i < plans.size(); ++i)
        if (plans[i].plan == Plan::Restore && !plans[i].intended)
            removed.push_back(record->files[i].path);
    RemoveEmptiedFolders(settings, removed);
    return Undone::Done;
}

} // namespace

namespace history_detail {

void FinishAbandoned(const std::string& folder, uint64_t id) {
    std::optional<HistoryRecord> record = ReadRecord(folder, id, true);
    if (!record || !record->open)
        return;
    RecordLocks locks(record->files);
    for (const HistoryFileChange& file : record->files)
        platform::RemoveAbandonedTemporaries(file.path);
    platform::ReplaceObserver* observer = platform::SetReplaceObserver(nullptr);
    auto now = [](const std::string& path) -> std::optional<std::optional<std::string>> {
        std::string bytes;
        switch (platform::ReadWholeFile(path, bytes, kMaxUndoneFile)) {
        case platform::ReadResult::Ok:
            return std::optional<std::string>(std::move(bytes));
        case platform::ReadResult::Missing:
            return std::optional<std::string>();
        default:
            return std::nullopt; // cannot tell
        }
    };
    std::vector<HistoryFileChange> kept;
    bool failed = false;
    for (const HistoryFileChange& file : record->files) {
        const std::optional<std::optional<std::string>> there = now(file.path);
        if (record->reverts == 0) {
            // A change: the files it did not reach were never changed.
            if (!there || *there != file.before)
                kept.push_back(file);
            continue;
        }
        // An undo is carried to its end.
        if (there && *there == file.before && file.before != file.after && !failed) {
            const bool done = file.after ? platform::ReplaceFileAtomically(file.path, *file.after)
                                         : platform::DeleteFileAt(file.path);
            failed = !done;
        }
        kept.push_back(file);
    }
    if (failed) {
        // It cannot be finished: it is taken back instead, and the change stays in effect.
        for (const HistoryFileChange& file : record->files)
            if (std::optional<std::optional<std::string>> there = now(file.path);
                there && *there == file.after)
                file.before ? platform::ReplaceFileAtomically(file.path, *file.before)
                            : platform::DeleteFileAt(file.path);
        kept.clear();
    }
    record->files = std::move(kept);
    record->open = false;
    if (record->files.empty())
        platform::DeleteFileAt(RecordPath(folder, id));
    else
        WriteRecordFile(RecordPath(folder, id), Serialize(*record));
    platform::SetReplaceObserver(observer);
}

} // namespace history_detail

Result UndoLastChanges(const Context& context, int count) {
    CommandRun run(context, CommandRun::OwnRecords{});
    FinishAbandonedChanges();
    if (!EveryUndoPlans(LastChanges(count)))
        return run.Stop(Outcome::Failed);
    int undone = 0;
    int raced = 0;
    while (undone < count) {
        std::vector<HistoryRecord> records = LoadHistory(false);
        std::vector<bool> inEffect = RecordsInEffect(records);
        size_t i = records.size();
        while (i > 0 && !(inEffect[i - 1] && records[i - 1].reverts == 0 && !records[i - 1].open))
            --i;
        if (i == 0) {
            if (undone == 0)
                ShowAppMessage(Message(Msg::NothingToUndo), kStyleInformation);
            break;
        }
        const Undone result = UndoRecord(context.settings, records[i - 1].id);
        if (result == Undone::Failed)
            return run.Stop(Outcome::Failed);
        // Gone: another program undid it or dropped it first; the next newest is taken.
        if (result == Undone::Gone && ++raced > 1000)
            break;
        undone += result == Undone::Done ? 1 : 0;
    }
    return run.Finish();
}

std::vector<HistoryRecord> ChangesToUndo(uint64_t id) {
    std::vector<HistoryRecord> records = LoadHistory(false);
    const std::vector<bool> inEffect = RecordsInEffect(records);
    std::vector<HistoryRecord> taken;
    for (size_t i = records.size(); i-- > 0;) {
        if (!inEffect[i] || records[i].open)
            continue;
        if (records[i].id == id && records[i].reverts != 0)
            return {records[i]};
        if (records[i].reverts == 0 && records[i].id >= id)
            taken.push_back(records[i]);
        if (id == 0 && !taken.empty())
            break;
    }
    return taken;
}

std::optional<RedoStep> ChangeToRedo() {
    const std::vector<HistoryRecord> records = LoadHistory(false);
    const std::vector<bool> inEffect = RecordsInEffect(records);
    auto find = [&](uint64_t id) {
        return std::find_if(records.begin(), records.end(),
                            [id](const HistoryRecord& each) { return each.id == id; });
    };
    for (size_t i = records.size(); i-- > 0;) {
        const HistoryRecord& record = records[i];
        if (record.open)
            continue;
        if (record.reverts == 0)
            return std::nullopt; // a change since the undos
        const auto undone = find(record.reverts);
        if (undone == records.end())
            return std::nullopt;
        if (undone->reverts != 0)
            continue; // a redo
        if (inEffect[i])
            return RedoStep{record.id, undone->description};
    }
    return std::nullopt;
}

Result UndoToRecord(const Context& context, uint64_t id) {
    CommandRun run(context, CommandRun::OwnRecords{});
    FinishAbandonedChanges();
    const std::vector<uint64_t> ids = ChangesDownTo(id);
    if (ids.empty()) {
        Refuse(Msg::NothingToUndo, "");
        return run.Stop(Outcome::Failed);
    }
    if (!EveryUndoPlans(ids))
        return run.Stop(Outcome::Failed);
    for (uint64_t each : ids)
        if (UndoRecord(context.settings, each) == Undone::Failed)
            return run.Stop(Outcome::Failed);
    return run.Finish();
}

std::optional<std::vector<PlannedFile>> PlanUndo(int count, std::optional<uint64_t> to) {
    const std::vector<uint64_t> ids = to ? ChangesDownTo(*to) : LastChanges(count);
    if (ids.empty()) {
        // As the undo says it: nothing left is information, a record not in effect a refusal.
        ShowAppMessage(Message(Msg::NothingToUndo), to ? kStyleError : kStyleInformation, Outcome::Failed,
                       Msg::NothingToUndo);
        return to ? std::nullopt : std::optional<std::vector<PlannedFile>>(std::vector<PlannedFile>{});
    }
    return PlanUndos(ids);
}

} // namespace varnel
