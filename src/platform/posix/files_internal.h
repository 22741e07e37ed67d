#pragma once
// What the POSIX file functions share.

#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace varnel::platform {

// ToHostPath that also hands back the file's status when finding the path already looked at the
// file itself (no symbolic link on the way to check); `statted` says whether it did.
std::string ToHostPathAndStat(std::string_view windowsPath, struct stat& st, bool& statted);

// Under Wine a file without any write permission bit is a read-only file, even for root.
inline bool Writable(const std::string& host, const struct stat& st) {
    return (st.st_mode & 0222) != 0 && access(host.c_str(), W_OK) == 0;
}

} // namespace varnel::platform
