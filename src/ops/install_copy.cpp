#include "ops/install_copy.h"

#include "app/settings.h"
#include "catalog/host_config.h"
#include "lang/language.h"
#include "ops/history.h"
#include "ops/user_dialogs.h"
#include "platform/file_tree.h"
#include "platform/files.h"
#include "util/text.h"

#include <vector>

namespace varnel {

namespace {

constexpr size_t kMaxCopiedFile = 256 * 1024 * 1024;

std::string FolderOfKind(PluginKind kind) {
    const Settings& s = AppSettings();
    const std::string& folder = kind == kPacker       ? s.PluginsPacker
                                : kind == kFileSystem ? s.PluginsFS
                                : kind == kContent    ? s.PluginsContent
                                                      : s.PluginsLister;
    std::string expanded = ExpandHostPath(folder);
    while (!expanded.empty() && expanded.back() == '\\')
        expanded.pop_back();
    return expanded;
}

std::string BaseName(std::string_view fileName) {
    const size_t dot = fileName.find('.');
    return std::string(fileName.substr(0, dot));
}

struct CopiedFile {
    std::string from;
    std::string to;
};

// The files that go along: those beside the module that share its base name, and its language
// folder's files.
std::vector<CopiedFile> FilesToCopy(std::string_view modulePath, const std::string& target) {
    const std::string folder = FolderPart(modulePath);
    const std::string base = BaseName(FileNamePart(modulePath));
    std::vector<CopiedFile> files;
    for (const platform::FindData& found : platform::FindFiles(JoinPath(folder, "*"))) {
        if (found.IsFolder) {
            if (EqualsNoCaseAscii(found.Name, "lang") || EqualsNoCaseAscii(found.Name, "language")) {
                platform::TreeLimits limits;
                limits.maxEntries = 2000;
                limits.maxDepth = 2;
                const std::string from = JoinPath(folder, found.Name);
                const platform::TreeListing listing = platform::ListTree(from, limits, false);
                for (const platform::TreeEntry& entry : listing.entries)
                    if (entry.type == platform::TreeEntry::Type::File)
                        files.push_back({JoinPath(from, entry.relative),
                                         JoinPath(JoinPath(target, found.Name), entry.relative)});
            }
            continue;
        }
        if (EqualsNoCaseAnsi(BaseName(found.Name), base))
            files.push_back({JoinPath(folder, found.Name), JoinPath(target, found.Name)});
    }
    return files;
}

// Makes the folder and the missing ones above it.
bool MakeFolders(std::string path) {
    while (path.size() > 3 && path.back() == '\\')
        path.pop_back();
    if (path.size() <= 3 || platform::DirectoryExists(path))
        return true;
    return MakeFolders(FolderPart(path)) && platform::CreateFolder(path);
}

} // namespace

bool LiesInPluginFolder(std::string_view modulePath) {
    for (PluginKind kind : {kLister, kPacker, kFileSystem, kContent}) {
        const std::string folder = FolderOfKind(kind) + "\\";
        if (folder.size() > 1 && modulePath.size() > folder.size() &&
            EqualsNoCaseAnsi(modulePath.substr(0, folder.size()), folder))
            return true;
    }
    return false;
}

std::string CopyTargetFolder(std::string_view modulePath, PluginKind kind) {
    // A name that is all extension (".wlx") still gets a folder of its own.
    const std::string base = BaseName(FileNamePart(modulePath));
    return FolderOfKind(kind) + "\\" + (base.empty() ? std::string("plugin") : base);
}

std::optional<std::string> OfferCopyIntoPluginFolder(std::string_view modulePath, PluginKind kind) {
    if (LiesInPluginFolder(modulePath) || FolderOfKind(kind).empty())
        return std::string(modulePath);
    const std::string target = CopyTargetFolder(modulePath, kind);
    switch (Dialogs().AskCopyModule(FormatPrintf(Message(143), {std::string(modulePath), target}))) {
    case UserDialogs::CopyChoice::Cancel:
        return std::nullopt;
    case UserDialogs::CopyChoice::InPlace:
        return std::string(modulePath);
    case UserDialogs::CopyChoice::Copy:
        break;
    }
    // Every file is read first and every clash settled before anything is written.
    std::vector<std::pair<CopiedFile, std::string>> planned;
    for (const CopiedFile& file : FilesToCopy(modulePath, target)) {
        std::string bytes;
        if (platform::ReadWholeFile(file.from, bytes, kMaxCopiedFile) != platform::ReadResult::Ok) {
            ShowAppMessage(FormatPrintf(Message(109), {file.from}), kStyleError);
            return std::nullopt;
        }
        std::string present;
        const platform::ReadResult there = platform::ReadWholeFile(file.to, present, kMaxCopiedFile);
        if (there == platform::ReadResult::Ok && present == bytes)
            continue; // the same file is there already
        if (there != platform::ReadResult::Missing &&
            ShowAppMessage(FormatPrintf(Message(144), {file.to}), kStyleQuestion) != kIdOk)
            return std::nullopt;
        planned.emplace_back(file, std::move(bytes));
    }
    for (auto& [file, bytes] : planned) {
        WatchInThisChange(file.to);
        if (!MakeFolders(FolderPart(file.to)) || !platform::ReplaceFileAtomically(file.to, bytes)) {
            ShowAppMessage(FormatPrintf(Message(91), {file.to}), kStyleError);
            return std::nullopt;
        }
    }
    return JoinPath(target, FileNamePart(modulePath));
}

} // namespace varnel
