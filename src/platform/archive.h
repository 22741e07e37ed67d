#pragma once
// Unpacking .zip and .rar archives with the built-in library, safely: every entry is checked
// before anything is written, and nothing lands outside the target folder.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace varnel::platform {

// Limits against archive bombs, judged before the first byte is written (from the sizes the
// archive declares) and again while writing (from the bytes that actually come out, which also
// may not exceed an entry's declared size).
struct ArchiveLimits {
    uint64_t maxTotalBytes = 1024ull * 1024 * 1024; // all entries unpacked
    uint64_t maxEntries = 20000;
    uint64_t maxRatio = 200; // unpacked bytes per byte of archive, for archives above 1 MB unpacked
    unsigned maxDepth = 64;  // folders an entry lies below the top
};

enum class ArchiveResult {
    Extracted,
    Unreadable, // the library cannot read it (unknown format, encrypted, damaged): another unpacker may
    Unsafe,     // an entry would leave the target folder (".." or an absolute or drive path)
    Link,       // an entry is a symbolic or hard link
    TooLarge,   // above the limits
    WriteFailed,
    Cancelled, // the user stopped it
};

struct ArchiveOutcome {
    ArchiveResult result = ArchiveResult::Unreadable;
    std::string entry;          // the entry that was refused or failed (UTF-8)
    bool headersChecked = true; // every entry's header was read and passed (false: not all readable)
};

// Unpacks the archive (Windows path) into the target folder (Windows path, created when missing),
// with the archive's folders, overwriting files. Every header the library can read is checked
// first: an archive with a link, a name that leaves the folder or sizes above the limits is refused
// whole (even when some entries' data cannot be decoded, so that no other unpacker sees it). No
// entry is written through a symbolic link on disk.
ArchiveOutcome ExtractArchiveSafely(std::string_view archive, std::string_view targetFolder,
                                    const ArchiveLimits& limits = {});

// One member of a zip to write: a file's bytes (source, a Windows path of a regular file, read a
// block at a time) or the bytes given.
struct ZipMember {
    std::string name; // UTF-8, "/" between folders
    std::string source;
    std::string bytes;
};

// Writes a zip of the members (deflated, names marked as UTF-8) to a scratch file first and then
// puts it in place in one step: the target is the old file or the whole new one. False when a
// source could not be read or the zip not written.
bool WriteZipArchive(std::string_view archive, const std::vector<ZipMember>& members);

} // namespace varnel::platform
