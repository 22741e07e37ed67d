#include "catalog/host_location.h"

#include "catalog/host_config.h"
#include "catalog/module_info.h"
#include "lang/language.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "util/text.h"

#include <algorithm>
#include <vector>

namespace varnel {

namespace {

constexpr const char* kHostKey = "Software\\Ghisler\\Total Commander";
// Where a 32-bit installer's machine-wide values land in a 64-bit Windows (and in a WoW64 prefix).
constexpr const char* kHostKey32 = "Software\\Wow6432Node\\Ghisler\\Total Commander";

struct RegistryView {
    platform::RegistryRoot root;
    const char* key;
};

// The places an installer leaves the host's values: the user's, the machine's 64-bit view and the
// machine's 32-bit view. The user's value wins as it does for the host itself; of the machine's
// views, a 32-bit host is registered in the 32-bit one, a 64-bit host in the other. The view whose
// InstallDir is a folder that exists is asked first, so a stale entry of an uninstalled copy does
// not hide the real one.
std::vector<RegistryView> HostRegistryViews() {
    std::vector<RegistryView> views = {{platform::RegistryRoot::CurrentUser, kHostKey},
                                       {platform::RegistryRoot::LocalMachine, kHostKey},
                                       {platform::RegistryRoot::LocalMachine, kHostKey32}};
    auto installed = [](const RegistryView& view) {
        std::optional<std::string> dir = platform::ReadRegistryString(view.root, view.key, "InstallDir");
        return dir && !dir->empty() && platform::DirectoryExists(ExpandHostPath(*dir));
    };
    std::stable_partition(views.begin(), views.end(), installed);
    return views;
}

// The first view that holds the value, else the fallback.
std::string HostRegistryValue(const char* name, std::string_view fallback) {
    for (const RegistryView& view : HostRegistryViews()) {
        if (std::optional<std::string> value = platform::ReadRegistryString(view.root, view.key, name))
            return *value;
    }
    return std::string(fallback);
}

std::string DefaultHostFile(const char* valueName, std::string_view fallback) {
    std::string path = HostRegistryValue(valueName, fallback);
    if (path.find('\\') == std::string::npos)
        path = "%windir%\\" + path;
    if (path.rfind(".\\", 0) == 0)
        path = HostInstallDir() + path.substr(1);
    return ExpandHostPath(path);
}

} // namespace

std::string HostInstallDir() {
    std::string fromEnvironment = platform::ExpandEnvironmentStrings("%COMMANDER_PATH%", kMaxExpandedPath);
    if (fromEnvironment.find(":\\") != std::string::npos)
        return fromEnvironment;
    return HostRegistryValue("InstallDir", "C:\\TotalCmd");
}

std::string DefaultHostExe() {
    std::string dir = HostInstallDir();
    std::string exe = dir + "\\Totalcmd.exe";
    const std::string exe64 = dir + "\\TOTALCMD64.EXE";
    if (!platform::FileExists(exe64))
        return exe;
    if (!platform::FileExists(exe))
        return exe64;
    // Both programs lie there, as the installer leaves them on a 64-bit system. The one that runs
    // is the host the user has; else the 64-bit one, which the installer starts there, as long as
    // the system can run it.
    const bool running32 = HostRunning(exe);
    if (running32 != HostRunning(exe64))
        return running32 ? exe : exe64;
    return platform::CanRunWindowsProgram(platform::Bitness::Bits64) ? exe64 : exe;
}

std::string DefaultHostIni() {
    return DefaultHostFile("IniFileName", "wincmd.ini");
}

std::string DefaultFtpIni() {
    return DefaultHostFile("FtpIniName", "wcx_ftp.ini");
}

bool IsHostExecutable(const std::string& path) {
    if (!platform::FileExists(path))
        return false;
    std::string name = ReadVersionText(path, "InternalName");
    return EqualsNoCaseAscii(name, "TotalCmd") || EqualsNoCaseAscii(name, "TotalCmd64");
}

bool DetectHost(const std::string& hostExe, const std::string& hostIni, int missingMessage) {
    bool iniFound = platform::FileExists(ExpandHostPath(hostIni));
    bool exeFound = IsHostExecutable(hostExe);
    if (!exeFound)
        ShowAppMessage(FormatPrintf(Message(missingMessage), {"TotalCmd.exe"}), kStyleError,
                       Outcome::NotFound, missingMessage);
    else if (!iniFound)
        ShowAppMessage(FormatPrintf(Message(missingMessage), {"Wincmd.ini"}), kStyleError, Outcome::NotFound,
                       missingMessage);
    return exeFound && iniFound;
}

bool HostRunning(const std::string& exe) {
    return platform::FileExists(exe) && platform::FileCannotBeOpenedForWriting(exe);
}

} // namespace varnel
