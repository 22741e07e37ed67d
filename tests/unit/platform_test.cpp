#include "platform/codepage.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/system.h"

#include "mapped_file.h"
#include "temp_prefix.h"

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace varnel::platform {
namespace {

using test::TempPrefix;

class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name))
            m_old = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        if (m_old)
            setenv(m_name.c_str(), m_old->c_str(), 1);
        else
            unsetenv(m_name.c_str());
    }

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

std::vector<std::string> Names(const std::vector<FindData>& found) {
    std::vector<std::string> names;
    for (const FindData& f : found)
        names.push_back(f.Name);
    std::sort(names.begin(), names.end());
    return names;
}

TEST(WinePaths, ResolvesWithoutRegardToCase) {
    TempPrefix prefix;
    prefix.Write("drive_c/Program Files/TotalCmd/Plugins/wlx/View.WLX", "x");
    prefix.Write("drive_c/Program Files/TotalCmd/Ger\xC3\xA4te/a.txt", "x");
    EXPECT_EQ(ToHostPath("C:\\program files\\TOTALCMD\\plugins\\WLX\\view.wlx"),
              prefix.DriveC() + "/Program Files/TotalCmd/Plugins/wlx/View.WLX");
    EXPECT_EQ(ToHostPath("c:/Program Files/TotalCmd/GER\xC4TE/A.TXT"),
              prefix.DriveC() + "/Program Files/TotalCmd/Ger\xC3\xA4te/a.txt");
    // Missing components are kept as written.
    EXPECT_EQ(ToHostPath("C:\\program files\\New Folder\\x.ini"),
              prefix.DriveC() + "/Program Files/New Folder/x.ini");
    EXPECT_EQ(ToHostPath("C:\\a\\..\\.\\program files"), prefix.DriveC() + "/Program Files");
    EXPECT_EQ(ToHostPath("C:\\"), prefix.DriveC());
    EXPECT_EQ(ToHostPath("Q:\\x"), "");
    EXPECT_EQ(ToHostPath("\\\\server\\share\\x"), "");
    // A file that appears after a look-up missed it is found by the next one, also in a folder
    // whose last change lies well in the past.
    const std::string wlx = prefix.DriveC() + "/Program Files/TotalCmd/Plugins/wlx";
    struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    utimensat(AT_FDCWD, wlx.c_str(), old, 0);
    EXPECT_EQ(ToHostPath("C:\\program files\\totalcmd\\plugins\\wlx\\VIEW.WLX64"), wlx + "/VIEW.WLX64");
    prefix.Write("drive_c/Program Files/TotalCmd/Plugins/wlx/View.wlx64", "x");
    EXPECT_EQ(ToHostPath("C:\\program files\\totalcmd\\plugins\\wlx\\VIEW.WLX64"), wlx + "/View.wlx64");
}

TEST(WinePaths, MachinePathsInWindowsForm) {
    TempPrefix prefix;
    prefix.Write("drive_c/TC/Totalcmd.exe", "x");
    prefix.MapDrive('d', prefix.Path("data"));
    prefix.Write("data/Ger\xC3\xA4te/p.wlx", "x");
    EXPECT_EQ(ToWindowsPath(prefix.DriveC() + "/TC/Totalcmd.exe"), "C:\\TC\\Totalcmd.exe");
    EXPECT_EQ(ToWindowsPath(prefix.DriveC()), "C:\\");
    EXPECT_EQ(ToWindowsPath(prefix.Path("data/Ger\xC3\xA4te/p.wlx")), "D:\\Ger\xE4te\\p.wlx");
    // Outside every other drive: Z: is the root of the file system.
    EXPECT_EQ(ToWindowsPath("/usr/share/x"), "Z:\\usr\\share\\x");
    // Through the symbolic link of the drive itself.
    EXPECT_EQ(ToWindowsPath(prefix.Path("dosdevices/c:/TC")), "C:\\TC");
}

TEST(FindFiles, WildcardsAsTheSystemMatchesThem) {
    TempPrefix prefix;
    for (const char* name : {"a.wlx", "B.WLX", "c.wcx", "README", "ab.wlx.bak"})
        prefix.Write(std::string("drive_c/p/") + name, "x");
    std::filesystem::create_directories(prefix.Path("drive_c/p/sub"));
    EXPECT_EQ(Names(FindFiles("C:\\P\\*.wlx")), (std::vector<std::string>{"B.WLX", "a.wlx"}));
    EXPECT_EQ(Names(FindFiles("C:\\p\\*.*")),
              (std::vector<std::string>{"B.WLX", "README", "a.wlx", "ab.wlx.bak", "c.wcx", "sub"}));
    EXPECT_EQ(Names(FindFiles("C:\\p\\?.w?x")), (std::vector<std::string>{"B.WLX", "a.wlx", "c.wcx"}));
    EXPECT_EQ(Names(FindFiles("C:\\p\\readme.*")), (std::vector<std::string>{"README"}));
    EXPECT_EQ(Names(FindFiles("C:\\p\\b.wlx")), (std::vector<std::string>{"B.WLX"}));
    EXPECT_TRUE(FindFiles("C:\\p\\*.wdx").empty());
    EXPECT_TRUE(FindFiles("C:\\nothing\\*").empty());
    auto sub = FindFiles("C:\\p\\SUB");
    ASSERT_EQ(sub.size(), 1u);
    EXPECT_TRUE(sub[0].IsFolder);

    FileFinder finder;
    int seen = 0;
    for (bool more = finder.First("C:\\p\\*.w*x"); more; more = finder.Next())
        ++seen;
    EXPECT_EQ(seen, 3);
}

TEST(FindFiles, ExistenceProbes) {
    TempPrefix prefix;
    prefix.Write("drive_c/p/a.wlx", "x");
    EXPECT_TRUE(FileExists("c:\\P\\A.WLX"));
    EXPECT_FALSE(FileExists("C:\\p\\b.wlx"));
    EXPECT_FALSE(FileExists(""));
    EXPECT_TRUE(DirectoryExists("C:\\P"));
    EXPECT_FALSE(DirectoryExists("C:\\p\\a.wlx"));
}

TEST(InUse, FilesMappedByAnotherProcessCannotBeWritten) {
    TempPrefix prefix;
    prefix.Write("drive_c/p/loaded.wlx", std::string(8192, 'x'));
    prefix.Write("drive_c/p/idle.wlx", "x");
    prefix.Write("drive_c/p/readonly.wlx", "x");
    chmod(prefix.Path("drive_c/p/readonly.wlx").c_str(), 0444);

    test::MappedInChild loader(prefix.Path("drive_c/p/loaded.wlx")); // maps it as a loader would
    ASSERT_TRUE(loader.Mapped());

    EXPECT_TRUE(FileCannotBeOpenedForWriting("C:\\p\\LOADED.wlx"));
    EXPECT_FALSE(FileCannotBeOpenedForWriting("C:\\p\\idle.wlx"));
    EXPECT_TRUE(FileCannotBeOpenedForWriting("C:\\p\\readonly.wlx"));
    EXPECT_TRUE(FileCannotBeOpenedForWriting("C:\\p\\missing.wlx"));
    {
        InUseScan scan;
        EXPECT_TRUE(FileCannotBeOpenedForWriting("C:\\p\\loaded.wlx"));
        EXPECT_FALSE(FileCannotBeOpenedForWriting("C:\\p\\idle.wlx"));
    }
    loader.Stop();
    EXPECT_FALSE(FileCannotBeOpenedForWriting("C:\\p\\loaded.wlx"));

    // What a Wine process runs decides: the host holds its modules wherever it lies, but neither
    // this program's own helpers (which hold a module only to answer a question about it) nor the
    // system's programs in the Windows folder are taken to hold one.
    auto heldWhenRunBy = [&](std::vector<std::string> shown) {
        test::MappedInChild holder(prefix.Path("drive_c/p/loaded.wlx"), shown);
        EXPECT_TRUE(holder.Mapped());
        return FileCannotBeOpenedForWriting("C:\\p\\loaded.wlx");
    };
    EXPECT_TRUE(heldWhenRunBy({"/usr/lib/wine/wine64", "C:\\Program Files\\totalcmd\\TOTALCMD64.EXE"}));
    EXPECT_TRUE(
        heldWhenRunBy({"/usr/lib/wine/wine64-preloader", "/usr/lib/wine/wine64", "/opt/tc/TOTALCMD64.EXE"}));
    EXPECT_TRUE(heldWhenRunBy({"C:\\Program Files\\totalcmd\\TOTALCMD.EXE", "/n"}));
    EXPECT_FALSE(
        heldWhenRunBy({"/usr/lib/wine/wine64", "/opt/tc varnel/tcvarnel-probe-w64.exe", "serve", "60000"}));
    EXPECT_FALSE(heldWhenRunBy({"/usr/lib/wine/wine", "Z:\\opt\\TCVARNEL-PROBE-W32.EXE", "lister-detect"}));
    EXPECT_FALSE(heldWhenRunBy({"C:\\windows\\system32\\winedevice.exe"}));
    EXPECT_FALSE(heldWhenRunBy({"/usr/lib/wine/wine64", "c:/Windows/explorer.exe", "/desktop"}));
}

// Windows paths expand with the prefix's own Windows environment, as Wine builds it from the
// registry, and never with this machine's variables (only COMMANDER_PATH, which the host hands to
// the programs it starts, comes from our own environment).
TEST(Environment, ExpandsWithThePrefixWindowsEnvironment) {
    TempPrefix prefix;
    prefix.Write("system.reg",
                 "WINE REGISTRY Version 2\n\n#arch=win64\n\n"
                 "[System\\\\CurrentControlSet\\\\Control\\\\Session Manager\\\\Environment] 1\n"
                 "\"TEMP\"=str(2):\"%SystemRoot%\\\\temp\"\n\"windir\"=str(2):\"%SystemRoot%\"\n\n"
                 "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion] 1\n"
                 "\"ProgramFilesDir\"=\"C:\\\\Program Files\"\n\"ProgramFilesDir (x86)\"=\"C:\\\\Program "
                 "Files (x86)\"\n");
    prefix.Write("user.reg",
                 "WINE REGISTRY Version 2\n\n[Environment] 1\n\"TEMP\"=\"C:\\\\users\\\\me\\\\Temp\"\n\n"
                 "[Volatile Environment] 1\n\"APPDATA\"=\"C:\\\\users\\\\me\\\\AppData\\\\Roaming\"\n"
                 "\"USERPROFILE\"=\"C:\\\\users\\\\J\\x00f6rg\"\n");
    ScopedEnv home("HOME", "/root");
    ScopedEnv appdata("APPDATA", "/linux/appdata");
    ScopedEnv commander("COMMANDER_PATH", "C:\\TC");
    EXPECT_EQ(ExpandEnvironmentStrings("%APPDATA%\\GHISLER\\wincmd.ini", 800),
              "C:\\users\\me\\AppData\\Roaming\\GHISLER\\wincmd.ini");
    EXPECT_EQ(ExpandEnvironmentStrings("%appdata%|%USERPROFILE%", 800),
              "C:\\users\\me\\AppData\\Roaming|C:\\users\\J\xF6rg");
    EXPECT_EQ(ExpandEnvironmentStrings("%ProgramFiles%|%ProgramFiles(x86)%|%TEMP%|%windir%", 800),
              "C:\\Program Files|C:\\Program Files (x86)|C:\\users\\me\\Temp|C:\\windows");
    EXPECT_EQ(ExpandEnvironmentStrings("%HOME%\\x%COMMANDER_PATH%", 800), "%HOME%\\xC:\\TC");
    // The system's rules: unset names stay, "%%" is no name, the result is cut.
    EXPECT_EQ(ExpandEnvironmentStrings("%UNSET%%APPDATA%", 800), "%UNSET%C:\\users\\me\\AppData\\Roaming");
    EXPECT_EQ(ExpandEnvironmentStrings("100% sure %%", 800), "100% sure %%");
    EXPECT_EQ(ExpandEnvironmentStrings("%windir%%windir%", 12), "C:\\windowsC:");
    EXPECT_EQ(WindowsDirectory(), "C:\\windows");
}

// Paths outside the host's code page travel as the host's marked UTF-8, never as '?': machine
// paths in both directions, and a prefix without a Z: drive.
TEST(Codepage, PathsOutsideTheCodePageAreKeptWhole) {
    TempPrefix prefix;
    prefix.Write("drive_c/\xD0\x9F\xD0\xBB\xD0\xB0/A.wlx", "x"); // C:\Пла\A.wlx
    std::string windows = ToWindowsPath(prefix.DriveC() + "/\xD0\x9F\xD0\xBB\xD0\xB0/A.wlx");
    EXPECT_EQ(windows, std::string(kUtf8Mark) + "C:\\\xD0\x9F\xD0\xBB\xD0\xB0\\A.wlx");
    EXPECT_EQ(ToHostPath(std::string(kUtf8Mark) + "c:\\\xD0\x9F\xD0\xBB\xD0\xB0\\a.WLX"),
              prefix.DriveC() + "/\xD0\x9F\xD0\xBB\xD0\xB0/A.wlx");
    // A prefix without Z:, where no drive reaches the folder: Wine's own name for it, which maps back.
    std::filesystem::remove(prefix.Dir() + "/dosdevices/z:");
    ResetPathCache();
    std::string outside = ToWindowsPath("/nonexistent/Gr\xC3\xBC\xC3\x9F");
    EXPECT_EQ(outside, "\\\\?\\unix\\nonexistent\\Gr\xFC\xDF");
    EXPECT_EQ(ToHostPath(outside), "/nonexistent/Gr\xC3\xBC\xC3\x9F");
}

TEST(Environment, OwnExecutableInWindowsForm) {
    TempPrefix prefix;
    std::string exe = OwnExecutablePath();
    ASSERT_GE(exe.size(), 3u);
    EXPECT_EQ(exe.substr(0, 3), "Z:\\");
    EXPECT_EQ(exe.find('/'), std::string::npos);
}

TEST(Registry, ReadsWineRegistryFiles) {
    TempPrefix prefix;
    prefix.Write("system.reg",
                 "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n"
                 "[Software\\\\Ghisler\\\\Total Commander] 1700000000\n#time=1d9\n"
                 "\"InstallDir\"=\"C:\\\\totalcmd\"\n"
                 "\"IniFileName\"=str(2):\"%COMMANDER_PATH%\\\\wincmd.ini\"\n"
                 "\"Count\"=dword:00000002\n"
                 "\"Quoted\"=\"say \\\"hi\\\" \\x00e9t\\x00e9\"\n"
                 "@=\"default\"\n\n"
                 "[Software\\\\Other] 1700000000\n\"InstallDir\"=\"wrong\"\n");
    prefix.Write("user.reg", "WINE REGISTRY Version 2\n\n[Software\\\\Ghisler\\\\Total Commander] 1\n"
                             "\"FtpIniName\"=\"C:\\\\users\\\\me\\\\wcx_ftp.ini\"\n");
    const char* key = "Software\\Ghisler\\Total Commander";
    EXPECT_EQ(ReadRegistryString(RegistryRoot::LocalMachine, key, "InstallDir"), "C:\\totalcmd");
    EXPECT_EQ(
        ReadRegistryString(RegistryRoot::LocalMachine, "software\\ghisler\\TOTAL COMMANDER\\", "installdir"),
        "C:\\totalcmd");
    EXPECT_EQ(ReadRegistryString(RegistryRoot::LocalMachine, key, "IniFileName"),
              std::nullopt); // REG_EXPAND_SZ
    EXPECT_EQ(ReadRegistryString(RegistryRoot::LocalMachine, key, "Count"), std::nullopt);
    EXPECT_EQ(ReadRegistryString(RegistryRoot::LocalMachine, key, "Quoted"), "say \"hi\" \xE9t\xE9");
    EXPECT_EQ(ReadRegistryString(RegistryRoot::LocalMachine, key, ""), "default");
    EXPECT_EQ(ReadRegistryString(RegistryRoot::LocalMachine, key, "FtpIniName"), std::nullopt);
    EXPECT_EQ(ReadRegistryString(RegistryRoot::CurrentUser, key, "FtpIniName"), "C:\\users\\me\\wcx_ftp.ini");
    EXPECT_EQ(ReadRegistryString(RegistryRoot::CurrentUser, key, "InstallDir"), std::nullopt);
    EXPECT_EQ(ReadRegistryString(RegistryRoot::LocalMachine, "Software\\Missing", "InstallDir"),
              std::nullopt);
}

TEST(System, SleepCanBeReplacedAndTimeHasItsFormat) {
    unsigned asked = 0;
    SleepHandler previous = SetSleepHandler([&](unsigned ms) { asked += ms; });
    SleepMs(200);
    SleepMs(50);
    SetSleepHandler(previous);
    EXPECT_EQ(asked, 250u);
    std::string date = DateText();
    std::string time = TimeText();
    ASSERT_EQ(date.size(), 8u);
    EXPECT_EQ(date[2], '.');
    EXPECT_EQ(date[5], '.');
    ASSERT_EQ(time.size(), 8u);
    EXPECT_EQ(time[2], ':');
    EXPECT_EQ(time[5], ':');
}

} // namespace
} // namespace varnel::platform
