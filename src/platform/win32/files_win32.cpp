#include "platform/files.h"

#include "platform/cached_file_source.h"
#include "platform/process.h"
#include "platform/win32/wide.h"
#include "util/names.h"
#include "util/text.h"

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <optional>
#include <unordered_set>
#include <vector>
#include <windows.h>

#include <psapi.h>

namespace varnel::platform {

using win32::HostText;
using win32::Wide;
using win32::WideFromUtf8;

namespace {

bool HasWildcards(std::string_view name) {
    return name.find_first_of("*?") != std::string_view::npos;
}

FindData MakeFindData(const WIN32_FIND_DATAW& found) {
    FindData data;
    data.Name = HostText(found.cFileName);
    data.IsFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    data.Size = data.IsFolder ? 0 : (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    return data;
}

// The attributes of a path, following links; INVALID_FILE_ATTRIBUTES when nothing is there.
DWORD AttributesOf(const std::wstring& path) {
    return path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(path.c_str());
}

bool IsFolderAttributes(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsFileAttributes(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
           (attributes & FILE_ATTRIBUTE_DEVICE) == 0;
}

// The volume a path lies on, as a number: its drive letter or its \\server\share, folded. Asking
// the system for the volume's serial number costs a round trip to the mount manager under Wine
// for every file (milliseconds each, for thousands of modules); the path says as much.
uint64_t VolumeOfPath(const std::wstring& path) {
    std::wstring root;
    if (path.size() >= 2 && path[1] == L':') {
        root = path.substr(0, 2);
    } else if (path.starts_with(L"\\\\")) {
        const size_t server = path.find(L'\\', 2);
        const size_t share = server == std::wstring::npos ? server : path.find(L'\\', server + 1);
        root = path.substr(0, share);
    }
    uint64_t hash = 1469598103934665603ull;
    for (wchar_t c : root) {
        hash ^= static_cast<uint64_t>(towupper(c));
        hash *= 1099511628211ull;
    }
    return hash;
}

// The file's index on its volume, from the handle (NTFS's file id; Wine's inode number).
uint64_t FileIndexOf(HANDLE handle) {
    struct InternalInformation {
        LARGE_INTEGER index;
    };
    struct StatusBlock {
        union {
            LONG status;
            PVOID pointer;
        };
        ULONG_PTR information;
    };
    using Query = LONG(WINAPI*)(HANDLE, StatusBlock*, PVOID, ULONG, int);
    static const Query query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationFile")));
    constexpr int kFileInternalInformation = 6;
    InternalInformation information{};
    StatusBlock block{};
    if (!query || query(handle, &block, &information, sizeof information, kFileInternalInformation) < 0)
        return 0;
    return static_cast<uint64_t>(information.index.QuadPart);
}

// The stamp of an open file (path names its volume).
std::optional<FileStamp> StampOfHandle(HANDLE handle, const std::wstring& path, bool regularOnly) {
    FILE_BASIC_INFO basic{};
    FILE_STANDARD_INFO standard{};
    const bool ok = GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic) != 0 &&
                    GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof standard) != 0;
    const uint64_t index = ok ? FileIndexOf(handle) : 0;
    if (!ok || (regularOnly && (basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0))
        return std::nullopt;
    FileStamp stamp;
    stamp.device = VolumeOfPath(path);
    stamp.inode = index;
    stamp.size = static_cast<uint64_t>(standard.EndOfFile.QuadPart);
    stamp.mtimeNs = win32::FileTimeNs(static_cast<unsigned long>(basic.LastWriteTime.LowPart),
                                      static_cast<unsigned long>(basic.LastWriteTime.HighPart));
    return stamp;
}

// ---- What a scan answers from memory ------------------------------------------------------
//
// Under Wine every open of a file is a round trip to the server (a look at its attributes is
// not), and a load of the plugin table looks at thousands of modules. While an InUseScan lives,
// the modules that running processes have loaded are read once from their module lists, and a
// module's state is its attributes and that list: it is not opened.

std::wstring Folded(std::wstring_view text) {
    std::wstring folded(text);
    for (wchar_t& c : folded)
        c = static_cast<wchar_t>(towupper(c));
    return folded;
}

} // namespace

struct InUseScan::Snapshot {
    bool processesRead = false;
    std::unordered_set<std::wstring> loaded; // folded paths of the modules other processes hold
};

namespace {

thread_local InUseScan::Snapshot* g_scan = nullptr;

// The modules every other process has loaded, by their long paths. Not asked, because reading a
// process's module list costs a round trip per read under Wine (and the list is read again for
// each module's name):
// - the system's own programs (those in the Windows folder: services, the shell, under Wine its
//   servers), which load no plugin;
// - this program's own helpers, which hold a module only while answering a question about it:
//   that module is not in use by another program.
void ReadLoadedModules(InUseScan::Snapshot& scan) {
    scan.processesRead = true;
    wchar_t windowsFolder[MAX_PATH + 1] = {};
    const UINT windowsLength = GetSystemWindowsDirectoryW(windowsFolder, MAX_PATH);
    const std::wstring systemPrefix = windowsLength > 0 && windowsLength < MAX_PATH
                                          ? Folded(std::wstring(windowsFolder, windowsLength)) + L"\\"
                                          : std::wstring();
    const std::wstring helpers[] = {Folded(Wide(WindowsHelperPath(Bitness::Bits64))),
                                    Folded(Wide(WindowsHelperPath(Bitness::Bits32)))};
    std::vector<DWORD> ids(1024);
    DWORD used = 0;
    while (EnumProcesses(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &used) &&
           used == ids.size() * sizeof(DWORD))
        ids.resize(ids.size() * 2);
    ids.resize(used / sizeof(DWORD));
    std::vector<HMODULE> modules;
    std::wstring name(32768, L'\0');
    for (DWORD id : ids) {
        if (id == 0 || id == GetCurrentProcessId())
            continue;
        // A process of another user, or one that ended meanwhile, is not asked either.
        HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_VM_READ, FALSE, id);
        if (!process)
            continue;
        DWORD length = static_cast<DWORD>(name.size());
        if (QueryFullProcessImageNameW(process, 0, name.data(), &length)) {
            const std::wstring image = Folded(std::wstring_view(name.data(), length));
            if ((!systemPrefix.empty() && image.starts_with(systemPrefix)) || image == helpers[0] ||
                image == helpers[1]) {
                CloseHandle(process);
                continue;
            }
        }
        modules.resize(256);
        DWORD needed = 0;
        while (EnumProcessModulesEx(process, modules.data(),
                                    static_cast<DWORD>(modules.size() * sizeof(HMODULE)), &needed,
                                    LIST_MODULES_ALL) &&
               needed > modules.size() * sizeof(HMODULE))
            modules.resize(needed / sizeof(HMODULE));
        modules.resize(std::min<size_t>(modules.size(), needed / sizeof(HMODULE)));
        for (HMODULE module : modules) {
            length = GetModuleFileNameExW(process, module, name.data(), static_cast<DWORD>(name.size()));
            if (length == 0 || length >= name.size())
                continue;
            std::wstring path(name.data(), length);
            if (path.find(L'~') != std::wstring::npos) { // loaded by its short name
                std::wstring longPath(32768, L'\0');
                const DWORD longLength =
                    GetLongPathNameW(path.c_str(), longPath.data(), static_cast<DWORD>(longPath.size()));
                if (longLength > 0 && longLength < longPath.size())
                    path.assign(longPath.data(), longLength);
            }
            scan.loaded.insert(Folded(path));
        }
        CloseHandle(process);
    }
}

bool LoadedInScan(const std::wstring& path) {
    if (!g_scan->processesRead)
        ReadLoadedModules(*g_scan);
    return g_scan->loaded.count(Folded(path)) != 0;
}

std::optional<FileStamp> StampOfWide(const std::wstring& path, bool regularOnly) {
    if (path.empty())
        return std::nullopt;
    // Opened for nothing but its attributes: a file another program holds is still stamped.
    HANDLE handle = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::optional<FileStamp> stamp = StampOfHandle(handle, path, regularOnly);
    CloseHandle(handle);
    return stamp;
}

} // namespace

std::vector<FindData> FindFiles(std::string_view pattern) {
    std::vector<FindData> result;
    if (pattern.empty() || pattern.back() == '\\' || pattern.back() == '/')
        return result;
    WIN32_FIND_DATAW found;
    // The basic search leaves out the short names, which would let "*.wlx" match "x.wlx64".
    HANDLE search = FindFirstFileExW(Wide(pattern).c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                     nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE)
        return result;
    const std::string_view name = pattern.substr(pattern.find_last_of("\\/:") + 1);
    do {
        if (std::wcscmp(found.cFileName, L".") == 0 || std::wcscmp(found.cFileName, L"..") == 0)
            continue;
        FindData data = MakeFindData(found);
        // The system's own matching also accepts names whose extension only begins like the
        // pattern's ("*.wlx" finds "a.wlx64" through its short name); the host text decides.
        if (HasWildcards(name) && !WildcardMatch(name, data.Name))
            continue;
        result.push_back(std::move(data));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return result;
}

bool DirectoryExists(std::string_view path) {
    return IsFolderAttributes(AttributesOf(Wide(path)));
}

bool IsRegularFile(std::string_view path) {
    return IsFileAttributes(AttributesOf(Wide(path)));
}

std::string ShortPathName(std::string_view path) {
    const std::wstring wide = Wide(path);
    if (wide.empty())
        return {};
    DWORD needed = GetShortPathNameW(wide.c_str(), nullptr, 0);
    if (needed == 0)
        return {};
    std::wstring shortPath(needed, L'\0');
    DWORD length = GetShortPathNameW(wide.c_str(), shortPath.data(), needed);
    if (length == 0 || length >= needed)
        return {};
    shortPath.resize(length);
    return HostText(shortPath);
}

bool IsSymbolicLink(std::string_view path) {
    const DWORD attributes = AttributesOf(Wide(path));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool CreateFolder(std::string_view path) {
    return CreateDirectoryW(Wide(path).c_str(), nullptr) != 0;
}

bool RemoveFolder(std::string_view path) {
    return RemoveDirectoryW(Wide(path).c_str()) != 0;
}

bool DeleteFileAt(std::string_view path) {
    return DeleteFileW(Wide(path).c_str()) != 0;
}

// ---- Files held by running processes -------------------------------------------------------

InUseScan::InUseScan() : m_previous(g_scan) {
    if (!m_previous) {
        m_snapshot = std::make_unique<Snapshot>();
        g_scan = m_snapshot.get();
    }
}

InUseScan::~InUseScan() {
    if (m_snapshot)
        g_scan = m_previous;
}

bool FileCannotBeOpenedForWriting(std::string_view path) {
    const std::wstring wide = Wide(path);
    if (wide.empty())
        return true;
    // Exactly the host's test: a module that a running program has loaded, or a running program,
    // cannot be opened for writing.
    HANDLE handle = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return true;
    CloseHandle(handle);
    return false;
}

FileState InspectFile(std::string_view path) {
    FileState state;
    if (path.empty() || HasWildcards(path))
        return state;
    // A device name (COM1.wlx from a hostile configuration) is never opened: that could wait on
    // a port for ever.
    const std::wstring wide = Wide(path);
    if (wide.empty() || !IsPlainName(FileNamePart(path)))
        return state;
    // In a scan: its attributes, and the modules the processes hold.
    if (g_scan) {
        const DWORD attributes = AttributesOf(wide);
        state.exists = attributes != INVALID_FILE_ATTRIBUTES;
        state.regular = IsFileAttributes(attributes);
        state.cannotOpenForWriting = !state.regular || LoadedInScan(wide);
        return state;
    }
    // Else the host's own test: a module nobody holds opens for writing, and then it exists and
    // is a regular file; only when it does not open are its attributes asked.
    HANDLE handle = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        const bool disk = GetFileType(handle) == FILE_TYPE_DISK;
        CloseHandle(handle);
        if (disk) {
            state.exists = state.regular = true;
            state.cannotOpenForWriting = false;
            return state;
        }
    }
    const DWORD attributes = AttributesOf(wide);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return state;
    state.exists = true;
    state.regular = IsFileAttributes(attributes);
    return state;
}

std::optional<FileStamp> StampOf(std::string_view path) {
    return StampOfWide(Wide(path), true);
}

std::optional<FileStamp> AttributeStampOf(std::string_view path) {
    const std::wstring wide = Wide(path);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (wide.empty() || !GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data) ||
        !IsFileAttributes(data.dwFileAttributes))
        return std::nullopt;
    FileStamp stamp;
    stamp.device = VolumeOfPath(wide);
    stamp.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    stamp.mtimeNs =
        win32::FileTimeNs(data.ftLastWriteTime.dwLowDateTime, data.ftLastWriteTime.dwHighDateTime);
    return stamp;
}

// ---- Reading files ---------------------------------------------------------------------------

namespace {

// A file read at offsets through its handle.
class FileSource : public CachedFileSource {
public:
    FileSource(HANDLE handle, uint64_t size) : CachedFileSource(size), m_handle(handle) {}
    ~FileSource() override { CloseHandle(m_handle); }
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

private:
    // A seek and a plain read: a read given an OVERLAPPED for its offset costs Wine one more
    // round trip to its server (to post a completion nobody waits for), for every module read.
    bool ReadAt(uint64_t offset, size_t size, void* out) override {
        LARGE_INTEGER at{};
        at.QuadPart = static_cast<LONGLONG>(offset);
        if (!SetFilePointerEx(m_handle, at, nullptr, FILE_BEGIN))
            return false;
        auto* p = static_cast<char*>(out);
        while (size > 0) {
            DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1 << 20));
            DWORD got = 0;
            if (!ReadFile(m_handle, p, chunk, &got, nullptr) || got == 0)
                return false;
            p += got;
            size -= got;
        }
        return true;
    }

    HANDLE m_handle;
};

// Opens a regular file for reading, sharing it with every other program (the host may have it
// open, or loaded). notAFile tells a folder or device apart from a missing file.
HANDLE OpenRegularFile(const std::wstring& path, uint64_t& size, bool& notAFile) {
    notAFile = false;
    if (path.empty())
        return INVALID_HANDLE_VALUE;
    HANDLE handle =
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return handle;
    // The standard information, not GetFileInformationByHandle: that asks for the volume's serial
    // number too, which costs a round trip to Wine's mount manager for every file.
    FILE_STANDARD_INFO info{};
    if (GetFileType(handle) != FILE_TYPE_DISK ||
        !GetFileInformationByHandleEx(handle, FileStandardInfo, &info, sizeof info) || info.Directory) {
        notAFile = true;
        CloseHandle(handle);
        return INVALID_HANDLE_VALUE;
    }
    size = static_cast<uint64_t>(info.EndOfFile.QuadPart);
    return handle;
}

} // namespace

std::unique_ptr<ByteSource> OpenFileForReading(std::string_view path) {
    const std::wstring wide = Wide(path);
    uint64_t size = 0;
    bool notAFile = false;
    HANDLE handle = OpenRegularFile(wide, size, notAFile);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    return std::make_unique<FileSource>(handle, size);
}

ReadResult ReadWholeFile(std::string_view path, std::string& bytes, size_t maxBytes) {
    bytes.clear();
    const std::wstring wide = Wide(path);
    uint64_t size = 0;
    bool notAFile = false;
    HANDLE handle = OpenRegularFile(wide, size, notAFile);
    if (handle == INVALID_HANDLE_VALUE) {
        if (notAFile)
            return ReadResult::NotAFile;
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ReadResult::Missing
                                                                              : ReadResult::Failed;
    }
    if (size > maxBytes) {
        CloseHandle(handle);
        return ReadResult::TooLarge;
    }
    bytes.reserve(static_cast<size_t>(size));
    char buffer[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(handle, buffer, sizeof buffer, &got, nullptr)) {
            CloseHandle(handle);
            bytes.clear();
            return ReadResult::Failed;
        }
        if (got == 0)
            break;
        bytes.append(buffer, got);
        if (bytes.size() > maxBytes) { // it grew while being read
            CloseHandle(handle);
            bytes.clear();
            return ReadResult::TooLarge;
        }
    }
    CloseHandle(handle);
    return ReadResult::Ok;
}

FolderSurvey SurveyFolders(const std::vector<std::string>& folders, std::string_view leaveOut) {
    FolderSurvey entries;
    size_t seen = 0;
    // Depth-first with an explicit stack; links (reparse points) are listed, never entered.
    struct Pending {
        std::string folder;
        int depth;
    };
    for (const std::string& top : folders) {
        std::vector<Pending> stack{{top, 0}};
        while (!stack.empty() && seen < 50000) {
            Pending current = stack.back();
            stack.pop_back();
            WIN32_FIND_DATAW found;
            HANDLE search = FindFirstFileExW(Wide(current.folder + "\\*").c_str(), FindExInfoBasic, &found,
                                             FindExSearchNameMatch, nullptr, 0);
            if (search == INVALID_HANDLE_VALUE)
                continue;
            do {
                if (std::wcscmp(found.cFileName, L".") == 0 || std::wcscmp(found.cFileName, L"..") == 0)
                    continue;
                const std::string path = current.folder + "\\" + HostText(found.cFileName);
                if (EqualsNoCaseAnsi(path, leaveOut))
                    continue;
                // Change time: the system keeps the last write; creation catches a file replaced
                // by rename with an old write time.
                const long long written = win32::FileTimeNs(found.ftLastWriteTime.dwLowDateTime,
                                                            found.ftLastWriteTime.dwHighDateTime);
                const long long created = win32::FileTimeNs(found.ftCreationTime.dwLowDateTime,
                                                            found.ftCreationTime.dwHighDateTime);
                const long long changed = std::max(written, created);
                entries[path] = {changed / 1000000000LL, changed % 1000000000LL};
                ++seen;
                const bool folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                                    (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
                if (folder && current.depth < 6)
                    stack.push_back({path, current.depth + 1});
            } while (seen < 50000 && FindNextFileW(search, &found));
            FindClose(search);
        }
    }
    return entries;
}

// ---- Machine paths ---------------------------------------------------------------------------

bool IsRegularMachineFile(const std::string& machinePath) {
    return IsFileAttributes(AttributesOf(WideFromUtf8(machinePath)));
}

bool IsExecutableMachineFile(const std::string& machinePath) {
    if (!IsRegularMachineFile(machinePath))
        return false;
    const std::string ext = LowerAscii(ExtensionPart(machinePath));
    return ext == ".exe" || ext == ".com" || ext == ".bat" || ext == ".cmd";
}

std::optional<FileStamp> StampOfMachinePath(const std::string& machinePath) {
    return StampOfWide(WideFromUtf8(machinePath), false);
}

} // namespace varnel::platform
