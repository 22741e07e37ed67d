#pragma once
// Where the host is installed, its default files, whether it is present and whether it runs.

#include "lang/messages.h"

#include <string>

namespace varnel {

// %COMMANDER_PATH% when it names a drive path, else the registry's InstallDir (the user's over
// the machine's), else "C:\TotalCmd".
std::string HostInstallDir();
// HostInstallDir + "\Totalcmd.exe"; the 64-bit "TOTALCMD64.EXE" when only that one is there.
std::string DefaultHostExe();
std::string DefaultHostIni();
std::string DefaultFtpIni();

// True when the host executable (recognised by its version resource) and the host configuration
// file both exist; otherwise shows missingMessage for the first missing one (the window's points
// to its "..." button; the command line, which has none, passes Msg::FileNotFound).
bool DetectHost(const std::string& hostExe, const std::string& hostIni,
                int missingMessage = Msg::HostFileMissing);

// The host executable exists and is held by a running process.
bool HostRunning(const std::string& exe);

// True when the module's "InternalName" names the host (32- or 64-bit).
bool IsHostExecutable(const std::string& path);

} // namespace varnel
