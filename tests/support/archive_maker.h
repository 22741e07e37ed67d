#pragma once
// Zip archives for the tests, written with libarchive.

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

// Writes the files to a RAR 4 archive with every file stored (no free program on Debian makes
// RAR archives): the format's marker, main header, one file header per item (Windows host,
// backslashes in names) and the end block. With `encrypted` each file header says the file is
// encrypted, as a password-protected archive's do.
void WriteStoredRar(const std::string& machinePath, const std::vector<ArchiveItem>& items,
                    bool encrypted = false);

} // namespace varnel::test
