#include "platform/file_tree.h"

#include "platform/process.h"
#include "platform/win32/wide.h"
#include "util/text.h"

#include <cwchar>
#include <optional>
#include <windows.h>

namespace varnel::platform {

using win32::HostText;
using win32::Wide;

namespace {

// Links and junctions are reparse points: they are seen as such and never entered.
bool IsReparse(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

TreeEntry::Type TypeOf(const WIN32_FIND_DATAW& found) {
    if (IsReparse(found.dwFileAttributes) || (found.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) != 0)
        return TreeEntry::Type::Other;
    return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? TreeEntry::Type::Folder
                                                                    : TreeEntry::Type::File;
}

template <typename Visit> bool ForEachEntry(const std::wstring& folder, Visit visit) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found,
                                     FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    bool ok = true;
    do {
        if (std::wcscmp(found.cFileName, L".") == 0 || std::wcscmp(found.cFileName, L"..") == 0)
            continue;
        ok = visit(found);
    } while (ok && FindNextFileW(search, &found));
    FindClose(search);
    return ok;
}

// Removes a link, a file or an empty folder as what it is; a read-only one loses that first.
bool RemoveOne(const std::wstring& path, DWORD attributes) {
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0)
        SetFileAttributesW(path.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return RemoveDirectoryW(path.c_str()) != 0; // a folder link goes as a folder, its target stays
    return DeleteFileW(path.c_str()) != 0;
}

bool RemoveInside(const std::wstring& folder) {
    bool all = true;
    ForEachEntry(folder, [&](const WIN32_FIND_DATAW& found) {
        const std::wstring path = folder + L"\\" + found.cFileName;
        const bool realFolder =
            (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && !IsReparse(found.dwFileAttributes);
        if (realFolder)
            all = RemoveInside(path) && all;
        all = RemoveOne(path, found.dwFileAttributes) && all;
        return true;
    });
    return all;
}

struct Walk {
    const TreeLimits& limits;
    bool removeOthers;
    TreeListing& listing;
    BusyWork busy;

    TreeStatus Folder(const std::wstring& path, size_t parent, const std::string& prefix, unsigned depth) {
        std::vector<std::pair<size_t, std::wstring>> folders;
        TreeStatus status = TreeStatus::Ok;
        const bool listed = ForEachEntry(path, [&](const WIN32_FIND_DATAW& found) {
            if (busy.Turn()) {
                status = TreeStatus::Cancelled;
                return false;
            }
            const std::string name = HostText(found.cFileName);
            const std::string relative = prefix.empty() ? name : prefix + "\\" + name;
            const TreeEntry::Type type = TypeOf(found);
            const std::wstring full = path + L"\\" + found.cFileName;
            if (type == TreeEntry::Type::Other && removeOthers) {
                if (!RemoveOne(full, found.dwFileAttributes)) {
                    status = TreeStatus::Failed;
                    return false;
                }
                listing.removed.push_back(relative);
                return true;
            }
            TreeEntry entry;
            entry.relative = relative;
            entry.parent = parent;
            entry.type = type;
            if (type == TreeEntry::Type::File) {
                entry.size = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
                listing.bytes += entry.size;
            }
            if (type == TreeEntry::Type::Folder)
                folders.emplace_back(listing.entries.size(), full);
            listing.entries.push_back(std::move(entry));
            if (listing.entries.size() > limits.maxEntries || listing.bytes > limits.maxBytes) {
                status = TreeStatus::TooLarge;
                return false;
            }
            return true;
        });
        if (status != TreeStatus::Ok)
            return status;
        if (!listed)
            return TreeStatus::Failed;
        for (const auto& [index, child] : folders) {
            if (depth + 1 > limits.maxDepth)
                return TreeStatus::TooLarge;
            const std::string relative = listing.entries[index].relative;
            if (TreeStatus inner = Folder(child, index, relative, depth + 1); inner != TreeStatus::Ok)
                return inner;
        }
        return TreeStatus::Ok;
    }
};

// The spelling an existing entry of the folder has for a name (the system matches without regard
// to letter case), else the name itself.
std::wstring SpellingIn(const std::wstring& folder, const std::wstring& name) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileExW((folder + L"\\" + name).c_str(), FindExInfoBasic, &found,
                                     FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE)
        return name;
    FindClose(search);
    return found.cFileName;
}

std::vector<std::wstring> SplitRelative(const std::wstring& relative) {
    std::vector<std::wstring> parts;
    size_t pos = 0;
    while (pos <= relative.size()) {
        size_t end = relative.find(L'\\', pos);
        if (end == std::wstring::npos)
            end = relative.size();
        parts.push_back(relative.substr(pos, end - pos));
        pos = end + 1;
    }
    return parts;
}

// The final path of an existing file or folder, every link resolved, without the "\\?\" prefix.
std::optional<std::wstring> Resolved(const std::wstring& path) {
    HANDLE handle = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::wstring buffer(32768, L'\0');
    const DWORD length = GetFinalPathNameByHandleW(handle, buffer.data(), 32768, FILE_NAME_NORMALIZED);
    CloseHandle(handle);
    if (length == 0 || length >= 32768)
        return std::nullopt;
    buffer.resize(length);
    if (buffer.rfind(L"\\\\?\\UNC\\", 0) == 0)
        return L"\\\\" + buffer.substr(8);
    if (buffer.rfind(L"\\\\?\\", 0) == 0)
        return buffer.substr(4);
    return buffer;
}

std::wstring Folded(std::wstring text) {
    CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

} // namespace

TreeListing ListTree(std::string_view folder, const TreeLimits& limits, bool removeOthers) {
    TreeListing listing;
    const std::wstring top = Wide(folder);
    const DWORD attributes = top.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(top.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        const DWORD error = GetLastError();
        listing.status = attributes != INVALID_FILE_ATTRIBUTES || error == ERROR_FILE_NOT_FOUND ||
                                 error == ERROR_PATH_NOT_FOUND
                             ? TreeStatus::Missing
                             : TreeStatus::Failed;
        return listing;
    }
    Walk walk{limits, removeOthers, listing, {}};
    listing.status = walk.Folder(top, TreeEntry::kTop, "", 0);
    return listing;
}

bool RemoveTree(std::string_view path) {
    const std::wstring wide = Wide(path);
    if (wide.empty())
        return false;
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && !IsReparse(attributes))
        RemoveInside(wide);
    return RemoveOne(wide, attributes);
}

MoveOutcome MoveTreeInto(std::string_view from, const TreeListing& listing, std::string_view to,
                         std::string_view lastRelative) {
    MoveOutcome outcome;
    const std::wstring fromTop = Wide(from);
    const std::wstring toTop = Wide(to);
    if (fromTop.empty() || toTop.empty())
        return outcome;
    CreateDirectoryW(toTop.c_str(), nullptr);
    const DWORD topAttributes = GetFileAttributesW(toTop.c_str());
    if (topAttributes == INVALID_FILE_ATTRIBUTES || (topAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return outcome;

    // The folders on the way to an entry, made in the target where missing; the paths of the
    // entry on both sides, or nothing where a link or a file stands in the way.
    struct Paths {
        std::wstring source, target;
    };
    auto pathsOf = [&](const TreeEntry& entry) -> std::optional<Paths> {
        const std::vector<std::wstring> parts = SplitRelative(Wide(entry.relative));
        Paths paths{fromTop, toTop};
        for (size_t i = 0; i + 1 < parts.size(); ++i) {
            paths.source += L"\\" + parts[i];
            paths.target += L"\\" + SpellingIn(paths.target, parts[i]);
            CreateDirectoryW(paths.target.c_str(), nullptr); // fails harmlessly when it exists
            const DWORD attributes = GetFileAttributesW(paths.target.c_str());
            // Nothing goes through a link: a link where a folder is needed stops the move.
            if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
                IsReparse(attributes))
                return std::nullopt;
        }
        paths.source += L"\\" + parts.back();
        paths.target += L"\\" + SpellingIn(paths.target, parts.back());
        return paths;
    };
    // A folder the target lacks goes whole, unless the two lie on different volumes.
    bool wholeFolders = true;
    auto missing = [&](const TreeEntry& folder) {
        const std::optional<Paths> paths = wholeFolders ? pathsOf(folder) : std::nullopt;
        return paths && GetFileAttributesW(paths->target.c_str()) == INVALID_FILE_ATTRIBUTES &&
               GetLastError() == ERROR_FILE_NOT_FOUND;
    };
    TreeMovePlan plan = PlanTreeMove(listing, lastRelative, missing);
    for (const TreeEntry* folder : plan.folders) {
        outcome.failedEntry = folder->relative;
        const std::optional<Paths> paths = pathsOf(*folder);
        if (!paths)
            return outcome;
        if (MoveFileExW(paths->source.c_str(), paths->target.c_str(), MOVEFILE_WRITE_THROUGH))
            continue;
        if (GetLastError() != ERROR_NOT_SAME_DEVICE || folder != plan.folders.front())
            return outcome;
        wholeFolders = false; // nothing moved yet: file by file instead
        plan = PlanTreeMove(listing, lastRelative, missing);
        break;
    }
    for (const TreeEntry* entry : plan.files) {
        outcome.failedEntry = entry->relative;
        const std::optional<Paths> paths = pathsOf(*entry);
        if (!paths)
            return outcome;
        const DWORD existing = GetFileAttributesW(paths->target.c_str());
        if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_DIRECTORY) != 0)
            return outcome;
        // Between volumes the system copies and then deletes; each file still replaces its
        // namesake in one step.
        if (!MoveFileExW(paths->source.c_str(), paths->target.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH))
            return outcome;
    }
    outcome.failedEntry.clear();
    outcome.ok = true;
    return outcome;
}

namespace {

// The path with every link on the way resolved, the components that do not exist yet taken as
// they are written; nullopt when it cannot be told ("." or ".." among those).
std::optional<std::wstring> ResolvedAsWritten(std::wstring existing) {
    if (existing.empty())
        return std::nullopt;
    std::wstring rest;
    while (GetFileAttributesW(existing.c_str()) == INVALID_FILE_ATTRIBUTES) {
        const size_t slash = existing.find_last_of(L"\\/");
        if (slash == std::wstring::npos || slash == 0)
            return std::nullopt;
        const std::wstring part = existing.substr(slash + 1);
        if (part == L"." || part == L"..")
            return std::nullopt;
        rest = L"\\" + part + rest;
        existing.resize(slash);
    }
    const std::optional<std::wstring> resolved = Resolved(existing);
    if (!resolved)
        return std::nullopt;
    return *resolved + rest;
}

} // namespace

bool LiesInside(std::string_view path, std::string_view folder) {
    // A folder not made yet (a plugin folder before the first install) counts as it is written.
    const std::optional<std::wstring> base = ResolvedAsWritten(Wide(folder));
    const std::optional<std::wstring> resolved = base ? ResolvedAsWritten(Wide(path)) : std::nullopt;
    if (!resolved)
        return false;
    std::wstring top = Folded(*base);
    while (top.size() > 3 && top.back() == L'\\')
        top.pop_back();
    const std::wstring full = Folded(*resolved);
    return full == top || full.rfind(top.back() == L'\\' ? top : top + L"\\", 0) == 0;
}

} // namespace varnel::platform
