// Recording the change history: the observer that sees every file replacement, the records it
// writes, and their bounds.

#include "ops/history.h"

#include "catalog/host_config.h"
#include "catalog/module_info.h"
#include "catalog/plugin_table.h"
#include "lang/language.h"
#include "platform/files.h"
#include "platform/system.h"
#include "util/text.h"

#include <algorithm>
#include <map>

namespace varnel {

namespace {

constexpr std::string_view kMagic = "TC Varnel history 1";
constexpr size_t kMaxWatchedFile = 64 * 1024 * 1024;

std::string RecordName(uint64_t id) {
    std::string digits = std::to_string(id);
    return std::string(10 - std::min<size_t>(10, digits.size()), '0') + digits + ".rec";
}

// One line of the record's header: control characters (a crafted plugin name) become blanks.
std::string OneLine(std::string_view text) {
    std::string line(text);
    for (char& c : line)
        if (static_cast<unsigned char>(c) < 0x20)
            c = ' ';
    return line;
}

std::string Serialize(const HistoryRecord& record) {
    std::string header = std::string(kMagic) + "\n";
    header += "id=" + std::to_string(record.id) + "\n";
    header += "time=" + OneLine(record.time) + "\n";
    header += "reverts=" + std::to_string(record.reverts) + "\n";
    header += "description=" + OneLine(record.description) + "\n";
    std::string body;
    auto size = [](const std::optional<std::string>& bytes) {
        return bytes ? std::to_string(bytes->size()) : std::string("none");
    };
    for (const HistoryFileChange& file : record.files) {
        header += "file=" + OneLine(file.path) + "\n";
        header += "before=" + size(file.before) + "\n";
        header += "after=" + size(file.after) + "\n";
        if (file.before)
            body += *file.before;
        if (file.after)
            body += *file.after;
    }
    return header + "\n" + body;
}

std::optional<HistoryRecord> Parse(std::string_view bytes, bool withBytes) {
    const size_t end = bytes.find("\n\n");
    if (end == std::string_view::npos || bytes.substr(0, kMagic.size() + 1) != std::string(kMagic) + "\n")
        return std::nullopt;
    HistoryRecord record;
    std::string_view header = bytes.substr(kMagic.size() + 1, end + 1 - kMagic.size() - 1);
    std::string_view body = bytes.substr(end + 2);
    struct Sizes {
        std::optional<uint64_t> before, after;
    };
    std::vector<Sizes> sizes;
    auto number = [](std::string_view text) -> std::optional<uint64_t> {
        if (text.empty() || text.size() > 19 ||
            !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return std::nullopt;
        return std::stoull(std::string(text));
    };
    while (!header.empty()) {
        size_t eol = header.find('\n');
        std::string_view line = header.substr(0, eol);
        header.remove_prefix(eol + 1);
        size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            return std::nullopt;
        std::string_view key = line.substr(0, equals), value = line.substr(equals + 1);
        if (key == "id") {
            record.id = number(value).value_or(0);
        } else if (key == "time") {
            record.time = value;
        } else if (key == "reverts") {
            record.reverts = number(value).value_or(0);
        } else if (key == "description") {
            record.description = value;
        } else if (key == "file") {
            record.files.push_back({std::string(value), std::nullopt, std::nullopt});
            sizes.emplace_back();
        } else if ((key == "before" || key == "after") && !sizes.empty()) {
            std::optional<uint64_t> n = number(value);
            if (!n && value != "none")
                return std::nullopt;
            (key == "before" ? sizes.back().before : sizes.back().after) = n;
        }
    }
    if (record.id == 0)
        return std::nullopt;
    for (size_t i = 0; i < sizes.size(); ++i) {
        for (auto [size, bytesOut] : {std::pair{sizes[i].before, &record.files[i].before},
                                      std::pair{sizes[i].after, &record.files[i].after}}) {
            if (!size)
                continue;
            if (*size > body.size())
                return std::nullopt; // cut short: not a record this program wrote whole
            *bytesOut = withBytes ? std::string(body.substr(0, *size)) : std::string();
            body.remove_prefix(*size);
        }
    }
    return record;
}

struct StoredRecord {
    uint64_t id;
    std::string name;
    uint64_t size;
};

std::vector<StoredRecord> StoredRecords(const std::string& folder) {
    std::vector<StoredRecord> stored;
    for (const platform::FindData& found : platform::FindFiles(JoinPath(folder, "*.rec"))) {
        if (found.IsFolder || found.Name.size() != 14)
            continue;
        std::string digits = found.Name.substr(0, 10);
        if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        stored.push_back({std::stoull(digits), found.Name, found.Size});
    }
    std::sort(stored.begin(), stored.end(), [](const auto& a, const auto& b) { return a.id < b.id; });
    return stored;
}

// Keeps the newest records within the bounds; the newest one always stays.
void DropOldRecords(const std::string& folder) {
    std::vector<StoredRecord> stored = StoredRecords(folder);
    uint64_t total = 0;
    for (const StoredRecord& each : stored)
        total += each.size;
    size_t first = 0;
    while (stored.size() - first > 1 &&
           (stored.size() - first > kHistoryMaxRecords || total > kHistoryMaxBytes)) {
        platform::DeleteFileAt(JoinPath(folder, stored[first].name));
        total -= stored[first].size;
        ++first;
    }
}

bool IsWatched(std::string_view path) {
    const std::string name = FileNamePart(path);
    const std::string& ini = Host().HostIniPath;
    return (!ini.empty() && EqualsNoCaseAnsi(path, ini)) || EqualsNoCaseAscii(name, "descript.ion") ||
           (name.size() > 4 && EqualsNoCaseAscii(name.substr(name.size() - 4), ".bar"));
}

class Recorder : public platform::ReplaceObserver {
public:
    std::string folder;
    int depth = 0;
    std::string description;
    uint64_t reverts = 0;
    struct Pending {
        std::optional<std::string> before;
        std::optional<std::string> after;
        bool readable = true;
        bool written = false;
    };
    std::map<std::string, Pending> pending; // by path; a record lists its files in this order
    std::vector<std::string> extra;         // files the change under way asked to be recorded

    void BeforeReplace(std::string_view path) override {
        const bool asked = std::any_of(extra.begin(), extra.end(),
                                       [&](const std::string& each) { return EqualsNoCaseAnsi(each, path); });
        if (!folder.empty() && (IsWatched(path) || asked || (depth > 0 && reverts != 0)))
            Keep(path);
    }

    // Keeps what the file holds now as its bytes before the change under way.
    void Keep(std::string_view path) {
        if (pending.count(std::string(path)) != 0)
            return;
        Pending& entry = pending[std::string(path)];
        std::string bytes;
        switch (platform::ReadWholeFile(path, bytes, kMaxWatchedFile)) {
        case platform::ReadResult::Ok:
            entry.before = std::move(bytes);
            break;
        case platform::ReadResult::Missing:
            break;
        default:
            entry.readable = false; // cannot be kept, so cannot be undone
        }
    }

    void AfterReplace(std::string_view path, std::string_view bytes, bool written) override {
        auto found = pending.find(std::string(path));
        if (found == pending.end())
            return;
        if (written) {
            found->second.after = std::string(bytes);
            found->second.written = true;
        }
        if (depth == 0)
            Flush(FormatPrintf(Message(126), {FileNamePart(path)}), 0);
    }

    // A file this program removed (an undo of the change that made it).
    void Removed(const std::string& path, std::optional<std::string> before) {
        Pending& entry = pending[path];
        if (!entry.written && entry.readable && !entry.before)
            entry.before = std::move(before);
        entry.after.reset();
        entry.written = true;
    }

    void Flush(const std::string& text, uint64_t revertsId) {
        HistoryRecord record;
        record.description = text;
        record.reverts = revertsId;
        for (auto& [path, entry] : pending)
            if (entry.written && entry.readable && entry.before != entry.after)
                record.files.push_back({path, std::move(entry.before), std::move(entry.after)});
        pending.clear();
        extra.clear();
        if (record.files.empty() || folder.empty())
            return;
        platform::CreateFolder(folder);
        std::vector<StoredRecord> stored = StoredRecords(folder);
        record.id = stored.empty() ? 1 : stored.back().id + 1;
        record.time = platform::DateText() + " " + platform::TimeText();
        // Written in one step under its final name, which is taken only while free: another
        // program recording at the same moment gets the next number, and neither record is lost.
        for (int attempt = 0; attempt < 1000; ++attempt, ++record.id) {
            const platform::CreateResult created =
                platform::CreateFileExclusively(JoinPath(folder, RecordName(record.id)), Serialize(record));
            if (created == platform::CreateResult::Created)
                DropOldRecords(folder);
            if (created != platform::CreateResult::Exists)
                break;
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
}

std::string PluginLabel(int row) {
    const PluginEntry& entry = EntryAt(row);
    if (!entry.Name.empty())
        return entry.Name;
    return PluginDisplayName(entry.HostModule.empty() ? entry.FileName : entry.HostModule);
}

std::string OrderChangeText(int kind) {
    return FormatPrintf(Message(133), {Message(84 + kind)});
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
    }
}

RecordedChange::~RecordedChange() {
    Recorder& recorder = TheRecorder();
    if (--recorder.depth == 0)
        recorder.Flush(recorder.description, recorder.reverts);
}

void WatchInThisChange(std::string_view path) {
    if (TheRecorder().depth > 0)
        TheRecorder().extra.emplace_back(path);
}

std::string RecordFilesText(const HistoryRecord& record, size_t shown, std::string_view separator) {
    std::vector<const std::string*> paths;
    for (bool settings : {true, false})
        for (const HistoryFileChange& file : record.files)
            if (IsWatched(file.path) == settings)
                paths.push_back(&file.path);
    std::string text;
    for (size_t i = 0; i < paths.size() && i < shown; ++i)
        text.append(i == 0 ? "" : separator).append(*paths[i]);
    if (paths.size() > shown)
        text.append(separator).append("+" + std::to_string(paths.size() - shown));
    return text;
}

RecordedMove::RecordedMove(std::vector<std::string> paths) : m_paths(std::move(paths)) {
    Recorder& recorder = TheRecorder();
    if (recorder.depth == 0 || recorder.folder.empty())
        return;
    uint64_t total = 0;
    for (const std::string& path : m_paths) {
        if (std::optional<platform::FileStamp> stamp = platform::StampOf(path))
            total += stamp->size;
        if (total > kMaxMovedBytes)
            return;
    }
    m_watching = true;
    for (const std::string& path : m_paths)
        recorder.Keep(path);
}

RecordedMove::~RecordedMove() {
    if (!m_watching)
        return;
    for (const std::string& path : m_paths)
        TheRecorder().pending.erase(path);
}

void RecordedMove::Done() {
    if (!m_watching)
        return;
    Recorder& recorder = TheRecorder();
    std::vector<std::optional<std::string>> now;
    uint64_t total = 0;
    for (const std::string& path : m_paths) {
        std::string bytes;
        const platform::ReadResult read = platform::ReadWholeFile(path, bytes, kMaxMovedBytes);
        if (read != platform::ReadResult::Ok && read != platform::ReadResult::Missing)
            return; // the destructor leaves them all out
        total += bytes.size();
        if (total > kMaxMovedBytes)
            return;
        now.push_back(read == platform::ReadResult::Ok ? std::optional<std::string>(std::move(bytes))
                                                       : std::nullopt);
    }
    for (size_t i = 0; i < m_paths.size(); ++i) {
        if (now[i])
            recorder.AfterReplace(m_paths[i], *now[i], true);
    }
    m_watching = false;
}

namespace history_detail {
void NoteRemoved(const std::string& path, std::optional<std::string> before) {
    TheRecorder().Removed(path, std::move(before));
}
} // namespace history_detail

std::optional<HistoryRecord> LoadHistoryRecord(uint64_t id) {
    const std::string& folder = TheRecorder().folder;
    std::string bytes;
    if (folder.empty() ||
        platform::ReadWholeFile(JoinPath(folder, RecordName(id)), bytes,
                                kHistoryMaxBytes + kMaxWatchedFile) != platform::ReadResult::Ok)
        return std::nullopt;
    std::optional<HistoryRecord> record = Parse(bytes, true);
    if (record && record->id != id)
        return std::nullopt;
    return record;
}

std::vector<HistoryRecord> LoadHistory(bool withBytes) {
    std::vector<HistoryRecord> records;
    const std::string& folder = TheRecorder().folder;
    if (folder.empty())
        return records;
    for (const StoredRecord& each : StoredRecords(folder)) {
        std::string bytes;
        if (platform::ReadWholeFile(JoinPath(folder, each.name), bytes, kHistoryMaxBytes + kMaxWatchedFile) !=
            platform::ReadResult::Ok)
            continue;
        if (std::optional<HistoryRecord> record = Parse(bytes, withBytes); record && record->id == each.id)
            records.push_back(std::move(*record));
    }
    return records;
}

std::vector<bool> RecordsInEffect(const std::vector<HistoryRecord>& records) {
    std::vector<bool> inEffect(records.size(), true);
    std::map<uint64_t, size_t> indexOf;
    for (size_t i = 0; i < records.size(); ++i)
        indexOf[records[i].id] = i;
    // An undo is newer than what it undid, so going from the newest back settles each in turn.
    for (size_t i = records.size(); i-- > 0;) {
        if (!inEffect[i] || records[i].reverts == 0)
            continue;
        if (auto target = indexOf.find(records[i].reverts); target != indexOf.end())
            inEffect[target->second] = false;
    }
    return inEffect;
}

} // namespace varnel
