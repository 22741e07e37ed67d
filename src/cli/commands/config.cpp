// varnel config: where the host, its ini, the prefix and the settings are, and where each came from.

#include "cli/command_table.h"

#include "app/settings.h"
#include "catalog/host_config.h"
#include "catalog/host_location.h"
#include "catalog/module_info.h"
#include "cli/cli_plugins.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/profile.h"

#include <cstdlib>

namespace varnel::cli {

namespace {

// Where each of the located paths came from.
struct ConfigOrigins {
    std::string prefix, host, ini, settings, language;
};

ConfigOrigins Origins(const Globals& globals, bool settingsFileExisted) {
    ConfigOrigins origins;
    origins.prefix = !globals.prefix.empty()     ? "--prefix"
                     : std::getenv("WINEPREFIX") ? "WINEPREFIX"
                                                 : "default (~/.wine)";
    origins.settings = !globals.settings.empty() ? "--settings"
                       : SettingsFileLocation().inAppData
                           ? "%APPDATA%, as the program's folder takes no files"
                           : "beside the program";
    auto fromSettings = [&](std::string_view key) {
        return settingsFileExisted && !ReadSettingString("Paths", key, "").empty();
    };
    if (!globals.host.empty())
        origins.host = "--host";
    else if (fromSettings("TCPath"))
        origins.host = "settings (TCPath)";
    else if (platform::ExpandEnvironmentStrings("%COMMANDER_PATH%", 1024).find(":\\") != std::string::npos)
        origins.host = "environment (COMMANDER_PATH)";
    else if (HostInstallDir() != "C:\\TotalCmd")
        origins.host = "registry (InstallDir)";
    else
        origins.host = "default";
    origins.ini = !globals.ini.empty()      ? "--ini"
                  : fromSettings("IniPath") ? "settings (IniPath)"
                                            : "registry (IniFileName) or default";
    origins.language = !globals.lang.empty() ? "--lang" : "settings (Language)";
    return origins;
}

int ShowConfig(Session& session, const ConfigOrigins& origins) {
    const Settings& s = AppSettings();
    SetHostPaths(s.TCPath, s.IniPath);
    const int bits = ModuleBits(s.TCPath);
    nlohmann::ordered_json object = {
        {"prefix", {{"path", platform::PrefixDir()}, {"from", origins.prefix}}},
        {"host",
         {{"path", Session::Terminal(s.TCPath)},
          {"from", origins.host},
          {"found", platform::FileExists(s.TCPath)}}},
        {"bits", bits == 0 ? nlohmann::ordered_json() : nlohmann::ordered_json(bits)},
        {"ini",
         {{"path", Session::Terminal(s.IniPath)},
          {"from", origins.ini},
          {"found", platform::FileExists(s.IniPath)}}},
        {"settings", {{"path", Session::Terminal(SettingsFilePath())}, {"from", origins.settings}}},
        {"language", {{"name", s.Language}, {"from", origins.language}}},
    };
    // Only under Wine is there a prefix: on Windows the host's paths are the machine's own.
    const bool wine = !platform::PrefixDir().empty();
    if (!wine)
        object.erase("prefix");
    if (session.Json()) {
        PrintJson(object);
        return session.Exit();
    }
    if (wine)
        Print("prefix:   " + platform::PrefixDir() + "  (" + origins.prefix + ")");
    Print("host:     " + Session::Terminal(s.TCPath) + "  (" + origins.host + ")" +
          (bits ? ", " + std::to_string(bits) + "-bit" : "") +
          (platform::FileExists(s.TCPath) ? "" : ", missing"));
    Print("ini:      " + Session::Terminal(s.IniPath) + "  (" + origins.ini + ")" +
          (platform::FileExists(s.IniPath) ? "" : ", missing"));
    Print("settings: " + Session::Terminal(SettingsFilePath()) + "  (" + origins.settings + ")");
    Print("language: " + s.Language + "  (" + origins.language + ")");
    return session.Exit();
}

Runner Define(CLI::App&, CommandLine& line) {
    return [&line](Session& session) {
        return ShowConfig(session, Origins(line.globals, line.settingsFileExisted));
    };
}

} // namespace

Command ConfigCommand() {
    return {"config", "Where the host, its ini, the prefix and the settings are", "varnel config --json",
            false, Define};
}

} // namespace varnel::cli
