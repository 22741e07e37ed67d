#pragma once
// Trees of files that may come from strangers (an unpacked archive, a plugin folder): walked,
// moved and deleted without ever following a symbolic link, the way "rm -r" and "find -P" treat
// them. Addressed by Windows paths.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace varnel::platform {

struct TreeLimits {
    uint64_t maxEntries = 20000;
    uint64_t maxBytes = 1024ull * 1024 * 1024;
    unsigned maxDepth = 64; // folders below the top one
};

struct TreeEntry {
    enum class Type { File, Folder, Other }; // Other: a link, device, FIFO or socket
    std::string relative;                    // below the top folder, with backslashes (host text)
    size_t parent = kTop;                    // index of the folder entry that holds it
    Type type = Type::File;
    uint64_t size = 0;
    static constexpr size_t kTop = static_cast<size_t>(-1);
};

enum class TreeStatus { Ok, Missing, TooLarge, Cancelled, Failed };

struct TreeListing {
    TreeStatus status = TreeStatus::Missing;
    // Each folder's entries in the order the folder lists them, before anything inside them.
    std::vector<TreeEntry> entries;
    // With removeOthers: the links, devices, FIFOs and sockets that were taken out (relative).
    std::vector<std::string> removed;
    uint64_t bytes = 0; // the regular files' sizes added up
};

// Lists the tree below the folder (the folder itself may be a link: the caller chose it). Stops
// with TooLarge past the limits, and with Cancelled when the user stops a long walk. With
// removeOthers, everything that is neither a regular file nor a folder is deleted on the way.
TreeListing ListTree(std::string_view folder, const TreeLimits& limits, bool removeOthers);

// Deletes a file, a link (as a link) or a whole folder tree; links inside are removed, never
// entered. True when nothing is left.
bool RemoveTree(std::string_view path);

// Moves the regular files of a listed tree (its top folder `from`) into the folder `to`, made when
// missing, with the tree's sub-folders; a sub-folder that `to` does not have yet goes whole, in
// one rename (where both lie on one volume); each other file replaces its namesake in one rename,
// and `lastRelative` goes last. A name that differs from an existing one only in letter case takes
// the existing spelling. Nothing goes through a link: a link where a folder is needed stops the
// move. On failure, failedEntry names the file that could not be moved; files moved before it stay.
struct MoveOutcome {
    bool ok = false;
    std::string failedEntry;
};
MoveOutcome MoveTreeInto(std::string_view from, const TreeListing& listing, std::string_view to,
                         std::string_view lastRelative);

// How MoveTreeInto moves a listing: first the folders that go whole (those `missing` says the
// target lacks, that do not hold lastRelative and do not lie in another that goes whole), then the
// other regular files as listed, lastRelative last.
struct TreeMovePlan {
    std::vector<const TreeEntry*> folders;
    std::vector<const TreeEntry*> files;
};
TreeMovePlan PlanTreeMove(const TreeListing& listing, std::string_view lastRelative,
                          const std::function<bool(const TreeEntry& folder)>& missing);

// Whether the path, with every link on its way resolved on the real file system, lies inside the
// folder (or is it). Components that do not exist yet count as they are written.
bool LiesInside(std::string_view path, std::string_view folder);

} // namespace varnel::platform
