#include "ops/archive_install.h"

#include "app/settings.h"
#include "catalog/host_config.h"
#include "catalog/module_info.h"
#include "catalog/plugin_table.h"
#include "catalog/registration.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "ops/history.h"
#include "ops/install.h"
#include "ops/install_copy.h"
#include "platform/archive.h"
#include "platform/codepage.h"
#include "platform/file_tree.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "util/names.h"
#include "util/text.h"

#include <functional>

#include <optional>

namespace varnel {

namespace {

constexpr size_t kInfValueChars = 5121;
constexpr std::string_view kInfSection = "PluginInstall";

std::string Joined(std::string_view folder, std::string_view name) {
    return JoinHostPath(folder, name);
}

// What an archive's pluginst.inf says, with the keys archives carry today besides the three
// classic ones.
struct InstallInfo {
    std::string File;
    std::string File64;
    std::string DefaultDir;
    std::string DefaultExtension;
    std::string Type;
    std::string Description;
    std::string Version;
};

// The three-letter code the descriptions of the program's language carry ("descriptiondeu").
std::string LanguageCode(const std::string& languageName) {
    static const std::pair<const char*, const char*> kCodes[] = {
        {"deutsch", "deu"}, {"german", "deu"},  {"russian", "rus"}, {"francais", "fra"},
        {"french", "fra"},  {"espanol", "esp"}, {"spanish", "esp"}, {"italiano", "ita"},
        {"italian", "ita"}, {"polski", "pol"},  {"polish", "pol"},  {"nederlands", "nld"},
        {"dutch", "nld"}};
    const std::string language = LowerAscii(languageName);
    for (const auto& [name, code] : kCodes)
        if (language == name)
            return code;
    return language.substr(0, 3);
}

// Many install descriptions are UTF-8 without a byte-order mark; read as ANSI, their non-ASCII
// names would not match the files they name.
bool IsUnmarkedUtf8(const std::string& inf) {
    std::string bytes;
    std::string wide;
    return platform::ReadWholeFile(inf, bytes, 1024 * 1024) == platform::ReadResult::Ok &&
           !platform::HasUtf8Mark(bytes) && !IsAscii(bytes) && platform::Utf8ToUtf16Le(bytes, wide);
}

InstallInfo ReadInstallInfo(const std::string& inf, const std::string& languageName) {
    const bool utf8 = IsUnmarkedUtf8(inf);
    auto read = [&](std::string_view key) {
        std::string value = platform::ProfileReadString(inf, kInfSection, key, "", kInfValueChars);
        return utf8 ? platform::Utf8ToHostText(value) : value;
    };
    InstallInfo info;
    info.File = read("File");
    info.File64 = read("File64");
    info.DefaultDir = read("DefaultDir");
    // Extension lists come separated by commas, semicolons or blanks.
    std::string extensions;
    for (char c : read("DefaultExtension")) {
        if (c == ';' || c == ' ' || c == '\t' || c == ',') {
            if (!extensions.empty() && extensions.back() != ',')
                extensions.push_back(',');
        } else {
            extensions.push_back(c);
        }
    }
    while (!extensions.empty() && extensions.back() == ',')
        extensions.pop_back();
    info.DefaultExtension = extensions;
    info.Type = LowerAscii(read("type"));
    info.Description = read("description" + LanguageCode(languageName));
    if (info.Description.empty())
        info.Description = read("description");
    info.Version = read("version");
    return info;
}

// The kind a pluginst.inf type names ("wlx", "wcx64" ...); nullopt for anything else.
std::optional<PluginKind> KindOfType(std::string type) {
    if (type.size() == 5 && type.substr(3) == "64")
        type.resize(3);
    if (type == "wlx")
        return kLister;
    if (type == "wcx")
        return kPacker;
    if (type == "wfx")
        return kFileSystem;
    if (type == "wdx")
        return kContent;
    return std::nullopt;
}

// The first regular file matching the pattern: in a folder first, then in its sub-folders (not
// those whose names begin with a dot) in the order the folder lists them.
std::optional<std::string> FindInListing(const platform::TreeListing& listing, std::string_view pattern) {
    std::vector<std::vector<size_t>> children(listing.entries.size() + 1);
    auto slot = [&](size_t parent) {
        return parent == platform::TreeEntry::kTop ? listing.entries.size() : parent;
    };
    for (size_t i = 0; i < listing.entries.size(); ++i)
        children[slot(listing.entries[i].parent)].push_back(i);
    // Depth first, each folder's own files before its sub-folders.
    std::function<std::optional<std::string>(size_t)> search =
        [&](size_t folder) -> std::optional<std::string> {
        for (size_t child : children[folder]) {
            const platform::TreeEntry& entry = listing.entries[child];
            if (entry.type == platform::TreeEntry::Type::File &&
                WildcardMatch(pattern, FileNamePart(entry.relative)))
                return entry.relative;
        }
        for (size_t child : children[folder]) {
            const platform::TreeEntry& entry = listing.entries[child];
            if (entry.type == platform::TreeEntry::Type::Folder &&
                !FileNamePart(entry.relative).starts_with("."))
                if (std::optional<std::string> found = search(child))
                    return found;
        }
        return std::nullopt;
    };
    return search(listing.entries.size());
}

const platform::TreeEntry* FindEntry(const platform::TreeListing& listing, std::string_view relative) {
    for (const platform::TreeEntry& entry : listing.entries)
        if (EqualsNoCaseAnsi(entry.relative, relative))
            return &entry;
    return nullptr;
}

} // namespace

bool FindFileRecursive(std::string_view pattern, std::string_view folder, std::string& found) {
    platform::TreeListing listing = platform::ListTree(folder, {}, false);
    if (listing.status != platform::TreeStatus::Ok)
        return false;
    std::optional<std::string> relative = FindInListing(listing, pattern);
    if (relative)
        found = Joined(folder, *relative);
    return relative.has_value();
}

void DeleteFolderTree(std::string_view folder) {
    platform::RemoveTree(folder);
}

bool ForceFolders(std::string_view path) {
    size_t drive = path.find(":\\");
    if (drive == std::string_view::npos)
        return false;
    std::string folder(path.substr(0, drive + 1));
    bool made = false;
    size_t pos = drive + 2;
    while (pos < path.size()) {
        size_t end = path.find('\\', pos);
        if (end == std::string_view::npos)
            end = path.size();
        if (end > pos) {
            folder.append("\\").append(path.substr(pos, end - pos));
            made = platform::CreateFolder(folder);
        }
        pos = end + 1;
    }
    return made;
}

std::string JoinHostPath(std::string_view folder, std::string_view name) {
    if (!platform::HasUtf8Mark(folder) && !platform::HasUtf8Mark(name))
        return JoinPath(folder, name);
    return platform::Utf8ToHostText(
        JoinPath(platform::HostTextToUtf8(folder), platform::HostTextToUtf8(name)));
}

Result InstallFromArchive(const Context& context, const ArchiveInstallRequest& request) {
    const std::string& archiveName = request.archive;
    std::string scratch;
    // Named when the module is known; the install in it names it otherwise.
    CommandRun run(context, std::string());
    auto fail = [&](const std::string& why) {
        std::string text = FormatPrintf(Message(Msg::ArchiveInstallFailed), {archiveName});
        if (!why.empty())
            text.append("\r\r").append(why);
        ShowAppMessage(text, kStyleError, Outcome::Failed, Msg::ArchiveInstallFailed);
        return run.Stop(Outcome::Failed);
    };
    std::string work = PluginFolderOfKind(context.settings, kLister);
    if (size_t slash = work.rfind('\\'); slash != std::string::npos)
        work.resize(slash);
    // Whatever happens below, the scratch folder goes (as a tree whose links are never followed),
    // and so do the folders above it that this install made, while nothing went into them: a
    // refused or failed install leaves the host's folders as they were.
    std::vector<std::string> madeAbove; // outermost first
    for (std::string folder = work; folder.size() > 3 && !platform::DirectoryExists(folder);
         folder = FolderPart(folder))
        madeAbove.insert(madeAbove.begin(), folder);
    scratch = work + "\\Install.tmp";
    struct ScratchCleanup {
        const std::string& folder;
        const std::vector<std::string>& above;
        ~ScratchCleanup() {
            DeleteFolderTree(folder);
            for (auto made = above.rbegin(); made != above.rend(); ++made)
                platform::RemoveFolder(*made); // only while empty
        }
    } cleanup{scratch, madeAbove};
    for (const std::string& folder : madeAbove)
        if (!platform::CreateFolder(folder))
            return fail({});
    if (!platform::DirectoryExists(work))
        return fail({});
    DeleteFolderTree(scratch);
    if (!platform::CreateFolder(scratch))
        return fail({});
    if (ExtractResult unpacked = ExtractArchive(context.settings, archiveName, scratch); !unpacked.ok)
        return unpacked.cancelled ? run.Stop(Outcome::Cancelled) : fail(unpacked.problem);
    const platform::ArchiveLimits limits;
    const platform::TreeListing listing =
        platform::ListTree(scratch, {limits.maxEntries, limits.maxTotalBytes, limits.maxDepth}, false);
    if (listing.status == platform::TreeStatus::Cancelled)
        return run.Stop(Outcome::Cancelled);
    if (listing.status != platform::TreeStatus::Ok)
        return fail({});

    // Every path below comes from the archive: each is confined to one plain name per component
    // before it is joined to anything.
    InstallInfo info;
    if (const platform::TreeEntry* inf = FindEntry(listing, "Pluginst.inf")) {
        info = ReadInstallInfo(Joined(scratch, inf->relative), context.settings.Language);
        if (info.File.empty() && !info.File64.empty())
            info.File = info.File64;
        if (!info.Type.empty() && !KindOfType(info.Type))
            return fail(FormatPrintf(Message(Msg::ArchiveNoPlugin), {info.Type}));
        if (info.File.empty() || info.DefaultDir.empty())
            return fail({});
        std::optional<std::string> file = ConfinedRelativePath(info.File);
        std::optional<std::string> file64 =
            info.File64.empty() ? std::optional<std::string>("") : ConfinedRelativePath(info.File64);
        std::optional<std::string> folder = ConfinedFolderName(info.DefaultDir);
        if (!file || !file64 || !folder)
            return fail(FormatPrintf(Message(Msg::ArchiveEntryOutside), {!file     ? info.File
                                                                         : !file64 ? info.File64
                                                                                   : info.DefaultDir}));
        info.File = *file;
        info.File64 = *file64;
        info.DefaultDir = *folder;
    } else {
        std::optional<std::string> found = FindInListing(listing, "*.W?X");
        if (!found)
            found = FindInListing(listing, "*.W?X64");
        if (!found)
            return fail({});
        info.File = *found;
        std::string name = FileNamePart(*found);
        info.DefaultDir = name.substr(0, name.rfind('.'));
        if (!IsPlainName(info.DefaultDir) || !ConfinedRelativePath(info.File))
            return fail(UnusableMessage(info.File));
    }
    const platform::TreeEntry* moduleEntry = FindEntry(listing, info.File);
    if (!moduleEntry || moduleEntry->type != platform::TreeEntry::Type::File)
        return fail({});

    // The module's own exports decide its kind; the inf's type only where they cannot.
    const std::string scratchModule = Joined(scratch, info.File);
    PluginKind kind = PluginKindOfFile(scratchModule);
    std::optional<PluginKind> named = info.Type.empty() ? std::nullopt : KindOfType(info.Type);
    if (kind == kNoPlugin && named)
        kind = *named;
    if (kind == kNoPlugin || (named && *named != kind))
        return fail({});
    // An FS plugin is registered under its root name, which without an answer from the module is
    // its file name: one that cannot be a key is refused before anything goes to its place.
    if (kind == kFileSystem) {
        const std::string name = FileNamePart(info.File);
        if (UnusableAssociation(kFileSystem, name.substr(0, name.rfind('.')))) {
            std::string root = QueryFsRootName(scratchModule);
            if (root.empty() || UnusableAssociation(kFileSystem, root))
                return fail(UnusableMessage(root));
        }
    }
    // A module the host cannot load: the user says so before the archive goes to its place.
    if (!AcceptBitness(run.Here(), scratchModule))
        return run.Stop(Outcome::Refused);

    const std::string pluginFolder = PluginFolderOfKind(context.settings, kind);
    const std::string destination = Joined(pluginFolder, info.DefaultDir);
    const std::string module = Joined(destination, info.File);
    // The folder the user chose for plugins may be a link; a link below it may not lead out.
    if (!platform::LiesInside(destination, pluginFolder) || !platform::LiesInside(module, pluginFolder))
        return fail(FormatPrintf(Message(Msg::ArchiveEntryOutside), {info.DefaultDir}));
    if (std::optional<std::string> bad = UnusableModulePath(module))
        return fail(UnusableMessage(*bad));
    if (request.askConfirmation) {
        std::string details;
        if (!info.Description.empty())
            details.append("\r").append(info.Description);
        if (!info.Version.empty())
            details.append("\r").append(info.Version);
        if (!ConfirmInstall(run.Here(), module, details))
            return run.Stop(Outcome::Refused);
    }
    // File by file into place, each in one rename and the module last: a kill or a full disk
    // leaves every file old or new, and the module that is registered working.
    platform::TreeListing moving = listing;
    std::erase_if(moving.entries, [](const platform::TreeEntry& entry) {
        return entry.parent == platform::TreeEntry::kTop && EqualsNoCaseAnsi(entry.relative, "Pluginst.inf");
    });
    // The files are part of the recorded install, so that an undo takes them back too: the files
    // it made go, the files it replaced (an update) come back.
    run.Name(
        FormatPrintf(Message(Msg::HistInstalledFrom), {FileNamePart(module), FileNamePart(archiveName)}));
    std::vector<std::pair<std::string, std::string>> targets;
    for (const platform::TreeEntry& entry : moving.entries)
        if (entry.type == platform::TreeEntry::Type::File)
            targets.emplace_back(Joined(scratch, entry.relative), Joined(destination, entry.relative));
    // The kind's plugin folder, made as part of the change: gone again if the install is.
    if (!MakeFoldersInThisChange(pluginFolder))
        return fail({});
    RecordedMove recordedFiles(std::move(targets));
    // A move that stops part way is taken back whole, with what it replaced.
    const bool moved = recordedFiles.Ready() &&
                       platform::MoveTreeInto(scratch, moving, destination, info.File).ok &&
                       platform::FileExists(module);
    if (!moved)
        return fail({});
    recordedFiles.Done();
    DeleteFolderTree(scratch);
    platform::DeleteFileAt(Joined(destination, "Pluginst.inf"));
    InstallRequest install;
    install.path = module;
    install.extensions = info.DefaultExtension;
    install.bitnessAccepted = true;
    if (Result installed = InstallPlugin(run.Here(), install); !installed.Done())
        return run.Stop(installed.code);
    Result result = run.Finish();
    if (result.Done())
        RestartOrOffer(context, request.restartAfter);
    return result;
}

} // namespace varnel
