#include "ops/install_copy.h"

#include "app/settings.h"
#include "catalog/host_config.h"
#include "catalog/plugin_table.h"
#include "lang/interaction.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "ops/history.h"
#include "platform/file_tree.h"
#include "platform/files.h"
#include "util/text.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace varnel {

namespace {

// The whole copy, as for an archive: more is no plugin's and would only exhaust memory.
constexpr uint64_t kMaxCopiedBytes = 256ull * 1024 * 1024;

std::string BaseName(std::string_view fileName) {
    const size_t dot = fileName.find('.');
    return std::string(fileName.substr(0, dot));
}

struct CopiedFile {
    std::string from;
    std::string to;
};

struct CopyPlan {
    std::vector<CopiedFile> files;
    std::string refusal; // why nothing may be copied, told to the user
};

CopyPlan FilesToCopy(std::string_view modulePath, const std::string& target) {
    CopyPlan plan;
    BelongingFiles belonging = FilesBelongingTo(modulePath);
    plan.refusal = std::move(belonging.refusal);
    for (BelongingFile& file : belonging.files)
        plan.files.push_back({std::move(file.path), JoinPath(target, file.relative)});
    return plan;
}

} // namespace

// The download folder is a stranger's: a link among the files is refused, never followed, and so
// is more than the bytes a plugin may have. A name that differs from one taken already only in
// letter case is left out, since a plugin folder would give both one file: the module named is the
// one taken.
BelongingFiles FilesBelongingTo(std::string_view modulePath) {
    const std::string folder = FolderPart(modulePath);
    const std::string base = BaseName(FileNamePart(modulePath));
    BelongingFiles plan;
    uint64_t bytes = 0;
    auto add = [&](std::string from, std::string relative, uint64_t size) {
        for (const BelongingFile& each : plan.files)
            if (EqualsNoCaseAnsi(each.relative, relative))
                return;
        plan.files.push_back({std::move(from), std::move(relative), size});
        bytes += size;
    };
    auto refuse = [&](int message, const std::string& path) {
        plan.refusal =
            message == Msg::FileTooLarge
                ? FormatPrintf(Message(Msg::FileTooLarge), {path, static_cast<int>(kMaxCopiedBytes >> 20)})
                : FormatPrintf(Message(message), {path});
        plan.files.clear();
        return plan;
    };
    if (platform::IsSymbolicLink(modulePath))
        return refuse(147, std::string(modulePath));
    add(std::string(modulePath), FileNamePart(modulePath), 0);
    for (const platform::FindData& found : platform::FindFiles(JoinPath(folder, "*"))) {
        const std::string from = JoinPath(folder, found.Name);
        const bool language =
            EqualsNoCaseAscii(found.Name, "lang") || EqualsNoCaseAscii(found.Name, "language");
        if (!language && !EqualsNoCaseAnsi(BaseName(found.Name), base))
            continue;
        if (platform::IsSymbolicLink(from))
            return refuse(147, from);
        if (!found.IsFolder) {
            add(from, found.Name, found.Size);
            continue;
        }
        if (!language)
            continue;
        platform::TreeLimits limits;
        limits.maxEntries = 2000;
        limits.maxDepth = 2;
        limits.maxBytes = kMaxCopiedBytes;
        const platform::TreeListing listing = platform::ListTree(from, limits, false);
        if (listing.status == platform::TreeStatus::TooLarge)
            return refuse(108, from);
        if (listing.status != platform::TreeStatus::Ok)
            return refuse(109, from);
        for (const platform::TreeEntry& entry : listing.entries) {
            if (entry.type == platform::TreeEntry::Type::Other)
                return refuse(147, JoinPath(from, entry.relative));
            if (entry.type == platform::TreeEntry::Type::File)
                add(JoinPath(from, entry.relative), JoinPath(found.Name, entry.relative), entry.size);
        }
    }
    if (bytes > kMaxCopiedBytes)
        return refuse(108, folder);
    return plan;
}

bool SameContents(const std::string& a, const std::string& b) {
    std::unique_ptr<ByteSource> left = platform::OpenFileForReading(a);
    std::unique_ptr<ByteSource> right = platform::OpenFileForReading(b);
    if (!left || !right || left->Size() != right->Size())
        return false;
    std::string one, other;
    for (uint64_t offset = 0; offset < left->Size();) {
        const size_t size = static_cast<size_t>(std::min<uint64_t>(left->Size() - offset, 1 << 20));
        one.resize(size);
        other.resize(size);
        if (!left->Read(offset, size, one.data()) || !right->Read(offset, size, other.data()) || one != other)
            return false;
        offset += size;
    }
    return true;
}

std::string PluginFolderOfKind(const Settings& s, PluginKind kind) {
    const std::string& folder = kind == kPacker       ? s.PluginsPacker
                                : kind == kFileSystem ? s.PluginsFS
                                : kind == kContent    ? s.PluginsContent
                                                      : s.PluginsLister;
    std::string expanded = ExpandHostPath(folder);
    while (!expanded.empty() && expanded.back() == '\\')
        expanded.pop_back();
    return expanded;
}

bool LiesInPluginFolder(const Context& context, std::string_view modulePath) {
    auto below = [&](std::string folder) {
        while (!folder.empty() && folder.back() == '\\')
            folder.pop_back();
        folder += "\\";
        return folder.size() > 1 && modulePath.size() > folder.size() &&
               EqualsNoCaseAnsi(modulePath.substr(0, folder.size()), folder);
    };
    for (PluginKind kind : {kLister, kPacker, kFileSystem, kContent})
        if (below(PluginFolderOfKind(context.settings, kind)))
            return true;
    // The host's own plugins tree, at any depth, is where plugins are kept already; so is a folder
    // that holds another registered plugin.
    if (!context.host.HostDir.empty() && below(JoinPath(context.host.HostDir, "plugins")))
        return true;
    const std::string folder = FolderPart(modulePath);
    for (int row = 1; row <= context.table.Count(); ++row)
        if (EqualsNoCaseAnsi(FolderPart(context.table.Row(row).FileName), folder))
            return true;
    return false;
}

std::string CopyTargetFolder(const Context& context, std::string_view modulePath, PluginKind kind) {
    // A name that is all extension (".wlx") still gets a folder of its own.
    const std::string base = BaseName(FileNamePart(modulePath));
    return PluginFolderOfKind(context.settings, kind) + "\\" + (base.empty() ? std::string("plugin") : base);
}

std::optional<std::string> OfferCopyIntoPluginFolder(const Context& context, std::string_view modulePath,
                                                     PluginKind kind) {
    const std::string pluginFolder = PluginFolderOfKind(context.settings, kind);
    if (LiesInPluginFolder(context, modulePath) || pluginFolder.empty())
        return std::string(modulePath);
    const std::string target = CopyTargetFolder(context, modulePath, kind);
    switch (context.user.AskCopyModule(
        FormatPrintf(Message(Msg::OutsidePluginFolders), {std::string(modulePath), target}))) {
    case CopyChoice::Cancel:
        return std::nullopt;
    case CopyChoice::InPlace:
        return std::string(modulePath);
    case CopyChoice::Copy:
        break;
    }
    CopyPlan plan = FilesToCopy(modulePath, target);
    if (!plan.refusal.empty()) {
        ShowAppMessage(plan.refusal, kStyleError);
        return std::nullopt;
    }
    // Nothing is written through a link: every target, with the links on its way resolved on
    // disk, lies in the plugin folder (which may itself be a link the user chose).
    for (const CopiedFile& file : plan.files) {
        if (!platform::LiesInside(file.to, pluginFolder) || platform::IsSymbolicLink(file.to)) {
            ShowAppMessage(FormatPrintf(Message(Msg::CopyThroughLink), {file.to, pluginFolder}), kStyleError,
                           Outcome::Failed, Msg::CopyThroughLink);
            return std::nullopt;
        }
    }
    // Every file is checked first and every clash settled before anything is written. Files are
    // compared and copied a block at a time: their size is bounded, the memory they take is not
    // their size.
    std::vector<CopiedFile> planned;
    uint64_t total = 0;
    for (const CopiedFile& file : plan.files) {
        const std::optional<platform::FileStamp> stamp = platform::StampOf(file.from);
        if (!stamp || stamp->size > kMaxCopiedBytes - total) {
            const int message = stamp                             ? Msg::FileTooLarge
                                : platform::FileExists(file.from) ? Msg::NotARegularFile
                                                                  : Msg::FileUnreadable;
            ShowAppMessage(message == 108 ? FormatPrintf(Message(Msg::FileTooLarge),
                                                         {file.from, static_cast<int>(kMaxCopiedBytes >> 20)})
                                          : FormatPrintf(Message(message), {file.from}),
                           kStyleError);
            return std::nullopt;
        }
        total += stamp->size;
        if (SameContents(file.from, file.to))
            continue; // the same file is there already
        if (platform::FileExists(file.to) &&
            ShowAppMessage(FormatPrintf(Message(Msg::ReplaceDifferentFile), {file.to}), kStyleQuestion) !=
                kIdOk)
            return std::nullopt;
        planned.push_back(file);
    }
    std::vector<std::pair<std::string, std::string>> fromTo;
    for (const CopiedFile& file : planned)
        fromTo.emplace_back(file.from, file.to);
    RecordedMove recorded(std::move(fromTo));
    if (!recorded.Ready())
        return std::nullopt;
    for (const CopiedFile& file : planned) {
        if (!MakeFoldersInThisChange(FolderPart(file.to)) || !platform::LiesInside(file.to, pluginFolder) ||
            !platform::CopyFileAtomically(file.from, file.to)) {
            ShowAppMessage(FormatPrintf(Message(Msg::FileNotWritten), {file.to}), kStyleError,
                           Outcome::Failed, Msg::FileNotWritten);
            return std::nullopt;
        }
    }
    recorded.Done();
    return JoinPath(target, FileNamePart(modulePath));
}

} // namespace varnel
