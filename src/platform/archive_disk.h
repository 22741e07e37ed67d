#pragma once
// What unpacking needs from the machine's file system, per platform: opening the archive, making
// the target's folders without passing through a link, and writing one entry's file. Paths here
// are machine paths ("/" between components on Linux, "\\" on Windows).

#include <archive.h>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace varnel::platform::archive_disk {

// For the life of one: entry names come out of the library as UTF-8, whatever the locale.
class NameEncoding {
public:
    NameEncoding();
    ~NameEncoding();
    NameEncoding(const NameEncoding&) = delete;
    NameEncoding& operator=(const NameEncoding&) = delete;

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// For the life of one: each folder's names are listed once, when an entry's spelling is first
// looked for in it, and kept up to date with the entries made, instead of a listing per entry (an
// archive of thousands of files in one folder would list it thousands of times).
class FolderNames {
public:
    FolderNames();
    ~FolderNames();
    FolderNames(const FolderNames&) = delete;
    FolderNames& operator=(const FolderNames&) = delete;

    struct State;

private:
    std::unique_ptr<State> m_state;
};

int OpenArchive(archive* reader, const std::string& machinePath);
uint64_t ArchiveBytes(const std::string& machinePath); // at least 1

// Makes the target folder and its parents; false when it is not a folder afterwards.
bool MakeTarget(const std::string& target);

// Makes the folders of an entry below the target (parts[0..count)), each taking the spelling of an
// existing namesake in another letter case, refusing to pass through a link (unsafe) or a file.
// Returns the machine path of the last one, "" when that is not possible.
std::string MakeParents(const std::string& target, const std::vector<std::string>& parts, size_t count,
                        bool& unsafe);

// One entry's file in a folder made by MakeParents: created or truncated, never through a link.
class EntryFile {
public:
    enum class Opened { Ok, Link, Failed };
    EntryFile(const std::string& folder, const std::string& name);
    ~EntryFile();
    EntryFile(const EntryFile&) = delete;
    EntryFile& operator=(const EntryFile&) = delete;
    Opened Status() const { return m_status; }
    bool WriteAt(const void* data, size_t size, int64_t offset);
    // Closes the file; with discard it is deleted.
    void Close(bool discard);

private:
    struct Handle;
    std::unique_ptr<Handle> m_handle;
    Opened m_status = Opened::Failed;
};

} // namespace varnel::platform::archive_disk
