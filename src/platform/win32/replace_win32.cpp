// Replacing a file's contents in one step, and its attributes.

#include "platform/files.h"
#include "platform/replace_disk.h"

#include "platform/win32/wide.h"

#include <algorithm>
#include <cwctype>
#include <random>
#include <windows.h>

namespace varnel::platform {

using win32::Wide;

namespace {

// The file a link names, so that the link survives the replacement; the path itself otherwise.
std::wstring FinalPath(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        return path;
    HANDLE handle = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return path;
    wchar_t buffer[32768];
    const DWORD length = GetFinalPathNameByHandleW(handle, buffer, 32768, FILE_NAME_NORMALIZED);
    CloseHandle(handle);
    if (length == 0 || length >= 32768)
        return path;
    return std::wstring(buffer, length);
}

std::wstring FolderOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring(L".") : path.substr(0, slash);
}

std::wstring NameOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// A new, empty temporary file beside the target, named ".NAME.XXXXXX".
HANDLE CreateTemporary(const std::wstring& target, std::wstring& tempPath) {
    static const wchar_t kChars[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<size_t> pick(0, 61);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::wstring suffix;
        for (int i = 0; i < 6; ++i)
            suffix.push_back(kChars[pick(random)]);
        tempPath = FolderOf(target) + L"\\." + NameOf(target) + L"." + suffix;
        HANDLE handle = CreateFileW(tempPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS)
            return handle;
    }
    return INVALID_HANDLE_VALUE;
}

bool WriteAll(HANDLE handle, std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1 << 20));
        DWORD written = 0;
        if (!WriteFile(handle, bytes.data(), chunk, &written, nullptr) || written == 0)
            return false;
        bytes.remove_prefix(written);
    }
    return true;
}

} // namespace

bool ReplaceFileOnDisk(std::string_view path, ByteSource& source) {
    std::wstring target = Wide(path);
    if (target.empty())
        return false;
    target = FinalPath(target);
    const DWORD attributes = GetFileAttributesW(target.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists && (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0)
        return false;
    // A read-only file stays unwritten, as the system refuses to write it.
    if (exists && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
        return false;
    std::wstring temp;
    HANDLE handle = CreateTemporary(target, temp);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    bool ok = ForEachBlock(source, [handle](std::string_view block) { return WriteAll(handle, block); }) &&
              FlushFileBuffers(handle);
    ok = CloseHandle(handle) && ok;
    if (ok) {
        // ReplaceFileW keeps the original's attributes, security and creation time; a new file
        // is moved into place with the move written through before it returns.
        ok = exists ? ReplaceFileW(target.c_str(), temp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                                   nullptr, nullptr) != 0
                    : MoveFileExW(temp.c_str(), target.c_str(),
                                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    }
    if (!ok)
        DeleteFileW(temp.c_str());
    return ok;
}

FileWriteLock::FileWriteLock(std::string_view path) {
    // One mutex per file, named after its full path in upper case, as Windows compares names.
    std::wstring name = FinalPath(Wide(path));
    for (wchar_t& c : name)
        c = c == L'\\' ? L'/' : static_cast<wchar_t>(std::towupper(c));
    HANDLE mutex = CreateMutexW(nullptr, FALSE, (L"Local\\TCVarnel-" + name).c_str());
    if (!mutex)
        return;
    const DWORD waited = WaitForSingleObject(mutex, INFINITE);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
        CloseHandle(mutex);
        return;
    }
    m_handle = reinterpret_cast<intptr_t>(mutex);
}

FileWriteLock::~FileWriteLock() {
    if (m_handle == -1)
        return;
    HANDLE mutex = reinterpret_cast<HANDLE>(m_handle);
    ReleaseMutex(mutex);
    CloseHandle(mutex);
}

std::unique_ptr<WorkMarker> WorkMarker::Take(std::string_view path) {
    const std::wstring wide = Wide(path);
    if (wide.empty())
        return nullptr;
    // Shared with nobody, and gone when the handle closes, however the program ends.
    HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    std::unique_ptr<WorkMarker> marker(new WorkMarker);
    marker->m_path = std::string(path);
    marker->m_handle = reinterpret_cast<intptr_t>(handle);
    return marker;
}

WorkMarker::~WorkMarker() {
    CloseHandle(reinterpret_cast<HANDLE>(m_handle));
}

CreateResult CreateFileExclusively(std::string_view path, std::string_view bytes) {
    const std::wstring target = Wide(path);
    if (target.empty())
        return CreateResult::Failed;
    std::wstring temp;
    HANDLE handle = CreateTemporary(target, temp);
    if (handle == INVALID_HANDLE_VALUE)
        return CreateResult::Failed;
    bool ok = WriteAll(handle, bytes) && FlushFileBuffers(handle);
    ok = CloseHandle(handle) && ok;
    // Without MOVEFILE_REPLACE_EXISTING the move fails when the name is taken.
    CreateResult result = CreateResult::Failed;
    if (ok) {
        if (MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH))
            return CreateResult::Created;
        const DWORD error = GetLastError();
        result = error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? CreateResult::Exists
                                                                             : CreateResult::Failed;
    }
    DeleteFileW(temp.c_str());
    return result;
}

void RemoveStaleReplacements(std::string_view path) {
    std::wstring target = Wide(path);
    if (target.empty())
        return;
    target = FinalPath(target);
    const std::wstring prefix = L"." + NameOf(target) + L".";
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileExW((FolderOf(target) + L"\\" + prefix + L"??????").c_str(), FindExInfoBasic,
                                     &found, FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE)
        return;
    FILETIME nowTime;
    GetSystemTimeAsFileTime(&nowTime);
    const long long now = win32::FileTimeNs(nowTime.dwLowDateTime, nowTime.dwHighDateTime);
    do {
        const std::wstring name = found.cFileName;
        if (name.size() != prefix.size() + 6 || _wcsnicmp(name.c_str(), prefix.c_str(), prefix.size()) != 0)
            continue;
        bool plain = true;
        for (size_t i = prefix.size(); i < name.size(); ++i)
            plain = plain && name[i] < 128 && std::iswalnum(name[i]);
        const long long written =
            win32::FileTimeNs(found.ftLastWriteTime.dwLowDateTime, found.ftLastWriteTime.dwHighDateTime);
        const bool file =
            (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
        if (plain && file && now - written > 60LL * 1000000000LL)
            DeleteFileW((FolderOf(target) + L"\\" + name).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

std::string MakeScratchFile() {
    wchar_t folder[MAX_PATH + 1];
    wchar_t name[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH || GetTempFileNameW(folder, L"vrn", 0, name) == 0)
        return {};
    return win32::HostText(name);
}

void MarkHiddenArchive(std::string_view path) {
    const std::wstring wide = Wide(path);
    if (!wide.empty())
        SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
}

} // namespace varnel::platform
