#include "platform/files.h"

#include "platform/cached_file_source.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/posix/files_internal.h"
#include "util/text.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace varnel::platform {

namespace {

bool HasWildcards(std::string_view name) {
    return name.find_first_of("*?") != std::string_view::npos;
}

void SplitLast(std::string_view path, std::string_view& folder, std::string_view& name) {
    size_t at = path.find_last_of("\\/");
    if (at == std::string_view::npos) {
        // "C:name" or a bare name
        if (path.size() >= 2 && path[1] == ':') {
            folder = path.substr(0, 2);
            name = path.substr(2);
        } else {
            folder = {};
            name = path;
        }
        return;
    }
    folder = path.substr(0, at + 1);
    name = path.substr(at + 1);
}

FindData MakeFindData(const std::string& name, const struct stat& st) {
    FindData data;
    data.Name = Utf8ToHostText(name);
    data.IsFolder = S_ISDIR(st.st_mode);
    data.Size = data.IsFolder ? 0 : static_cast<uint64_t>(st.st_size);
    return data;
}

} // namespace

std::vector<FindData> FindFiles(std::string_view pattern) {
    std::vector<FindData> result;
    std::string_view folder, name;
    SplitLast(pattern, folder, name);
    if (name.empty())
        return result;
    if (!HasWildcards(name)) {
        const HostFile file = StatWindowsPath(pattern);
        if (file.exists)
            result.push_back(MakeFindData(file.host.substr(file.host.rfind('/') + 1), file.st));
        return result;
    }
    std::string hostFolder = ToHostPath(folder.empty() ? std::string_view(".") : folder);
    if (hostFolder.empty())
        return result;
    DIR* dir = opendir(hostFolder.c_str());
    if (!dir)
        return result;
    while (dirent* entry = readdir(dir)) {
        std::string entryName = entry->d_name;
        if (entryName == "." || entryName == "..")
            continue;
        if (!WildcardMatch(name, Utf8ToHostText(entryName)))
            continue;
        struct stat st;
        std::string full = hostFolder == "/" ? "/" + entryName : hostFolder + "/" + entryName;
        if (stat(full.c_str(), &st) != 0 && lstat(full.c_str(), &st) != 0)
            continue;
        result.push_back(MakeFindData(entryName, st));
    }
    closedir(dir);
    return result;
}

bool DirectoryExists(std::string_view path) {
    if (path.empty())
        return false;
    std::string host = ToHostPath(path);
    struct stat st;
    return !host.empty() && stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// ---- Files held by running processes -------------------------------------------------------

struct InUseScan::Snapshot {
    bool scanned = false;
    std::set<std::pair<dev_t, ino_t>> mapped;
};

namespace {

thread_local InUseScan::Snapshot* g_currentScan = nullptr;

bool IsWineProgramName(std::string_view path) {
    std::string_view name = path.substr(path.rfind('/') + 1);
    return name.substr(0, 4) == "wine" && name.substr(0, 10) != "wineserver";
}

// Only Wine's processes load Windows modules, and each of them runs a program whose name begins
// with "wine" (wine, wine64, their preloaders); the rest of the machine's processes are not asked.
// Where the kernel runs no 32-bit programs, 32-bit Wine runs under qemu-i386, whose first argument
// that is a path is then the Wine program it emulates.
// Of Wine's processes, two kinds are not asked either (their mappings are long, and read on every
// check):
// - the system's own programs (those in the Windows folder: services, the shell), which load no
//   plugin;
// - this program's own helpers, which hold a module only while answering a question about it:
//   that module is not in use by another program.
bool IsWineProcessThatMayHoldPlugins(std::string_view pid) {
    char target[PATH_MAX];
    const std::string proc = "/proc/" + std::string(pid);
    ssize_t n = readlink((proc + "/exe").c_str(), target, sizeof target - 1);
    if (n <= 0)
        return false;
    std::string_view path(target, static_cast<size_t>(n));
    const bool wine = IsWineProgramName(path);
    if (!wine && path.substr(path.rfind('/') + 1).substr(0, 9) != "qemu-i386")
        return false;
    int fd = open((proc + "/cmdline").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return wine;
    char args[PATH_MAX * 2];
    ssize_t got = read(fd, args, sizeof args - 1);
    close(fd);
    if (got <= 0)
        return wine;
    // The program Wine runs: the first argument after qemu's own and Wine's loaders, or the first
    // argument itself where Wine has set it to the Windows program's path.
    auto isLoader = [](std::string_view arg) {
        const std::string_view name = arg.substr(arg.rfind('/') + 1);
        return arg.starts_with('/') &&
               (name == "wine" || name == "wine64" || name == "wine-preloader" || name == "wine64-preloader");
    };
    std::string_view rest(args, static_cast<size_t>(got));
    bool wineSeen = wine;
    std::string_view program;
    while (!rest.empty() && program.empty()) {
        const size_t end = rest.find('\0');
        const std::string_view arg = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (isLoader(arg))
            wineSeen = true;
        else if (wineSeen)
            program = arg;
    }
    if (!wineSeen)
        return false;
    std::string folded(program);
    for (char& c : folded)
        c = c == '/' ? '\\' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::string_view name = std::string_view(folded).substr(folded.rfind('\\') + 1);
    return !folded.starts_with("c:\\windows\\") && name != "tcvarnel-probe-w64.exe" &&
           name != "tcvarnel-probe-w32.exe";
}

// Reads a process's mappings: each line is "address perms offset major:minor inode path".
void ReadMappings(std::string_view pid, std::string& buffer, InUseScan::Snapshot& snapshot) {
    std::string mapsPath = "/proc/" + std::string(pid) + "/maps";
    int fd = open(mapsPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    buffer.clear();
    char chunk[65536];
    ssize_t n;
    while ((n = read(fd, chunk, sizeof chunk)) > 0)
        buffer.append(chunk, static_cast<size_t>(n));
    close(fd);
    std::string_view rest = buffer;
    while (!rest.empty()) {
        size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        // Skip three fields, then read the device and the inode.
        size_t pos = 0;
        for (int field = 0; field < 3 && pos != std::string_view::npos; ++field) {
            pos = line.find(' ', pos);
            if (pos != std::string_view::npos)
                ++pos;
        }
        if (pos == std::string_view::npos)
            continue;
        const char* p = line.data() + pos;
        const char* stop = line.data() + line.size();
        char* after = nullptr;
        unsigned long major = std::strtoul(p, &after, 16);
        if (after >= stop || *after != ':')
            continue;
        unsigned long minor = std::strtoul(after + 1, &after, 16);
        if (after >= stop || *after != ' ')
            continue;
        unsigned long long inode = std::strtoull(after + 1, &after, 10);
        if (inode != 0)
            snapshot.mapped.emplace(makedev(static_cast<unsigned>(major), static_cast<unsigned>(minor)),
                                    static_cast<ino_t>(inode));
    }
}

void ScanProcessMaps(InUseScan::Snapshot& snapshot) {
    snapshot.scanned = true;
    DIR* proc = opendir("/proc");
    if (!proc)
        return;
    std::string self = std::to_string(getpid());
    std::string buffer;
    while (dirent* entry = readdir(proc)) {
        std::string_view pid = entry->d_name;
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string_view::npos || pid == self)
            continue;
        if (IsWineProcessThatMayHoldPlugins(pid))
            ReadMappings(pid, buffer, snapshot);
    }
    closedir(proc);
}

bool HeldByAnotherProcess(const struct stat& st, const InUseScan::Snapshot& snapshot) {
    return snapshot.mapped.count({st.st_dev, st.st_ino}) != 0;
}

} // namespace

// The scan itself waits for the first question, so a load that probes no file costs nothing.
InUseScan::InUseScan() : m_previous(g_currentScan) {
    // A scan opened inside another one uses it: one look at the processes serves both.
    if (!g_currentScan) {
        m_snapshot = std::make_unique<Snapshot>();
        g_currentScan = m_snapshot.get();
    }
}

InUseScan::~InUseScan() {
    g_currentScan = m_previous;
}

namespace {

// The write probe on a file already looked at.
bool CannotOpenForWriting(const std::string& host, const struct stat& st) {
    if (!S_ISREG(st.st_mode) || !Writable(host, st))
        return true;
    if (g_currentScan) {
        if (!g_currentScan->scanned)
            ScanProcessMaps(*g_currentScan);
        return HeldByAnotherProcess(st, *g_currentScan);
    }
    InUseScan::Snapshot snapshot;
    ScanProcessMaps(snapshot);
    return HeldByAnotherProcess(st, snapshot);
}

} // namespace

bool FileCannotBeOpenedForWriting(std::string_view path) {
    if (path.empty())
        return true;
    const HostFile file = StatWindowsPath(path);
    return !file.exists || CannotOpenForWriting(file.host, file.st);
}

FileState InspectFile(std::string_view path) {
    FileState state;
    if (path.empty() || HasWildcards(path))
        return state;
    const HostFile file = StatWindowsPath(path);
    if (!file.exists)
        return state;
    const std::string& host = file.host;
    const struct stat& st = file.st;
    state.exists = true;
    state.regular = S_ISREG(st.st_mode);
    state.cannotOpenForWriting = CannotOpenForWriting(host, st);
    return state;
}

// ---- Reading files ---------------------------------------------------------------------------

namespace {

// A file read at offsets through its descriptor.
class FileSource : public CachedFileSource {
public:
    FileSource(int fd, uint64_t size) : CachedFileSource(size), m_fd(fd) {}
    ~FileSource() override { close(m_fd); }
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

private:
    bool ReadAt(uint64_t offset, size_t size, void* out) override {
        auto* p = static_cast<char*>(out);
        while (size > 0) {
            ssize_t n = pread(m_fd, p, size, static_cast<off_t>(offset));
            if (n <= 0)
                return false;
            p += n;
            size -= static_cast<size_t>(n);
            offset += static_cast<uint64_t>(n);
        }
        return true;
    }

    int m_fd;
};

} // namespace

namespace {

// Opens a regular file for reading. O_NONBLOCK keeps a FIFO's open from waiting for a writer;
// anything but a regular file is closed again at once.
int OpenRegularFile(const std::string& host, struct stat& st, bool& notAFile) {
    notAFile = false;
    int fd = open(host.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        notAFile = errno == ENXIO; // a FIFO or socket nobody serves
        return -1;
    }
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        notAFile = true;
        close(fd);
        return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

} // namespace

namespace {
FileStamp StampOfStat(const struct stat& st) {
    return FileStamp{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino),
                     static_cast<uint64_t>(st.st_size),
                     static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec};
}
} // namespace

std::optional<FileStamp> StampOf(std::string_view path) {
    const HostFile file = StatWindowsPath(path);
    if (!file.exists || !S_ISREG(file.st.st_mode))
        return std::nullopt;
    return StampOfStat(file.st);
}

std::optional<FileStamp> AttributeStampOf(std::string_view path) {
    return StampOf(path);
}

std::optional<FileStamp> StampOfMachinePath(const std::string& machinePath) {
    struct stat st;
    if (machinePath.empty() || stat(machinePath.c_str(), &st) != 0)
        return std::nullopt;
    return StampOfStat(st);
}

bool IsRegularMachineFile(const std::string& machinePath) {
    struct stat st;
    return !machinePath.empty() && stat(machinePath.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsExecutableMachineFile(const std::string& machinePath) {
    return IsRegularMachineFile(machinePath) && access(machinePath.c_str(), X_OK) == 0;
}

bool IsRegularFile(std::string_view path) {
    const HostFile file = StatWindowsPath(path);
    return file.exists && S_ISREG(file.st.st_mode);
}

std::string ShortPathName(std::string_view path) {
    // Wine's file systems have no 8.3 names: the short form of an existing path is the path.
    return FileExists(path) ? std::string(path) : std::string();
}

std::unique_ptr<ByteSource> OpenFileForReading(std::string_view path) {
    std::string host = ToHostPath(path);
    if (host.empty())
        return nullptr;
    struct stat st;
    bool notAFile = false;
    int fd = OpenRegularFile(host, st, notAFile);
    if (fd < 0)
        return nullptr;
    return std::make_unique<FileSource>(fd, static_cast<uint64_t>(st.st_size));
}

// ---- Whole files ---------------------------------------------------------------------------

ReadResult ReadWholeFile(std::string_view path, std::string& bytes, size_t maxBytes) {
    bytes.clear();
    std::string host = ToHostPath(path);
    if (host.empty())
        return ReadResult::Missing;
    struct stat st;
    bool notAFile = false;
    int fd = OpenRegularFile(host, st, notAFile);
    if (fd < 0) {
        if (notAFile)
            return ReadResult::NotAFile;
        return errno == ENOENT || errno == ENOTDIR ? ReadResult::Missing : ReadResult::Failed;
    }
    if (static_cast<uint64_t>(st.st_size) > maxBytes) {
        close(fd);
        return ReadResult::TooLarge;
    }
    char buffer[65536];
    for (;;) {
        if (bytes.size() > maxBytes) { // it grew while being read
            close(fd);
            bytes.clear();
            return ReadResult::TooLarge;
        }
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            close(fd);
            bytes.clear();
            return ReadResult::Failed;
        }
        if (n == 0)
            break;
        bytes.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    return ReadResult::Ok;
}

bool IsSymbolicLink(std::string_view path) {
    struct stat st;
    const std::string host = ToHostPath(path);
    return !host.empty() && lstat(host.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool CreateFolder(std::string_view path) {
    return mkdir(ToHostPath(path).c_str(), 0755) == 0;
}

bool RemoveFolder(std::string_view path) {
    return rmdir(ToHostPath(path).c_str()) == 0;
}

bool DeleteFileAt(std::string_view path) {
    return unlink(ToHostPath(path).c_str()) == 0;
}

FolderSurvey SurveyFolders(const std::vector<std::string>& folders, std::string_view leaveOut) {
    namespace fs = std::filesystem;
    FolderSurvey entries;
    const fs::path skipped = ToHostPath(leaveOut);
    for (const std::string& folder : folders) {
        std::error_code error;
        size_t seen = 0;
        for (auto it = fs::recursive_directory_iterator(ToHostPath(folder),
                                                        fs::directory_options::skip_permission_denied, error);
             !error && it != fs::recursive_directory_iterator() && ++seen < 50000; it.increment(error)) {
            const fs::path& path = it->path();
            if (path == skipped) {
                it.disable_recursion_pending();
                continue;
            }
            if (it.depth() > 6)
                it.disable_recursion_pending();
            struct stat st;
            if (lstat(path.c_str(), &st) == 0)
                entries[ToWindowsPath(path.string())] = {st.st_ctim.tv_sec, st.st_ctim.tv_nsec};
        }
    }
    return entries;
}

} // namespace varnel::platform
