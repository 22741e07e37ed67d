#pragma once
// Unpacking .zip and .rar archives with the built-in library, safely: every entry is checked
// before anything is written, and nothing lands outside the target folder.

#include <cstdint>
#include <string>
#include <string_view>

namespace varnel::platform {

// Limits against archive bombs, judged before the first byte is written (from the sizes the
// archive declares) and again while writing (from the bytes that actually come out).
struct ArchiveLimits {
    uint64_t maxTotalBytes = 1024ull * 1024 * 1024; // all entries unpacked
    uint64_t maxEntries = 20000;
    uint64_t maxRatio = 200; // unpacked bytes per byte of archive, for archives above 1 MB unpacked
};

enum class ArchiveResult {
    Extracted,
    Unreadable, // the library cannot read it (unknown format, encrypted, damaged): another unpacker may
    Unsafe,     // an entry would leave the target folder (".." or an absolute or drive path)
    TooLarge,   // above the limits
    WriteFailed,
};

struct ArchiveOutcome {
    ArchiveResult result = ArchiveResult::Unreadable;
    std::string entry; // the entry that was refused or failed (UTF-8)
};

// Unpacks the archive (Windows path) into the target folder (Windows path, created when missing),
// with the archive's folders, overwriting files. Links in the archive are not created, and no
// entry is written through a symbolic link on disk.
ArchiveOutcome ExtractArchiveSafely(std::string_view archive, std::string_view targetFolder,
                                    const ArchiveLimits& limits = {});

} // namespace varnel::platform
