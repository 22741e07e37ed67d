// The host command line, Windows command-line splitting, and starting programs without Wine.

#include "ops/command.h"
#include "ops/host_process.h"

#include "app/settings.h"
#include "catalog/host_config.h"
#include "catalog/host_location.h"
#include "lang/language.h"
#include "message_log.h"
#include "platform/posix/wine.h"
#include "platform/process.h"
#include "platform/program_folder.h"
#include "platform/system.h"
#include "sample_plugins.h"
#include "temp_prefix.h"

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

namespace varnel {
namespace {

TEST(WindowsCommandLine, SplitsByTheWindowsRules) {
    using platform::SplitWindowsCommandLine;
    using V = std::vector<std::string>;
    EXPECT_EQ(SplitWindowsCommandLine("C:\\TC\\Totalcmd.exe"), (V{"C:\\TC\\Totalcmd.exe"}));
    EXPECT_EQ(SplitWindowsCommandLine("\"C:\\Program Files\\TC\\tc.exe\" /o  /r=\"C:\\a b\""),
              (V{"C:\\Program Files\\TC\\tc.exe", "/o", "/r=C:\\a b"}));
    EXPECT_EQ(SplitWindowsCommandLine("x.exe a\\\\\\\"b c\\\\\"d e\" f\\g"),
              (V{"x.exe", "a\\\"b", "c\\d e", "f\\g"}));
    EXPECT_EQ(SplitWindowsCommandLine("x.exe \"\" \"a\"\"b\""), (V{"x.exe", "", "a\"b"}));
    EXPECT_EQ(SplitWindowsCommandLine("\"C:\\dir\\\" arg"),
              (V{"C:\\dir\\", "arg"})); // no escapes in the program
    EXPECT_TRUE(SplitWindowsCommandLine("   ").empty());
}

class HostProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        AppSettings() = Settings{};
        AppSettings().TCPath = "C:\\TC\\TOTALCMD.EXE";
        AppSettings().IniPath = "C:\\windows\\wincmd.ini";
        SetHostPaths(AppSettings().TCPath, AppSettings().IniPath);
        SetProgramFolder("C:\\Varnel");
        m_sleep = platform::SetSleepHandler([this](unsigned ms) { slept += ms; });
        unsetenv("windir");
    }
    void TearDown() override {
        platform::SetSleepHandler(m_sleep);
        SetProgramFolder("");
        AppSettings() = Settings{};
    }
    // A machine script standing in for a program: it records its arguments, one per line.
    void Recorder(const std::string& relative) {
        // Written aside and then renamed, so that a reader never sees half of the arguments.
        prefix.Write(relative, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$0.part\" && "
                               "mv \"$0.part\" \"$0.args\"\n");
        chmod(prefix.Path(relative).c_str(), 0755);
    }
    std::string Recorded(const std::string& relative) {
        for (int i = 0; i < 200 && !prefix.Exists(relative + ".args"); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return prefix.Read(relative + ".args");
    }

    test::TempPrefix prefix;
    unsigned slept = 0;
    platform::SleepHandler m_sleep;
};

TEST_F(HostProcessTest, HostCommandLineForRunAndRestart) {
    EXPECT_EQ(HostCommandLine(AppSettings(), false), "C:\\TC\\TOTALCMD.EXE");
    EXPECT_EQ(HostCommandLine(AppSettings(), true), "C:\\TC\\TOTALCMD.EXE");
    AppSettings().IniPath = "C:\\WINDOWS\\WinCmd.ini"; // the default file in any letter case
    EXPECT_EQ(HostCommandLine(AppSettings(), true), "C:\\TC\\TOTALCMD.EXE");

    AppSettings().IniPath = "D:\\Tools\\wincmd.ini";
    EXPECT_EQ(HostCommandLine(AppSettings(), false), "C:\\TC\\TOTALCMD.EXE /i=\"D:\\Tools\\wincmd.ini\"");
    // Restart takes the short form, which is empty for a file that does not exist.
    EXPECT_EQ(HostCommandLine(AppSettings(), true), "C:\\TC\\TOTALCMD.EXE /i=\"\"");
    prefix.MapDrive('d', prefix.Path("d"));
    prefix.Write("d/Tools/wincmd.ini", "");
    EXPECT_EQ(HostCommandLine(AppSettings(), true), "C:\\TC\\TOTALCMD.EXE /i=\"D:\\Tools\\wincmd.ini\"");

    AppSettings().FtpIni = "%COMMANDER_PATH%\\wcx_ftp.ini";
    EXPECT_EQ(HostCommandLine(AppSettings(), false),
              "C:\\TC\\TOTALCMD.EXE /i=\"D:\\Tools\\wincmd.ini\" /f=\"\"");
    prefix.Write("drive_c/TC/wcx_ftp.ini", "");
    EXPECT_EQ(HostCommandLine(AppSettings(), false),
              "C:\\TC\\TOTALCMD.EXE /i=\"D:\\Tools\\wincmd.ini\" /f=\"C:\\TC\\wcx_ftp.ini\"");
}

TEST_F(HostProcessTest, ProgramsOfThisMachineRunWithoutWine) {
    Recorder("drive_c/tools/record");
    ASSERT_TRUE(platform::StartProcess("C:\\tools\\record one \"two words\" x\\\"y",
                                       platform::ShowMode::Shown, true));
    EXPECT_EQ(prefix.Read("drive_c/tools/record.args"), "one\ntwo words\nx\"y\n");
    // "name.exe" that is nowhere in the prefix runs the machine's "name" from PATH.
    std::optional<platform::Launch> launch = platform::PrepareLaunch("true.exe --flag");
    ASSERT_TRUE(launch);
    EXPECT_EQ(launch->argv.back(), "--flag");
    EXPECT_NE(launch->argv.front().find("/true"), std::string::npos);
    EXPECT_TRUE(platform::StartProcess("true.exe", platform::ShowMode::Shown, true));
    EXPECT_FALSE(platform::StartProcess("C:\\nothing\\here.exe", platform::ShowMode::Shown, false));
    EXPECT_FALSE(platform::StartProcess("no-such-program-anywhere.exe", platform::ShowMode::Shown, false));
}

TEST_F(HostProcessTest, ExternalRestarterGetsTheHostCommandLine) {
    Recorder("drive_c/Varnel/Kestrun.exe");
    AppSettings().RestartCmd = 2;
    AppSettings().RestartExt = "%dir%\\Kestrun.exe 200 \"%s\"";
    AppSettings().RestartTime = 1200;
    AppSettings().IniPath = "C:\\TC\\wincmd.ini";
    prefix.Write("drive_c/TC/wincmd.ini", "");
    EXPECT_TRUE(RestartHost(ProgramContext()).Done());
    EXPECT_EQ(Recorded("drive_c/Varnel/Kestrun.exe"), "200\nC:\\TC\\TOTALCMD.EXE /i=C:\\TC\\wincmd.ini\n");
    EXPECT_EQ(slept, 1200u);
    // A negative mode is the external restarter too.
    std::filesystem::remove(prefix.Path("drive_c/Varnel/Kestrun.exe.args"));
    AppSettings().RestartCmd = -1;
    AppSettings().IniPath = "C:\\windows\\wincmd.ini";
    RestartHost(ProgramContext());
    EXPECT_EQ(Recorded("drive_c/Varnel/Kestrun.exe"), "200\nC:\\TC\\TOTALCMD.EXE\n");
}

// A restarter that cannot be started shows in the status bar; a host that cannot, in a box that
// says why.
TEST_F(HostProcessTest, WhatCannotBeStartedIsReported) {
    // The shipped English texts, as the user reads them.
    std::filesystem::create_directories(prefix.Path("drive_c/Varnel/Language"));
    std::filesystem::copy_file(std::string(VARNEL_SOURCE_DIR) + "/Language/English.lng",
                               prefix.Path("drive_c/Varnel/Language/English.lng"));
    SetLanguageLoadedHook(LoadMessages);
    ASSERT_TRUE(SetLanguage("English"));
    test::MessageLog boxes;
    test::StatusLog status;
    std::vector<std::string>& reports = status.lines;
    AppSettings().RestartCmd = 5;
    AppSettings().RestartExt = "%dir%\\Missing.exe \"%s\"";
    RestartHost(ProgramContext());
    RunHost(ProgramContext());
    EXPECT_EQ(reports, (std::vector<std::string>{
                           "C:\\Varnel\\Missing.exe \"C:\\TC\\TOTALCMD.EXE\" could not be started."}));
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, "C:\\TC\\TOTALCMD.EXE could not be started.");
    EXPECT_EQ(slept, 1000u);

    // A 32-bit host in a prefix that runs no 32-bit program: the box names the reason.
    if (test::HaveWindowsSamples()) {
        std::filesystem::create_directories(prefix.Path("drive_c/TC"));
        std::filesystem::copy_file(test::SamplePluginFile(test::ModuleBuild::Windows32, "sample_lister.wlx"),
                                   prefix.Path("drive_c/TC/TOTALCMD.EXE"));
        RunHost(ProgramContext());
        ASSERT_EQ(boxes.Boxes().size(), 2u);
        EXPECT_NE(boxes.Boxes()[1].text.find("runs no 32-bit program"), std::string::npos)
            << boxes.Boxes()[1].text;
    }
    SetLanguageLoadedHook(nullptr);
    ResetMessageStore();
}

// Where both programs lie, the 64-bit one is the default host.
TEST_F(HostProcessTest, SixtyFourBitOnlyPrefixesDefaultToTheSixtyFourBitHost) {
    if (!test::HaveWindowsSamples())
        GTEST_SKIP() << "needs the Windows samples (MinGW)";
    setenv("COMMANDER_PATH", "C:\\TC", 1);
    std::filesystem::create_directories(prefix.Path("drive_c/TC"));
    std::filesystem::copy_file(test::SamplePluginFile(test::ModuleBuild::Windows32, "sample_lister.wlx"),
                               prefix.Path("drive_c/TC/Totalcmd.exe"));
    EXPECT_EQ(DefaultHostExe(), "C:\\TC\\Totalcmd.exe"); // no 64-bit program beside it
    std::filesystem::copy_file(test::SamplePluginFile(test::ModuleBuild::Windows, "sample_lister.wlx"),
                               prefix.Path("drive_c/TC/TOTALCMD64.EXE"));
    EXPECT_EQ(DefaultHostExe(), "C:\\TC\\TOTALCMD64.EXE"); // as the installer starts it
    unsetenv("COMMANDER_PATH");
}

TEST_F(HostProcessTest, BrowseCommandWithAndWithoutPlaceholder) {
    Recorder("drive_c/tools/browse");
    prefix.Write("drive_c/Varnel/TC_varnel.ini", "[Options]\r\nBrowseCmd=C:\\tools\\browse /o /r=\"%S\"\r\n");
    BrowsePluginFolder(AppSettings(), "C:\\TC\\plugins\\wlx\\view\\view.wlx");
    EXPECT_EQ(Recorded("drive_c/tools/browse"), "/o\n/r=C:\\TC\\plugins\\wlx\\view\n");
    EXPECT_EQ(slept, 300u);
    std::filesystem::remove(prefix.Path("drive_c/tools/browse.args"));
    prefix.Write("drive_c/Varnel/TC_varnel.ini",
                 "[Options]\r\nBrowseCmd=%COMMANDER_PATH%\\..\\tools\\browse fixed\r\n");
    BrowsePluginFolder(AppSettings(), "C:\\TC\\plugins\\x.wlx");
    EXPECT_EQ(Recorded("drive_c/tools/browse"), "fixed\n");

    // The default command starts the host program in use, not the 32-bit one.
    Recorder("drive_c/TC 64/TOTALCMD64.EXE");
    AppSettings().TCPath = "C:\\TC 64\\TOTALCMD64.EXE";
    prefix.Write("drive_c/Varnel/TC_varnel.ini", "[Options]\r\n");
    BrowsePluginFolder(AppSettings(), "C:\\TC\\plugins\\wlx\\x.wlx");
    EXPECT_EQ(Recorded("drive_c/TC 64/TOTALCMD64.EXE"), "/o\n/r=C:\\TC\\plugins\\wlx\n");
}

} // namespace
} // namespace varnel
