#include "platform/profile.h"

#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/ini_text.h"
#include "platform/paths.h"

#include <map>
#include <memory>
#include <sys/stat.h>
#include <vector>

namespace varnel::platform {

namespace {

constexpr std::string_view kUtf16Bom = "\xFF\xFE";

struct CachedFile {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    long long mtimeNs = 0;
    bool utf16 = false;
    IniText text;
};

// Parsed copies of profile files, keyed by machine path. A copy is used only while the file
// still has the same identity, size and nanosecond modification time.
std::map<std::string, CachedFile>& Cache() {
    static std::map<std::string, CachedFile> cache;
    return cache;
}

long long MtimeNs(const struct stat& st) {
    return static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
}

bool SameFile(const CachedFile& cached, const struct stat& st) {
    return cached.device == st.st_dev && cached.inode == st.st_ino && cached.size == st.st_size &&
           cached.mtimeNs == MtimeNs(st);
}

enum class LoadState { Loaded, Missing, Failed };

// Loads (or revalidates) the file. A Unicode file is held as UTF-8 text.
LoadState Load(std::string_view file, const CachedFile** out) {
    std::string host = ToHostPath(file);
    if (host.empty())
        return LoadState::Missing;
    struct stat before;
    if (stat(host.c_str(), &before) != 0) {
        Cache().erase(host);
        return LoadState::Missing;
    }
    auto found = Cache().find(host);
    if (found != Cache().end() && SameFile(found->second, before)) {
        *out = &found->second;
        return LoadState::Loaded;
    }
    std::string bytes;
    ReadResult read = ReadWholeFile(file, bytes);
    if (read == ReadResult::Missing)
        return LoadState::Missing;
    if (read == ReadResult::Failed)
        return LoadState::Failed;
    CachedFile entry;
    if (bytes.size() >= 2 && std::string_view(bytes).substr(0, 2) == kUtf16Bom) {
        std::string utf8;
        if (!Utf16LeToUtf8(std::string_view(bytes).substr(2), utf8))
            return LoadState::Failed;
        entry.utf16 = true;
        entry.text = IniText(std::move(utf8), IniText::Folding::Ascii);
    } else {
        entry.text = IniText(std::move(bytes), IniText::Folding::Ansi);
    }
    // Only a copy whose stat did not move while it was read may be reused later.
    struct stat after;
    if (stat(host.c_str(), &after) == 0 && after.st_size == before.st_size &&
        MtimeNs(after) == MtimeNs(before)) {
        entry.device = after.st_dev;
        entry.inode = after.st_ino;
        entry.size = after.st_size;
        entry.mtimeNs = MtimeNs(after);
        CachedFile& slot = Cache()[host];
        slot = std::move(entry);
        *out = &slot;
        return LoadState::Loaded;
    }
    CachedFile& slot = Cache()[host];
    slot = std::move(entry);
    slot.mtimeNs = -1; // never matches: reread next time
    *out = &slot;
    return LoadState::Loaded;
}

std::string ToEngine(const CachedFile& file, std::string_view ansi) {
    return file.utf16 ? AnsiToUtf8(ansi) : std::string(ansi);
}

std::string FromEngine(const CachedFile& file, std::string_view text) {
    return file.utf16 ? Utf8ToAnsi(text) : std::string(text);
}

} // namespace

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
    if (cached->utf16)
        for (std::string& name : names)
            name = Utf8ToAnsi(name);
    return IniText::PackKeyNames(names, bufferChars, count);
}

bool ProfileWriteString(std::string_view file, std::string_view section, std::string_view key,
                        std::optional<std::string_view> value) {
    const CachedFile* cached = nullptr;
    LoadState state = Load(file, &cached);
    if (state == LoadState::Failed)
        return false;
    CachedFile working;
    if (state == LoadState::Loaded) {
        working.utf16 = cached->utf16;
        working.text = cached->text;
    } else if (!value) {
        return true; // deleting from a missing file changes nothing
    }
    std::optional<std::string> engineValue;
    if (value)
        engineValue = ToEngine(working, *value);
    std::optional<std::string_view> engineView;
    if (engineValue)
        engineView = *engineValue;
    if (!working.text.Write(ToEngine(working, section), ToEngine(working, key), engineView))
        return true; // nothing to change
    std::string bytes;
    if (working.utf16) {
        std::string utf16;
        if (!Utf8ToUtf16Le(working.text.Bytes(), utf16))
            return false;
        bytes.assign(kUtf16Bom);
        bytes += utf16;
    } else {
        bytes = working.text.Bytes();
    }
    if (!ReplaceFileAtomically(file, bytes))
        return false;
    // Keep what was written as the cached copy, valid for exactly the file now on disk.
    std::string host = ToHostPath(file);
    struct stat st;
    if (stat(host.c_str(), &st) == 0 && st.st_size == static_cast<off_t>(bytes.size())) {
        working.device = st.st_dev;
        working.inode = st.st_ino;
        working.size = st.st_size;
        working.mtimeNs = MtimeNs(st);
        Cache()[host] = std::move(working);
    } else {
        Cache().erase(host);
    }
    return true;
}

void ResetProfileCache() {
    Cache().clear();
}

} // namespace varnel::platform
