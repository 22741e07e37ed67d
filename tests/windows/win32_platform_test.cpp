// The Windows backend's own promises, where the system itself takes part: the registry and its
// views, programs started and stopped, command lines, files held by running programs.

#include "catalog/module_probe.h"
#include "platform/codepage.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/system.h"

#include "contract_folder.h"

#include <chrono>
#include <gtest/gtest.h>
#include <thread>
#include <windows.h>
#undef ExpandEnvironmentStrings // the platform function of that name, not the system macro

namespace varnel::platform {
namespace {

using test::ContractFolder;

// A test program or module beside this one: its Windows path, and its machine path.
std::string Beside(const std::string& name) {
    const std::string own = OwnExecutablePath();
    return own.substr(0, own.rfind('\\') + 1) + name;
}
const std::string kProcessStandin = HostTextToUtf8(Beside("process_standin.exe"));

// A copy of one of the test programs in the folder, under the name given.
std::string CopyProgram(const std::string& from, const std::string& folder, const std::string& name) {
    std::string bytes;
    EXPECT_EQ(ReadWholeFile(from, bytes, 64 << 20), ReadResult::Ok) << from;
    const std::string path = folder + "\\" + name;
    EXPECT_TRUE(ReplaceFileAtomically(path, bytes));
    return path;
}

template <typename Condition> bool Eventually(Condition condition, int limitMs = 20000) {
    for (int waited = 0; waited < limitMs; waited += 50) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return condition();
}

TEST(Win32Registry, BothViewsAndTheUsersClasses) {
    const std::string key = "Software\\TC Varnel Tests\\" + std::to_string(GetCurrentProcessId());
    const std::string key32 =
        "Software\\Wow6432Node\\TC Varnel Tests\\" + std::to_string(GetCurrentProcessId());
    ASSERT_TRUE(WriteRegistryStrings(
        {{RegistryRoot::LocalMachine, key, "InstallDir", "C:\\Program Files\\x64"},
         {RegistryRoot::LocalMachine, key32, "InstallDir", "C:\\Program Files (x86)\\x86"},
         {RegistryRoot::CurrentUser, key, "", "default"}},
        true));
    EXPECT_EQ(ReadRegistryString(RegistryRoot::LocalMachine, key, "InstallDir"), "C:\\Program Files\\x64");
    EXPECT_EQ(ReadRegistryString(RegistryRoot::LocalMachine, key32, "InstallDir"),
              "C:\\Program Files (x86)\\x86");
    EXPECT_EQ(ReadRegistryString(RegistryRoot::CurrentUser, key, ""), "default");
    EXPECT_EQ(ReadRegistryString(RegistryRoot::CurrentUser, key, "missing"), std::nullopt);

    // File types go to the user's own classes, and HKEY_CLASSES_ROOT shows them.
    const std::string type = ".wlxtest" + std::to_string(GetCurrentProcessId());
    const std::string marked = std::string(kUtf8Mark) + "Lister \xE6\x97\xA5";
    ASSERT_TRUE(WriteRegistryStrings({{RegistryRoot::ClassesRoot, type, "", "TC_plugin_wlx"},
                                      {RegistryRoot::ClassesRoot, "TC_plugin_wlx_test", "", marked}},
                                     true));
    EXPECT_EQ(ReadRegistryString(RegistryRoot::CurrentUser, "Software\\Classes\\" + type, ""),
              "TC_plugin_wlx");
    EXPECT_EQ(ReadRegistryString(RegistryRoot::ClassesRoot, type, ""), "TC_plugin_wlx");
    EXPECT_EQ(ReadRegistryString(RegistryRoot::ClassesRoot, "TC_plugin_wlx_test", ""), marked);
    const auto values = ReadRegistryStrings(RegistryRoot::ClassesRoot, "TC_plugin_wlx_test");
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].second.text, HostTextToUtf8(marked));
    EXPECT_FALSE(WriteRegistryStrings({{RegistryRoot::CurrentUser, key, "x", "a\r\nb"}}, true));
}

TEST(Win32Processes, ArgumentsEnvironmentAndTimeouts) {
    const std::vector<std::string> args = {
        "plain", "with blank", "quote\"inside", "trailing\\", "back\\\\\"slash", "", "\xC3\xA4\xE6\x97\xA5"};
    std::vector<std::string> argv = {kProcessStandin, "echo"};
    argv.insert(argv.end(), args.begin(), args.end());
    const CapturedRun run = RunAndCapture(argv, {{"VARNEL_ECHO", "set \xC3\xA4"}}, 30000);
    ASSERT_TRUE(run.started);
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.exitCode, 0);
    std::string expected;
    for (const std::string& arg : args)
        expected += arg + "\n";
    EXPECT_EQ(run.output, expected + "set \xC3\xA4\n");

    const auto started = std::chrono::steady_clock::now();
    const CapturedRun slow = RunAndCapture({kProcessStandin, "sleep", "20000"}, {}, 500);
    EXPECT_TRUE(slow.timedOut);
    EXPECT_FALSE(slow.exited);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    const CapturedRun quick = RunAndCapture({kProcessStandin, "sleep", "10"}, {}, 30000);
    EXPECT_TRUE(quick.exited);
    EXPECT_EQ(quick.exitCode, 7);
    EXPECT_FALSE(RunAndCapture({"no-such-program-here"}, {}, 1000).started);

    // A wait the user stops ends the child.
    SetWaitObserver([](unsigned elapsedMs, bool) { return elapsedMs > 200; });
    const CapturedRun stopped = RunAndCapture({kProcessStandin, "sleep", "20000"}, {}, 30000);
    SetWaitObserver(nullptr);
    EXPECT_TRUE(stopped.cancelled);
}

TEST(Win32Processes, CommandLinesArriveByteForByte) {
    ContractFolder root;
    const std::string folder = root.Path() + "\\Program Files\\Re starter";
    ASSERT_TRUE(CreateFolder(root.Path() + "\\Program Files"));
    ASSERT_TRUE(CreateFolder(folder));
    const std::string program = CopyProgram(Beside("restarter_standin.exe"), folder, "restarter.exe");
    // Unquoted: the system tries "...\Program", then "...\Program Files\Re", ... as the shell does.
    const std::string unquoted =
        program.substr(0, program.size() - 4) + " /wait \"C:\\a b\\TOTALCMD64.EXE\" x\\\"y";
    const std::string quoted = "\"" + program + "\"  /i=\"C:\\Users\\me\\wincmd.ini\"";
    ASSERT_TRUE(StartProcess(unquoted, ShowMode::Hidden, true));
    ASSERT_TRUE(StartProcess(quoted, ShowMode::Hidden, true));
    std::string log;
    ASSERT_EQ(ReadWholeFile(folder + "\\started.log", log, 1 << 16), ReadResult::Ok);
    EXPECT_EQ(log, unquoted + "\n" + quoted + "\n");
    EXPECT_FALSE(StartProcess("\"" + folder + "\\missing.exe\" x", ShowMode::Hidden, true));

    // The shell starts a program with the parameters after its quoted name.
    ASSERT_TRUE(ShellRun(program, "/x \"y z\"", ShowMode::Hidden, true));
    ASSERT_EQ(ReadWholeFile(folder + "\\started.log", log, 1 << 16), ReadResult::Ok);
    EXPECT_TRUE(log.ends_with(" /x \"y z\"\n")) << log;
    EXPECT_FALSE(ShellRun(folder + "\\missing.exe", "", ShowMode::Hidden, true));

    // A document of a type nothing opens is shown as text.
    ASSERT_TRUE(ReplaceFileAtomically(folder + "\\README.md", "# read me\r\n"));
    ASSERT_TRUE(ShellRun(folder + "\\README.md", "", ShowMode::Shown, false));
    EXPECT_TRUE(Eventually([] { return FindWindowW(L"Notepad", nullptr) != nullptr; }));
    EXPECT_EQ(CloseFirstWindowOfClass("Notepad", 10000), CloseAnswer::Closed);
}

TEST(Win32Processes, TheHostWindowClosesWhenAsked) {
    ContractFolder root;
    const std::string exe = CopyProgram(Beside("host_standin.exe"), root.Path(), "TOTALCMD64.EXE");
    EXPECT_FALSE(FileCannotBeOpenedForWriting(exe)) << "a program that does not run can be written";
    ASSERT_TRUE(
        StartProcess("\"" + exe + "\" /i=\"" + root.Path() + "\\wincmd.ini\"", ShowMode::Shown, false));
    ASSERT_TRUE(Eventually([] { return FindWindowW(L"TTOTAL_CMD", nullptr) != nullptr; }));
    EXPECT_TRUE(FileCannotBeOpenedForWriting(exe)) << "a running program is in use";
    EXPECT_TRUE(InspectFile(exe).cannotOpenForWriting);
    EXPECT_EQ(CloseFirstWindowOfClass("TTOTAL_CMD", 10000), CloseAnswer::Closed);
    EXPECT_TRUE(Eventually([&] { return !FileCannotBeOpenedForWriting(exe); })) << "the host ended";
    EXPECT_EQ(CloseFirstWindowOfClass("TTOTAL_CMD", 1000), CloseAnswer::NoWindow);
}

TEST(Win32Files, ModulesLoadedByARunningProgramAreInUse) {
    ContractFolder root;
    const std::string module = CopyProgram(Beside("held_module.dll"), root.Path(), "held plugin.wlx64");
    const std::string release = root.Path() + "\\release";
    EXPECT_FALSE(FileCannotBeOpenedForWriting(module));
    std::thread holder([&] {
        RunAndCapture({kProcessStandin, "hold", HostTextToUtf8(module), HostTextToUtf8(release)}, {}, 60000);
    });
    // A scan (the list's load, the refresh tick) knows it from the processes' module lists, and
    // opens no module to find out.
    auto heldInScan = [&] {
        InUseScan scan;
        const FileState state = InspectFile(module);
        return state.exists && state.regular && state.cannotOpenForWriting;
    };
    EXPECT_FALSE(heldInScan());
    const bool held = Eventually([&] { return FileCannotBeOpenedForWriting(module); });
    const bool seenInScan = heldInScan();
    ReplaceFileAtomically(release, "");
    holder.join();
    EXPECT_TRUE(held) << "the host's own test: a loaded module cannot be opened for writing";
    EXPECT_TRUE(seenInScan) << "a scan finds it in the holder's module list";
    EXPECT_TRUE(Eventually([&] { return !FileCannotBeOpenedForWriting(module); }));
    EXPECT_TRUE(Eventually([&] { return !heldInScan(); }));
}

TEST(Win32Helpers, ModulesAreAskedByAHelperOfTheirBitness) {
    ContractFolder root;
    const std::string folder =
        root.Path() + "\\" + std::string(kUtf8Mark) + "\xD0\x9F\xD0\xB0\xD0\xBA\xD0\xB5\xD1\x80";
    ASSERT_TRUE(CreateFolder(folder));
    const std::string module64 = CopyProgram(Beside("held_module.dll"), folder, "packer.wcx64");
    const ProbeAnswer answer64 = AskProbe("packer-caps", module64);
    EXPECT_EQ(answer64.kind, ProbeAnswer::Number) << answer64.problem;
    EXPECT_EQ(answer64.number, 285);

    const std::string helper32 = HostTextToUtf8(Beside("tcvarnel-probe-w32.exe"));
    if (!IsRegularMachineFile(helper32))
        GTEST_SKIP() << "no 32-bit helper was built here (the i686 MinGW compiler is missing)";
    // Whether this machine runs 32-bit programs at all: a kernel without IA32 emulation, or a Wine
    // without its 32-bit half, does not; the helper's usage answer (exit code 2) says it does.
    const CapturedRun tried = RunAndCapture({helper32}, {}, 60000);
    const std::string module32 = CopyProgram(Beside("held_module32.dll"), folder, "packer.wcx");
    const ProbeAnswer answer32 = AskProbe("packer-caps", module32);
    if (tried.exited && tried.exitCode == 2) {
        EXPECT_EQ(answer32.kind, ProbeAnswer::Number) << answer32.problem;
        EXPECT_EQ(answer32.number, 285);
        return;
    }
    // Where no 32-bit program runs, the question has no answer, and the answer says why.
    EXPECT_EQ(answer32.kind, ProbeAnswer::Unavailable);
    EXPECT_FALSE(answer32.problem.empty());
    std::cerr << "[   NOTE   ] no 32-bit programs run here; the 32-bit helper's absence was tested: "
              << answer32.problem << "\n";
}

TEST(Win32System, FoldersEnvironmentAndVersion) {
    const std::string windows = WindowsDirectory();
    EXPECT_TRUE(DirectoryExists(windows)) << windows;
    EXPECT_EQ(ExpandEnvironmentStrings("%windir%\\x %NOT_SET_HERE%", 260), windows + "\\x %NOT_SET_HERE%");
    EXPECT_EQ(ExpandEnvironmentStrings("%windir%", 3), windows.substr(0, 3));
    EXPECT_EQ(EnvironmentValue("WINDIR"), windows);
    // What dialogs and arguments give with "/" enters the program as Windows writes it.
    EXPECT_EQ(ToWindowsPath("C:/Down loads/bild/bild.wlx"), "C:\\Down loads\\bild\\bild.wlx");
    EXPECT_TRUE(IsRegularFile(OwnExecutablePath()));
    EXPECT_EQ(RunningSystemName().rfind("Windows ", 0), 0u) << RunningSystemName();
    EXPECT_EQ(DateText().size(), 8u);
    EXPECT_EQ(TimeText().size(), 8u);
    EXPECT_LT(CompareForUser("apple", "Banana"), 0);
    EXPECT_LT(CompareForUser("\xC3\xA4pfel", "Zebra"), 0) << "the user's collation, not byte order";
}

} // namespace
} // namespace varnel::platform
