// Replacing a file in one step, and removing what an interrupted replacement left behind.

#include "platform/files.h"
#include "platform/replace_disk.h"

#include "platform/paths.h"
#include "platform/posix/files_internal.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <vector>

namespace varnel::platform {

namespace {

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

} // namespace

bool ReplaceFileOnDisk(std::string_view path, ByteSource& source) {
    std::string host = ToHostPath(path);
    if (host.empty())
        return false;
    // Write through a link to the file it names, so the link survives.
    char resolved[PATH_MAX];
    if (realpath(host.c_str(), resolved))
        host = resolved;

    struct stat original;
    bool exists = stat(host.c_str(), &original) == 0;
    if (exists && !S_ISREG(original.st_mode))
        return false;
    // A read-only file stays unwritten, as the system refuses to write it.
    if (exists && !Writable(host, original))
        return false;

    size_t slash = host.rfind('/');
    std::string folder = slash == std::string::npos ? "." : host.substr(0, slash == 0 ? 1 : slash);
    std::string name = slash == std::string::npos ? host : host.substr(slash + 1);
    std::string temp = folder + "/." + name + ".XXXXXX";
    std::vector<char> tempName(temp.begin(), temp.end());
    tempName.push_back('\0');
    int fd = mkstemp(tempName.data());
    if (fd < 0)
        return false;
    std::string tempPath = tempName.data();

    mode_t mode = 0644;
    if (exists) {
        mode = original.st_mode & 07777;
    } else {
        mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    bool ok = ForEachBlock(source, [fd](std::string_view block) { return WriteAll(fd, block); }) &&
              fchmod(fd, mode) == 0;
    if (ok && exists && geteuid() == 0) {
        // Keep the owner when an administrator edits somebody else's file.
        if (fchown(fd, original.st_uid, original.st_gid) != 0) {
            // Not fatal: the contents are what matter.
        }
    }
    ok = ok && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (ok)
        ok = rename(tempPath.c_str(), host.c_str()) == 0;
    if (!ok) {
        unlink(tempPath.c_str());
        return false;
    }
    int dirFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        fsync(dirFd);
        close(dirFd);
    }
    return true;
}

namespace {

// flock() locks an open file description, so a second open of a folder this program has locked
// already would wait for itself: the locks held are counted by folder instead.
struct HeldFolder {
    int fd;
    int count;
};
std::mutex g_heldMutex;
std::map<std::pair<dev_t, ino_t>, HeldFolder>& HeldFolders() {
    static std::map<std::pair<dev_t, ino_t>, HeldFolder> held;
    return held;
}

} // namespace

FileWriteLock::FileWriteLock(std::string_view path) {
    std::string host = ToHostPath(path);
    char resolved[PATH_MAX];
    if (!host.empty() && realpath(host.c_str(), resolved))
        host = resolved; // the folder of the file a link names
    const size_t slash = host.rfind('/');
    if (slash == std::string::npos)
        return;
    const int fd = open(host.substr(0, slash == 0 ? 1 : slash).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat st;
    if (fd < 0)
        return;
    if (fstat(fd, &st) != 0) {
        close(fd);
        return;
    }
    {
        std::lock_guard guard(g_heldMutex);
        auto held = HeldFolders().find({st.st_dev, st.st_ino});
        if (held != HeldFolders().end()) {
            ++held->second.count;
            close(fd);
            m_handle = held->second.fd;
            return;
        }
    }
    while (flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
    std::lock_guard guard(g_heldMutex);
    HeldFolders()[{st.st_dev, st.st_ino}] = {fd, 1};
    m_handle = fd;
}

FileWriteLock::~FileWriteLock() {
    if (m_handle < 0)
        return;
    std::lock_guard guard(g_heldMutex);
    for (auto it = HeldFolders().begin(); it != HeldFolders().end(); ++it) {
        if (it->second.fd != m_handle)
            continue;
        if (--it->second.count == 0) {
            close(it->second.fd); // closing lets the lock go
            HeldFolders().erase(it);
        }
        return;
    }
}

std::unique_ptr<WorkMarker> WorkMarker::Take(std::string_view path) {
    const std::string host = ToHostPath(path);
    if (host.empty())
        return nullptr;
    // Not inherited by the programs this one starts: the host must not keep our work alive.
    const int fd = open(host.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return nullptr;
    int locked;
    while ((locked = flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (locked != 0) {
        close(fd);
        return nullptr;
    }
    std::unique_ptr<WorkMarker> marker(new WorkMarker);
    marker->m_path = host;
    marker->m_handle = fd;
    return marker;
}

WorkMarker::~WorkMarker() {
    unlink(m_path.c_str());
    close(static_cast<int>(m_handle));
}

CreateResult CreateFileExclusively(std::string_view path, std::string_view bytes) {
    const std::string host = ToHostPath(path);
    const size_t slash = host.rfind('/');
    if (host.empty() || slash == std::string::npos)
        return CreateResult::Failed;
    std::string temp = host.substr(0, slash + 1) + "." + host.substr(slash + 1) + ".XXXXXX";
    std::vector<char> tempName(temp.begin(), temp.end());
    tempName.push_back('\0');
    const int fd = mkstemp(tempName.data());
    if (fd < 0)
        return CreateResult::Failed;
    mode_t mask = umask(0);
    umask(mask);
    bool ok = WriteAll(fd, bytes) && fchmod(fd, 0666 & ~mask) == 0 && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    // link() gives the name only when it is free; the temporary name then goes.
    CreateResult result = CreateResult::Failed;
    if (ok)
        result = link(tempName.data(), host.c_str()) == 0 ? CreateResult::Created
                 : errno == EEXIST                        ? CreateResult::Exists
                                                          : CreateResult::Failed;
    unlink(tempName.data());
    return result;
}

void RemoveStaleReplacements(std::string_view path) {
    std::string host = ToHostPath(path);
    if (host.empty())
        return;
    char resolved[PATH_MAX];
    if (realpath(host.c_str(), resolved))
        host = resolved; // the temporary files lie beside the file a link names
    size_t slash = host.rfind('/');
    if (slash == std::string::npos)
        return;
    const std::string folder = host.substr(0, slash == 0 ? 1 : slash);
    std::string prefix(1, '.');
    prefix.append(host, slash + 1).push_back('.');
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return;
    const time_t now = time(nullptr);
    while (dirent* entry = readdir(dir)) {
        std::string_view name = entry->d_name;
        if (name.size() != prefix.size() + 6 || name.substr(0, prefix.size()) != prefix)
            continue;
        std::string_view suffix = name.substr(prefix.size());
        if (!std::all_of(suffix.begin(), suffix.end(),
                         [](char c) { return std::isalnum(static_cast<unsigned char>(c)); }))
            continue;
        std::string full = folder + "/" + std::string(name);
        struct stat st;
        if (lstat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode) && now - st.st_mtime > 60)
            unlink(full.c_str());
    }
    closedir(dir);
}

std::string MakeScratchFile() {
    const char* folder = std::getenv("TMPDIR");
    std::string pattern = std::string(folder && *folder ? folder : "/tmp") + "/varnel-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd < 0)
        return {};
    close(fd);
    return ToWindowsPath(name.data());
}

void MarkHiddenArchive(std::string_view path) {
    const std::string host = ToHostPath(path);
    static constexpr char kHiddenArchive[] = "0x22"; // FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE
    if (!host.empty())
        setxattr(host.c_str(), "user.DOSATTRIB", kHiddenArchive, sizeof kHiddenArchive - 1, 0);
}

} // namespace varnel::platform
