#pragma once
// What the profile functions and their batches share : the parsed copies
// of files, their loading, and the open batch.

#include "platform/files.h"
#include "platform/profile.h"
#include "platform/profile_file.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace varnel::platform::profile_detail {

// Parsed copies of profile files, keyed by machine path.
std::map<std::string, CachedFile>& Cache();
// The copy still describes the file (identity, size, nanosecond modification time).
bool SameFile(const CachedFile& cached, const FileStamp& stamp);

enum class LoadState { Loaded, Missing, Failed };
// Why the last Load on this thread failed.

// Loads (or revalidates) the file; see profile.cpp.
LoadState Load(std::string_view file, const CachedFile** out, bool forWrite = false);

// The open batch: the file it gathers writes for, its working copy, and whether anything changed.
struct Batch {
    struct Edit {
        std::string section;
        std::string key;
        std::optional<std::string> value;
    };
    std::string host;
    std::string file;
    bool usable = false;
    bool dirty = false;
    bool existed = false;
    uint64_t baseHash = 0; // of the file as the batch read it
    // The copy the batch read, taken over from the cache (no copy of a large file), with the
    // batch's edits. Its identity fields still describe the file as read.
    CachedFile working;
    std::vector<Edit> edits;
    // Each section the edits touch, as the file had it before the first edit of that section
    // (keyed by SectionTag): what a rebase compares another program's version with.
    std::map<std::string, std::pair<std::string, std::vector<std::pair<std::string, std::string>>>>
        baseSections;
};
extern std::optional<Batch> g_batch;
extern bool g_lastCommitConflicted;

// The batch's edits on the file as another program has left it meanwhile (nullopt: a conflict).
std::optional<CachedFile> Rebase(const Batch& batch, CachedFile current);
// After a successful replace, keeps what was written as the cached copy.
void RememberWritten(const std::string& host, CachedFile working, std::string_view bytes);

} // namespace varnel::platform::profile_detail
