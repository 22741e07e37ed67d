#include "catalog/host_location.h"

#include "app/settings.h"
#include "catalog/host_config.h"
#include "catalog/module_info.h"
#include "lang/language.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "util/text.h"

namespace varnel {

namespace {

constexpr const char* kHostKey = "Software\\Ghisler\\Total Commander";

// The machine-wide value, overridden by the user's.
std::string HostRegistryValue(const char* name, std::string_view fallback) {
    std::string machine = platform::ReadRegistryString(platform::RegistryRoot::LocalMachine, kHostKey, name)
                              .value_or(std::string(fallback));
    return platform::ReadRegistryString(platform::RegistryRoot::CurrentUser, kHostKey, name).value_or(machine);
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
    if (!platform::FileExists(exe) && platform::FileExists(dir + "\\TOTALCMD64.EXE"))
        return dir + "\\TOTALCMD64.EXE";
    return exe;
}

std::string DefaultHostIni() { return DefaultHostFile("IniFileName", "wincmd.ini"); }

std::string DefaultFtpIni() { return DefaultHostFile("FtpIniName", "wcx_ftp.ini"); }

bool IsHostExecutable(const std::string& path) {
    if (!platform::FileExists(path))
        return false;
    std::string name = ReadVersionText(path, "InternalName");
    return EqualsNoCaseAscii(name, "TotalCmd") || EqualsNoCaseAscii(name, "TotalCmd64");
}

bool DetectHost() {
    const Settings& s = AppSettings();
    bool iniFound = platform::FileExists(ExpandHostPath(s.IniPath));
    bool exeFound = IsHostExecutable(s.TCPath);
    if (!exeFound)
        ShowAppMessage(FormatPrintf(Message(53), {"TotalCmd.exe"}), kStyleError);
    else if (!iniFound)
        ShowAppMessage(FormatPrintf(Message(53), {"Wincmd.ini"}), kStyleError);
    return exeFound && iniFound;
}

bool HostRunning() {
    const std::string& exe = AppSettings().TCPath;
    return platform::FileExists(exe) && platform::FileCannotBeOpenedForWriting(exe);
}

} // namespace varnel
