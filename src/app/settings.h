#pragma once
// The program's own settings: "TC_varnel.ini" beside the executable, and its values held in
// memory for the whole run. Start-up reads them, the rest of the program reads and changes them
// here, and the file is brought up to date at the moments the program defines.

#include <array>
#include <string>
#include <string_view>

namespace varnel {

constexpr int kListColumns = 7;

struct Settings {
    // [Paths]
    std::string TCPath;  // host executable, expanded
    std::string IniPath; // host configuration, expanded
    std::string FtpIni;  // kept unexpanded
    std::string RarPath; // expanded
    std::string PluginsSrc;
    std::string PluginsSrcZip = "C:\\";
    std::string PluginsLister = "%COMMANDER_PATH%\\Plugins\\WLX";
    std::string PluginsPacker = "%COMMANDER_PATH%\\Plugins\\WCX";
    std::string PluginsFS = "%COMMANDER_PATH%\\Plugins\\WFX";
    std::string PluginsContent = "%COMMANDER_PATH%\\Plugins\\WDX";

    // [Options]
    std::string Language = "English";
    int ShowNames = 2;
    int ShowVersions = 0;
    bool UseTCVar = true;
    bool InstRestart = false;
    bool InstTweak = true;
    bool ShowTabs = true;
    bool ShowTypes = true;
    bool ShowStatusBar = true;
    bool ShowVersionsCol = false;
    bool ShowDescriptions = false;
    bool Refresh = false;
    int RefreshInterval = 6000;
    int SortColumn = 0;
    bool SortAsc = true;
    bool RegisterExt = true;

    // [Restart]
    int RestartCmd = 0;
    std::string RestartExt;
    int RestartTime = 1000;

    // [Window]
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    std::array<int, kListColumns> ColumnWidths = {200, 80, 0, 70, 180, 250, 110};
    int TabIndex = 0;

    // [Report]
    std::string ReportFile = "C:\\TC Varnel report.txt";
    bool ReportName = true;
    bool ReportVersion = true;
    bool ReportState = false;
    bool ReportAssoc = false;
    bool ReportFileName = true;
};

Settings& AppSettings();

// Hands the settings the catalogue works by down to it; after loading and after every change.
void PassSettingsToCatalog(const Settings& settings);

// The template written when the settings file is missing: 23 lines, each ended by CR LF.
extern const char* const kSettingsTemplate;
// Texts of the template that are also defaults.
inline constexpr std::string_view kDefaultRarPath = "C:\\Program Files\\WinRAR\\WinRAR.exe";
inline constexpr std::string_view kDefaultBrowseCmd = "%COMMANDER_PATH%\\Totalcmd.exe /o /r=\"%s\"";
inline constexpr std::string_view kDefaultRestartExt = "%dir%\\Kestrun.exe 200 \"%s\"";

// The settings file: the one named, else "TC_varnel.ini" beside the program where the program may
// write, else in "%APPDATA%\TC Varnel" (made when missing). The history lives beside it.
struct SettingsLocation {
    std::string path;
    bool inAppData = false; // the program's folder takes no files
};
SettingsLocation SettingsFileLocation();
std::string SettingsFilePath();
// Names another settings file (a Windows path; empty: the one beside the program again).
void SetSettingsFilePath(std::string_view windowsPath);

std::string ReadSettingString(std::string_view section, std::string_view key, std::string_view defaultValue);
int ReadSettingInt(std::string_view section, std::string_view key, int defaultValue);
void WriteSettingString(std::string_view section, std::string_view key, std::string_view value);
void WriteSettingInt(std::string_view section, std::string_view key, int value);

// The conversion ReadSettingInt applies: blanks, a sign, "$", "x" or "0x" for hexadecimal;
// anything that does not convert within 32 signed bits gives 0.
int SettingIntFromText(std::string_view text);

// Start-up: creates the file from the template when it is missing, works out the host paths,
// reads the options and chooses the language (false when the language file is missing; the
// fatal box has then been shown).
bool LoadSettings();

// What the main window reads when it is created, in the program's order. The window's own
// position, size and column widths are the defaults, so the caller fills those in first.
void ReadWindowSettings(Settings& settings);

// What the main window writes when it is destroyed at the normal end, in the program's order.
void WriteSettingsAtExit(const Settings& settings);

} // namespace varnel
