#include "platform/profile.h"

#include "util/names.h"
#include "util/text.h"

#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/ini_text.h"
#include "platform/paths.h"
#include "platform/profile_file.h"
#include "platform/profile_state.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

namespace varnel::platform {

using namespace profile_detail;

namespace profile_detail {

// Parsed copies of profile files, keyed by machine path. A copy is used only while the file
// still has the same identity, size and nanosecond modification time.
std::map<std::string, CachedFile>& Cache() {
    static std::map<std::string, CachedFile> cache;
    return cache;
}

// A dry run's files as it wrote them: later reads see them, so that a command of several writes
// shows all of them together, as they would have been written.
std::map<std::string, CachedFile>& DryFiles() {
    static std::map<std::string, CachedFile> files;
    return files;
}

bool SameFile(const CachedFile& cached, const FileStamp& stamp) {
    return cached.device == stamp.device && cached.inode == stamp.inode && cached.size == stamp.size &&
           cached.mtimeNs == stamp.mtimeNs;
}

thread_local ProfileAccess g_lastFailure = ProfileAccess::Unreadable;

std::optional<Batch> g_batch;
bool g_lastCommitConflicted = false;

// The open read scope: machine paths already looked up, and the files already checked in it.
struct ReadScope {
    int depth = 0;
    std::map<std::string, std::string, std::less<>> hostOf;
    std::set<std::string> checked;
};
thread_local ReadScope g_readScope;

std::string HostPathOf(std::string_view file) {
    if (g_readScope.depth == 0)
        return ToHostPath(file);
    auto found = g_readScope.hostOf.find(file);
    if (found == g_readScope.hostOf.end())
        found = g_readScope.hostOf.emplace(std::string(file), ToHostPath(file)).first;
    return found->second;
}

bool InBatch(const std::string& host) {
    return g_batch && g_batch->host == host;
}

// Loads (or revalidates) the file. A Unicode file is held as UTF-8 text. Inside a read scope a
// file already checked is not looked at again, unless `forWrite` asks for the file as it is now.
LoadState Load(std::string_view file, const CachedFile** out, bool forWrite) {
    std::string host = HostPathOf(file);
    if (host.empty())
        return LoadState::Missing;
    if (InBatch(host)) {
        if (!g_batch->usable)
            return LoadState::Failed;
        if (!g_batch->existed && !g_batch->dirty)
            return LoadState::Missing;
        *out = &g_batch->working;
        return LoadState::Loaded;
    }
    if (InDryRun())
        if (auto dry = DryFiles().find(host); dry != DryFiles().end()) {
            *out = &dry->second;
            return LoadState::Loaded;
        }
    if (!forWrite && g_readScope.depth > 0 && g_readScope.checked.count(host) != 0) {
        auto found = Cache().find(host);
        if (found != Cache().end()) {
            *out = &found->second;
            return LoadState::Loaded;
        }
    }
    const std::optional<FileStamp> before = StampOfMachinePath(host);
    if (!before) {
        Cache().erase(host);
        return LoadState::Missing;
    }
    auto found = Cache().find(host);
    if (found != Cache().end() && SameFile(found->second, *before)) {
        if (g_readScope.depth > 0)
            g_readScope.checked.insert(host);
        *out = &found->second;
        return LoadState::Loaded;
    }
    std::string bytes;
    ReadResult read = ReadWholeFile(file, bytes, kMaxProfileBytes);
    if (read == ReadResult::Missing)
        return LoadState::Missing;
    if (read != ReadResult::Ok) {
        Cache().erase(host);
        g_lastFailure = read == ReadResult::NotAFile   ? ProfileAccess::NotAFile
                        : read == ReadResult::TooLarge ? ProfileAccess::TooLarge
                                                       : ProfileAccess::Unreadable;
        return LoadState::Failed;
    }
    std::optional<CachedFile> parsed = ParseBytes(std::move(bytes));
    if (!parsed) {
        g_lastFailure = ProfileAccess::Unreadable;
        return LoadState::Failed;
    }
    CachedFile entry = std::move(*parsed);
    // Only a copy whose stamp did not move while it was read may be reused later.
    const std::optional<FileStamp> after = StampOfMachinePath(host);
    if (after && after->size == before->size && after->mtimeNs == before->mtimeNs) {
        entry.device = after->device;
        entry.inode = after->inode;
        entry.size = after->size;
        entry.mtimeNs = after->mtimeNs;
        CachedFile& slot = Cache()[host];
        slot = std::move(entry);
        if (g_readScope.depth > 0)
            g_readScope.checked.insert(host);
        *out = &slot;
        return LoadState::Loaded;
    }
    CachedFile& slot = Cache()[host];
    slot = std::move(entry);
    slot.mtimeNs = -1; // never matches: reread next time
    *out = &slot;
    return LoadState::Loaded;
}

} // namespace profile_detail

std::string ProfileReadString(std::string_view file, std::string_view section, std::string_view key,
                              std::string_view defaultValue, size_t bufferChars) {
    auto fallback = [&] {
        std::string value(defaultValue);
        if (bufferChars == 0)
            return std::string();
        if (value.size() > bufferChars - 1)
            value.resize(bufferChars - 1);
        return value;
    };
    const CachedFile* cached = nullptr;
    if (Load(file, &cached) != LoadState::Loaded)
        return fallback();
    std::optional<std::string> value =
        cached->text.ReadValue(ToEngine(*cached, section), ToEngine(*cached, key), std::string::npos);
    if (!value)
        return fallback();
    std::string result = FromEngine(*cached, *value);
    if (bufferChars == 0)
        return {};
    if (result.size() > bufferChars - 1)
        result.resize(bufferChars - 1);
    return result;
}

std::string ProfileReadKeyNames(std::string_view file, std::string_view section, size_t bufferChars,
                                size_t* count) {
    const CachedFile* cached = nullptr;
    if (Load(file, &cached) != LoadState::Loaded)
        return IniText().ReadKeyNames(section, bufferChars, count);
    std::vector<std::string> names = cached->text.KeyNames(ToEngine(*cached, section));
    if (cached->Unicode())
        for (std::string& name : names)
            name = Utf8ToHostText(name);
    return IniText::PackKeyNames(names, bufferChars, count);
}

namespace profile_detail {

// The sections this program added to a file in this run. One of them that its deletions leave
// empty goes again, header and all, so that adding and removing leaves the file as it was.
std::set<std::string>& CreatedSections() {
    static std::set<std::string> created;
    return created;
}

std::string SectionTag(const std::string& host, std::string_view section) {
    std::string tag = host + '\n';
    for (char c : section)
        tag.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
    return tag;
}

// One write on a working copy, in the copy's own encoding; true when its text changed.
bool ApplyWrite(const std::string& host, CachedFile& working, std::string_view section, std::string_view key,
                std::optional<std::string_view> value) {
    std::optional<std::string> engineValue;
    if (value)
        engineValue = ToEngine(working, *value);
    std::optional<std::string_view> engineView;
    if (engineValue)
        engineView = *engineValue;
    const std::string engineSection = ToEngine(working, section);
    const bool existed = working.text.HasSection(engineSection);
    if (!working.text.Write(engineSection, ToEngine(working, key), engineView))
        return false;
    const std::string tag = SectionTag(host, engineSection);
    if (value && !existed)
        CreatedSections().insert(tag);
    else if (!value && CreatedSections().count(tag) != 0 && working.text.RemoveEmptySection(engineSection))
        CreatedSections().erase(tag);
    return true;
}

// The keys and values of a section, in host text.
std::vector<std::pair<std::string, std::string>> SectionEntries(const CachedFile& file,
                                                                std::string_view section) {
    std::vector<std::pair<std::string, std::string>> entries;
    const std::string engineSection = ToEngine(file, section);
    for (const std::string& name : file.text.KeyNames(engineSection))
        entries.emplace_back(
            FromEngine(file, name),
            FromEngine(file, file.text.ReadValue(engineSection, name, std::string::npos).value_or("")));
    return entries;
}

// The batch's edits on the file as another program has left it meanwhile: nullopt when that
// program changed a section the batch edits too (the edits would then no longer fit).
std::optional<CachedFile> Rebase(const Batch& batch, CachedFile current) {
    for (const auto& [tag, base] : batch.baseSections)
        if (base.second != SectionEntries(current, base.first))
            return std::nullopt;
    for (const Batch::Edit& edit : batch.edits) {
        std::optional<std::string_view> value;
        if (edit.value)
            value = *edit.value;
        ApplyWrite(batch.host, current, edit.section, edit.key, value);
    }
    return current;
}

// After a successful replace, keeps what was written as the cached copy.
void RememberWritten(const std::string& host, CachedFile working, std::string_view bytes) {
    if (InDryRun()) {
        DryFiles()[host] = std::move(working);
        return;
    }
    const std::optional<FileStamp> stamp = StampOfMachinePath(host);
    if (stamp && stamp->size == bytes.size()) {
        working.hash = ContentHash(bytes);
        working.device = stamp->device;
        working.inode = stamp->inode;
        working.size = stamp->size;
        working.mtimeNs = stamp->mtimeNs;
        Cache()[host] = std::move(working);
    } else {
        Cache().erase(host);
    }
}

} // namespace profile_detail

ProfileReadScope::ProfileReadScope() {
    ++g_readScope.depth;
}

ProfileReadScope::~ProfileReadScope() {
    if (--g_readScope.depth == 0) {
        g_readScope.hostOf.clear();
        g_readScope.checked.clear();
    }
}

namespace {

// Runs one edit of a profile file: on the open batch's copy (where `edits` are also recorded for a
// later rebase), or on the file itself, which is then replaced in one step. `createsFile` says
// whether the edit may make a missing file.
bool EditFile(std::string_view file, bool createsFile, const std::vector<Batch::Edit>& edits,
              const std::function<bool(const std::string& host, CachedFile&)>& edit) {
    const std::string host = HostPathOf(file);
    if (InBatch(host)) {
        if (!g_batch->usable)
            return false;
        for (const Batch::Edit& each : edits) {
            std::string tag = SectionTag(std::string(), each.section);
            if (g_batch->baseSections.count(tag) == 0)
                g_batch->baseSections.emplace(
                    tag, std::make_pair(each.section, SectionEntries(g_batch->working, each.section)));
        }
        if (edit(host, g_batch->working))
            g_batch->dirty = true;
        g_batch->edits.insert(g_batch->edits.end(), edits.begin(), edits.end());
        return true;
    }
    const CachedFile* cached = nullptr;
    LoadState state = Load(file, &cached, true);
    if (state == LoadState::Failed)
        return false;
    CachedFile working;
    if (state == LoadState::Loaded) {
        working.encoding = cached->encoding;
        working.oddByte = cached->oddByte;
        working.text = cached->text;
    } else if (!createsFile) {
        return true; // deleting from a missing file changes nothing
    }
    if (!edit(host, working))
        return true; // nothing to change
    std::optional<std::string> bytes = Serialize(working);
    if (!bytes || !ReplaceFileAtomically(file, *bytes))
        return false;
    RememberWritten(host, std::move(working), *bytes);
    return true;
}

} // namespace

namespace {

bool IsSafeSection(std::string_view section) {
    return IsSafeProfileValue(section) && section.find(']') == std::string_view::npos;
}

} // namespace

bool ProfileWriteString(std::string_view file, std::string_view section, std::string_view key,
                        std::optional<std::string_view> value) {
    // The last line of defence: a key or value that would change the file's structure (a new
    // line, a section header, a comment, a split at "=") is never written.
    if (!IsSafeProfileKey(key) || !IsSafeSection(section) || (value && !IsSafeProfileValue(*value)))
        return false;
    std::optional<std::string> copy;
    if (value)
        copy = std::string(*value);
    return EditFile(file, value.has_value(), {{std::string(section), std::string(key), copy}},
                    [&](const std::string& host, CachedFile& working) {
                        return ApplyWrite(host, working, section, key, value);
                    });
}

bool ProfileRemoveEmptySection(std::string_view file, std::string_view section) {
    if (!IsSafeSection(section))
        return false;
    return EditFile(file, false, {}, [&](const std::string&, CachedFile& working) {
        return working.text.RemoveEmptySection(ToEngine(working, section));
    });
}

bool ProfileReplaceKeys(std::string_view file, std::string_view section,
                        const std::vector<std::string>& removeKeys,
                        const std::vector<std::pair<std::string, std::string>>& entries) {
    if (!IsSafeSection(section))
        return false;
    for (const std::string& key : removeKeys)
        if (!IsSafeProfileKey(key))
            return false;
    for (const auto& [key, value] : entries)
        if (!IsSafeProfileKey(key) || !IsSafeProfileValue(value))
            return false;
    // The same edits key by key, for a rebase onto another program's version of the file.
    std::vector<Batch::Edit> edits;
    for (const std::string& key : removeKeys)
        edits.push_back({std::string(section), key, std::nullopt});
    for (const auto& [key, value] : entries)
        edits.push_back({std::string(section), key, value});
    return EditFile(file, !entries.empty(), edits, [&](const std::string& host, CachedFile& working) {
        const std::string engineSection = ToEngine(working, section);
        if (!working.text.HasSection(engineSection)) {
            bool changed = false;
            for (const Batch::Edit& edit : edits) {
                std::optional<std::string_view> value;
                if (edit.value)
                    value = *edit.value;
                changed = ApplyWrite(host, working, section, edit.key, value) || changed;
            }
            return changed;
        }
        std::vector<std::string> engineKeys;
        for (const std::string& key : removeKeys)
            engineKeys.push_back(ToEngine(working, key));
        std::vector<std::pair<std::string, std::string>> engineEntries;
        for (const auto& [key, value] : entries)
            engineEntries.emplace_back(ToEngine(working, key), ToEngine(working, value));
        return working.text.ReplaceKeys(engineSection, engineKeys, engineEntries);
    });
}

std::optional<std::vector<std::string>> ProfileSectionNames(const std::string& bytes) {
    std::optional<CachedFile> file = ParseBytes(bytes);
    if (!file)
        return std::nullopt;
    std::vector<std::string> names;
    for (const std::string& name : file->text.SectionNames())
        names.push_back(FromEngine(*file, name));
    return names;
}

std::optional<std::vector<ProfileKeyEdit>> ProfileDifferences(const std::optional<std::string>& from,
                                                              const std::optional<std::string>& to) {
    std::optional<CachedFile> before = from ? ParseBytes(*from) : CachedFile();
    std::optional<CachedFile> after = to ? ParseBytes(*to) : CachedFile();
    if (!before || !after)
        return std::nullopt;
    using Entries = std::vector<std::pair<std::string, std::string>>;
    // Section name -> its entries, each key once (the first, as the host reads it).
    auto sections = [](const CachedFile& file) {
        std::map<std::string, std::pair<std::string, Entries>> result;
        for (const std::string& name : file.text.SectionNames()) {
            std::string section = FromEngine(file, name);
            auto& slot = result[LowerAscii(section)];
            slot.first = section;
            std::set<std::string> seen;
            for (auto& entry : SectionEntries(file, section))
                if (seen.insert(LowerAscii(entry.first)).second)
                    slot.second.push_back(std::move(entry));
        }
        return result;
    };
    const auto beforeSections = sections(*before);
    const auto afterSections = sections(*after);
    std::vector<ProfileKeyEdit> edits;
    auto valueIn = [](const Entries& entries, const std::string& key) -> std::optional<std::string> {
        for (const auto& [name, value] : entries)
            if (EqualsNoCaseAscii(name, key))
                return value;
        return std::nullopt;
    };
    std::set<std::string> names;
    for (const auto& each : beforeSections)
        names.insert(each.first);
    for (const auto& each : afterSections)
        names.insert(each.first);
    static const Entries kNone;
    for (const std::string& name : names) {
        auto b = beforeSections.find(name);
        auto a = afterSections.find(name);
        const std::string& section = b != beforeSections.end() ? b->second.first : a->second.first;
        const Entries& was = b != beforeSections.end() ? b->second.second : kNone;
        const Entries& is = a != afterSections.end() ? a->second.second : kNone;
        for (const auto& [key, value] : was)
            if (valueIn(is, key) != value)
                edits.push_back({section, key, valueIn(is, key)});
        for (const auto& [key, value] : is)
            if (!valueIn(was, key))
                edits.push_back({section, key, value});
    }
    return edits;
}

ProfileAccess CheckProfileFile(std::string_view file) {
    const CachedFile* cached = nullptr;
    switch (Load(file, &cached)) {
    case LoadState::Loaded:
        return ProfileAccess::Readable;
    case LoadState::Missing:
        return ProfileAccess::Missing;
    case LoadState::Failed:
        break;
    }
    return g_lastFailure;
}

void ResetProfileCache() {
    Cache().clear();
}

} // namespace varnel::platform
