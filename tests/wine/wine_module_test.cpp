// Module inspection of real Windows modules through Wine: the Windows build of the probe
// answers the queries, and the version reader agrees with Wine's own version functions.

#include "catalog/module_info.h"

#include "catalog/catalog_options.h"
#include "catalog/host_config.h"
#include "catalog/registration.h"
#include "lang/language.h"
#include "ops/install.h"
#include "ops/plugin_configure.h"
#include "platform/program_folder.h"

#include "app/settings.h"
#include "catalog/module_probe.h"
#include "install_request.h"
#include "message_log.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/posix/wine.h"
#include "platform/process.h"
#include "platform/system.h"
#include "sample_plugins.h"
#include "util/text.h"
#include "wine_test_prefix.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace varnel {
namespace {

using test::ModuleBuild;

class WineModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!wine.Ready() || !test::HaveWindowsSamples())
            GTEST_SKIP() << "Wine or the Windows samples are missing";
        AppSettings() = Settings{};
        CatalogSettings() = CatalogOptions{};
        m_previousSleep = platform::SetSleepHandler([](unsigned) {});
    }
    void TearDown() override {
        if (m_previousSleep)
            platform::SetSleepHandler(m_previousSleep);
        SetProbeTimeoutMs(15000);
    }
    std::string Sample(std::string_view name) {
        return test::InstallSample(wine.Dir(), ModuleBuild::Windows, name, wine.Folder());
    }

    test::WineTestPrefix wine;
    platform::SleepHandler m_previousSleep;
};

TEST_F(WineModuleTest, QueriesAnsweredByWindowsModules) {
    QueryStatus status;
    EXPECT_EQ(QueryPackerCaps(Sample("sample_packer.wcx"), &status), 285);
    EXPECT_EQ(status, QueryStatus::Answered);
    EXPECT_EQ(QueryListerDetectString(Sample("sample_lister.wlx"), &status), "EXT=\"TXT\" | EXT=\"LOG\"");
    EXPECT_EQ(status, QueryStatus::Answered);
    EXPECT_EQ(QueryContentDetectString(Sample("sample_content.wdx"), &status), "MULTIMEDIA");
    EXPECT_EQ(QueryFsRootName(Sample("sample_fs.wfx"), &status), "Sample FS");
    EXPECT_EQ(QueryFsRootName(Sample("empty_root.wfx"), &status), "empty_root");
    EXPECT_EQ(QueryPackerCaps(Sample("none.dll"), &status), 0);
    EXPECT_EQ(status, QueryStatus::Default);
}

TEST_F(WineModuleTest, FaultsInWindowsModulesAreContained) {
    test::MessageLog boxes;
    QueryStatus status;
    std::string crash = Sample("crash.dll");
    EXPECT_EQ(QueryListerDetectString(crash, &status), "");
    EXPECT_EQ(status, QueryStatus::Fault);
    EXPECT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(QueryPackerCaps(crash, &status), 0);
    EXPECT_EQ(status, QueryStatus::Fault);
    SetProbeTimeoutMs(4000);
    EXPECT_EQ(QueryFsRootName(Sample("hang.dll"), &status), "hang");
    EXPECT_EQ(status, QueryStatus::Fault);
}

// The Windows helper stays too: every question gets its module freshly loaded, and after a crash,
// a hang or a module that would not leave, the next question gets a new helper that answers
// right. Settings dialogs go to it as well.
TEST_F(WineModuleTest, TheWindowsHelperStaysAndEveryQuestionGetsAFreshModule) {
    test::MessageLog boxes;
    EndProbeHelpers();
    const unsigned before = ProbeHelperStarts();
    auto started = [&] { return ProbeHelperStarts() - before; };
    auto touch = [&](const std::string& windowsPath) { // a changed file is asked again
        const std::string machine = platform::ToHostPath(windowsPath);
        std::filesystem::last_write_time(machine,
                                         std::filesystem::last_write_time(machine) + std::chrono::seconds(1));
    };
    QueryStatus status;
    const std::string counting = Sample("counting.wcx");
    EXPECT_EQ(QueryPackerCaps(counting, &status), 1);
    touch(counting);
    EXPECT_EQ(QueryPackerCaps(counting, &status), 1);
    EXPECT_EQ(QueryPackerCaps(Sample("sample_packer.wcx"), &status), 285);
    SetHostPaths("C:\\Program Files\\totalcmd\\TOTALCMD64.EXE", "C:\\TC\\wincmd.ini");
    EXPECT_TRUE(ConfigurePackerPlugin(Host(), Sample("sample_packer.wcx")));
    EXPECT_EQ(started(), 1u);
    const std::string pinned = Sample("pinned.wcx");
    EXPECT_EQ(QueryPackerCaps(pinned, &status), 1);
    touch(pinned);
    EXPECT_EQ(QueryPackerCaps(pinned, &status), 1);
    EXPECT_EQ(started(), 2u);
    EXPECT_EQ(QueryPackerCaps(Sample("crash.dll"), &status), 0);
    EXPECT_EQ(status, QueryStatus::Fault);
    touch(counting);
    EXPECT_EQ(QueryPackerCaps(counting, &status), 1);
    SetProbeTimeoutMs(4000);
    EXPECT_EQ(QueryPackerCaps(Sample("hang.dll"), &status), 0);
    EXPECT_EQ(status, QueryStatus::Fault);
    touch(counting);
    EXPECT_EQ(QueryPackerCaps(counting, &status), 1);
    EXPECT_EQ(status, QueryStatus::Answered);
    EXPECT_EQ(started(), 5u);
    // A detect string's module may still be in its pause as the next question comes: the same
    // file is still loaded afresh, and one that crashes as it is let go leaves the next answer
    // right.
    const std::string lister = Sample("counting.wlx");
    EXPECT_EQ(QueryListerDetectString(lister, &status), "EXT=\"1\"");
    touch(lister);
    EXPECT_EQ(QueryListerDetectString(lister, &status), "EXT=\"1\"");
    EXPECT_EQ(QueryListerDetectString(Sample("falls.wlx"), &status), "EXT=\"1\"");
    EXPECT_EQ(QueryFsRootName(Sample("sample_fs.wfx"), &status), "Sample FS");
    EXPECT_EQ(status, QueryStatus::Answered);
    EXPECT_TRUE(boxes.Boxes().empty());
}

// The packer's settings dialog runs in the Windows helper: the default parameters first, then
// ConfigurePacker; a crash in it names the entry point.
TEST_F(WineModuleTest, PackerConfigurationRunsInTheWindowsHelper) {
    test::MessageLog boxes;
    SetHostPaths("C:\\Program Files\\totalcmd\\TOTALCMD64.EXE", "C:\\TC\\wincmd.ini");
    setenv("VARNEL_SAMPLE_CONFIGURED", "C:\\configured.txt", 1);
    EXPECT_TRUE(ConfigurePackerPlugin(Host(), Sample("sample_packer.wcx")));
    unsetenv("VARNEL_SAMPLE_CONFIGURED");
    std::ifstream in(wine.Dir() + "/drive_c/configured.txt");
    std::string line;
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r')
        line.pop_back(); // written in text mode
    EXPECT_EQ(line, "configured size=272 version=2.10 ini=C:\\Program Files\\totalcmd\\pkplugin.ini");
    EXPECT_FALSE(ConfigurePackerPlugin(Host(), Sample("sample_lister.wlx")));
    EXPECT_TRUE(ConfigurePackerPlugin(Host(), Sample("crash.dll")));
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    std::filesystem::remove(wine.Dir() + "/drive_c/configured.txt");
}

// Configure on an FS plugin runs config.exe, the helper under that name, as the host would: the
// plugin gets working callbacks, the fsplugin.ini beside wincmd.ini and "properties" on its root,
// in a helper of its own bitness (a 32-bit module through the 32-bit helper), from a folder whose
// name has no ANSI form. A crash names the entry point.
TEST_F(WineModuleTest, FsConfigurationRunsThroughConfigExe) {
    namespace fs = std::filesystem;
    const std::string bin = std::string(VARNEL_BINARY_DIR) + "/bin";
    ASSERT_TRUE(fs::exists(bin + "/config.exe"));
    SetProgramFolder(platform::ToWindowsPath(bin));
    SetLanguageLoadedHook(LoadMessages);
    ASSERT_TRUE(SetLanguage("English"));
    SetHostPaths("C:\\Program Files\\totalcmd\\TOTALCMD64.EXE", "C:\\TC\\wincmd.ini");
    const std::string machineFolder = wine.Dir() + "/drive_c/" + ReplaceAll(wine.Folder(), "\\", "/");
    const std::string odd = "Sample \xD0\x9F\xD0\xBB\xD0\xB0"; // "Sample Пла": no ANSI form
    fs::create_directories(machineFolder + "/" + odd);
    auto configured = [&](ModuleBuild build, const std::string& as) {
        fs::copy_file(test::SamplePluginFile(build, "sample_fs.wfx"), machineFolder + "/" + odd + "/" + as,
                      fs::copy_options::overwrite_existing);
        const std::string module = platform::ToWindowsPath(machineFolder + "/" + odd + "/" + as);
        const std::string calls = wine.Dir() + "/drive_c/fs_calls.txt";
        fs::remove(calls);
        setenv("VARNEL_SAMPLE_CONFIGURED", "C:\\fs_calls.txt", 1);
        ConfigureFsPlugin(Host(), module, "C:\\TC \xDC", 0); // "TC Ü" in ANSI
        unsetenv("VARNEL_SAMPLE_CONFIGURED");
        std::ifstream in(calls, std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        return ReplaceAll(text, "\r\n", "\n");
    };
    test::MessageLog boxes;
    const std::string expected = "FsInit number=0 progress=0 request=0\n"
                                 "FsSetDefaultParams size=272 version=2.0 ini=C:\\TC \xDC\\fsplugin.ini\n"
                                 "FsExecuteFile remote=\\ verb=properties\n";
    EXPECT_EQ(configured(ModuleBuild::Windows, "sample_fs.wfx64"), expected);
    EXPECT_TRUE(boxes.Boxes().empty());

    fs::copy_file(test::SamplePluginFile(ModuleBuild::Windows, "crash.dll"), machineFolder + "/crash.wfx",
                  fs::copy_options::overwrite_existing);
    const std::string crash = platform::ToWindowsPath(machineFolder + "/crash.wfx");
    ConfigureFsPlugin(Host(), crash, "C:\\TC", 0);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, "The plugin " + crash + " failed in its function FsExecuteFile.");

    if (!fs::exists(test::SamplePluginFile(ModuleBuild::Windows32, "sample_fs.wfx")))
        GTEST_SKIP() << "the 32-bit samples are not built";
    std::string why;
    if (platform::FindWine(platform::Bitness::Bits32, &why)) {
        EXPECT_EQ(configured(ModuleBuild::Windows32, "sample_fs.wfx"), expected);
        EXPECT_EQ(boxes.Boxes().size(), 1u);
    } else {
        // No 32-bit Wine: the box says so instead of a silent nothing.
        EXPECT_EQ(configured(ModuleBuild::Windows32, "sample_fs.wfx"), "");
        ASSERT_EQ(boxes.Boxes().size(), 2u);
        EXPECT_NE(boxes.Boxes()[1].text.find(why), std::string::npos) << boxes.Boxes()[1].text;
        std::cerr << "[   NOTE   ] without 32-bit Wine, the configuration's refusal was tested: " << why
                  << "\n";
    }
    SetLanguageLoadedHook(nullptr);
    ResetMessageStore();
    SetProgramFolder("");
}

TEST_F(WineModuleTest, WithoutWineTheDefaultsApplyAndSaySo) {
    std::string packer = Sample("sample_packer.wcx");
    setenv("VARNEL_WINE", "/nonexistent/wine", 1);
    QueryStatus status;
    EXPECT_EQ(QueryPackerCaps(packer, &status), 0);
    EXPECT_EQ(status, QueryStatus::Unavailable);
    EXPECT_EQ(QueryFsRootName(packer, &status), "sample_packer");
    EXPECT_EQ(status, QueryStatus::Unavailable);
    unsetenv("VARNEL_WINE");
}

// What Wine's GetFileVersionInfoA/VerQueryValueA say about a module, through version_checker.exe.
std::string WineVersionAnswer(const std::string& windowsPath) {
    std::string checker = platform::OwnExecutableFolder() + "/version_checker.exe";
    std::optional<platform::WineLauncher> wine = platform::FindWine(platform::Bitness::Bits64);
    if (!wine)
        return "no 64-bit Wine";
    platform::CapturedRun run =
        platform::RunAndCapture({wine->wine, checker, windowsPath},
                                {{"WINEDEBUG", "-all"}, {"WINEPREFIX", platform::PrefixDir()}}, 30000);
    std::string out;
    for (char c : run.output)
        if (c != '\r')
            out.push_back(c);
    return out;
}

std::string Hex(std::string_view text) {
    std::string out;
    for (char c : text)
        out += FormatPrintf("%02x", {static_cast<unsigned char>(c)});
    return out;
}

std::string OurVersionAnswer(const std::string& windowsPath) {
    std::string fixed = ReadVersionText(windowsPath);
    if (fixed.empty() && ReadVersionText(windowsPath, "FileDescription").empty())
        return "none\n";
    std::string out = fixed.empty() ? "fixed\n" : "fixed " + fixed + "\n";
    for (const char* name : {"FileDescription", "ProductVersion", "InternalName"})
        out += std::string(name) + " " + Hex(ReadVersionText(windowsPath, name)) + "\n";
    return out;
}

TEST_F(WineModuleTest, VersionReaderAgreesWithWine) {
    std::vector<std::string> modules = {Sample("sample_lister.wlx"), Sample("sample_packer.wcx"),
                                        Sample("sample_content.wdx"), Sample("none.dll")};
    // Windows modules nobody here wrote: the DLLs Debian's Wine ships.
    int wineDlls = 0;
    for (const char* dll :
         {"kernel32.dll", "comctl32.dll", "shell32.dll", "user32.dll", "msvcrt.dll", "ole32.dll"}) {
        std::string path = "C:\\windows\\system32\\" + std::string(dll);
        if (std::filesystem::exists(platform::ToHostPath(path))) {
            modules.push_back(path);
            ++wineDlls;
        }
    }
    EXPECT_GE(wineDlls, 3);
    int withVersion = 0;
    for (const std::string& module : modules) {
        std::string ours = OurVersionAnswer(module);
        EXPECT_EQ(ours, WineVersionAnswer(module)) << module;
        if (ours != "none\n")
            ++withVersion;
    }
    EXPECT_GE(withVersion, 6); // the comparison is about real version resources, not empty answers
}

// Modules in folders with blanks and characters outside the code page, and modules of both
// bitnesses: a module is answered by the helper of its own bitness, and where this machine cannot
// run that helper the user hears why instead of a blame on the plugin.
TEST_F(WineModuleTest, ModulesOfBothBitnessesInNonAsciiFolders) {
    namespace fs = std::filesystem;
    std::string machineFolder = wine.Dir() + "/drive_c/" + wine.Folder();
    for (char& c : machineFolder)
        if (c == '\\')
            c = '/';
    const std::string odd = "\xC3\x84rger \xD0\x9F\xD0\xBB\xD0\xB0"; // "Ärger Пла" in UTF-8
    fs::create_directories(machineFolder + "/" + odd);
    fs::copy_file(test::SamplePluginFile(ModuleBuild::Windows, "sample_packer.wcx"),
                  machineFolder + "/" + odd + "/sample_packer.wcx");
    std::string packer = platform::ToWindowsPath(machineFolder + "/" + odd + "/sample_packer.wcx");
    ASSERT_TRUE(platform::HasUtf8Mark(packer)) << packer; // Cyrillic has no ANSI form
    QueryStatus status;
    EXPECT_EQ(QueryPackerCaps(packer, &status), 285);
    EXPECT_EQ(status, QueryStatus::Answered);

    std::string module32 = test::SamplePluginFile(ModuleBuild::Windows32, "sample_packer.wcx");
    if (!fs::exists(module32))
        GTEST_SKIP() << "the 32-bit samples are not built";
    fs::copy_file(module32, machineFolder + "/" + odd + "/packer32.wcx");
    std::string packer32 = platform::ToWindowsPath(machineFolder + "/" + odd + "/packer32.wcx");
    std::string why;
    if (platform::FindWine(platform::Bitness::Bits32, &why)) {
        EXPECT_EQ(QueryPackerCaps(packer32, &status), 285);
        EXPECT_EQ(status, QueryStatus::Answered);
        return;
    }
    // No 32-bit Wine here: the defaults, the reason, and a question before anything is written.
    EXPECT_EQ(QueryPackerCaps(packer32, &status), 0);
    EXPECT_EQ(status, QueryStatus::Unavailable);
    EXPECT_EQ(LastQueryProblem(), why);
    std::string ini = "C:\\" + wine.Folder() + "\\wincmd.ini";
    SetHostPaths("C:\\" + wine.Folder() + "\\Totalcmd.exe", ini);
    test::MessageLog boxes(kIdCancel);
    {
        HostConfigTransaction transaction;
        EXPECT_EQ(RegisterPlugin(packer32, "zip", true), RegisterResult::Cancelled);
        ASSERT_TRUE(transaction.Commit());
    }
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].style & 0xFF, kStyleQuestion);
    EXPECT_FALSE(fs::exists(platform::ToHostPath(ini)) && fs::file_size(platform::ToHostPath(ini)) > 0);
}

} // namespace
} // namespace varnel

namespace varnel {
namespace {

// Registering Windows modules: their answers come through Wine, and the file is written as for
// native ones.
TEST_F(WineModuleTest, RegisteringWindowsModules) {
    SetHostPaths("C:\\" + wine.Folder() + "\\Totalcmd.exe", "C:\\" + wine.Folder() + "\\wincmd.ini");
    std::string lister = Sample("sample_lister.wlx");
    std::string packer = Sample("sample_packer.wcx");
    std::string fs = Sample("sample_fs.wfx");
    std::string both = Sample("both.dll");
    HostConfigTransaction transaction;
    EXPECT_EQ(RegisterPlugin(lister, "", true), RegisterResult::Registered);
    EXPECT_EQ(RegisterPlugin(packer, "zip", true), RegisterResult::Registered);
    EXPECT_EQ(RegisterPlugin(fs, "", true), RegisterResult::Registered);
    EXPECT_EQ(RegisterPlugin(both, "", true), RegisterResult::Registered); // an FS plugin by its exports
    ASSERT_TRUE(transaction.Commit());
    std::ifstream in(platform::ToHostPath("C:\\" + wine.Folder() + "\\wincmd.ini"), std::ios::binary);
    std::string ini((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(
        ini,
        "[ListerPlugins]\r\n0=%COMMANDER_PATH%\\sample_lister.wlx\r\n0_detect=EXT=\"TXT\" | EXT=\"LOG\"\r\n"
        "[PackerPlugins]\r\nzip=285,%COMMANDER_PATH%\\sample_packer.wcx\r\n"
        "[FileSystemPlugins]\r\nSample "
        "FS=%COMMANDER_PATH%\\sample_fs.wfx\r\nboth=%COMMANDER_PATH%\\both.dll\r\n");
}

} // namespace
} // namespace varnel

namespace varnel {
namespace {

// A 64-bit host loads "name.wcx64" in place of the registered "name.wcx": the list shows that
// module's bitness, queries go to it, a 64-bit module with a 32-bit twin is registered under the
// twin's name, and a module the host cannot load is installed only when the user agrees.
TEST_F(WineModuleTest, SixtyFourBitHostsLoadTheTwinModule) {
    const std::string dir = "C:\\" + wine.Folder();
    const std::string ini = dir + "\\wincmd.ini";
    // Host programs are told apart by their file's machine type; any module of each bitness does.
    std::string host64 =
        test::InstallSample(wine.Dir(), ModuleBuild::Windows, "none.dll", wine.Folder(), "TOTALCMD64.EXE");
    std::string host32 =
        test::InstallSample(wine.Dir(), ModuleBuild::Windows32, "none.dll", wine.Folder(), "TOTALCMD.EXE");
    // The twins answer differently (caps 285 and 7), so the answer tells which one was asked.
    test::InstallSample(wine.Dir(), ModuleBuild::Windows32, "sample_packer.wcx", wine.Folder(), "twin.wcx");
    std::string twin64 =
        test::InstallSample(wine.Dir(), ModuleBuild::Windows, "packer_only.dll", wine.Folder(), "twin.wcx64");
    std::string old32 = test::InstallSample(wine.Dir(), ModuleBuild::Windows32, "sample_lister.wlx",
                                            wine.Folder(), "old.wlx");
    {
        std::ofstream out(platform::ToHostPath(ini), std::ios::binary | std::ios::trunc);
        out << "[ListerPlugins]\r\n0=" << old32 << "\r\n";
    }
    // The shipped English texts, for the warning.
    SetProgramFolder(platform::ToWindowsPath(VARNEL_SOURCE_DIR) + "\\");
    SetLanguageLoadedHook(LoadMessages);
    ASSERT_TRUE(SetLanguage("English"));
    SetHostPaths(host64, ini);
    test::MessageLog boxes(kIdCancel);
    InstallPlugin(ProgramContext(), test::Install(twin64, false, false, "zip", true));
    InstallPlugin(ProgramContext(), test::Install(old32, false, false, "",
                                                  false)); // already registered: no warning, nothing written
    ASSERT_EQ(boxes.Boxes().size(), 2u);                   // message 63 twice
    std::ifstream in(platform::ToHostPath(ini), std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "[ListerPlugins]\r\n0=" + old32 +
                        "\r\n[PackerPlugins]\r\nzip=7,%COMMANDER_PATH%\\twin.wcx\r\n");

    // A 32-bit-only module offered to the 64-bit host: the warning comes first, and a refusal
    // writes nothing.
    std::string lone32 =
        test::InstallSample(wine.Dir(), ModuleBuild::Windows32, "sample_fs.wfx", wine.Folder(), "lone.wfx");
    InstallPlugin(ProgramContext(), test::Install(lone32, false, false, "", true));
    ASSERT_EQ(boxes.Boxes().size(), 3u);
    EXPECT_EQ(boxes.Boxes()[2].text,
              "lone.wfx is a 32-bit module, and TOTALCMD64.EXE is a 64-bit program that cannot load it.\r"
              "Install it anyway?");
    std::ifstream again(platform::ToHostPath(ini), std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(again)), std::istreambuf_iterator<char>()), text);

    CatalogSettings().showNames = 0;
    auto listed = [](std::string_view file) {
        int row = FindEntryByFile(file);
        return row ? FileNamePart(EntryAt(row).HostModule) + " " + BitsText(row) : std::string("missing");
    };
    LoadTable(true);
    EXPECT_EQ(listed(dir + "\\twin.wcx"), "twin.wcx64 64-bit");
    EXPECT_EQ(listed(old32), "old.wlx 32-bit, not for a 64-bit TC");
    EXPECT_EQ(EntryAt(FindEntryByFile(dir + "\\twin.wcx")).Name, "twin.wcx64");

    SetHostPaths(host32, ini);
    LoadTable(true);
    EXPECT_EQ(listed(dir + "\\twin.wcx"), "twin.wcx 32-bit");
    EXPECT_EQ(listed(old32), "old.wlx 32-bit");
    SetLanguageLoadedHook(nullptr);
    SetProgramFolder("");
    ResetMessageStore();
}

} // namespace
} // namespace varnel

namespace varnel {
namespace {

// A prefix made by 64-bit-only Wine has no 32-bit system. Its 64-bit modules are still answered, by
// the 64-bit loader, however Debian's "wine" is set up; a 32-bit module is not blamed for the
// missing half, and the user hears that the prefix is the reason.
TEST_F(WineModuleTest, SixtyFourBitOnlyPrefixes) {
    namespace fs = std::filesystem;
    const fs::path wow = fs::path(wine.Dir()) / "drive_c/windows/syswow64";
    const fs::path aside = fs::path(wine.Dir()) / "drive_c/windows/syswow64.off";
    ASSERT_TRUE(fs::exists(wow));
    fs::rename(wow, aside); // setup_prefix.sh puts it back should this test not finish
    struct PutBack {
        fs::path from, to;
        ~PutBack() { fs::rename(from, to); }
    } putBack{aside, wow};

    std::string why;
    std::optional<platform::WineLauncher> loader = platform::FindWine(platform::Bitness::Bits64, &why);
    ASSERT_TRUE(loader) << why;
    EXPECT_TRUE(loader->wine.ends_with("wine64")) << loader->wine;
    QueryStatus status;
    EXPECT_EQ(QueryPackerCaps(Sample("sample_packer.wcx"), &status), 285);
    EXPECT_EQ(status, QueryStatus::Answered);

    EXPECT_FALSE(platform::FindWine(platform::Bitness::Bits32, &why));
    EXPECT_NE(why.find("64-bit only"), std::string::npos) << why;
    std::string packer32 = test::InstallSample(wine.Dir(), ModuleBuild::Windows32, "sample_packer.wcx",
                                               wine.Folder(), "packer32.wcx");
    EXPECT_EQ(QueryPackerCaps(packer32, &status), 0);
    EXPECT_EQ(status, QueryStatus::Unavailable);
    EXPECT_EQ(LastQueryProblem(), why);

    // Made where no 32-bit loader ran, a prefix has a syswow64 with nothing in it: the same.
    fs::create_directory(wow);
    why.clear();
    EXPECT_FALSE(platform::FindWine(platform::Bitness::Bits32, &why));
    EXPECT_NE(why.find("64-bit only"), std::string::npos) << why;
    fs::remove(wow);
}

} // namespace
} // namespace varnel
