// Undoing recorded changes: the bytes before the change come back in one step while the file is as
// the change left it; after another program's edits, only the change's own keys are taken back.

#include "catalog/host_config.h"
#include "lang/language.h"
#include "ops/history.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "util/text.h"

namespace varnel {

namespace history_detail {
void NoteRemoved(const std::string& path, std::optional<std::string> before);
}

namespace {

constexpr size_t kMaxUndoneFile = 64 * 1024 * 1024;

enum class Plan { Restore, TakeBackKeys, Conflict, Unreadable };

// Only settings files are taken back key by key: a module, Descript.ion or a plugin's other files
// are not INI text, so another program's change of them makes an undo a conflict.
bool IsProfileText(std::string_view path) {
    const std::string ext = LowerAscii(ExtensionPart(path));
    return ext == ".ini" || ext == ".bar" || EqualsNoCaseAnsi(path, Host().HostIniPath);
}

struct FilePlan {
    Plan plan = Plan::Unreadable;
    std::optional<std::string> now; // the file as it is before the undo
};

FilePlan PlanFor(const HistoryFileChange& file) {
    FilePlan result;
    std::string bytes;
    switch (platform::ReadWholeFile(file.path, bytes, kMaxUndoneFile)) {
    case platform::ReadResult::Ok:
        result.now = std::move(bytes);
        break;
    case platform::ReadResult::Missing:
        break;
    default:
        return result;
    }
    if (result.now == file.after)
        result.plan = Plan::Restore;
    else if (IsProfileText(file.path) && result.now && platform::ProfileDifferences(file.after, file.before))
        result.plan = Plan::TakeBackKeys;
    else
        result.plan = Plan::Conflict;
    return result;
}

// Puts back the files an undo already changed, newest first, when a later file of the same
// record cannot be changed: a change is undone whole or not at all (never a registration gone
// while the module copied with it stays, or the other way round).
void PutBack(const std::vector<const HistoryFileChange*>& changed, const std::vector<FilePlan>& plans) {
    for (size_t i = changed.size(); i-- > 0;) {
        const std::string& path = changed[i]->path;
        if (plans[i].now) {
            platform::ReplaceFileAtomically(path, *plans[i].now);
        } else if (platform::DeleteFileAt(path)) {
            history_detail::NoteRemoved(path, std::nullopt);
        }
    }
}

// The keys the change wrote go back to what they were, on the file as it is now; another
// program's edits of the same sections make it a conflict, as for any batch.
bool TakeBackKeys(const HistoryFileChange& file) {
    std::optional<std::vector<platform::ProfileKeyEdit>> edits =
        platform::ProfileDifferences(file.after, file.before);
    if (!edits)
        return false;
    platform::ProfileSnapshot since = platform::ProfileSnapshot::OfBytes(file.path, file.after);
    platform::ProfileBatch batch(file.path, since);
    for (const platform::ProfileKeyEdit& edit : *edits) {
        std::optional<std::string_view> value;
        if (edit.value)
            value = *edit.value;
        platform::ProfileWriteString(file.path, edit.section, edit.key, value);
    }
    return batch.Commit();
}

bool Refuse(int message, const std::string& path) {
    ShowAppMessage(FormatPrintf(Message(message), {path}), kStyleError);
    return false;
}

bool UndoRecord(uint64_t id) {
    std::optional<HistoryRecord> record = LoadHistoryRecord(id);
    if (!record)
        return Refuse(138, "");
    std::vector<FilePlan> plans;
    for (const HistoryFileChange& file : record->files) {
        plans.push_back(PlanFor(file));
        if (plans.back().plan == Plan::Conflict)
            return Refuse(111, file.path);
        if (plans.back().plan == Plan::Unreadable)
            return Refuse(109, file.path);
    }
    RecordedChange change(FormatPrintf(Message(137), {record->description}), record->id);
    std::vector<const HistoryFileChange*> changed;
    for (size_t i = 0; i < record->files.size(); ++i) {
        const HistoryFileChange& file = record->files[i];
        bool done = true;
        if (plans[i].plan == Plan::TakeBackKeys) {
            done = TakeBackKeys(file);
        } else if (file.before) {
            done = platform::ReplaceFileAtomically(file.path, *file.before);
        } else {
            done = platform::DeleteFileAt(file.path);
            if (done)
                history_detail::NoteRemoved(file.path, file.after);
        }
        if (!done) {
            const int message =
                plans[i].plan == Plan::TakeBackKeys && platform::ProfileBatch::Conflicted() ? 111 : 91;
            PutBack(changed, plans);
            return Refuse(message, file.path);
        }
        changed.push_back(&file);
    }
    return true;
}

} // namespace

int UndoLastChanges(int count) {
    int undone = 0;
    while (undone < count) {
        std::vector<HistoryRecord> records = LoadHistory(false);
        std::vector<bool> inEffect = RecordsInEffect(records);
        size_t i = records.size();
        while (i > 0 && !(inEffect[i - 1] && records[i - 1].reverts == 0))
            --i;
        if (i == 0) {
            if (undone == 0)
                ShowAppMessage(Message(138), kStyleInformation);
            break;
        }
        if (!UndoRecord(records[i - 1].id))
            break;
        ++undone;
    }
    return undone;
}

bool UndoToRecord(uint64_t id) {
    std::vector<HistoryRecord> records = LoadHistory(false);
    std::vector<bool> inEffect = RecordsInEffect(records);
    for (size_t i = 0; i < records.size(); ++i) {
        if (records[i].id != id)
            continue;
        if (!inEffect[i])
            return Refuse(138, "");
        if (records[i].reverts != 0)
            return UndoRecord(id);
        for (size_t j = records.size(); j-- > i;)
            if (inEffect[j] && records[j].reverts == 0 && !UndoRecord(records[j].id))
                return false;
        return true;
    }
    return Refuse(138, "");
}

} // namespace varnel
