#pragma once
// Windows paths (drive letters, backslashes, ANSI text) and the machine's own file system.
// On Linux the Windows view is the Wine prefix: $WINEPREFIX, else ~/.wine, whose dosdevices
// folder maps drive letters to folders.

#include <optional>
#include <string>
#include <string_view>

namespace varnel::platform {

// The folder of the Wine prefix in use (Linux only; empty elsewhere).
std::string PrefixDir();

// Why the prefix in use cannot serve as a Windows file system (it does not exist, or has no C:
// drive); nullopt when it can.
std::optional<std::string> PrefixProblem();

// The machine path for a Windows path, resolved component by component without regard to
// letter case. Components that do not exist are kept as written. Empty when the path cannot be
// mapped (no such drive, a network path).
std::string ToHostPath(std::string_view windowsPath);

// While one lives on this thread, ToHostPath answers a path it has resolved once from memory:
// for a burst of look-ups of the same paths (loading the plugin table, one refresh of the list)
// during which no folder is made or renamed. One opened while another lives joins it.
class PathLookupScope {
public:
    PathLookupScope();
    ~PathLookupScope();
    PathLookupScope(const PathLookupScope&) = delete;
    PathLookupScope& operator=(const PathLookupScope&) = delete;
};

// The Windows form of a machine path: the drive whose folder is the longest prefix of it,
// else Z: for the root of the file system.
std::string ToWindowsPath(std::string_view hostPath);

// Makes the folder (a machine path) the prefix in use, for this process and the programs it starts.
void SelectPrefix(const std::string& machineFolder);

// Drops what was learned about the prefix (tests switch prefixes).
void ResetPathCache();

} // namespace varnel::platform
