#include "platform/archive_disk.h"

#include <cctype>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <locale.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace varnel::platform::archive_disk {

// The library converts entry names through the thread's character set: names are read in UTF-8
// whatever locale the program was started in (a "C" locale would lose every non-ASCII name).
struct NameEncoding::State {
    locale_t utf8 = static_cast<locale_t>(0);
    locale_t previous = static_cast<locale_t>(0);
};

NameEncoding::NameEncoding() : m_state(std::make_unique<State>()) {
    m_state->utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    if (m_state->utf8)
        m_state->previous = uselocale(m_state->utf8);
}

NameEncoding::~NameEncoding() {
    if (m_state->utf8) {
        uselocale(m_state->previous);
        freelocale(m_state->utf8);
    }
}

int OpenArchive(archive* reader, const std::string& machinePath) {
    return archive_read_open_filename(reader, machinePath.c_str(), 64 * 1024);
}

uint64_t ArchiveBytes(const std::string& machinePath) {
    struct stat st;
    return stat(machinePath.c_str(), &st) == 0 && st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 1;
}

bool MakeTarget(const std::string& targetPath) {
    std::string target = targetPath;
    while (target.size() > 1 && target.back() == '/')
        target.pop_back();
    for (size_t pos = 1; pos <= target.size(); ++pos)
        if (pos == target.size() || target[pos] == '/')
            mkdir(target.substr(0, pos).c_str(), 0755);
    struct stat st;
    return stat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

struct FolderNames::State {
    // By folder: its names by their A-Z folded form.
    std::unordered_map<std::string, std::unordered_map<std::string, std::string>> folders;
    State* previous = nullptr;
};

namespace {

thread_local FolderNames::State* g_folderNames = nullptr;

std::string FoldedAtoZ(std::string name) {
    for (char& c : name)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return name;
}

// A name in a folder as Wine would find it: the existing entry that matches without regard to
// the case of A-Z, else the name itself.
std::string ChildName(const std::string& folder, const std::string& name) {
    struct stat st;
    std::string path = folder;
    path.append(1, '/').append(name);
    if (lstat(path.c_str(), &st) == 0)
        return name;
    std::unordered_map<std::string, std::string>* kept = nullptr;
    if (g_folderNames) {
        auto [names, first] = g_folderNames->folders.try_emplace(folder);
        kept = &names->second;
        if (!first) // the name is about to be made: later entries take its spelling
            return kept->try_emplace(FoldedAtoZ(name), name).first->second;
    }
    std::string found = name;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir)) {
            if (kept)
                kept->try_emplace(FoldedAtoZ(entry->d_name), entry->d_name);
            else if (strcasecmp(entry->d_name, name.c_str()) == 0) {
                found = entry->d_name;
                break;
            }
        }
        closedir(dir);
    }
    return kept ? kept->try_emplace(FoldedAtoZ(name), name).first->second : found;
}

} // namespace

FolderNames::FolderNames() : m_state(std::make_unique<State>()) {
    m_state->previous = g_folderNames;
    g_folderNames = m_state.get();
}

FolderNames::~FolderNames() {
    g_folderNames = m_state->previous;
}

std::string MakeParents(const std::string& target, const std::vector<std::string>& parts, size_t count,
                        bool& unsafe) {
    std::string folder = target;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    for (size_t i = 0; i < count; ++i) {
        const std::string name = ChildName(folder, parts[i]);
        folder.append(1, '/').append(name);
        struct stat st;
        if (lstat(folder.c_str(), &st) == 0) {
            if (S_ISLNK(st.st_mode) || !S_ISDIR(st.st_mode)) {
                unsafe = S_ISLNK(st.st_mode);
                return {};
            }
        } else if (mkdir(folder.c_str(), 0755) != 0) {
            return {};
        }
    }
    return folder;
}

struct EntryFile::Handle {
    int fd = -1;
    std::string path;
};

EntryFile::EntryFile(const std::string& folder, const std::string& name)
    : m_handle(std::make_unique<Handle>()) {
    m_handle->path = folder;
    m_handle->path.append(1, '/').append(ChildName(folder, name));
    m_handle->fd = open(m_handle->path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    m_status = m_handle->fd >= 0 ? Opened::Ok : errno == ELOOP ? Opened::Link : Opened::Failed;
}

EntryFile::~EntryFile() {
    Close(false);
}

bool EntryFile::WriteAt(const void* data, size_t size, int64_t offset) {
    return pwrite(m_handle->fd, data, size, offset) == static_cast<ssize_t>(size);
}

void EntryFile::Close(bool discard) {
    if (m_handle->fd < 0)
        return;
    close(m_handle->fd);
    m_handle->fd = -1;
    if (discard)
        unlink(m_handle->path.c_str());
}

} // namespace varnel::platform::archive_disk
