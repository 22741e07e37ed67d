#pragma once
// Installing a plugin from a .zip or .rar archive: unpacked once into a scratch folder to see what
// it holds, then into the plugin folder of the module's kind, and the module installed from there.

#include "ops/command.h"

#include <string>
#include <string_view>

namespace varnel {

// A .zip or .rar file, by its name: what the archive install takes.
bool IsArchiveFile(std::string_view path);

// Every failure tells the user (message 64, with the reason where one is known); nothing is
// written to the host configuration then.
struct ArchiveInstallRequest {
    std::string archive;          // Windows path
    bool askConfirmation = false; // ask before the plugin goes to its place
    bool restartAfter = false;    // restart the host afterwards, when the settings say so
};
Result InstallFromArchive(const Context& context, const ArchiveInstallRequest& request);

// Unpacking: the built-in unpacker first; for archives it cannot read, the external archivers
// in turn (WinRAR, the RarPath program, then pkzipc/unzip or rar/unrar as Windows programs of
// the prefix, as the machine's own programs, and from the program's own folder). ok is false when
// nothing could unpack it; problem then says why when the reason is known (an unsafe entry, an
// archive bomb, an archiver that wrote outside the target).
struct ExtractResult {
    bool ok = false;
    std::string problem;
    bool cancelled = false; // the user stopped it: nothing to report
};
ExtractResult ExtractArchive(const Settings& settings, std::string_view archiveName,
                             std::string_view targetFolder);

// folder\name; text outside the code page (marked UTF-8) in either part marks the whole path.
std::string JoinHostPath(std::string_view folder, std::string_view name);

// File helpers (Windows paths).
bool FindFileRecursive(std::string_view pattern, std::string_view folder, std::string& found);
void DeleteFolderTree(std::string_view folder);
// True when the last folder was newly made; only paths with a drive ("X:\") are handled.
bool ForceFolders(std::string_view path);

} // namespace varnel
