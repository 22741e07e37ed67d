#include "ops/archive_install.h"

#include "app/settings.h"
#include "catalog/host_config.h"
#include "catalog/module_info.h"
#include "catalog/plugin_table.h"
#include "lang/language.h"
#include "ops/install.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "util/text.h"

#include <optional>

namespace varnel {

namespace {

constexpr size_t kInfValueChars = 5121;
constexpr std::string_view kInfSection = "PluginInstall";

// folder\name; text outside the code page (marked UTF-8) in either part marks the whole path.
std::string Joined(std::string_view folder, std::string_view name) {
    if (!platform::HasUtf8Mark(folder) && !platform::HasUtf8Mark(name))
        return JoinPath(folder, name);
    return platform::Utf8ToHostText(
        JoinPath(platform::HostTextToUtf8(folder), platform::HostTextToUtf8(name)));
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
std::string LanguageCode() {
    static const std::pair<const char*, const char*> kCodes[] = {
        {"deutsch", "deu"}, {"german", "deu"},  {"russian", "rus"}, {"francais", "fra"},
        {"french", "fra"},  {"espanol", "esp"}, {"spanish", "esp"}, {"italiano", "ita"},
        {"italian", "ita"}, {"polski", "pol"},  {"polish", "pol"},  {"nederlands", "nld"},
        {"dutch", "nld"}};
    const std::string language = LowerAscii(AppSettings().Language);
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

InstallInfo ReadInstallInfo(const std::string& inf) {
    const bool utf8 = IsUnmarkedUtf8(inf);
    auto read = [&](std::string_view key) {
        std::string value = platform::ProfileReadString(inf, kInfSection, key, "", kInfValueChars);
        return utf8 ? platform::Utf8ToHostText(value) : value;
    };
    InstallInfo info;
    info.File = read("File");
    info.File64 = read("File64");
    info.DefaultDir = read("DefaultDir");
    if (size_t slash = info.DefaultDir.rfind('\\'); slash != std::string::npos)
        info.DefaultDir = info.DefaultDir.substr(slash + 1);
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
    info.Description = read("description" + LanguageCode());
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

// A path inside the archive that stays inside the folder it is unpacked to.
bool StaysInside(std::string_view relative) {
    if (relative.empty() || relative[0] == '\\' || relative[0] == '/' ||
        relative.find(':') != std::string::npos)
        return false;
    size_t pos = 0;
    while (pos <= relative.size()) {
        size_t end = relative.find_first_of("\\/", pos);
        if (end == std::string_view::npos)
            end = relative.size();
        if (relative.substr(pos, end - pos) == "..")
            return false;
        pos = end + 1;
    }
    return true;
}

std::string PluginFolderOf(PluginKind kind) {
    const Settings& s = AppSettings();
    const std::string* folders[] = {&s.PluginsLister, &s.PluginsPacker, &s.PluginsFS, &s.PluginsContent};
    return ExpandHostPath(*folders[kind]);
}

} // namespace

bool FindFileRecursive(std::string_view pattern, std::string_view folder, std::string& found) {
    if (!platform::DirectoryExists(folder))
        return false;
    std::vector<platform::FindData> direct = platform::FindFiles(Joined(folder, pattern));
    if (!direct.empty()) {
        found = Joined(folder, direct.front().Name);
        return true;
    }
    for (const platform::FindData& entry : platform::FindFiles(Joined(folder, "*.*")))
        if (entry.IsFolder && !entry.Name.starts_with(".") &&
            FindFileRecursive(pattern, Joined(folder, entry.Name), found))
            return true;
    return false;
}

void DeleteFolderTree(std::string_view folder) {
    if (!platform::DirectoryExists(folder))
        return;
    for (const platform::FindData& entry : platform::FindFiles(Joined(folder, "*.*"))) {
        const std::string path = Joined(folder, entry.Name);
        if (!entry.IsFolder)
            platform::DeleteFileAt(path);
        else if (!entry.Name.starts_with("."))
            DeleteFolderTree(path);
    }
    platform::RemoveFolder(folder);
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

void InstallFromArchive(std::string_view archiveName, bool askConfirmation, bool restartAfter) {
    std::string scratch;
    auto fail = [&](const std::string& why) {
        if (!scratch.empty())
            DeleteFolderTree(scratch);
        std::string text = FormatPrintf(Message(64), {archiveName});
        if (!why.empty())
            text.append("\r\r").append(why);
        ShowAppMessage(text, kStyleError);
    };
    for (PluginKind kind : {kLister, kPacker, kFileSystem, kContent})
        ForceFolders(PluginFolderOf(kind));
    std::string work = PluginFolderOf(kLister);
    if (size_t slash = work.rfind('\\'); slash != std::string::npos)
        work.resize(slash);
    if (!platform::DirectoryExists(work))
        return fail({});
    scratch = work + "\\Install.tmp";
    DeleteFolderTree(scratch);
    if (ExtractResult unpacked = ExtractArchive(archiveName, scratch); !unpacked.ok)
        return fail(unpacked.problem);

    InstallInfo info;
    const std::string inf = scratch + "\\Pluginst.inf";
    if (platform::FileExists(inf)) {
        info = ReadInstallInfo(inf);
        if (info.File.empty() && !info.File64.empty())
            info.File = info.File64;
        if (!info.Type.empty() && !KindOfType(info.Type))
            return fail(FormatPrintf(Message(119), {info.Type}));
        if (info.File.empty() || info.DefaultDir.empty() || !StaysInside(info.File) ||
            (!info.File64.empty() && !StaysInside(info.File64)) || info.DefaultDir == "..")
            return fail({});
    } else {
        std::string found;
        if (!FindFileRecursive("*.W?X", scratch, found) && !FindFileRecursive("*.W?X64", scratch, found))
            return fail({});
        info.File = found.substr(scratch.size() + 1);
        std::string name = FileNamePart(found);
        info.DefaultDir = name.substr(0, name.rfind('.'));
    }

    // The module's own exports decide its kind; the inf's type only where they cannot.
    const std::string scratchModule = Joined(scratch, info.File);
    PluginKind kind = PluginKindOfFile(scratchModule);
    std::optional<PluginKind> named = info.Type.empty() ? std::nullopt : KindOfType(info.Type);
    if (kind == kNoPlugin && named)
        kind = *named;
    if (kind == kNoPlugin || (named && *named != kind))
        return fail({});
    // A module the host cannot load: the user says so before the archive goes to its place.
    if (!AcceptBitness(scratchModule)) {
        DeleteFolderTree(scratch);
        return;
    }

    const std::string destination = Joined(PluginFolderOf(kind), info.DefaultDir);
    const std::string module = Joined(destination, info.File);
    if (askConfirmation) {
        std::string details;
        if (!info.Description.empty())
            details.append("\r").append(info.Description);
        if (!info.Version.empty())
            details.append("\r").append(info.Version);
        if (!ConfirmInstall(module, details)) {
            DeleteFolderTree(scratch);
            return;
        }
    }
    if (ExtractResult unpacked = ExtractArchive(archiveName, destination); !unpacked.ok)
        return fail(unpacked.problem);
    if (!platform::FileExists(module))
        return fail({});
    DeleteFolderTree(scratch);
    platform::DeleteFileAt(Joined(destination, "Pluginst.inf"));
    InstallPlugin(module, false, restartAfter, info.DefaultExtension, false, true);
}

} // namespace varnel
