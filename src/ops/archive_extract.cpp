#include "ops/archive_install.h"

#include "app/settings.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "ops/host_process.h"
#include "platform/archive.h"
#include "platform/codepage.h"
#include "platform/file_tree.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/program_folder.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "util/names.h"
#include "util/text.h"

#include <algorithm>
#include <climits>

namespace varnel {

namespace {

// One external archiver: its Windows command line (the host's documented forms) and, for the machine's own
// program of the same name, its arguments in machine paths.
struct Archiver {
    std::string name;        // "unzip"
    std::string windowsArgs; // after the program, with %A the archive and %T the target
    std::vector<std::string> machineArgs;
};

std::string Fill(std::string_view form, const std::string& archive, const std::string& target) {
    return ReplaceAll(ReplaceAll(form, "%A", archive), "%T", target);
}

std::vector<Archiver> ArchiversFor(bool zip) {
    if (zip)
        return {{"pkzipc", "-ext -dir -over=all %A \"%T\"\\", {"-ext", "-dir", "-over=all", "%A", "%T/"}},
                {"unzip", "-o %A -d \"%T\"", {"-o", "%A", "-d", "%T"}}};
    return {{"rar", "x -y %A \"%T\"\\", {"x", "-y", "%A", "%T/"}},
            {"unrar", "x -y %A \"%T\"\\", {"x", "-y", "%A", "%T/"}}};
}

// Starts a Windows program of the prefix and waits for it; false when there is none of the name.
bool RunWindowsArchiver(const std::string& program, const std::string& arguments) {
    platform::LocatedProgram located = platform::LocateProgram("\"" + program + "\"");
    if (!located.found)
        return false;
    return platform::StartProcess("\"" + located.program + "\" " + arguments, platform::ShowMode::Normal,
                                  true);
}

bool RunMachineArchiver(const std::string& executable, const std::vector<std::string>& forms,
                        const std::string& archive, const std::string& target) {
    std::vector<std::string> argv = {executable};
    for (const std::string& form : forms)
        argv.push_back(Fill(form, archive, target));
    platform::CapturedRun run = platform::RunAndCapture(argv, {}, UINT_MAX, 64 * 1024);
    return run.started;
}

// WinRAR as the shell finds it: in the Windows folders, or where the prefix's App Paths say.
std::string WinRarProgram() {
    platform::LocatedProgram located = platform::LocateProgram("winrar.exe");
    if (located.found)
        return located.program;
    return platform::ReadRegistryString(platform::RegistryRoot::LocalMachine,
                                        "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\WinRAR.exe",
                                        "")
        .value_or("");
}

// The external chain, in its order; true when one archiver could be started.
bool RunChain(const std::string& rarPath, bool zip, const std::string& archive, const std::string& target) {
    // The short path is quoted: where no short names exist it is the long path, blanks and all.
    std::string quotedArchive(1, '"');
    quotedArchive.append(ShortPathOf(archive)).push_back('"');
    const std::string winrarArgs = Fill("x -y %A \"%T\"\\", quotedArchive, target);
    std::string winrar = WinRarProgram();
    if (!winrar.empty() && platform::FileExists(winrar) && RunWindowsArchiver(winrar, winrarArgs))
        return true;
    if (!rarPath.empty() && platform::FileExists(rarPath) && RunWindowsArchiver(rarPath, winrarArgs))
        return true;
    const std::vector<Archiver> archivers = ArchiversFor(zip);
    for (const Archiver& archiver : archivers)
        if (RunWindowsArchiver(archiver.name + ".exe", Fill(archiver.windowsArgs, quotedArchive, target)))
            return true;
    const std::string machineArchive = platform::ToHostPath(archive);
    const std::string machineTarget = platform::ToHostPath(target);
    for (const Archiver& archiver : archivers)
        if (std::optional<std::string> onPath = platform::FindOnPath(archiver.name))
            if (RunMachineArchiver(*onPath, archiver.machineArgs, machineArchive, machineTarget))
                return true;
    // The program's own folder: a Windows archiver, else the machine's one.
    const std::string own = platform::OwnExecutableFolder();
    for (const Archiver& archiver : archivers) {
        const std::string windows = platform::ToWindowsPath(own) + "\\" + archiver.name + ".exe";
        if (platform::FileExists(windows) &&
            RunWindowsArchiver(windows, Fill(archiver.windowsArgs, quotedArchive, target)))
            return true;
        if (platform::IsExecutableMachineFile(own + "/" + archiver.name) &&
            RunMachineArchiver(own + "/" + archiver.name, archiver.machineArgs, machineArchive,
                               machineTarget))
            return true;
    }
    return false;
}

// What an outside archiver changed around the target (its parent folder's tree and the archive's
// folder) outside the target itself.
platform::FolderSurvey Survey(const std::string& archive, const std::string& target) {
    return platform::SurveyFolders({FolderPart(target), FolderPart(archive)}, target);
}

std::string FirstChange(const platform::FolderSurvey& before, const platform::FolderSurvey& after) {
    for (const auto& [path, changed] : after) {
        auto found = before.find(path);
        if (found == before.end() || found->second != changed)
            return path;
    }
    return {};
}

std::string LimitsText(const platform::ArchiveLimits& limits) {
    return FormatPrintf(Message(Msg::ArchiveTooLarge),
                        {IntText(static_cast<int64_t>(limits.maxTotalBytes / (1024 * 1024))),
                         IntText(static_cast<int64_t>(limits.maxEntries)),
                         IntText(static_cast<int64_t>(limits.maxRatio))});
}

} // namespace

bool IsArchiveFile(std::string_view path) {
    const std::string extension = LowerAscii(ExtensionPart(path));
    return extension == ".zip" || extension == ".rar";
}

ExtractResult ExtractArchive(const Settings& settings, std::string_view archiveName,
                             std::string_view targetFolder) {
    if (!IsArchiveFile(archiveName))
        return {};
    const std::string extension = LowerAscii(ExtensionPart(archiveName));
    const std::string archive(archiveName);
    const std::string target(targetFolder);
    const platform::ArchiveLimits limits;
    platform::ArchiveOutcome outcome = platform::ExtractArchiveSafely(archive, target, limits);
    switch (outcome.result) {
    case platform::ArchiveResult::Extracted:
        return {true, {}};
    case platform::ArchiveResult::Unsafe:
        return {false,
                FormatPrintf(Message(Msg::ArchiveEntryOutside), {platform::Utf8ToHostText(outcome.entry)})};
    case platform::ArchiveResult::Link:
        return {false,
                FormatPrintf(Message(Msg::ArchiveLinkEntry), {platform::Utf8ToHostText(outcome.entry)})};
    case platform::ArchiveResult::TooLarge:
        return {false, LimitsText(limits)};
    case platform::ArchiveResult::WriteFailed:
        return {};
    case platform::ArchiveResult::Cancelled:
        return {false, {}, true};
    case platform::ArchiveResult::Unreadable:
        break;
    }
    // An outside archiver gets a fresh, empty folder: nothing the built-in attempt left, and no
    // link it could write through.
    if (!platform::RemoveTree(target) || !platform::CreateFolder(target))
        return {};
    const platform::FolderSurvey before = Survey(archive, target);
    if (!RunChain(settings.RarPath, extension == ".zip", archive, target))
        return {};
    platform::SleepMs(200);
    if (std::string outside = FirstChange(before, Survey(archive, target)); !outside.empty())
        return {false, FormatPrintf(Message(Msg::ArchiverWroteOutside), {outside})};
    // What it left is judged as the built-in unpacker judges an archive: links, devices and FIFOs
    // are taken out at once, and the limits count what is on the disk.
    platform::TreeLimits treeLimits{limits.maxEntries, limits.maxTotalBytes, limits.maxDepth};
    platform::TreeListing left = platform::ListTree(target, treeLimits, true);
    if (left.status == platform::TreeStatus::Cancelled)
        return {false, {}, true};
    if (!left.removed.empty())
        return {false, FormatPrintf(Message(Msg::ArchiveLinkEntry), {left.removed.front()})};
    // The names it wrote must pass the rule the built-in unpacker applies before unpacking.
    for (const platform::TreeEntry& entry : left.entries)
        if (!ConfinedRelativePath(entry.relative))
            return {false, FormatPrintf(Message(Msg::ArchiveEntryOutside), {entry.relative})};
    std::optional<platform::FileStamp> stamp = platform::StampOf(archive);
    const uint64_t archiveBytes = std::max<uint64_t>(1, stamp ? stamp->size : 0);
    if (left.status == platform::TreeStatus::TooLarge ||
        (left.bytes > 1024 * 1024 && left.bytes / archiveBytes > limits.maxRatio))
        return {false, LimitsText(limits)};
    return {left.status == platform::TreeStatus::Ok, {}};
}

} // namespace varnel
