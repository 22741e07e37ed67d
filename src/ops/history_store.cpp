// The history's record files: names, text, listing, checked reading and the bounds; the records
// read back for the history's lists and undo.

#include "ops/history_store.h"

#include "platform/files.h"
#include "util/text.h"

#include <algorithm>
#include <map>

namespace varnel::history_detail {

namespace {

constexpr std::string_view kMagic = "TC Varnel history 1";
// Enough for the header of an install of many thousand files.
constexpr size_t kMaxHeaderBytes = 8 * 1024 * 1024;

std::string RecordName(uint64_t id) {
    std::string digits = std::to_string(id);
    return std::string(10 - std::min<size_t>(10, digits.size()), '0') + digits;
}

// One line of the record's header: control characters (a crafted plugin name) become blanks.
std::string OneLine(std::string_view text) {
    std::string line(text);
    for (char& c : line)
        if (static_cast<unsigned char>(c) < 0x20)
            c = ' ';
    return line;
}

std::optional<uint64_t> Number(std::string_view text) {
    if (text.empty() || text.size() > 18 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return std::stoull(std::string(text));
}

// `bytes` holds the header at least, `fileSize` is the whole file's size: the sizes the header
// gives must add up to it exactly.
std::optional<HistoryRecord> Parse(std::string_view bytes, uint64_t fileSize, bool withBytes) {
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
    uint64_t bodySize = 0;
    while (!header.empty()) {
        const size_t eol = header.find('\n');
        std::string_view line = header.substr(0, eol);
        header.remove_prefix(eol + 1);
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            return std::nullopt;
        std::string_view key = line.substr(0, equals), value = line.substr(equals + 1);
        if (key == "id") {
            record.id = Number(value).value_or(0);
        } else if (key == "time") {
            record.time = value;
        } else if (key == "reverts") {
            record.reverts = Number(value).value_or(kHistoryMaxId + 1);
        } else if (key == "description") {
            record.description = value;
        } else if (key == "state") {
            record.open = value == "open";
        } else if (key == "file") {
            if (value.empty())
                return std::nullopt;
            record.files.push_back({std::string(value), std::nullopt, std::nullopt});
            sizes.emplace_back();
        } else if ((key == "before" || key == "after") && !sizes.empty()) {
            std::optional<uint64_t> n = Number(value);
            if (!n && value != "none")
                return std::nullopt;
            (key == "before" ? sizes.back().before : sizes.back().after) = n;
            bodySize += n.value_or(0);
            if (bodySize > fileSize)
                return std::nullopt;
        }
    }
    if (record.id == 0 || record.id > kHistoryMaxId || record.reverts > kHistoryMaxId ||
        record.reverts >= record.id)
        return std::nullopt;
    if (end + 2 + bodySize != fileSize)
        return std::nullopt; // cut short or grown: not a record this program wrote whole
    if (!withBytes)
        return record;
    if (body.size() != bodySize)
        return std::nullopt;
    for (size_t i = 0; i < sizes.size(); ++i) {
        for (auto [size, bytesOut] : {std::pair{sizes[i].before, &record.files[i].before},
                                      std::pair{sizes[i].after, &record.files[i].after}}) {
            if (!size)
                continue;
            *bytesOut = std::string(body.substr(0, *size));
            body.remove_prefix(*size);
        }
    }
    return record;
}

} // namespace

std::string RecordPath(const std::string& folder, uint64_t id) {
    return JoinPath(folder, RecordName(id) + ".rec");
}

std::string MarkerPath(const std::string& folder, uint64_t id) {
    return JoinPath(folder, RecordName(id) + ".open");
}

std::string LockPath(const std::string& folder) {
    return JoinPath(folder, "history.lock");
}

std::string Serialize(const HistoryRecord& record) {
    std::string header = std::string(kMagic) + "\n";
    header += "id=" + std::to_string(record.id) + "\n";
    header += "time=" + OneLine(record.time) + "\n";
    header += "reverts=" + std::to_string(record.reverts) + "\n";
    header += "description=" + OneLine(record.description) + "\n";
    if (record.open)
        header += "state=open\n";
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

std::vector<StoredRecord> StoredRecords(const std::string& folder, std::vector<std::string>* skipped,
                                        bool anyNumber) {
    std::vector<StoredRecord> stored;
    for (const platform::FindData& found : platform::FindFiles(JoinPath(folder, "*.rec"))) {
        const std::string digits = found.Name.substr(0, 10);
        if (found.Name.size() != 14 || !EqualsNoCaseAscii(found.Name.substr(10), ".rec") ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue; // not named as a record: none of ours
        const uint64_t id = std::stoull(digits);
        const bool damaged = found.IsFolder || found.Size > kHistoryMaxBytes || id == 0 || id > kHistoryMaxId;
        if (damaged && skipped)
            skipped->push_back(found.Name);
        if (!damaged || (anyNumber && id != 0 && id <= kHistoryMaxId))
            stored.push_back({id, found.Name, found.IsFolder ? 0 : found.Size});
    }
    std::sort(stored.begin(), stored.end(), [](const auto& a, const auto& b) { return a.id < b.id; });
    return stored;
}

std::optional<HistoryRecord> ReadRecord(const std::string& folder, uint64_t id, bool withBytes) {
    const std::string path = RecordPath(folder, id);
    std::unique_ptr<ByteSource> source = platform::OpenFileForReading(path);
    if (!source || source->Size() > kHistoryMaxBytes)
        return std::nullopt;
    const uint64_t size = source->Size();
    std::string bytes(withBytes ? size : std::min<uint64_t>(size, kMaxHeaderBytes), '\0');
    if (!source->Read(0, bytes.size(), bytes.data()))
        return std::nullopt;
    std::optional<HistoryRecord> record = Parse(bytes, size, withBytes);
    if (!record || record->id != id)
        return std::nullopt;
    for (const HistoryFileChange& file : record->files)
        if (!IsRecordableFile(file.path))
            return std::nullopt;
    return record;
}

bool WriteRecordFile(const std::string& path, const std::string& bytes) {
    platform::ReplaceObserver* observer = platform::SetReplaceObserver(nullptr);
    const bool written = platform::ReplaceFileAtomically(path, bytes);
    platform::SetReplaceObserver(observer);
    return written;
}

void DropOldRecords(const std::string& folder) {
    std::vector<StoredRecord> stored = StoredRecords(folder, nullptr, false);
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

} // namespace varnel::history_detail

namespace varnel {

using namespace history_detail;

std::optional<HistoryRecord> LoadHistoryRecord(uint64_t id) {
    const std::string& folder = HistoryFolder();
    if (folder.empty() || id == 0 || id > kHistoryMaxId)
        return std::nullopt;
    return ReadRecord(folder, id, true);
}

std::vector<HistoryRecord> LoadHistory(bool withBytes, std::vector<std::string>* skipped) {
    std::vector<HistoryRecord> records;
    const std::string& folder = HistoryFolder();
    if (folder.empty())
        return records;
    for (const StoredRecord& each : StoredRecords(folder, skipped, false)) {
        if (std::optional<HistoryRecord> record = ReadRecord(folder, each.id, withBytes))
            records.push_back(std::move(*record));
        else if (skipped)
            skipped->push_back(each.name);
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
