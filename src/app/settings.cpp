#include "app/settings.h"

#include "catalog/catalog_options.h"
#include "catalog/host_config.h"
#include "catalog/host_location.h"
#include "catalog/module_facts_store.h"
#include "lang/language.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/program_folder.h"
#include "util/text.h"

#include <limits>

namespace varnel {

namespace {
constexpr size_t kSettingValueBuffer = 5121;
constexpr size_t kSettingIntBuffer = 11; // at most 10 characters of a number are read
} // namespace

const char* const kSettingsTemplate =
    "[Paths]\r\n"
    "; RarPath specifies full path to WinRAR.exe\r\n"
    "RarPath=C:\\Program Files\\WinRAR\\WinRAR.exe\r\n"
    "\r\n"
    "[Options]\r\n"
    "Language=English\r\n"
    "; ShowNames value specifies from where Varnel gets names:\r\n"
    "; \"0\": Filename+extension, \"1\": Filename only,\r\n"
    "; \"2\": VersionInfo resource (default, but may be slow)\r\n"
    "ShowNames=2\r\n"
    "; BrowseCmd specifies command used by \"Browse folder\" (F4) command;\r\n"
    "; you may use here Explorer.exe\r\n"
    "BrowseCmd=%COMMANDER_PATH%\\Totalcmd.exe /o /r=\"%s\"\r\n"
    "\r\n"
    "[Restart]\r\n"
    "; TC restart is configured by the value of RestartCmd:\r\n"
    "; \"0\" will restart the last started TC instance,\r\n"
    "; \"1\" will close all TC instances and run one instance,\r\n"
    "; \"2\" will use external restarter, specified by \"RestartExt\".\r\n"
    "; \"RestartTime\" specifies the time (in msec) till Varnel takes the focus "
    "again.\r\n"
    "RestartCmd=0\r\n"
    "RestartExt=%dir%\\Kestrun.exe 200 \"%s\"\r\n"
    "RestartTime=1200\r\n";

Settings& AppSettings() {
    static Settings settings;
    return settings;
}

void PassSettingsToCatalog(const Settings& settings) {
    CatalogOptions& options = CatalogSettings();
    options.useCommanderPath = settings.UseTCVar;
    options.showNames = settings.ShowNames;
    options.showVersions = settings.ShowVersions;
}

namespace {
std::string& SettingsFileOverride() {
    static std::string path;
    return path;
}

// Makes the folder and the missing ones above it.
bool MakeFolders(const std::string& path) {
    if (platform::DirectoryExists(path))
        return true;
    std::string parent = FolderPart(path);
    if (parent.size() > 3 && parent.back() == '\\')
        parent.pop_back();
    if (parent.size() < 3 || parent.size() >= path.size() || !MakeFolders(parent))
        return false;
    return platform::CreateFolder(path);
}

// Whether the program may write into the folder: a file made there and removed again.
bool FolderTakesFiles(const std::string& folder) {
    const std::string probe = folder + ".tcvarnel-write-test";
    platform::DeleteFileAt(probe);
    if (platform::CreateFileExclusively(probe, "") != platform::CreateResult::Created)
        return false;
    platform::DeleteFileAt(probe);
    return true;
}

// Where the settings live without --settings: beside the program (a portable folder) when the
// program may write there, else in the user's application data, as for a program installed
// under C:\Program Files. Decided once per program folder.
const SettingsLocation& ChosenLocation() {
    static std::string decidedFor;
    static SettingsLocation chosen;
    const std::string folder = ProgramFolder();
    // The same Windows path is another folder in another Wine prefix.
    const std::string key = folder + "|" + platform::ToHostPath(folder);
    if (decidedFor != key || chosen.path.empty()) {
        decidedFor = key;
        chosen = {folder + "TC_varnel.ini", false};
        const std::optional<std::string> appData = platform::EnvironmentValue("APPDATA");
        if (!FolderTakesFiles(folder) && appData && !appData->empty()) {
            const std::string own = JoinPath(*appData, "TC Varnel");
            if (MakeFolders(own))
                chosen = {JoinPath(own, "TC_varnel.ini"), true};
        }
    }
    return chosen;
}

} // namespace

SettingsLocation SettingsFileLocation() {
    if (!SettingsFileOverride().empty())
        return {SettingsFileOverride(), false};
    return ChosenLocation();
}

std::string SettingsFilePath() {
    return SettingsFileLocation().path;
}

void SetSettingsFilePath(std::string_view windowsPath) {
    SettingsFileOverride() = std::string(windowsPath);
}

std::string ReadSettingString(std::string_view section, std::string_view key, std::string_view defaultValue) {
    return platform::ProfileReadString(SettingsFilePath(), section, key, defaultValue, kSettingValueBuffer);
}

int SettingIntFromText(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    unsigned base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i < text.size() && (text[i] == 'x' || text[i] == 'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= text.size())
        return 0;
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return 0;
        value = value * base + digit;
        if (value > int64_t{std::numeric_limits<int>::max()} + 1)
            return 0;
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<int>::max() || value < std::numeric_limits<int>::min())
        return 0;
    return static_cast<int>(value);
}

int ReadSettingInt(std::string_view section, std::string_view key, int defaultValue) {
    std::string text = platform::ProfileReadString(SettingsFilePath(), section, key, IntText(defaultValue),
                                                   kSettingIntBuffer);
    return SettingIntFromText(text);
}

void WriteSettingString(std::string_view section, std::string_view key, std::string_view value) {
    platform::ProfileWriteString(SettingsFilePath(), section, key, value);
}

void WriteSettingInt(std::string_view section, std::string_view key, int value) {
    WriteSettingString(section, key, IntText(value));
}

bool LoadSettings() {
    Settings& s = AppSettings();
    std::string file = SettingsFilePath();
    if (!platform::FileExists(file))
        platform::ReplaceFileAtomically(file, kSettingsTemplate); // failures leave the defaults

    s.TCPath = ExpandHostPath(ReadSettingString("Paths", "TCPath", DefaultHostExe()));
    SetHostPaths(s.TCPath, "-");
    s.IniPath = ExpandHostPath(ReadSettingString("Paths", "IniPath", DefaultHostIni()));
    SetHostPaths(s.TCPath, s.IniPath);
    s.FtpIni = ReadSettingString("Paths", "FtpIni", DefaultFtpIni());
    s.RarPath = ExpandHostPath(ReadSettingString("Paths", "RarPath", kDefaultRarPath));
    s.PluginsSrc = ReadSettingString("Paths", "PluginsSrc", Host().HostDir);
    s.PluginsSrcZip = ReadSettingString("Paths", "PluginsSrcZip", "C:\\");
    s.PluginsLister = ReadSettingString("Paths", "PluginsLister", "%COMMANDER_PATH%\\Plugins\\WLX");
    s.PluginsPacker = ReadSettingString("Paths", "PluginsPacker", "%COMMANDER_PATH%\\Plugins\\WCX");
    s.PluginsFS = ReadSettingString("Paths", "PluginsFS", "%COMMANDER_PATH%\\Plugins\\WFX");
    s.PluginsContent = ReadSettingString("Paths", "PluginsContent", "%COMMANDER_PATH%\\Plugins\\WDX");

    s.ShowNames = ReadSettingInt("Options", "ShowNames", 2);
    s.ShowVersions = ReadSettingInt("Options", "ShowVersions", 0);
    s.UseTCVar = ReadSettingInt("Options", "UseTCVar", 1) != 0;
    PassSettingsToCatalog(s);
    // What was read of the modules is kept for the next start.
    if (const std::string cache = platform::UserCacheFolder(); !cache.empty())
        SetModuleFactsStore(JoinPath(cache, "modules.cache"));
    s.InstRestart = ReadSettingInt("Options", "InstRestart", 0) != 0;
    s.InstTweak = ReadSettingInt("Options", "InstTweak", 1) != 0;

    s.Language = ReadSettingString("Options", "Language", "English");
    if (!SetLanguage(s.Language))
        return false;

    s.RestartCmd = SettingIntFromText(ReadSettingString("Restart", "RestartCmd", "0"));
    s.RestartExt = ReadSettingString("Restart", "RestartExt", kDefaultRestartExt);
    s.RestartTime = ReadSettingInt("Restart", "RestartTime", 1000);
    return true;
}

void ReadWindowSettings(Settings& s) {
    s.ShowTabs = ReadSettingInt("Options", "ShowTabs", 1) != 0;
    s.ShowTypes = ReadSettingInt("Options", "ShowTypes", 1) != 0;
    s.ShowStatusBar = ReadSettingInt("Options", "ShowStatusBar", 1) != 0;
    s.Refresh = ReadSettingInt("Options", "Refresh", 0) != 0;
    s.RefreshInterval = ReadSettingInt("Options", "RefreshInterval", 6000);
    s.SortColumn = ReadSettingInt("Options", "SortColumn", 0);
    s.SortAsc = ReadSettingInt("Options", "SortAsc", 1) != 0;
    s.RegisterExt = ReadSettingInt("Options", "RegisterExt", 1) != 0;
    s.Left = ReadSettingInt("Window", "Left", s.Left);
    s.Top = ReadSettingInt("Window", "Top", s.Top);
    s.Width = ReadSettingInt("Window", "Width", s.Width);
    s.Height = ReadSettingInt("Window", "Height", s.Height);
    for (int i = 0; i < kListColumns; ++i)
        s.ColumnWidths[static_cast<size_t>(i)] =
            ReadSettingInt("Window", FormatPrintf("Column%dW", {i}), s.ColumnWidths[static_cast<size_t>(i)]);
    s.TabIndex = s.ShowTabs ? ReadSettingInt("Window", "TabIndex", 0) : 0;
    s.ShowVersionsCol = ReadSettingInt("Options", "ShowVersionsCol", 0) != 0;
    s.ShowDescriptions = ReadSettingInt("Options", "ShowDescriptions", 0) != 0;
    s.ReportFile = ReadSettingString("Report", "FN", "C:\\TC Varnel report.txt");
    s.ReportName = ReadSettingInt("Report", "Name", 1) != 0;
    s.ReportVersion = ReadSettingInt("Report", "Version", 1) != 0;
    s.ReportState = ReadSettingInt("Report", "State", 0) != 0;
    s.ReportAssoc = ReadSettingInt("Report", "Assoc", 0) != 0;
    s.ReportFileName = ReadSettingInt("Report", "File", 1) != 0;
}

void WriteSettingsAtExit(const Settings& s) {
    WriteSettingString("Paths", "FtpIni", s.FtpIni);
    WriteSettingString("Paths", "RarPath", s.RarPath);
    WriteSettingString("Paths", "PluginsSrc", s.PluginsSrc);
    WriteSettingString("Paths", "PluginsSrcZip", s.PluginsSrcZip);
    WriteSettingString("Paths", "PluginsLister", s.PluginsLister);
    WriteSettingString("Paths", "PluginsPacker", s.PluginsPacker);
    WriteSettingString("Paths", "PluginsFS", s.PluginsFS);
    WriteSettingString("Paths", "PluginsContent", s.PluginsContent);
    WriteSettingString("Options", "Language", s.Language);
    WriteSettingInt("Options", "ShowTabs", s.ShowTabs);
    WriteSettingInt("Options", "ShowTypes", s.ShowTypes);
    WriteSettingInt("Options", "ShowVersionsCol", s.ShowVersionsCol);
    WriteSettingInt("Options", "ShowDescriptions", s.ShowDescriptions);
    WriteSettingInt("Options", "Refresh", s.Refresh);
    WriteSettingInt("Options", "RefreshInterval", s.RefreshInterval);
    WriteSettingInt("Options", "SortColumn", s.SortColumn);
    WriteSettingInt("Options", "SortAsc", s.SortAsc);
    WriteSettingInt("Options", "RegisterExt", s.RegisterExt);
    WriteSettingInt("Options", "UseTCVar", s.UseTCVar);
    WriteSettingInt("Options", "InstRestart", s.InstRestart);
    WriteSettingInt("Options", "InstTweak", s.InstTweak);
    WriteSettingInt("Restart", "RestartCmd", s.RestartCmd);
    WriteSettingString("Restart", "RestartExt", s.RestartExt);
    WriteSettingInt("Restart", "RestartTime", s.RestartTime);
    WriteSettingInt("Window", "Left", s.Left);
    WriteSettingInt("Window", "Top", s.Top);
    WriteSettingInt("Window", "Width", s.Width);
    WriteSettingInt("Window", "Height", s.Height);
    for (int i = 0; i < kListColumns; ++i)
        WriteSettingInt("Window", FormatPrintf("Column%dW", {i}), s.ColumnWidths[static_cast<size_t>(i)]);
    WriteSettingInt("Window", "TabIndex", s.TabIndex);
    WriteSettingString("Report", "FN", s.ReportFile);
    WriteSettingInt("Report", "Name", s.ReportName);
    WriteSettingInt("Report", "Version", s.ReportVersion);
    WriteSettingInt("Report", "State", s.ReportState);
    WriteSettingInt("Report", "Assoc", s.ReportAssoc);
    WriteSettingInt("Report", "File", s.ReportFileName);
}

} // namespace varnel
