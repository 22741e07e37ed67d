#include "app/settings.h"

#include "app/startup.h"
#include "catalog/host_config.h"
#include "catalog/host_location.h"
#include "demo_host.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "message_log.h"
#include "platform/files.h"
#include "platform/program_folder.h"
#include "temp_prefix.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

namespace varnel {
namespace {

// A portable program folder C:\Varnel with an English language file, in a fresh prefix.
class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        AppSettings() = Settings{};
        ResetMessageStore();
        SetProgramFolder("C:\\Varnel");
        m_previousFatal = SetFatalHandler([this] { ++fatalCalls; });
        prefix.Write("drive_c/Varnel/Language/English.lng",
                     "[Messages]\r\n0051=TC Varnel\r\n0053=%s was not found.\r\n");
        unsetenv("COMMANDER_PATH");
    }
    void TearDown() override {
        SetFatalHandler(m_previousFatal);
        SetLanguageLoadedHook(nullptr);
        SetProgramFolder("");
        AppSettings() = Settings{};
        ResetMessageStore();
    }
    std::string SettingsFile() const { return prefix.Read("drive_c/Varnel/TC_varnel.ini"); }

    test::TempPrefix prefix;
    int fatalCalls = 0;
    FatalHandler m_previousFatal;
};

TEST(SettingIntFromText, ConvertsLikeTheProgramAlwaysDid) {
    struct Case {
        const char* text;
        int value;
    } cases[] = {
        {"6000", 6000},
        {"  42", 42},
        {"-7", -7},
        {"+7", 7},
        {"$10", 16},
        {"x1F", 31},
        {"0x1770", 6000},
        {"0X1770", 6000},
        {"-$10", -16},
        {"", 0},
        {"abc", 0},
        {"12a", 0},
        {"1 ", 0},
        {"0x", 0},
        {"2147483647", 2147483647},
        {"2147483648", 0},
        {"-2147483648", -2147483647 - 1},
        {"$80000000", 0},
        {"99999999999", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SettingIntFromText(c.text), c.value) << '"' << c.text << '"';
}

TEST_F(SettingsTest, FirstStartWritesTheTemplateAndReadsItsValues) {
    ASSERT_TRUE(InitializeProgram());
    EXPECT_EQ(SettingsFile(), kSettingsTemplate);
    int lines = 0;
    for (const char* p = kSettingsTemplate; *p; ++p)
        lines += *p == '\n';
    EXPECT_EQ(lines, 23);
    const Settings& s = AppSettings();
    EXPECT_EQ(s.RestartTime, 1200); // from the template, not the default of 1000
    EXPECT_EQ(s.RestartExt, "%dir%\\Kestrun.exe 200 \"%s\"");
    EXPECT_EQ(s.RarPath, "C:\\Program Files\\WinRAR\\WinRAR.exe");
    EXPECT_EQ(s.ShowNames, 2);
    EXPECT_EQ(s.TCPath, "C:\\TotalCmd\\Totalcmd.exe");
    EXPECT_EQ(s.IniPath, "C:\\windows\\wincmd.ini");
    EXPECT_EQ(s.FtpIni, "C:\\windows\\wcx_ftp.ini");
    EXPECT_EQ(s.PluginsSrc, "C:\\TotalCmd");
    EXPECT_EQ(Host().HostDir, "C:\\TotalCmd");
    EXPECT_EQ(Host().HostIniPath, "C:\\windows\\wincmd.ini");
    EXPECT_EQ(Message(Msg::AppTitle), "TC Varnel"); // the language was loaded through the hook
}

TEST_F(SettingsTest, MissingKeysUseTheirDefaults) {
    prefix.Write("drive_c/Varnel/TC_varnel.ini", "[Options]\r\nShowTabs=yes\r\nRefreshInterval=0x1770\r\n");
    ASSERT_TRUE(InitializeProgram());
    Settings& s = AppSettings();
    EXPECT_EQ(s.RestartTime, 1000);
    EXPECT_EQ(s.RestartExt, "%dir%\\Kestrun.exe 200 \"%s\"");
    EXPECT_TRUE(s.UseTCVar);
    EXPECT_TRUE(s.InstTweak);
    EXPECT_FALSE(s.InstRestart);
    ReadWindowSettings(s);
    EXPECT_FALSE(s.ShowTabs); // letters read as 0, not as the default 1
    EXPECT_EQ(s.RefreshInterval, 6000);
    EXPECT_TRUE(s.ShowStatusBar);
    EXPECT_EQ(s.ReportFile, "C:\\TC Varnel report.txt");
}

TEST_F(SettingsTest, WindowDefaultsAreTheWindowsOwnValues) {
    prefix.Write("drive_c/Varnel/TC_varnel.ini", "[Window]\r\nWidth=900\r\nColumn3W=77\r\nTabIndex=2\r\n");
    ASSERT_TRUE(InitializeProgram());
    Settings& s = AppSettings();
    s.Left = 10;
    s.Top = 20;
    s.Width = 640;
    s.Height = 480;
    ReadWindowSettings(s);
    EXPECT_EQ(s.Left, 10);
    EXPECT_EQ(s.Width, 900);
    EXPECT_EQ(s.Height, 480);
    EXPECT_EQ(s.ColumnWidths, (std::array<int, kListColumns>{200, 80, 0, 77, 180, 250, 110}));
    EXPECT_EQ(s.TabIndex, 2);
}

TEST_F(SettingsTest, ExitWritesEveryKeyAndKeepsTheReadOnlyOnes) {
    ASSERT_TRUE(InitializeProgram());
    Settings& s = AppSettings();
    ReadWindowSettings(s);
    s.Width = 700;
    s.RefreshInterval = 3000;
    WriteSettingsAtExit(s);
    std::string text = SettingsFile();
    for (const char* key : {"FtpIni=",
                            "RarPath=",
                            "PluginsSrc=",
                            "PluginsSrcZip=",
                            "PluginsLister=",
                            "PluginsPacker=",
                            "PluginsFS=",
                            "PluginsContent=",
                            "Language=",
                            "ShowTabs=",
                            "ShowTypes=",
                            "ShowVersionsCol=",
                            "ShowDescriptions=",
                            "Refresh=",
                            "RefreshInterval=3000",
                            "SortColumn=",
                            "SortAsc=",
                            "RegisterExt=",
                            "UseTCVar=1",
                            "InstRestart=0",
                            "InstTweak=1",
                            "RestartCmd=0",
                            "RestartExt=",
                            "RestartTime=1200",
                            "Left=",
                            "Top=",
                            "Width=700",
                            "Height=",
                            "Column0W=200",
                            "Column5W=250",
                            "TabIndex=",
                            "FN=",
                            "Name=1",
                            "Version=1",
                            "State=0",
                            "Assoc=0",
                            "File=1"})
        EXPECT_NE(text.find(key), std::string::npos) << key;
    EXPECT_NE(text.find("ShowNames=2\r\n"), std::string::npos);
    EXPECT_NE(text.find("BrowseCmd=%COMMANDER_PATH%\\Totalcmd.exe /o /r=\"%s\""), std::string::npos);
    EXPECT_EQ(text.find("TCPath="), std::string::npos); // written only when the user picks a file
    EXPECT_EQ(text.find("ShowStatusBar="), std::string::npos);
    // The template's comments are still in place.
    EXPECT_NE(text.find("; RarPath specifies full path to WinRAR.exe\r\n"), std::string::npos);
}

// A killed run leaves its replacement files behind; the next start removes them, and nothing else.
TEST_F(SettingsTest, StartRemovesWhatAKilledRunLeftBehind) {
    prefix.Write("drive_c/Varnel/TC_varnel.ini", "[Paths]\r\nIniPath=C:\\TC\\wincmd.ini\r\n");
    const char* files[] = {"drive_c/TC/.wincmd.ini.Ab12Cd", "drive_c/Varnel/.TC_varnel.ini.q1W2e3",
                           "drive_c/TC/.wincmd.ini.Zz99Yy", "drive_c/TC/.wincmd.ini.abc",
                           "drive_c/TC/.other.ini.Ab12Cd"};
    for (const char* file : files)
        prefix.Write(file, "[copy]\r\n");
    auto old = std::filesystem::file_time_type::clock::now() - std::chrono::minutes(2);
    for (const char* file : {files[0], files[1], files[3], files[4]})
        std::filesystem::last_write_time(prefix.Path(file), old);
    ASSERT_TRUE(InitializeProgram());
    EXPECT_FALSE(prefix.Exists(files[0]));
    EXPECT_FALSE(prefix.Exists(files[1]));
    EXPECT_TRUE(prefix.Exists(files[2])); // still young: a replacement may be writing it now
    EXPECT_TRUE(prefix.Exists(files[3])); // not a name this program makes
    EXPECT_TRUE(prefix.Exists(files[4])); // beside a file this program does not rewrite
}

TEST_F(SettingsTest, AnIniPathInTheWindowsFolderExpandsBack) {
    prefix.Write("drive_c/Varnel/TC_varnel.ini",
                 "[Paths]\r\nTCPath=C:\\TC\\TOTALCMD.EXE\r\nIniPath=%windir%\\wincmd.ini\r\n");
    ASSERT_TRUE(InitializeProgram());
    EXPECT_EQ(AppSettings().IniPath, "C:\\windows\\wincmd.ini");
    EXPECT_EQ(ContractWindowsDir(AppSettings().IniPath), "%windir%\\wincmd.ini");
    EXPECT_EQ(AppSettings().PluginsSrc, "C:\\TC");
}

TEST_F(SettingsTest, StartWithoutLanguageFileEnds) {
    std::filesystem::remove(prefix.Path("drive_c/Varnel/Language/English.lng"));
    test::MessageLog boxes;
    EXPECT_FALSE(InitializeProgram());
    EXPECT_EQ(fatalCalls, 1);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].title, "TC Varnel");
    // The template was still written before the language was chosen.
    EXPECT_TRUE(prefix.Exists("drive_c/Varnel/TC_varnel.ini"));
}

TEST_F(SettingsTest, AFolderInPlaceOfTheFileMeansDefaults) {
    // Nothing can be read from or written to it: the program runs on its defaults.
    std::filesystem::create_directories(prefix.Path("drive_c/Varnel/TC_varnel.ini"));
    EXPECT_TRUE(InitializeProgram());
    EXPECT_EQ(AppSettings().RestartTime, 1000);
    EXPECT_EQ(AppSettings().RestartExt, "%dir%\\Kestrun.exe 200 \"%s\"");
    WriteSettingsAtExit(AppSettings());
    EXPECT_TRUE(std::filesystem::is_directory(prefix.Path("drive_c/Varnel/TC_varnel.ini")));
}

// ---- Host location --------------------------------------------------------------------------

const char* kRegHeader = "WINE REGISTRY Version 2\n\n";

TEST_F(SettingsTest, HostFolderFromEnvironmentThenUserThenMachine) {
    EXPECT_EQ(HostInstallDir(), "C:\\TotalCmd");
    prefix.Write("system.reg", std::string(kRegHeader) + "[Software\\\\Ghisler\\\\Total Commander] 1\n"
                                                         "\"InstallDir\"=\"D:\\\\Machine\"\n");
    EXPECT_EQ(HostInstallDir(), "D:\\Machine");
    prefix.Write("user.reg", std::string(kRegHeader) + "[Software\\\\Ghisler\\\\Total Commander] 1\n"
                                                       "\"InstallDir\"=\"E:\\\\User\"\n");
    EXPECT_EQ(HostInstallDir(), "E:\\User");
    setenv("COMMANDER_PATH", "F:\\FromEnv", 1);
    EXPECT_EQ(HostInstallDir(), "F:\\FromEnv");
    EXPECT_EQ(DefaultHostExe(), "F:\\FromEnv\\Totalcmd.exe");
    setenv("COMMANDER_PATH", "relative", 1); // not a drive path: the registry decides
    EXPECT_EQ(HostInstallDir(), "E:\\User");
    unsetenv("COMMANDER_PATH");
}

// A 32-bit installer registers the host in the machine's 32-bit view, with the configuration
// under %APPDATA%; the view whose folder exists wins over a stale entry of an uninstalled copy.
TEST_F(SettingsTest, HostRegisteredByA32BitInstaller) {
    prefix.Write("drive_c/Program Files/totalcmd/TOTALCMD.EXE", "MZ");
    prefix.Write("system.reg", std::string(kRegHeader) +
                                   "[Software\\\\Wow6432Node\\\\Ghisler\\\\Total Commander] 1\n"
                                   "\"InstallDir\"=\"C:\\\\Program Files\\\\totalcmd\"\n"
                                   "\"IniFileName\"=\"%APPDATA%\\\\GHISLER\\\\wincmd.ini\"\n");
    prefix.Write("user.reg", std::string(kRegHeader) +
                                 "[Volatile Environment] 1\n"
                                 "\"APPDATA\"=\"C:\\\\users\\\\me\\\\AppData\\\\Roaming\"\n\n"
                                 "[Software\\\\Ghisler\\\\Total Commander] 1\n"
                                 "\"InstallDir\"=\"C:\\\\Old TC\"\n");
    EXPECT_EQ(HostInstallDir(), "C:\\Program Files\\totalcmd");
    EXPECT_EQ(DefaultHostExe(), "C:\\Program Files\\totalcmd\\Totalcmd.exe");
    EXPECT_EQ(DefaultHostIni(), "C:\\users\\me\\AppData\\Roaming\\GHISLER\\wincmd.ini");
    // Once the user's folder exists again, the user's value wins as before.
    prefix.Write("drive_c/Old TC/TOTALCMD.EXE", "MZ");
    EXPECT_EQ(HostInstallDir(), "C:\\Old TC");
}

TEST_F(SettingsTest, NonStringRegistryValuesAreIgnored) {
    prefix.Write("system.reg", std::string(kRegHeader) + "[Software\\\\Ghisler\\\\Total Commander] 1\n"
                                                         "\"InstallDir\"=\"D:\\\\Machine\"\n");
    prefix.Write("user.reg", std::string(kRegHeader) + "[Software\\\\Ghisler\\\\Total Commander] 1\n"
                                                       "\"InstallDir\"=str(2):\"%ProgramFiles%\\\\TC\"\n");
    EXPECT_EQ(HostInstallDir(), "D:\\Machine");
}

TEST_F(SettingsTest, DefaultConfigurationFiles) {
    auto withIniValue = [&](const char* value) {
        prefix.Write("system.reg", std::string(kRegHeader) +
                                       "[Software\\\\Ghisler\\\\Total Commander] 1\n"
                                       "\"InstallDir\"=\"C:\\\\TC\"\n\"IniFileName\"=\"" +
                                       value + "\"\n");
        return DefaultHostIni();
    };
    SetHostPaths("C:\\TC\\Totalcmd.exe", "-");
    EXPECT_EQ(withIniValue("wincmd.ini"), "C:\\windows\\wincmd.ini");
    EXPECT_EQ(withIniValue(".\\\\wincmd.ini"), "C:\\TC\\wincmd.ini");
    EXPECT_EQ(withIniValue("%COMMANDER_PATH%\\\\cfg\\\\wincmd.ini"), "C:\\TC\\cfg\\wincmd.ini");
    EXPECT_EQ(DefaultFtpIni(), "C:\\windows\\wcx_ftp.ini");
}

TEST_F(SettingsTest, SixtyFourBitHostIsFoundToo) {
    prefix.Write("system.reg", std::string(kRegHeader) + "[Software\\\\Ghisler\\\\Total Commander] 1\n"
                                                         "\"InstallDir\"=\"C:\\\\TC\"\n");
    prefix.Write("drive_c/TC/TOTALCMD64.EXE", "MZ");
    EXPECT_EQ(DefaultHostExe(), "C:\\TC\\TOTALCMD64.EXE");
    // Both, as the installer leaves them on a 64-bit system: the 64-bit one, which it starts there.
    prefix.Write("drive_c/TC/TOTALCMD.EXE", "MZ");
    EXPECT_EQ(DefaultHostExe(), "C:\\TC\\TOTALCMD64.EXE");
}

TEST_F(SettingsTest, DetectHostByVersionResource) {
    if (!test::MakeDemoHost(prefix))
        GTEST_SKIP() << "the demo host needs the MinGW-w64 build";
    ASSERT_TRUE(InitializeProgram()); // the demo's registry leads to C:\totalcmd
    test::MessageLog boxes;
    EXPECT_EQ(AppSettings().TCPath, "C:\\totalcmd\\Totalcmd.exe");
    EXPECT_EQ(AppSettings().IniPath, "C:\\totalcmd\\wincmd.ini");
    EXPECT_TRUE(DetectHost(AppSettings().TCPath, AppSettings().IniPath));
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_FALSE(HostRunning(AppSettings().TCPath));

    // A module that is not the host: the executable is "not found".
    std::filesystem::create_directories(prefix.Path("drive_c/other"));
    std::filesystem::copy_file(prefix.Path("drive_c/totalcmd/plugins/wlx/sample_lister/sample_lister.wlx"),
                               prefix.Path("drive_c/other/TotalCmd.exe"));
    AppSettings().TCPath = "C:\\other\\TotalCmd.exe";
    EXPECT_FALSE(DetectHost(AppSettings().TCPath, AppSettings().IniPath));
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, "TotalCmd.exe was not found.");
    EXPECT_EQ(boxes.Boxes()[0].title, "TC Varnel");

    // The right host but no configuration: one box, about the configuration.
    AppSettings().TCPath = "C:\\totalcmd\\TOTALCMD.EXE";
    AppSettings().IniPath = "C:\\totalcmd\\gone.ini";
    EXPECT_FALSE(DetectHost(AppSettings().TCPath, AppSettings().IniPath));
    ASSERT_EQ(boxes.Boxes().size(), 2u);
    EXPECT_EQ(boxes.Boxes()[1].text, "Wincmd.ini was not found.");
}

// A program folder the user cannot write to (C:\\Program Files for a normal user) keeps the
// settings, and the history beside them, in %APPDATA%\\TC Varnel; a portable one keeps them beside.
TEST_F(SettingsTest, AProgramFolderThatTakesNoFilesKeepsSettingsInAppData) {
    EXPECT_FALSE(SettingsFileLocation().inAppData);
    EXPECT_EQ(SettingsFilePath(), "C:\\Varnel\\TC_varnel.ini");
    EXPECT_FALSE(prefix.Exists("drive_c/Varnel/.tcvarnel-write-test")); // the probe is gone again

    // Not even root may make a file in /proc.
    prefix.Write("user.reg", std::string(kRegHeader) +
                                 "[Volatile Environment] 1\n"
                                 "\"APPDATA\"=\"C:\\\\users\\\\me\\\\AppData\\\\Roaming\"\n");
    SetProgramFolder("Z:\\proc");
    ASSERT_TRUE(SettingsFileLocation().inAppData);
    const std::string path = SettingsFilePath();
    EXPECT_EQ(path, "C:\\users\\me\\AppData\\Roaming\\TC Varnel\\TC_varnel.ini");
    AppSettings().Width = 777;
    WriteSettingsAtExit(AppSettings());
    std::string bytes;
    ASSERT_EQ(platform::ReadWholeFile(path, bytes, 1 << 20), platform::ReadResult::Ok);
    EXPECT_NE(bytes.find("Width=777"), std::string::npos) << bytes;
}

} // namespace
} // namespace varnel
