// Running, restarting and closing the demo host's stand-in under Wine, as the host-process
// commands do it. These tests share one Wine prefix and its windows, so they run one at a time.

#include "catalog/host_config.h"
#include "ops/command.h"
#include "ops/host_process.h"

#include "app/settings.h"
#include "catalog/host_location.h"
#include "lang/language.h"
#include "message_log.h"
#include "platform/paths.h"
#include "platform/posix/wine.h"
#include "platform/process.h"
#include "platform/program_folder.h"
#include "platform/system.h"
#include "sample_plugins.h"
#include "wine_test_prefix.h"

#include <chrono>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <signal.h>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace varnel {
namespace {

// The processes that have the stand-in's file mapped, that is, the running hosts.
std::vector<int> HostProcesses(const std::string& machinePath) {
    std::vector<int> pids;
    DIR* proc = opendir("/proc");
    while (dirent* entry = proc ? readdir(proc) : nullptr) {
        int pid = std::atoi(entry->d_name);
        if (pid <= 0)
            continue;
        std::ifstream maps("/proc/" + std::string(entry->d_name) + "/maps");
        std::string line;
        while (std::getline(maps, line)) {
            if (line.size() >= machinePath.size() &&
                line.compare(line.size() - machinePath.size(), machinePath.size(), machinePath) == 0) {
                pids.push_back(pid);
                break;
            }
        }
    }
    if (proc)
        closedir(proc);
    return pids;
}

// Generous: a loaded machine, or 32-bit Wine under qemu, starts a program in seconds.
template <typename Condition> bool WaitFor(Condition condition, int seconds = 60) {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < until) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return condition();
}

class WineHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!wine.Ready() || !fs::exists(std::string(VARNEL_BINARY_DIR) + "/demo/TOTALCMD.EXE"))
            GTEST_SKIP() << "Wine or the stand-in host is missing";
        AppSettings() = Settings{};
        ResetMessageStore();
        // Real waits would only slow the tests; the waits that matter are polled below.
        m_sleep = platform::SetSleepHandler(
            [](unsigned ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms / 4)); });
        folder = "C:\\" + wine.Folder();
        machine = wine.Dir() + "/drive_c/" + ReplaceSlashes(wine.Folder());
        fs::create_directories(machine + "/TC");
        fs::create_directories(machine + "/Varnel");
        fs::copy_file(std::string(VARNEL_BINARY_DIR) + "/demo/TOTALCMD.EXE", machine + "/TC/TOTALCMD.EXE");
        fs::copy_file(std::string(VARNEL_BINARY_DIR) + "/bin/restarter_standin.exe",
                      machine + "/Varnel/Kestrun.exe");
        std::ofstream(machine + "/TC/wincmd.ini") << "[Configuration]\r\n";
        hostMachinePath = machine + "/TC/TOTALCMD.EXE";
        AppSettings().TCPath = folder + "\\TC\\TOTALCMD.EXE";
        AppSettings().IniPath = folder + "\\TC\\wincmd.ini";
        SetProgramFolder(folder + "\\Varnel");
    }
    void TearDown() override {
        if (!wine.Ready())
            return;
        for (int pid : HostProcesses(hostMachinePath))
            kill(pid, SIGKILL);
        WaitFor([&] { return HostProcesses(hostMachinePath).empty(); }, 10);
        platform::SetSleepHandler(m_sleep);
        SetRestartGiveUpMs(30000);
        SetProgramFolder("");
        AppSettings() = Settings{};
    }
    static std::string ReplaceSlashes(std::string text) {
        for (char& c : text)
            if (c == '\\')
                c = '/';
        return text;
    }
    std::vector<int> Hosts() { return HostProcesses(hostMachinePath); }
    // What the stand-ins wrote about an end they were not asked for, to say why a host is gone.
    std::string StandInReport() {
        std::string report;
        for (const auto& entry : fs::recursive_directory_iterator(machine)) {
            if (entry.path().filename() != "standin-errors.txt")
                continue;
            std::ifstream in(entry.path());
            report +=
                "\n" + entry.path().string() + ":\n" + std::string(std::istreambuf_iterator<char>(in), {});
        }
        return report.empty() ? std::string("\n(the stand-in reported nothing)") : report;
    }
    // The one running host; fails the test (with the stand-ins' report) when there is not exactly one.
    ::testing::AssertionResult OneHost(int& pid) {
        std::vector<int> hosts = Hosts();
        if (hosts.size() != 1)
            return ::testing::AssertionFailure() << hosts.size() << " hosts run" << StandInReport();
        pid = hosts.front();
        return ::testing::AssertionSuccess();
    }
    // The first command line the stand-in program recorded (empty when it never ran).
    std::string FirstStartedLine(const std::string& programFolder = "Varnel") {
        const std::string log = machine + "/" + programFolder + "/started.log";
        // Wait for a whole line: the file exists, and may be empty, before the line is written.
        if (!WaitFor([&] {
                std::ifstream in(log);
                return std::string(std::istreambuf_iterator<char>(in), {}).find('\n') != std::string::npos;
            }))
            return {};
        std::ifstream in(log);
        std::string line;
        std::getline(in, line);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        return line;
    }
    ::testing::AssertionResult StartStandIn(const std::string& extra = {}) {
        size_t before = Hosts().size();
        if (!platform::StartProcess(AppSettings().TCPath + extra, platform::ShowMode::Shown, false))
            return ::testing::AssertionFailure() << "the stand-in could not be started";
        if (!WaitFor([&] { return Hosts().size() == before + 1; }))
            return ::testing::AssertionFailure() << "the stand-in did not appear" << StandInReport();
        // The window exists a moment after the process does.
        if (!WaitFor([] { return HostWindowShows(); }, 30))
            return ::testing::AssertionFailure() << "the stand-in shows no window" << StandInReport();
        if (Hosts().size() != before + 1)
            return ::testing::AssertionFailure() << "the stand-in ended by itself" << StandInReport();
        return ::testing::AssertionSuccess();
    }
    // Whether a window of the host's class is there, as the Windows helper finds it.
    static bool HostWindowShows() {
        std::optional<platform::WindowsHelper> helper = platform::FindWindowsHelper();
        if (!helper)
            return false;
        std::map<std::string, std::string> env = helper->wine.env;
        env["WINEDEBUG"] = "-all";
        platform::CapturedRun run = platform::RunAndCapture(
            {helper->wine.wine, helper->path, "find-window", "TTOTAL_CMD"}, env, 15000);
        return run.output.rfind("window", 0) == 0;
    }

    test::WineTestPrefix wine;
    std::string folder, machine, hostMachinePath;
    platform::SleepHandler m_sleep;
};

TEST_F(WineHostTest, RunStartsTheHost) {
    EXPECT_FALSE(HostRunning(AppSettings().TCPath));
    RunHost(ProgramContext());
    ASSERT_TRUE(WaitFor([&] { return Hosts().size() == 1; })) << StandInReport();
    EXPECT_TRUE(WaitFor([] { return HostRunning(AppSettings().TCPath); })) << StandInReport();
    EXPECT_TRUE(WaitFor([] { return HostWindowShows(); }, 30)) << StandInReport();
}

// A 32-bit host is seen running, also where 32-bit Wine runs under qemu-i386 (its processes are
// qemu's); where no 32-bit Wine runs, Run says why and starts nothing.
TEST_F(WineHostTest, ThirtyTwoBitHostIsSeenRunning) {
    const std::string standin32 = std::string(VARNEL_BINARY_DIR) + "/demo/w32/TOTALCMD.EXE";
    if (!fs::exists(standin32))
        GTEST_SKIP() << "the i686 stand-in is not built";
    fs::copy_file(standin32, hostMachinePath, fs::copy_options::overwrite_existing);
    std::string why;
    if (!platform::FindWine(platform::Bitness::Bits32, &why)) {
        test::MessageLog boxes;
        RunHost(ProgramContext());
        ASSERT_EQ(boxes.Boxes().size(), 1u);
        EXPECT_NE(boxes.Boxes()[0].text.find(why), std::string::npos) << boxes.Boxes()[0].text;
        EXPECT_TRUE(Hosts().empty());
        return;
    }
    EXPECT_FALSE(HostRunning(AppSettings().TCPath));
    RunHost(ProgramContext());
    ASSERT_TRUE(WaitFor([&] { return Hosts().size() == 1; })) << StandInReport();
    EXPECT_TRUE(WaitFor([] { return HostRunning(AppSettings().TCPath); })) << StandInReport();
}

TEST_F(WineHostTest, RestartModeZeroClosesAndStartsAgain) {
    ASSERT_TRUE(StartStandIn());
    int first = 0;
    ASSERT_TRUE(OneHost(first));
    AppSettings().RestartCmd = 0;
    EXPECT_TRUE(RestartHost(ProgramContext()).Done());
    ASSERT_TRUE(WaitFor([&] {
        std::vector<int> hosts = Hosts();
        return hosts.size() == 1 && hosts.front() != first;
    })) << StandInReport();
}

TEST_F(WineHostTest, RestartModeOneClosesEveryHostAndStartsOne) {
    ASSERT_TRUE(StartStandIn());
    ASSERT_TRUE(StartStandIn());
    std::vector<int> before = Hosts();
    ASSERT_EQ(before.size(), 2u) << StandInReport();
    AppSettings().RestartCmd = 1;
    EXPECT_TRUE(RestartHost(ProgramContext()).Done());
    ASSERT_TRUE(WaitFor([&] {
        std::vector<int> hosts = Hosts();
        return hosts.size() == 1 && hosts.front() != before[0] && hosts.front() != before[1];
    })) << StandInReport();
}

TEST_F(WineHostTest, RestartModeOneGivesUpOnAHostThatWillNotClose) {
    ASSERT_TRUE(StartStandIn(" /stubborn"));
    int stubborn = 0;
    ASSERT_TRUE(OneHost(stubborn));
    test::MessageLog boxes;
    AppSettings().RestartCmd = 1;
    SetRestartGiveUpMs(3000);
    EXPECT_FALSE(RestartHost(ProgramContext()).Done());
    EXPECT_EQ(boxes.Boxes().size(), 1u); // the user is told
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(Hosts(), std::vector<int>{stubborn}); // and no second host was started
}

TEST_F(WineHostTest, ExternalRestarterUnderWineRecordsItsCommandLine) {
    AppSettings().RestartCmd = 2;
    AppSettings().RestartExt = "%dir%\\Kestrun.exe 200 \"%s\"";
    AppSettings().IniPath = folder + "\\TC\\wincmd.ini";
    RestartHost(ProgramContext());
    const std::string line = FirstStartedLine();
    // The restarter sees the command line as it was built, inner quotes and all.
    EXPECT_EQ(line, folder + "\\Varnel\\Kestrun.exe 200 \"" + folder + "\\TC\\TOTALCMD.EXE /i=\"" + folder +
                        "\\TC\\wincmd.ini\"\"");
    EXPECT_TRUE(Hosts().empty()); // the restarter does the rest; ours only records
}

// A host installed the usual way: in "Program Files", with its configuration in a folder with a
// blank and a non-ASCII letter. Run and Restart find the program in spite of the blanks, and the
// host receives its command line byte for byte.
TEST_F(WineHostTest, HostInProgramFilesGetsItsCommandLineByteForByte) {
    std::string tc = machine + "/Program Files/totalcmd";
    std::string config = machine + "/AppData \xC3\x9C/GHISLER"; // "AppData Ü" in UTF-8
    fs::create_directories(tc);
    fs::create_directories(config);
    fs::copy_file(std::string(VARNEL_BINARY_DIR) + "/demo/TOTALCMD.EXE", tc + "/TOTALCMD64.EXE");
    std::ofstream(config + "/wincmd.ini") << "[Configuration]\r\n";
    hostMachinePath = tc + "/TOTALCMD64.EXE";
    AppSettings().TCPath = folder + "\\Program Files\\totalcmd\\TOTALCMD64.EXE";
    AppSettings().IniPath = folder + "\\AppData \xDC\\GHISLER\\wincmd.ini"; // the same in ANSI
    const std::string expected = AppSettings().TCPath + " /i=\"" + AppSettings().IniPath + "\"\r\n";
    std::string log = tc + "/startlog.txt";
    auto logText = [&] {
        std::ifstream in(log, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    };

    RunHost(ProgramContext());
    ASSERT_TRUE(WaitFor([&] { return HostProcesses(hostMachinePath).size() == 1; })) << StandInReport();
    EXPECT_TRUE(HostRunning(AppSettings().TCPath)) << StandInReport(); // Run followed the host until it ran
    // The stand-in writes its log a moment after it was mapped.
    EXPECT_TRUE(WaitFor([&] { return logText() == expected; })) << logText();
    ASSERT_TRUE(WaitFor([] { return HostWindowShows(); }, 30)) << StandInReport(); // for the restart to close
    int first = 0;
    ASSERT_TRUE(OneHost(first));

    AppSettings().RestartCmd = 0;
    AppSettings().RestartTime = 0;
    EXPECT_TRUE(RestartHost(ProgramContext()).Done());
    ASSERT_TRUE(WaitFor([&] {
        std::vector<int> hosts = HostProcesses(hostMachinePath);
        return hosts.size() == 1 && hosts.front() != first;
    })) << StandInReport();
    EXPECT_TRUE(WaitFor([&] { return logText() == expected + expected; })) << logText();
}

TEST_F(WineHostTest, RestartSwitchEndsTheProgramAfterTheRestart) {
    std::string program = std::string(VARNEL_BINARY_DIR) + "/bin/tcvarnel";
    if (!fs::exists(program))
        GTEST_SKIP() << "the GUI is not built";
    ASSERT_TRUE(StartStandIn());
    int first = 0;
    ASSERT_TRUE(OneHost(first));
    fs::copy(std::string(VARNEL_SOURCE_DIR) + "/Language", machine + "/Varnel/Language",
             fs::copy_options::recursive);
    std::ofstream(machine + "/Varnel/TC_varnel.ini")
        << "[Paths]\r\nTCPath=" << AppSettings().TCPath << "\r\nIniPath=" << AppSettings().IniPath
        << "\r\n[Restart]\r\nRestartCmd=0\r\nRestartTime=100\r\n";
    platform::CapturedRun run =
        platform::RunAndCapture({program, "/restart", "ignored"},
                                {{"QT_QPA_PLATFORM", "offscreen"},
                                 {"VARNEL_PROGRAM_FOLDER", machine + "/Varnel"},
                                 {"VARNEL_PROBE_DIR", std::string(VARNEL_BINARY_DIR) + "/bin"}},
                                60000);
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(WaitFor([&] {
        std::vector<int> hosts = Hosts();
        return hosts.size() == 1 && hosts.front() != first;
    })) << StandInReport();
}

} // namespace
} // namespace varnel
