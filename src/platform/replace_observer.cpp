// Every replacement of a file passes here, so the change history sees it whichever code made it;
// and the copy of a whole file, which its caller records.

#include "platform/files.h"
#include "platform/replace_disk.h"
#include "util/text.h"

#include <algorithm>
#include <cctype>

namespace varnel::platform {

namespace {
ReplaceObserver* g_observer = nullptr;
bool g_inObserver = false;
bool g_dryRun = false;
std::vector<DryWrite> g_dryWrites;
} // namespace

void StartDryRun() {
    g_dryRun = true;
}

bool InDryRun() {
    return g_dryRun;
}

const std::vector<DryWrite>& DryRunWrites() {
    return g_dryWrites;
}

namespace {
DryWrite& DryEntry(std::string_view path) {
    auto same = std::find_if(g_dryWrites.begin(), g_dryWrites.end(),
                             [&](const DryWrite& each) { return EqualsNoCaseAnsi(each.path, path); });
    if (same != g_dryWrites.end())
        return *same;
    return g_dryWrites.emplace_back(DryWrite{std::string(path), {}, false});
}
} // namespace

void DryRunRemove(std::string_view path) {
    DryWrite& entry = DryEntry(path);
    entry.bytes.clear();
    entry.removed = true;
}

ReplaceObserver* SetReplaceObserver(ReplaceObserver* observer) {
    ReplaceObserver* previous = g_observer;
    g_observer = observer;
    return previous;
}

bool ReplaceFileAtomically(std::string_view path, std::string_view bytes) {
    if (g_dryRun) {
        DryWrite& entry = DryEntry(path);
        entry.bytes = bytes;
        entry.removed = false;
        return true;
    }
    MemorySource source(bytes);
    ReplaceObserver* observer = g_inObserver ? nullptr : g_observer;
    if (!observer)
        return ReplaceFileOnDisk(path, source);
    g_inObserver = true;
    const bool allowed = observer->BeforeReplace(path, bytes);
    g_inObserver = false;
    const bool written = allowed && ReplaceFileOnDisk(path, source);
    g_inObserver = true;
    observer->AfterReplace(path, bytes, written);
    g_inObserver = false;
    return written;
}

bool WriteCacheFile(std::string_view path, std::string_view bytes) {
    if (g_dryRun)
        return false;
    MemorySource source(bytes);
    return ReplaceFileOnDisk(path, source);
}

bool CopyFileAtomically(std::string_view from, std::string_view to) {
    std::unique_ptr<ByteSource> source = OpenFileForReading(from);
    return source && ReplaceFileOnDisk(to, *source);
}

void RemoveAbandonedTemporaries(std::string_view path) {
    const std::string folder = FolderPart(path);
    const std::string name = FileNamePart(path);
    if (folder.empty() || name.empty())
        return;
    const std::string prefix = "." + name + ".";
    for (const FindData& found : FindFiles(folder + prefix + "*")) {
        // The six characters mkstemp and its Windows twin put there, nothing else.
        const std::string_view suffix =
            std::string_view(found.Name).substr(std::min(prefix.size(), found.Name.size()));
        if (found.IsFolder || found.Name.size() != prefix.size() + 6 ||
            !EqualsNoCaseAnsi(found.Name.substr(0, prefix.size()), prefix) ||
            !std::all_of(suffix.begin(), suffix.end(),
                         [](char c) { return std::isalnum(static_cast<unsigned char>(c)); }))
            continue;
        DeleteFileAt(folder + found.Name);
    }
}

} // namespace varnel::platform
