#include "platform/file_tree.h"

#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "util/text.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <optional>
#include <random>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace varnel::platform {

namespace {

// Every walk goes from an open folder to its children by name (openat and friends with
// O_NOFOLLOW): a path is never resolved again from its start, so a link met on the way is seen as
// a link, and a deep tree costs one look per entry.
class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0)
            close(m_fd);
    }
    Fd(Fd&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    Fd& operator=(Fd&& other) noexcept {
        std::swap(m_fd, other.m_fd);
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }

private:
    int m_fd;
};

Fd OpenFolderAt(int parent, const std::string& name) {
    return Fd(openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

std::vector<std::string> NamesIn(int folder) {
    std::vector<std::string> names;
    int copy = dup(folder);
    if (copy < 0)
        return names;
    DIR* dir = fdopendir(copy);
    if (!dir) {
        close(copy);
        return names;
    }
    rewinddir(dir);
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(std::move(name));
    }
    closedir(dir);
    return names;
}

TreeEntry::Type TypeOf(const struct stat& st) {
    if (S_ISREG(st.st_mode))
        return TreeEntry::Type::File;
    if (S_ISDIR(st.st_mode))
        return TreeEntry::Type::Folder;
    return TreeEntry::Type::Other;
}

struct Walk {
    const TreeLimits& limits;
    bool removeOthers;
    TreeListing& listing;
    std::vector<std::string> machine; // each entry's relative machine path
    BusyWork busy;

    TreeStatus Folder(int fd, size_t parent, const std::string& prefix, unsigned depth) {
        std::vector<size_t> folders;
        for (const std::string& name : NamesIn(fd)) {
            if (busy.Turn())
                return TreeStatus::Cancelled;
            struct stat st;
            if (fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
                return TreeStatus::Failed;
            const std::string relative = prefix.empty() ? name : prefix + "/" + name;
            const TreeEntry::Type type = TypeOf(st);
            if (type == TreeEntry::Type::Other && removeOthers) {
                if (unlinkat(fd, name.c_str(), 0) != 0)
                    return TreeStatus::Failed;
                listing.removed.push_back(Utf8ToHostText(ReplaceAll(relative, "/", "\\")));
                continue;
            }
            TreeEntry entry;
            entry.relative = Utf8ToHostText(ReplaceAll(relative, "/", "\\"));
            entry.parent = parent;
            entry.type = type;
            if (type == TreeEntry::Type::File) {
                entry.size = static_cast<uint64_t>(st.st_size);
                listing.bytes += entry.size;
            }
            if (type == TreeEntry::Type::Folder)
                folders.push_back(listing.entries.size());
            listing.entries.push_back(std::move(entry));
            machine.push_back(relative);
            if (listing.entries.size() > limits.maxEntries || listing.bytes > limits.maxBytes)
                return TreeStatus::TooLarge;
        }
        for (size_t index : folders) {
            if (depth + 1 > limits.maxDepth)
                return TreeStatus::TooLarge;
            const std::string relative = machine[index];
            const std::string name = relative.substr(relative.rfind('/') + 1);
            Fd child = OpenFolderAt(fd, name);
            if (!child.Valid() && errno == EACCES && removeOthers) {
                // An outside archiver may have copied an archive's "no access" bits onto a folder
                // of the program's own scratch folder.
                fchmodat(fd, name.c_str(), 0755, 0);
                child = OpenFolderAt(fd, name);
            }
            if (!child.Valid())
                return TreeStatus::Failed;
            if (TreeStatus status = Folder(child.Get(), index, relative, depth + 1); status != TreeStatus::Ok)
                return status;
        }
        return TreeStatus::Ok;
    }
};

bool RemoveInside(int fd) {
    bool all = true;
    for (const std::string& name : NamesIn(fd)) {
        struct stat st;
        if (fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            fchmodat(fd, name.c_str(), 0700, 0); // a folder without write permission keeps its files
            Fd child = OpenFolderAt(fd, name);
            if (child.Valid())
                all = RemoveInside(child.Get()) && all;
            all = unlinkat(fd, name.c_str(), AT_REMOVEDIR) == 0 && all;
        } else {
            all = unlinkat(fd, name.c_str(), 0) == 0 && all;
        }
    }
    return all;
}

std::vector<std::string> SplitMachine(const std::string& relative) {
    std::vector<std::string> parts;
    size_t pos = 0;
    while (pos <= relative.size()) {
        size_t end = relative.find('/', pos);
        if (end == std::string::npos)
            end = relative.size();
        parts.push_back(relative.substr(pos, end - pos));
        pos = end + 1;
    }
    return parts;
}

// The existing entry of a target folder that is a name without regard to letter case (Wine would
// find that one), else the name itself, which is then taken: each folder is listed once, however
// many new names go into it.
class Spellings {
public:
    std::string Of(int folder, const std::string& name) {
        struct stat st;
        if (fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
            return name;
        auto listed = m_folders.find(folder);
        if (listed == m_folders.end()) {
            listed = m_folders.emplace(folder, std::unordered_map<std::string, std::string>()).first;
            for (std::string& existing : NamesIn(folder))
                listed->second.emplace(FoldUtf8(existing), std::move(existing));
        }
        return listed->second.emplace(FoldUtf8(name), name).first->second;
    }

private:
    std::map<int, std::unordered_map<std::string, std::string>> m_folders;
};

// Copies a file to a temporary name in the target folder and renames it into place: for a move
// between two file systems, which a rename cannot do.
bool CopyInto(int fromFolder, const std::string& fromName, int toFolder, const std::string& toName) {
    Fd source(openat(fromFolder, fromName.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!source.Valid())
        return false;
    std::random_device random;
    const std::string temporary = "." + toName + "." + std::to_string(random() % 1000000);
    Fd target(
        openat(toFolder, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!target.Valid())
        return false;
    bool ok = true;
    char buffer[64 * 1024];
    ssize_t n;
    while (ok && (n = read(source.Get(), buffer, sizeof buffer)) > 0)
        ok = write(target.Get(), buffer, static_cast<size_t>(n)) == n;
    ok = ok && n == 0 && fsync(target.Get()) == 0;
    if (ok && renameat(toFolder, temporary.c_str(), toFolder, toName.c_str()) == 0)
        return true;
    unlinkat(toFolder, temporary.c_str(), 0);
    return false;
}

} // namespace

TreeListing ListTree(std::string_view folder, const TreeLimits& limits, bool removeOthers) {
    TreeListing listing;
    const std::string host = ToHostPath(folder);
    if (host.empty())
        return listing;
    Fd top(open(host.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!top.Valid()) {
        listing.status = errno == ENOENT || errno == ENOTDIR ? TreeStatus::Missing : TreeStatus::Failed;
        return listing;
    }
    Walk walk{limits, removeOthers, listing, {}, {}};
    listing.status = walk.Folder(top.Get(), TreeEntry::kTop, "", 0);
    return listing;
}

bool RemoveTree(std::string_view path) {
    const std::string host = ToHostPath(path);
    if (host.empty())
        return false;
    struct stat st;
    if (lstat(host.c_str(), &st) != 0)
        return errno == ENOENT;
    if (!S_ISDIR(st.st_mode))
        return unlink(host.c_str()) == 0;
    Fd folder(open(host.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (folder.Valid())
        RemoveInside(folder.Get());
    return rmdir(host.c_str()) == 0;
}

MoveOutcome MoveTreeInto(std::string_view from, const TreeListing& listing, std::string_view to,
                         std::string_view lastRelative) {
    MoveOutcome outcome;
    const std::string fromHost = ToHostPath(from);
    const std::string toHost = ToHostPath(to);
    if (fromHost.empty() || toHost.empty())
        return outcome;
    mkdir(toHost.c_str(), 0755);
    Fd fromTop(open(fromHost.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    Fd toTop(open(toHost.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fromTop.Valid() || !toTop.Valid())
        return outcome;
    // What was unpacked reaches the disk before it replaces anything.
    syncfs(fromTop.Get());

    // Folders already opened on each side, by relative machine path.
    std::map<std::string, Fd> fromFolders, toFolders;
    Spellings spellings;
    auto folderOf = [&](bool target, const std::vector<std::string>& parts) -> int {
        int current = target ? toTop.Get() : fromTop.Get();
        std::map<std::string, Fd>& opened = target ? toFolders : fromFolders;
        std::string key;
        for (size_t i = 0; i + 1 < parts.size(); ++i) {
            key += "/" + parts[i];
            if (auto found = opened.find(key); found != opened.end()) {
                current = found->second.Get();
                continue;
            }
            std::string name = target ? spellings.Of(current, parts[i]) : parts[i];
            if (target)
                mkdirat(current, name.c_str(), 0755); // fails harmlessly when it exists
            Fd next = OpenFolderAt(current, name);
            if (!next.Valid())
                return -1; // missing, not a folder, or a link
            current = next.Get();
            opened.emplace(key, std::move(next));
        }
        return current;
    };

    auto partsOf = [](const TreeEntry& entry) {
        return SplitMachine(ReplaceAll(HostTextToUtf8(entry.relative), "\\", "/"));
    };
    // A folder the target lacks goes whole, unless the two lie on different file systems.
    bool wholeFolders = true;
    auto missing = [&](const TreeEntry& folder) {
        const std::vector<std::string> parts = partsOf(folder);
        const int target = wholeFolders ? folderOf(true, parts) : -1;
        struct stat st;
        return target >= 0 &&
               fstatat(target, spellings.Of(target, parts.back()).c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 &&
               errno == ENOENT;
    };
    TreeMovePlan plan = PlanTreeMove(listing, lastRelative, missing);
    for (const TreeEntry* folder : plan.folders) {
        const std::vector<std::string> parts = partsOf(*folder);
        const int source = folderOf(false, parts);
        const int target = folderOf(true, parts);
        outcome.failedEntry = folder->relative;
        if (source < 0 || target < 0)
            return outcome;
        if (renameat(source, parts.back().c_str(), target, spellings.Of(target, parts.back()).c_str()) == 0)
            continue;
        if (errno != EXDEV || folder != plan.folders.front())
            return outcome;
        wholeFolders = false; // nothing moved yet: file by file instead
        plan = PlanTreeMove(listing, lastRelative, missing);
        break;
    }
    for (const TreeEntry* entry : plan.files) {
        const std::vector<std::string> parts = partsOf(*entry);
        const int source = folderOf(false, parts);
        const int target = folderOf(true, parts);
        outcome.failedEntry = entry->relative;
        if (source < 0 || target < 0)
            return outcome;
        const std::string name = spellings.Of(target, parts.back());
        struct stat st;
        if (fstatat(target, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode))
            return outcome;
        if (renameat(source, parts.back().c_str(), target, name.c_str()) != 0 &&
            (errno != EXDEV || !CopyInto(source, parts.back(), target, name)))
            return outcome;
    }
    fsync(toTop.Get());
    outcome.failedEntry.clear();
    outcome.ok = true;
    return outcome;
}

namespace {

// The machine path with every link on the way resolved, the components that do not exist yet
// taken as they are written; nullopt when it cannot be told ("." or ".." among those).
std::optional<std::string> ResolvedAsWritten(std::string_view windowsPath) {
    std::string existing = ToHostPath(windowsPath);
    if (existing.empty())
        return std::nullopt;
    std::string rest;
    struct stat st;
    while (lstat(existing.c_str(), &st) != 0) {
        size_t slash = existing.rfind('/');
        if (slash == std::string::npos || slash == 0)
            return std::nullopt;
        const std::string part = existing.substr(slash + 1);
        if (part == "." || part == "..")
            return std::nullopt;
        rest = "/" + part + rest;
        existing.resize(slash);
    }
    char* resolved = realpath(existing.c_str(), nullptr);
    if (!resolved)
        return std::nullopt;
    std::string full = resolved + rest;
    free(resolved);
    return full;
}

} // namespace

bool LiesInside(std::string_view path, std::string_view folder) {
    // A folder not made yet (a plugin folder before the first install) counts as it is written.
    const std::optional<std::string> base = folder.empty() ? std::nullopt : ResolvedAsWritten(folder);
    const std::optional<std::string> full = base ? ResolvedAsWritten(path) : std::nullopt;
    return full && (*full == *base || full->starts_with(*base == "/" ? *base : *base + "/"));
}

} // namespace varnel::platform
