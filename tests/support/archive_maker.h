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

} // namespace varnel::test
