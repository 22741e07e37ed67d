#pragma once
// What the POSIX file functions share.

#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace varnel::platform {

// A Windows path's machine path and the status of the file there (following links). Inside a
// PathLookupScope both are looked at once per path.
struct HostFile {
    std::string host;
    bool exists = false; // st holds the file's status
    bool statKnown = false;
    struct stat st {};
};
HostFile StatWindowsPath(std::string_view windowsPath);

// Under Wine a file without any write permission bit is a read-only file, even for root.
inline bool Writable(const std::string& host, const struct stat& st) {
    return (st.st_mode & 0222) != 0 && access(host.c_str(), W_OK) == 0;
}

} // namespace varnel::platform
