// Recording the change history: the observer that sees every file replacement, the records it
// writes ahead of each change, their bounds, and what killed programs left open.

#include "ops/history.h"

#include "catalog/host_config.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "ops/history_store.h"
#include "platform/files.h"
#include "platform/system.h"
#include "util/text.h"

#include <algorithm>
#include <map>
#include <memory>

namespace varnel {

using namespace history_detail;

namespace {

constexpr size_t kMaxWatchedFile = 64 * 1024 * 1024;

} // namespace

namespace history_detail {

bool IsWatched(std::string_view path) {
    const std::string name = FileNamePart(path);
    const std::string& ini = Host().HostIniPath;
    return (!ini.empty() && EqualsNoCaseAnsi(path, ini)) || EqualsNoCaseAscii(name, "descript.ion") ||
           (name.size() > 4 && EqualsNoCaseAscii(name.substr(name.size() - 4), ".bar"));
}

} // namespace history_detail

namespace {

class Recorder : public platform::ReplaceObserver {
public:
    std::string folder;
    int depth = 0;
    std::string description;
    uint64_t reverts = 0;
    struct Pending {
        std::optional<std::string> before;
        std::optional<std::string> after;    // what the change last wrote there (nullopt: removed)
        std::optional<std::string> intended; // what it is about to write (nullopt: remove), while planned
        bool readable = true;
        bool written = false;
        bool planned = false;
        bool kept = true;    // false: left out of the record, as too large a share of the history
        bool existed = true; // for one left out: whether there was a file before the change
    };
    std::map<std::string, Pending> pending; // by path; a record lists its files in this order
    uint64_t openId = 0;                    // the record written ahead of the change under way
    std::string openTime;
    std::unique_ptr<platform::WorkMarker> marker;
    bool refused = false; // the record could not be written: nothing more of this change is made
    std::string refusedPath;
    bool abandoned = false;               // the command failed: what it wrote goes back
    std::vector<MadeRecord> finished;     // the records finished here, oldest first
    std::vector<std::string> madeFolders; // folders the change made, in order

    bool Watches(std::string_view path) const {
        return IsWatched(path) || pending.count(std::string(path)) != 0 || (depth > 0 && reverts != 0);
    }

    bool BeforeReplace(std::string_view path, std::string_view bytes) override {
        if (folder.empty() || !Watches(path))
            return true;
        if (depth == 0) {
            description = FormatPrintf(Message(Msg::HistChanged), {FileNamePart(path)});
            reverts = 0;
        }
        return Plan(path, std::string(bytes), true);
    }

    void AfterReplace(std::string_view path, std::string_view bytes, bool written) override {
        auto found = pending.find(std::string(path));
        if (found == pending.end())
            return;
        Settle(found->second, written, std::string(bytes));
        if (depth == 0)
            Flush();
    }

    static void Settle(Pending& entry, bool written, std::optional<std::string> now) {
        if (written) {
            entry.after = std::move(now);
            entry.written = true;
        }
        entry.planned = false;
        entry.intended.reset();
    }

    // Keeps what the file holds now as its bytes before the change under way.
    Pending& Keep(std::string_view path, bool kept) {
        auto [found, made] = pending.try_emplace(std::string(path));
        Pending& entry = found->second;
        if (!made)
            return entry;
        entry.kept = kept;
        if (!kept) {
            entry.existed = platform::FileExists(path);
            return entry;
        }
        std::string bytes;
        switch (platform::ReadWholeFile(path, bytes, kMaxWatchedFile)) {
        case platform::ReadResult::Ok:
            entry.before = std::move(bytes);
            break;
        case platform::ReadResult::Missing:
            break;
        case platform::ReadResult::TooLarge:
            entry.kept = IsWatched(path); // a settings file that large cannot be kept: refused below
            entry.readable = !entry.kept;
            break;
        default:
            entry.readable = false; // cannot be kept, so cannot be undone: refused below
        }
        return entry;
    }

    // The file is about to hold `intended` (nullopt: to be removed); with writeNow its record is
    // written before this returns, and false means it could not be and the file must stay.
    bool Plan(std::string_view path, std::optional<std::string> intended, bool writeNow, bool kept = true) {
        if (refused)
            return false;
        Pending& entry = Keep(path, kept);
        if (entry.planned && entry.intended == intended)
            return true; // the record says so already
        entry.planned = true;
        entry.intended = std::move(intended);
        return !writeNow || WriteAhead(path);
    }

    // The record as it stands: with `final`, the files the change did change; before that, also
    // those it is about to change, with what they will hold.
    HistoryRecord Compose(bool final, uint64_t* unkept) {
        uint64_t total = 0;
        for (const auto& [path, entry] : pending) {
            if (!entry.kept || !(entry.written || entry.planned))
                continue;
            total += entry.before ? entry.before->size() : 0;
            total += entry.planned ? (entry.intended ? entry.intended->size() : 0)
                                   : (entry.after ? entry.after->size() : 0);
        }
        // Past its share, the change keeps its settings files only, for good.
        if (total > kHistoryMaxChangeBytes)
            for (auto& [path, entry] : pending)
                if (!IsWatched(path))
                    entry.kept = false;
        HistoryRecord record;
        record.description = description;
        record.reverts = reverts;
        *unkept = 0;
        for (const auto& [path, entry] : pending) {
            const bool counts = final ? entry.written : entry.written || entry.planned;
            if (!counts)
                continue;
            if (!entry.kept) {
                ++*unkept;
                continue;
            }
            const std::optional<std::string>& now = final || !entry.planned ? entry.after : entry.intended;
            if (final && (!entry.readable || entry.before == now))
                continue;
            record.files.push_back({path, entry.before, now});
        }
        return record;
    }

    bool WriteAhead(std::string_view path) {
        for (const auto& [each, entry] : pending) {
            if (entry.kept && entry.planned && !entry.readable)
                return Refuse(each);
        }
        uint64_t unkept = 0;
        HistoryRecord record = Compose(false, &unkept);
        if (record.files.empty())
            return true;
        record.open = true;
        // A record larger than the whole history could never be read back.
        if (Serialize(record).size() > kHistoryMaxBytes)
            return Refuse(path);
        if (openId != 0) {
            record.id = openId;
            record.time = openTime;
            if (!WriteRecordFile(RecordPath(folder, openId), Serialize(record)))
                return Refuse(path);
            return true;
        }
        openTime = platform::IsoDateTimeText();
        record.time = openTime;
        platform::FileWriteLock locked(LockPath(folder));
        platform::CreateFolder(folder);
        const std::vector<StoredRecord> stored = StoredRecords(folder, nullptr, true);
        record.id = stored.empty() ? 1 : stored.back().id + 1;
        // The marker first, so that no other program takes the record for abandoned; the record's
        // name is taken only while free, so a program recording at the same moment never shares it.
        for (int attempt = 0; attempt < 1000 && record.id <= kHistoryMaxId; ++attempt, ++record.id) {
            std::unique_ptr<platform::WorkMarker> taken =
                platform::WorkMarker::Take(MarkerPath(folder, record.id));
            if (!taken)
                continue;
            const platform::CreateResult created =
                platform::CreateFileExclusively(RecordPath(folder, record.id), Serialize(record));
            if (created == platform::CreateResult::Exists)
                continue;
            if (created == platform::CreateResult::Failed)
                break;
            openId = record.id;
            marker = std::move(taken);
            return true;
        }
        return Refuse(path);
    }

    bool Refuse(std::string_view path) {
        if (!refused)
            refusedPath = std::string(path);
        refused = true;
        return false;
    }

    // A command that failed part way: every file it wrote goes back to what it held (a file it
    // made goes), as long as nobody changed it since, and so do the folders it made; the record
    // goes too. What cannot be taken back stays recorded, so that undo still sees it.
    void RollBack() {
        platform::ReplaceObserver* observer = platform::SetReplaceObserver(nullptr);
        for (auto& [path, entry] : pending) {
            if (!entry.written)
                continue;
            bool back = false;
            if (entry.kept && entry.readable) {
                platform::FileWriteLock locked(path);
                std::string bytes;
                const platform::ReadResult read = platform::ReadWholeFile(path, bytes, kMaxWatchedFile);
                const bool asWritten = entry.after ? read == platform::ReadResult::Ok && bytes == *entry.after
                                                   : read == platform::ReadResult::Missing;
                if (asWritten)
                    back = entry.before ? platform::ReplaceFileAtomically(path, *entry.before)
                                        : platform::DeleteFileAt(path);
            } else if (!entry.kept && !entry.existed) {
                back = platform::DeleteFileAt(path);
            }
            if (back)
                entry.written = false;
        }
        platform::SetReplaceObserver(observer);
        for (auto made = madeFolders.rbegin(); made != madeFolders.rend(); ++made)
            platform::RemoveFolder(*made); // only while empty
        madeFolders.clear();
        Flush();
    }

    void Flush() {
        uint64_t unkept = 0;
        HistoryRecord record = Compose(true, &unkept);
        pending.clear();
        madeFolders.clear();
        abandoned = false;
        if (unkept > 0)
            record.description.append(" ").append(
                FormatPrintf(Message(Msg::HistTooLargeToKeep), {std::to_string(unkept)}));
        if (openId != 0) {
            const std::string path = RecordPath(folder, openId);
            record.id = openId;
            record.time = openTime;
            // Should the last write fail, the record stays open and the next start settles it.
            if (record.files.empty())
                platform::DeleteFileAt(path);
            else if (WriteRecordFile(path, Serialize(record))) {
                std::vector<std::string> paths;
                for (const HistoryFileChange& file : record.files)
                    paths.push_back(file.path);
                finished.push_back({record.id, record.description, std::move(paths)});
            }
            marker.reset();
            openId = 0;
            platform::FileWriteLock locked(LockPath(folder));
            DropOldRecords(folder);
        }
        if (refused) {
            refused = false;
            ShowAppMessage(FormatPrintf(Message(Msg::HistoryNotWritten), {folder, refusedPath}), kStyleError,
                           Outcome::Failed, Msg::HistoryNotWritten);
        }
    }
};

Recorder& TheRecorder() {
    static Recorder recorder;
    return recorder;
}

} // namespace

void StartHistory(std::string_view folder) {
    Recorder& recorder = TheRecorder();
    recorder.folder = std::string(folder);
    recorder.pending.clear();
    platform::SetReplaceObserver(folder.empty() ? nullptr : &recorder);
    FinishAbandonedChanges();
}

void ReadHistoryFrom(std::string_view folder) {
    TheRecorder().folder = std::string(folder);
}

std::string HistoryFolderOf(std::string_view settingsFile) {
    const size_t cut = settingsFile.find_last_of("\\:");
    return std::string(settingsFile.substr(0, cut == std::string_view::npos ? 0 : cut + 1)) + "history";
}

const std::string& HistoryFolder() {
    return TheRecorder().folder;
}

RecordedChange::RecordedChange(std::string description, uint64_t reverts) {
    Recorder& recorder = TheRecorder();
    if (recorder.depth++ == 0) {
        recorder.description = std::move(description);
        recorder.reverts = reverts;
    } else if (recorder.description.empty()) {
        recorder.description = std::move(description); // an outer one that left it to this one
    }
}

RecordedChange::~RecordedChange() {
    Recorder& recorder = TheRecorder();
    if (--recorder.depth != 0)
        return;
    if (recorder.abandoned)
        recorder.RollBack();
    else
        recorder.Flush();
}

void RecordedChange::Name(std::string description) {
    Recorder& recorder = TheRecorder();
    if (recorder.description.empty())
        recorder.description = std::move(description);
}

void RecordedChange::Abandon() {
    TheRecorder().abandoned = true;
}

const std::vector<MadeRecord>& RecordsMadeHere() {
    return TheRecorder().finished;
}

void FolderMadeInThisChange(std::string_view path) {
    Recorder& recorder = TheRecorder();
    if (recorder.depth > 0)
        recorder.madeFolders.emplace_back(path);
}

bool MakeFoldersInThisChange(std::string path) {
    while (path.size() > 3 && path.back() == '\\')
        path.pop_back();
    if (path.size() <= 3 || platform::DirectoryExists(path))
        return true;
    if (!MakeFoldersInThisChange(FolderPart(path)) || !platform::CreateFolder(path))
        return false;
    FolderMadeInThisChange(path);
    return true;
}

RecordedMove::RecordedMove(std::vector<std::pair<std::string, std::string>> fromTo) {
    Recorder& recorder = TheRecorder();
    if (recorder.depth == 0 || recorder.folder.empty())
        return;
    // Their sizes decide first, so that a set too large is not read at all.
    uint64_t total = 0;
    for (const auto& [from, to] : fromTo)
        for (const std::string& path : {from, to})
            if (std::optional<platform::FileStamp> stamp = platform::StampOf(path))
                total += stamp->size;
    bool kept = total <= kHistoryMaxChangeBytes;
    std::vector<std::optional<std::string>> intended(fromTo.size());
    for (size_t i = 0; kept && i < fromTo.size(); ++i) {
        std::string bytes;
        if (platform::ReadWholeFile(fromTo[i].first, bytes, kHistoryMaxChangeBytes) !=
            platform::ReadResult::Ok)
            kept = false;
        intended[i] = std::move(bytes);
    }
    m_watching = true;
    for (size_t i = 0; i < fromTo.size(); ++i) {
        m_targets.push_back(fromTo[i].second);
        if (!recorder.Plan(fromTo[i].second, kept ? std::move(intended[i]) : std::nullopt, false, kept))
            m_ready = false;
    }
    m_ready = m_ready && recorder.WriteAhead(m_targets.empty() ? "" : m_targets.front());
}

RecordedMove::~RecordedMove() {
    if (!m_watching)
        return;
    // Cut short: those that hold what they were to hold did change; the others did not.
    Recorder& recorder = TheRecorder();
    for (const std::string& path : m_targets) {
        auto found = recorder.pending.find(path);
        if (found == recorder.pending.end() || !found->second.planned)
            continue;
        std::string bytes;
        const bool changed =
            found->second.kept &&
            platform::ReadWholeFile(path, bytes, kMaxWatchedFile) == platform::ReadResult::Ok &&
            found->second.intended == bytes;
        Recorder::Settle(found->second, changed, std::move(bytes));
    }
}

void RecordedMove::Done() {
    if (!m_watching)
        return;
    Recorder& recorder = TheRecorder();
    for (const std::string& path : m_targets) {
        auto found = recorder.pending.find(path);
        if (found != recorder.pending.end() && found->second.planned)
            Recorder::Settle(found->second, true, std::move(found->second.intended));
    }
    m_watching = false;
}

namespace history_detail {

bool PlanWrites(const std::vector<std::pair<std::string, std::optional<std::string>>>& files) {
    Recorder& recorder = TheRecorder();
    if (recorder.folder.empty() || files.empty())
        return true;
    for (const auto& [path, bytes] : files)
        if (!recorder.Plan(path, bytes, false))
            return false;
    return recorder.WriteAhead(files.front().first);
}

bool PlanRemoval(const std::string& path) {
    Recorder& recorder = TheRecorder();
    return recorder.folder.empty() || recorder.Plan(path, std::nullopt, true);
}

void Removed(const std::string& path, bool done) {
    Recorder& recorder = TheRecorder();
    if (auto found = recorder.pending.find(path); found != recorder.pending.end())
        Recorder::Settle(found->second, done, std::nullopt);
}

} // namespace history_detail

void FinishAbandonedChanges() {
    const std::string folder = TheRecorder().folder;
    if (folder.empty())
        return;
    // Claimed under the history's lock, finished outside it: finishing takes the files' locks,
    // which a program writing them holds while it waits for the history's.
    std::vector<std::pair<uint64_t, std::unique_ptr<platform::WorkMarker>>> claimed;
    {
        platform::FileWriteLock locked(LockPath(folder));
        for (const StoredRecord& each : StoredRecords(folder, nullptr, false)) {
            if (each.id == TheRecorder().openId)
                continue;
            std::optional<HistoryRecord> record = ReadRecord(folder, each.id, false);
            if (!record || !record->open)
                continue;
            if (std::unique_ptr<platform::WorkMarker> marker =
                    platform::WorkMarker::Take(MarkerPath(folder, each.id)))
                claimed.emplace_back(each.id, std::move(marker));
        }
        // A marker whose program was killed before its record was made: taking it removes it.
        for (const platform::FindData& found : platform::FindFiles(JoinPath(folder, "*.open"))) {
            const std::string digits = found.Name.substr(0, found.Name.find('.'));
            const uint64_t id = digits.size() == 10 && std::all_of(digits.begin(), digits.end(), ::isdigit)
                                    ? std::stoull(digits)
                                    : 0;
            if (id != 0 && id != TheRecorder().openId && !platform::FileExists(RecordPath(folder, id)))
                platform::WorkMarker::Take(MarkerPath(folder, id));
        }
    }
    for (const auto& [id, marker] : claimed)
        FinishAbandoned(folder, id);
    if (!claimed.empty()) {
        platform::FileWriteLock locked(LockPath(folder));
        DropOldRecords(folder);
    }
}

} // namespace varnel
