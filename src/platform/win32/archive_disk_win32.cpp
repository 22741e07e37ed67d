#include "platform/archive_disk.h"

#include "platform/win32/wide.h"

#include <windows.h>

namespace varnel::platform::archive_disk {

using win32::WideFromUtf8;

// The library keeps names as UTF-16 on Windows and hands out UTF-8 whatever the code page.
struct NameEncoding::State {};
NameEncoding::NameEncoding() = default;
NameEncoding::~NameEncoding() = default;

// The file system finds names without regard to letter case itself: nothing to keep.
struct FolderNames::State {};
FolderNames::FolderNames() = default;
FolderNames::~FolderNames() = default;

int OpenArchive(archive* reader, const std::string& machinePath) {
    // A zip name not marked as UTF-8 is in the DOS code page; the library would read it in the
    // system's ANSI code page here. (On Linux it passes the bytes on, and the reader converts.)
    archive_read_set_format_option(reader, "zip", "hdrcharset", "CP437");
    return archive_read_open_filename_w(reader, WideFromUtf8(machinePath).c_str(), 64 * 1024);
}

uint64_t ArchiveBytes(const std::string& machinePath) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(WideFromUtf8(machinePath).c_str(), GetFileExInfoStandard, &data))
        return 1;
    const uint64_t size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return size > 0 ? size : 1;
}

namespace {

bool IsFolder(const std::wstring& path, bool& link) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    link = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && !link;
}

std::wstring Trimmed(std::wstring path) {
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/'))
        path.pop_back();
    return path;
}

} // namespace

bool MakeTarget(const std::string& targetPath) {
    const std::wstring target = Trimmed(WideFromUtf8(targetPath));
    // Each parent in turn; those that exist fail harmlessly.
    for (size_t pos = 3; pos <= target.size(); ++pos)
        if (pos == target.size() || target[pos] == L'\\' || target[pos] == L'/')
            CreateDirectoryW(target.substr(0, pos).c_str(), nullptr);
    const DWORD attributes = GetFileAttributesW(target.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string MakeParents(const std::string& target, const std::vector<std::string>& parts, size_t count,
                        bool& unsafe) {
    std::wstring folder = Trimmed(WideFromUtf8(target));
    for (size_t i = 0; i < count; ++i) {
        folder += L"\\" + WideFromUtf8(parts[i]);
        bool link = false;
        if (IsFolder(folder, link))
            continue;
        if (link || GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES ||
            !CreateDirectoryW(folder.c_str(), nullptr)) {
            unsafe = link;
            return {};
        }
    }
    return win32::Utf8FromWide(folder);
}

struct EntryFile::Handle {
    HANDLE file = INVALID_HANDLE_VALUE;
    std::wstring path;
};

EntryFile::EntryFile(const std::string& folder, const std::string& name)
    : m_handle(std::make_unique<Handle>()) {
    m_handle->path = WideFromUtf8(folder) + L"\\" + WideFromUtf8(name);
    const DWORD attributes = GetFileAttributesW(m_handle->path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        m_status = Opened::Link;
        return;
    }
    m_handle->file = CreateFileW(m_handle->path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    m_status = m_handle->file != INVALID_HANDLE_VALUE ? Opened::Ok : Opened::Failed;
}

EntryFile::~EntryFile() {
    Close(false);
}

// A seek and a plain write: a write given an OVERLAPPED for its offset costs Wine one more round
// trip to its server per write, which adds up over an archive of thousands of small files.
bool EntryFile::WriteAt(const void* data, size_t size, int64_t offset) {
    LARGE_INTEGER at{};
    at.QuadPart = offset;
    if (!SetFilePointerEx(m_handle->file, at, nullptr, FILE_BEGIN))
        return false;
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const DWORD chunk = static_cast<DWORD>(size < (1u << 20) ? size : (1u << 20));
        DWORD written = 0;
        if (!WriteFile(m_handle->file, p, chunk, &written, nullptr) || written == 0)
            return false;
        p += written;
        size -= written;
    }
    return true;
}

void EntryFile::Close(bool discard) {
    if (m_handle->file == INVALID_HANDLE_VALUE)
        return;
    CloseHandle(m_handle->file);
    m_handle->file = INVALID_HANDLE_VALUE;
    if (discard)
        DeleteFileW(m_handle->path.c_str());
}

} // namespace varnel::platform::archive_disk
