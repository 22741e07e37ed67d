#pragma once
// Zip archives for the tests, written with libarchive.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace varnel::test {

struct ArchiveItem {
    ArchiveItem(std::string entryName, std::string bytes, std::string link = {})
        : name(std::move(entryName)), data(std::move(bytes)), linkTarget(std::move(link)) {}
    std::string name;       // as stored, may be hostile ("../x", "/abs", "C:\\x")
    std::string data;       // a file's bytes
    std::string linkTarget; // non-empty: a symbolic link to this
};

// Writes the items to a zip archive at a machine path.
void WriteZip(const std::string& machinePath, const std::vector<ArchiveItem>& items);

// One entry of a zip written byte by byte, for archives no honest writer makes: its stored bytes
// as they are (already compressed for a method other than 0), with the sizes, flags and Unix mode
// it declares.
struct RawZipEntry {
    std::string name;
    std::string stored;
    uint16_t method = 0;         // 0 stored, 8 deflate, 9 deflate64
    int64_t declaredSize = -1;   // the uncompressed size it claims; -1: the stored size
    bool encrypted = false;      // general-purpose flag bit 0
    uint32_t unixMode = 0100644; // 0120777 makes a symbolic link whose target is `stored`
    bool utf8Name = true;        // false: the name is in the DOS code page (CP437), as old zippers wrote
};
void WriteRawZip(const std::string& machinePath, const std::vector<RawZipEntry>& entries);

// Raw deflate data of the bytes (for RawZipEntry with method 8).
std::string Deflate(const std::string& bytes);

// Writes the files to a RAR 4 archive with every file stored (no free program on Debian makes
// RAR archives): the format's marker, main header, one file header per item (Windows host,
// backslashes in names) and the end block. With `encrypted` each file header says the file is
// encrypted, as a password-protected archive's do.
void WriteStoredRar(const std::string& machinePath, const std::vector<ArchiveItem>& items,
                    bool encrypted = false);

} // namespace varnel::test

namespace varnel::test {

// The names of a zip's members in order, and one member's bytes ("" when it has none of the name).
std::vector<std::string> ZipNames(const std::string& machinePath);
std::string ZipMemberBytes(const std::string& machinePath, const std::string& name);

} // namespace varnel::test
