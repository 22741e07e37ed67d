#pragma once
// What the POSIX file functions share.

#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace varnel::platform {

// Under Wine a file without any write permission bit is a read-only file, even for root.
inline bool Writable(const std::string& host, const struct stat& st) {
    return (st.st_mode & 0222) != 0 && access(host.c_str(), W_OK) == 0;
}

} // namespace varnel::platform
