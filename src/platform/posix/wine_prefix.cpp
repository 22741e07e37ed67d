#include "platform/paths.h"

#include "platform/codepage.h"
#include "platform/posix/files_internal.h"
#include "util/text.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <filesystem>
#include <limits.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace varnel::platform {

namespace {

struct DriveMap {
    std::string prefix;
    std::string targets[26]; // canonical folder per drive letter, empty when unmapped
};

DriveMap& CachedMap() {
    static DriveMap map;
    return map;
}

bool g_mapValid = false;

// The open look-up scope: Windows paths resolved in it, their machine paths and, once asked
// for, the files' status.
struct LookupScope {
    int depth = 0;
    std::unordered_map<std::string, HostFile> resolved;
};
thread_local LookupScope g_lookups;

// What resolving a path learned about the file on the way.
enum class Learned { Nothing, Exists, Missing };
std::string ResolveHostPath(std::string_view windowsPath, struct stat* found = nullptr,
                            Learned* learned = nullptr);

constexpr std::string_view kUnixRoot = "unix";

std::string CurrentPrefix() {
    const char* env = std::getenv("WINEPREFIX");
    if (env && *env)
        return env;
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.wine";
}

std::string Canonical(const std::string& path) {
    char buffer[PATH_MAX];
    if (realpath(path.c_str(), buffer))
        return buffer;
    return {};
}

const DriveMap& Drives() {
    std::string prefix = CurrentPrefix();
    DriveMap& map = CachedMap();
    if (g_mapValid && map.prefix == prefix)
        return map;
    map = DriveMap{};
    map.prefix = prefix;
    std::string devices = prefix + "/dosdevices/";
    for (int i = 0; i < 26; ++i) {
        std::string link = devices + static_cast<char>('a' + i) + ":";
        map.targets[i] = Canonical(link);
    }
    g_mapValid = true;
    return map;
}

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// Two names without regard to letter case: the host's ANSI folding where both have an ANSI form,
// else Unicode folding of their UTF-8 forms.
bool SameNameNoCase(std::string_view utf8a, std::string_view utf8b) {
    if (IsAscii(utf8a) && IsAscii(utf8b))
        return EqualsNoCaseAscii(utf8a, utf8b);
    std::string a = Utf8ToHostText(utf8a);
    std::string b = Utf8ToHostText(utf8b);
    if (!HasUtf8Mark(a) && !HasUtf8Mark(b))
        return EqualsNoCaseAnsi(a, b);
    return EqualsNoCaseUtf8(utf8a, utf8b);
}

// The names in a folder as last listed, with the folder's stamp then: a folder's modification
// time changes with every name added, removed or renamed in it, so an unchanged stamp means an
// unchanged list. Looking for files that are not there (a 64-bit module beside each 32-bit one)
// then costs a stat instead of a listing.
struct FolderListing {
    dev_t device = 0;
    ino_t inode = 0;
    long long mtimeNs = 0;
    std::vector<std::string> names;
};

const std::vector<std::string>* ListFolder(const std::string& folder) {
    static std::unordered_map<std::string, FolderListing> listings;
    struct stat st;
    if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return nullptr;
    const long long mtimeNs = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    auto found = listings.find(folder);
    if (found != listings.end() && found->second.device == st.st_dev && found->second.inode == st.st_ino &&
        found->second.mtimeNs == mtimeNs)
        return &found->second.names;
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return nullptr;
    if (listings.size() >= 4096)
        listings.clear();
    FolderListing& listing = listings[folder];
    listing = FolderListing{st.st_dev, st.st_ino, mtimeNs, {}};
    while (dirent* entry = readdir(dir)) {
        std::string_view name = entry->d_name;
        if (name != "." && name != "..")
            listing.names.emplace_back(name);
    }
    closedir(dir);
    // File times advance in coarse steps: a change made later within the step of the folder's
    // last change would not move its time. A list of a folder changed that recently, or changed
    // while it was read, is used once and not kept.
    struct stat after;
    struct timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    if (stat(folder.c_str(), &after) != 0 || after.st_mtim.tv_sec != st.st_mtim.tv_sec ||
        after.st_mtim.tv_nsec != st.st_mtim.tv_nsec || now.tv_sec - st.st_mtim.tv_sec < 2)
        listing.mtimeNs = -1;
    return &listing.names;
}

// The listed name of `folder` that matches `utf8` without regard to letter case.
std::optional<std::string> MatchListed(const std::string& folder, const std::string& utf8) {
    const std::vector<std::string>* names = ListFolder(folder);
    if (!names)
        return std::nullopt;
    for (const std::string& name : *names)
        if (SameNameNoCase(name, utf8))
            return name;
    return std::nullopt;
}

// Finds the directory entry of `folder` whose name matches `utf8` without regard to letter case.
// Tries the exact spelling first so the common case costs one stat.
std::optional<std::string> MatchEntry(const std::string& folder, const std::string& utf8) {
    struct stat st;
    std::string candidate = folder == "/" ? "/" + utf8 : folder + "/" + utf8;
    if (lstat(candidate.c_str(), &st) == 0)
        return utf8;
    return MatchListed(folder, utf8);
}

} // namespace

std::string PrefixDir() {
    return CurrentPrefix();
}

std::optional<std::string> PrefixProblem() {
    struct stat st;
    std::string prefix = CurrentPrefix();
    if (stat(prefix.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return "the folder does not exist";
    if (Drives().targets['c' - 'a'].empty())
        return "it has no drive C: (" + prefix + "/dosdevices/c: is missing or broken)";
    return std::nullopt;
}

void SelectPrefix(const std::string& machineFolder) {
    setenv("WINEPREFIX", machineFolder.c_str(), 1);
    ResetPathCache();
}

void ResetPathCache() {
    g_mapValid = false;
    g_lookups.resolved.clear();
}

PathLookupScope::PathLookupScope() {
    ++g_lookups.depth;
}

PathLookupScope::~PathLookupScope() {
    if (--g_lookups.depth == 0)
        g_lookups.resolved.clear();
}

namespace {

// Resolves the path, keeping what the look-up learned about the file itself.
HostFile ResolveFile(std::string_view windowsPath) {
    HostFile file;
    Learned learned = Learned::Nothing;
    file.host = ResolveHostPath(windowsPath, &file.st, &learned);
    file.exists = learned == Learned::Exists;
    file.statKnown = learned != Learned::Nothing;
    return file;
}

void CompleteStat(HostFile& file) {
    if (!file.statKnown)
        file.exists = !file.host.empty() && stat(file.host.c_str(), &file.st) == 0;
    file.statKnown = true;
}

} // namespace

HostFile StatWindowsPath(std::string_view windowsPath) {
    if (g_lookups.depth == 0) {
        HostFile file = ResolveFile(windowsPath);
        CompleteStat(file);
        return file;
    }
    std::string key(windowsPath);
    auto found = g_lookups.resolved.find(key);
    if (found == g_lookups.resolved.end())
        found = g_lookups.resolved.emplace(std::move(key), ResolveFile(windowsPath)).first;
    CompleteStat(found->second);
    return found->second;
}

std::string ToHostPath(std::string_view windowsPath) {
    if (g_lookups.depth == 0)
        return ResolveHostPath(windowsPath);
    std::string key(windowsPath);
    auto found = g_lookups.resolved.find(key);
    if (found == g_lookups.resolved.end())
        found = g_lookups.resolved.emplace(std::move(key), ResolveFile(windowsPath)).first;
    return found->second.host;
}

namespace {

std::string ResolveHostPath(std::string_view windowsPath, struct stat* found, Learned* learned) {
    // Host text is ANSI, or UTF-8 behind its mark; the machine's names are UTF-8.
    const bool marked = HasUtf8Mark(windowsPath);
    std::string_view rest = marked ? windowsPath.substr(kUtf8Mark.size()) : windowsPath;
    auto toUtf8 = [marked](std::string_view component) {
        return marked ? std::string(component) : AnsiToUtf8(component);
    };
    const bool verbatim = rest.substr(0, 4) == "\\\\?\\";
    if (verbatim)
        rest.remove_prefix(4);
    if (verbatim && rest.size() > kUnixRoot.size() &&
        EqualsNoCaseAscii(rest.substr(0, kUnixRoot.size()), kUnixRoot) &&
        IsSeparator(rest[kUnixRoot.size()])) {
        // Wine's name for a machine path that no drive reaches.
        std::string path = toUtf8(rest.substr(kUnixRoot.size()));
        for (char& c : path)
            if (c == '\\')
                c = '/';
        return path;
    }
    if (rest.size() >= 2 && IsSeparator(rest[0]) && IsSeparator(rest[1]))
        return {}; // network paths have no place in the prefix

    std::string base;
    if (rest.size() >= 2 && rest[1] == ':' && std::isalpha(static_cast<unsigned char>(rest[0]))) {
        int drive = LowerAsciiChar(rest[0]) - 'a';
        base = Drives().targets[drive];
        if (base.empty())
            return {};
        rest.remove_prefix(2);
    } else if (!rest.empty() && IsSeparator(rest[0])) {
        // Rooted without a drive: the drive of the current folder, which under Wine is C:.
        base = Drives().targets['c' - 'a'];
        if (base.empty())
            return {};
    } else {
        char cwd[PATH_MAX];
        if (!getcwd(cwd, sizeof cwd))
            return {};
        base = cwd;
    }

    std::vector<std::string> components;
    size_t pos = 0;
    while (pos <= rest.size()) {
        size_t next = pos;
        while (next < rest.size() && !IsSeparator(rest[next]))
            ++next;
        std::string_view part = rest.substr(pos, next - pos);
        if (part == "..") {
            if (!components.empty())
                components.pop_back();
        } else if (!part.empty() && part != ".") {
            components.emplace_back(part);
        }
        pos = next + 1;
    }

    // Most paths are written in the letter case they have on disk: one look settles those.
    std::string direct = base;
    for (const std::string& component : components) {
        if (direct != "/")
            direct.push_back('/');
        direct += toUtf8(component);
    }
    struct stat st;
    if (lstat(direct.c_str(), &st) == 0) {
        if (found && learned && !S_ISLNK(st.st_mode)) {
            *found = st;
            *learned = Learned::Exists;
        }
        return direct;
    }

    // A file missing from a folder that is spelled right (a 64-bit module's name looked for beside
    // each 32-bit one) needs only the last name matched.
    if (components.size() > 1) {
        const size_t cut = direct.rfind('/');
        const std::string parent = direct.substr(0, cut);
        const std::string last = direct.substr(cut + 1);
        if (ListFolder(parent)) {
            if (std::optional<std::string> match = MatchListed(parent, last))
                return parent + "/" + *match;
            if (learned)
                *learned = Learned::Missing;
            return direct;
        }
    }

    std::string path = base;
    bool resolving = true;
    for (const std::string& component : components) {
        std::string name;
        if (resolving) {
            if (std::optional<std::string> match = MatchEntry(path, toUtf8(component))) {
                name = *match;
            } else {
                resolving = false;
                name = toUtf8(component);
            }
        } else {
            name = toUtf8(component);
        }
        if (path != "/")
            path.push_back('/');
        path += name;
    }
    return path;
}

} // namespace

std::string ToWindowsPath(std::string_view hostPath) {
    std::filesystem::path p(std::string{hostPath});
    std::error_code ec;
    if (p.is_relative())
        p = std::filesystem::current_path(ec) / p;
    std::filesystem::path canonical = std::filesystem::weakly_canonical(p, ec);
    std::string full = ec ? p.lexically_normal().string() : canonical.string();

    const DriveMap& map = Drives();
    int bestDrive = -1;
    size_t bestLength = 0;
    for (int i = 0; i < 26; ++i) {
        const std::string& target = map.targets[i];
        if (target.empty())
            continue;
        bool fits = full == target || target == "/" ||
                    (full.size() > target.size() && full.compare(0, target.size(), target) == 0 &&
                     full[target.size()] == '/');
        if (fits && (bestDrive < 0 || target.size() > bestLength)) {
            bestDrive = i;
            bestLength = target.size();
        }
    }
    std::string remainder;
    std::string result;
    if (bestDrive >= 0) {
        result = std::string(1, static_cast<char>('A' + bestDrive)) + ":";
        remainder = map.targets[bestDrive] == "/" ? full : full.substr(bestLength);
    } else {
        // No drive reaches it (no prefix, or one without Z:): Wine's own form for such paths,
        // which ToHostPath maps back.
        result = "\\\\?\\" + std::string(kUnixRoot);
        remainder = full;
    }
    for (char& c : remainder)
        if (c == '/')
            c = '\\';
    while (remainder.size() > 1 && remainder.back() == '\\')
        remainder.pop_back();
    if (remainder.empty() || remainder.front() != '\\')
        remainder.insert(remainder.begin(), '\\');
    return Utf8ToHostText(result + remainder);
}

} // namespace varnel::platform
