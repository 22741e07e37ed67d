// Archives made by an attacker, and installs interrupted by a kill or a full disk. Every case takes
// a listing with content hashes of the whole prefix and of a home folder beside it, before and
// after: nothing outside the plugin's own folder may change, whichever road the archive takes.

#include "archive_fixture.h"
#include "cli_run.h"
#include "lang/messages.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace varnel {
namespace {

using test::Digest;

class HostileArchiveTest : public ArchiveInstallTest {
protected:
    void SetUp() override {
        ArchiveInstallTest::SetUp();
        home = prefix.Dir() + "/home";
        fs::create_directories(home + "/Documents");
        fs::create_directories(home + "/.config/autostart");
        std::ofstream(home + "/Documents/letter.txt") << "Dear reader";
        std::ofstream(home + "/.bashrc") << "alias ll='ls -l'";
        prefix.Write("drive_c/TC/Totalcmd.exe", "the host");
        prefix.Write("drive_c/windows/wincmd.ini", "[Configuration]\r\nSettings=200\r\n");
        fs::create_directories(prefix.Path("drive_c/windows/system32"));
        for (const char* kind : {"WLX", "WCX", "WFX", "WDX"})
            fs::create_directories(prefix.Path(std::string("drive_c/TC/Plugins/") + kind));
        bin = prefix.Dir() + "/bin";
        fs::create_directories(bin);
        oldPath = std::getenv("PATH");
        setenv("PATH", (bin + ":" + oldPath).c_str(), 1);
        log = prefix.Dir() + "/archiver.log";
    }
    void TearDown() override {
        setenv("PATH", oldPath.c_str(), 1);
        ArchiveInstallTest::TearDown();
    }
    // A stand-in for the machine's unzip that records its arguments and runs `body` with $T the
    // folder it was given.
    void StandInUnzip(const std::string& body) {
        std::ofstream(bin + "/unzip")
            << "#!/bin/sh\nprintf '%s\\n' \"$@\" >> '" << log << "'\nT=\"$4\"\nmkdir -p \"$T\"\n"
            << body << "\nexit 0\n";
        fs::permissions(bin + "/unzip", fs::perms::owner_all);
    }
    std::string RawZip(const std::string& name, const std::vector<test::RawZipEntry>& entries) {
        test::WriteRawZip(prefix.Path("drive_c/Downloads/" + name), entries);
        return "C:\\Downloads\\" + name;
    }
    // All but the archives themselves and the stand-in's log.
    std::map<std::string, std::string> Everything() const {
        auto digest = Digest(prefix.Dir(), prefix.Path("drive_c/Downloads"));
        digest.erase(log);
        return digest;
    }

    std::string home, bin, log, oldPath;
};

// Links of every kind, whichever unpacker meets them, are never made, entered or deleted through.
TEST_F(HostileArchiveTest, LinksNeverLeadOutOfTheScratchFolder) {
    const std::string module = Sample("sample_lister.wlx");
    StandInUnzip("cp '" + prefix.Dir() + "/v.wlx' \"$T/v.wlx\"\nln -s '" + home + "' \"$T/home\"\nln -s '" +
                 home + "/.config/autostart' \"$T/.cfg\"\nmkfifo \"$T/pipe\"");
    std::ofstream(prefix.Dir() + "/v.wlx") << module;
    const auto before = Everything();

    // A link beside an entry only the outside archiver can decode (deflate64), or an encrypted
    // one: refused from the headers, before any archiver runs.
    for (bool encrypted : {false, true}) {
        InstallFromArchive(ProgramContext(),
                           {RawZip("link.zip", {{"home", "../../../../..", 0, -1, false, 0120777},
                                                {"a.wlx", "not deflate64 at all", uint16_t(encrypted ? 0 : 9),
                                                 4096, encrypted}}),
                            false, false});
        EXPECT_NE(LastBox().find("\"home\", a link or special file"), std::string::npos) << LastBox();
    }
    EXPECT_FALSE(fs::exists(log));

    // An encrypted first entry does not lift the limits from the rest.
    std::vector<test::RawZipEntry> many = {{"a.wlx", "sealed", 0, 6, true}};
    for (int i = 0; i < 20001; ++i)
        many.push_back({std::string("f").append(std::to_string(i)), "x"});
    InstallFromArchive(ProgramContext(), {RawZip("many.zip", many), false, false});
    EXPECT_NE(LastBox().find("more than 20000 files"), std::string::npos) << LastBox();
    EXPECT_FALSE(fs::exists(log));
    EXPECT_EQ(Everything(), before);

    // Headers nobody here can read: the outside archiver runs, and what it made is judged on disk.
    prefix.Write("drive_c/Downloads/sealed.zip", "no zip the library can read");
    const auto withArchive = Everything();
    boxes.SetAnswer(kIdCancel); // Cancel on any question must not matter either
    InstallFromArchive(ProgramContext(), {"C:\\Downloads\\sealed.zip", true, false});
    EXPECT_TRUE(fs::exists(log));
    EXPECT_NE(LastBox().find("a link or special file"), std::string::npos) << LastBox();
    EXPECT_EQ(Everything(), withArchive);

    // A scratch folder planted as a link, or holding one, from an earlier run: removed as links.
    StandInUnzip("cp '" + prefix.Dir() + "/v.wlx' \"$T/v.wlx\"");
    boxes.SetAnswer(kIdOk);
    for (bool inside : {false, true}) {
        fs::remove_all(prefix.Path("drive_c/TC/Plugins/Install.tmp"));
        if (inside) {
            fs::create_directories(prefix.Path("drive_c/TC/Plugins/Install.tmp"));
            fs::create_directory_symlink(home, prefix.Path("drive_c/TC/Plugins/Install.tmp/home"));
        } else {
            fs::create_directory_symlink(home, prefix.Path("drive_c/TC/Plugins/Install.tmp"));
        }
        const auto homeBefore = Digest(home);
        InstallFromArchive(ProgramContext(), {"C:\\Downloads\\sealed.zip", false, false});
        EXPECT_EQ(Digest(home), homeBefore);
        EXPECT_FALSE(fs::exists(fs::symlink_status(prefix.Path("drive_c/TC/Plugins/Install.tmp"))));
        EXPECT_TRUE(prefix.Exists("drive_c/TC/Plugins/WLX/v/v.wlx")) << LastBox();
    }
}

// DefaultDir and File are confined to one plain name per component below the kind's folder,
// whichever separator they use; the registered path has backslashes only.
TEST_F(HostileArchiveTest, InstallDescriptionsStayInThePluginFolder) {
    const std::string module = Sample("sample_lister.wlx");
    auto described = [&](const std::string& file, const std::string& folder) {
        return Zip("described.zip",
                   {{"pluginst.inf", "[PluginInstall]\nFile=" + file + "\nDefaultDir=" + folder + "\n"},
                    {"a.wlx", module},
                    {"sub/s.wlx", module},
                    {"wincmd.ini", "[Configuration]\r\n"},
                    {"Totalcmd.exe", "replaced"}});
    };
    const std::vector<std::pair<std::string, std::string>> hostile = {
        {"a.wlx", "../.."},       {"a.wlx", "x/../../.."}, {"a.wlx", "./.."},     {"a.wlx", ".."},
        {"a.wlx", "x/.."},        {"a.wlx", "CON"},        {"a.wlx", "lpt1.txt"}, {"a.wlx", "C:"},
        {"a.wlx", "x."},          {"a.wlx", "x\x01y"},     {"../a.wlx", "a"},     {"/a.wlx", "a"},
        {"sub/../../a.wlx", "a"}, {"C:a.wlx", "a"},        {"sub//s.wlx", "a"},
    };
    described("a.wlx", "a");
    const auto before = Everything();
    for (const auto& [file, folder] : hostile) {
        SCOPED_TRACE(file + " in " + folder);
        InstallFromArchive(ProgramContext(), {described(file, folder), false, false});
        EXPECT_EQ(Everything(), before);
        EXPECT_NE(LastBox().find("Installing from the archive"), std::string::npos) << LastBox();
    }

    // A folder that leads out through a link the user left in the plugin folder.
    fs::create_directory_symlink(home, prefix.Path("drive_c/TC/Plugins/WLX/linked"));
    const auto linked = Everything();
    InstallFromArchive(ProgramContext(), {described("a.wlx", "linked"), false, false});
    EXPECT_EQ(Everything(), linked);

    // The last part of a path counts, and "/" is a separator like "\".
    const std::string good = described("sub/s.wlx", "../../../windows");
    const auto outside = Digest(prefix.Dir(), prefix.Path("drive_c/TC/Plugins/WLX/windows"));
    InstallFromArchive(ProgramContext(), {good, false, false});
    EXPECT_TRUE(prefix.Exists("drive_c/TC/Plugins/WLX/windows/sub/s.wlx")) << LastBox();
    EXPECT_NE(Ini().find("=%COMMANDER_PATH%\\Plugins\\WLX\\windows\\sub\\s.wlx\r\n"), std::string::npos)
        << Ini();
    auto after = Digest(prefix.Dir(), prefix.Path("drive_c/TC/Plugins/WLX/windows"));
    after.erase(prefix.Path("drive_c/TC/wincmd.ini")); // the registration itself
    auto expected = outside;
    expected.erase(prefix.Path("drive_c/TC/wincmd.ini"));
    EXPECT_EQ(after, expected);
    EXPECT_EQ(prefix.Read("drive_c/windows/wincmd.ini"), "[Configuration]\r\nSettings=200\r\n");
    EXPECT_EQ(prefix.Read("drive_c/TC/Totalcmd.exe"), "the host");
}

// Entry names Windows would take for a device or a stream, or shorten to another file, refuse the
// whole archive before anything is unpacked, whichever unpacker reads it.
TEST_F(HostileArchiveTest, DeviceStreamAndShortenedNamesRefuseTheArchive) {
    const std::string module = Sample("sample_lister.wlx");
    const auto before = Everything();
    for (const std::string name :
         {"CON", "sub/NUL.txt", "CONIN$", "sub/COM1.wlx", "lpt0", "COM\xC2\xB9.txt", "x:stream", "y::$DATA",
          "view.wlx.", "view.wlx ", "sub./a.txt", "aux /a.txt"}) {
        SCOPED_TRACE(name);
        InstallFromArchive(ProgramContext(),
                           {Zip("devices.zip", {{"view.wlx", module}, {name, "5 b\n"}}), false, false});
        EXPECT_NE(LastBox().find("would land outside"), std::string::npos) << LastBox();
        EXPECT_EQ(Everything(), before);
    }

    // The outside archiver wrote such a name: judged on the disk, refused, nothing moved.
    StandInUnzip("cp '" + prefix.Dir() + "/v.wlx' \"$T/v.wlx\"\nprintf x > \"$T/v.wlx.\"");
    std::ofstream(prefix.Dir() + "/v.wlx") << module;
    prefix.Write("drive_c/Downloads/sealed.zip", "no zip the library can read");
    const auto withArchive = Everything();
    InstallFromArchive(ProgramContext(), {"C:\\Downloads\\sealed.zip", false, false});
    EXPECT_TRUE(fs::exists(log));
    EXPECT_NE(LastBox().find("v.wlx.\", which would land outside"), std::string::npos) << LastBox();
    EXPECT_EQ(Everything(), withArchive);
}

// Names that would change the host file's structure never reach it: a module name with line
// breaks, FS names that would be a split key, a section header or a comment.
TEST_F(HostileArchiveTest, NamesThatWouldBreakTheHostFileAreRefused) {
    const std::string module = Sample("sample_lister.wlx");
    InstallFromArchive(
        ProgramContext(),
        {Zip("inject.zip", {{"v\r\n[Injected]\r\nEvilKey=1\r\n1_detect=FORCE\r\nw.wlx", module}}), false,
         false});
    EXPECT_EQ(Ini(), "[Configuration]\r\n");
    EXPECT_NE(LastBox().find("Installing from the archive"), std::string::npos);

    const std::string rootless =
        ReadFile(test::SamplePluginFile(test::ModuleBuild::Native, "empty_root.wfx"));
    for (const std::string name : {"a=b", "[Configuration]", ";x"}) {
        InstallFromArchive(ProgramContext(), {Zip("fs.zip", {{name + ".wfx", rootless}}), false, false});
        EXPECT_EQ(Ini(), "[Configuration]\r\n") << name;
        EXPECT_NE(LastBox().find(FormatPrintf(Message(Msg::UnusableText), {name})), std::string::npos)
            << LastBox();
        EXPECT_TRUE(fs::is_empty(prefix.Path("drive_c/TC/Plugins/WFX"))) << name; // nothing was moved
    }
}

// Sizes in the headers lie: what comes out is counted, and the unpacking stops at the limit.
TEST_F(HostileArchiveTest, BombsWithLyingSizesStopAtTheLimit) {
    const std::string zeros(64 * 1024 * 1024, '\0');
    const std::string packed = test::Deflate(zeros);
    const auto before = Everything();
    InstallFromArchive(ProgramContext(), {RawZip("bomb.zip", {{"a.wlx", Sample("sample_lister.wlx")},
                                                              {"zeros.bin", packed, 8, 1000}}),
                                          false, false});
    EXPECT_NE(LastBox().find("more than 200 times"), std::string::npos) << LastBox();
    EXPECT_EQ(Everything(), before);

    // Below the ratio an entry still may not grow past the size it declares.
    InstallFromArchive(ProgramContext(),
                       {RawZip("liar.zip", {{"a.wlx", Sample("sample_lister.wlx")},
                                            {"big.bin", test::Deflate(std::string(4096, 'x')), 8, 100}}),
                        false, false});
    EXPECT_EQ(Ini(), "[Configuration]\r\n");
}

// A chain of nested folders without a module: refused at once, and the recursive search over
// such a tree on disk is quick and bounded.
TEST_F(HostileArchiveTest, DeepChainsAreRefusedQuickly) {
    std::string deep;
    for (int i = 0; i < 1900; ++i)
        deep += "d/";
    // Processor time: the work is this process's own, and load elsewhere does not stretch it.
    const std::clock_t started = std::clock();
    InstallFromArchive(ProgramContext(), {Zip("deep.zip", {{deep + "x.txt", "x"}}), false, false});
    EXPECT_NE(LastBox().find("more than 20000 files"), std::string::npos) << LastBox();

    std::string folder = prefix.Path("drive_c/deep");
    fs::create_directories(folder);
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < 1900; ++i) {
        mkdirat(fd, "d", 0755);
        int next = openat(fd, "d", O_RDONLY | O_DIRECTORY);
        close(fd);
        fd = next;
    }
    close(fd);
    std::string found;
    EXPECT_FALSE(FindFileRecursive("*.W?X", "C:\\deep", found));
    DeleteFolderTree("C:\\deep");
    EXPECT_FALSE(prefix.Exists("drive_c/deep"));
    EXPECT_LT(static_cast<double>(std::clock() - started) / CLOCKS_PER_SEC, 20.0);
}

// An update killed at any moment, or stopped by a full disk, leaves every file old or new and the
// registered module whole.
TEST_F(HostileArchiveTest, UpdatesKilledOrOnAFullDiskKeepTheOldModule) {
    const std::string v1 = Sample("sample_lister.wlx");
    const std::string v2 = v1 + std::string(2 * 1024 * 1024, 'v'); // a larger build of the same module
    auto archive = [&](const std::string& bytes) {
        return Zip("update.zip", {{"pluginst.inf", "[PluginInstall]\nFile=u.wlx\nDefaultDir=u\n"},
                                  {"readme.txt", bytes.size() > v1.size() ? "new" : "old"},
                                  {"u.wlx", bytes}});
    };
    InstallFromArchive(ProgramContext(), {archive(v1), false, false});
    const std::string installed = prefix.Path("drive_c/TC/Plugins/WLX/u/u.wlx");
    ASSERT_EQ(ReadFile(installed), v1) << LastBox();
    const std::string ini = Ini();
    const std::string update = archive(v2);

    auto runChild = [&](const std::function<void()>& limit, int killAfterUs) {
        pid_t child = fork();
        if (child == 0) {
            limit();
            InstallFromArchive(ProgramContext(), {update, false, false});
            _exit(0);
        }
        if (killAfterUs >= 0) {
            usleep(static_cast<useconds_t>(killAfterUs));
            kill(child, SIGKILL);
        }
        int status = 0;
        waitpid(child, &status, 0);
    };
    std::mt19937 random(20261208);
    for (int round = 0; round < 30; ++round) {
        fs::copy_file(prefix.Path("drive_c/Downloads/update.zip"), prefix.Dir() + "/keep.zip",
                      fs::copy_options::overwrite_existing);
        runChild([] {}, static_cast<int>(random() % 60000));
        const std::string now = ReadFile(installed);
        EXPECT_TRUE(now == v1 || now == v2) << "round " << round << ": " << now.size() << " bytes";
        EXPECT_NE(Ini().find("\\Plugins\\WLX\\u\\u.wlx"), std::string::npos);
        // Back to v1 for the next round.
        std::ofstream(installed, std::ios::binary | std::ios::trunc) << v1;
    }

    // A disk that fills up while the update unpacks: the working module stays.
    runChild(
        [] {
            signal(SIGXFSZ, SIG_IGN);
            rlimit small{1024 * 1024, 1024 * 1024};
            setrlimit(RLIMIT_FSIZE, &small);
        },
        -1);
    EXPECT_EQ(ReadFile(installed), v1);
    EXPECT_EQ(Ini(), ini);
    EXPECT_FALSE(prefix.Exists("drive_c/TC/Plugins/Install.tmp"));
}

} // namespace
} // namespace varnel
