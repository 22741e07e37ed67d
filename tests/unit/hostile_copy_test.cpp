// A downloaded module copied into the plugin folder by the built varnel, with an attacker's links
// on both sides of the copy: planted in the plugin folder, or among the files beside the module.
// Every case takes a listing with content hashes of the whole prefix (a home folder inside it)
// before and after: a refused copy changes nothing at all, and nothing private is copied in.

#include "cli_run.h"
#include "demo_host.h"
#include "sample_plugins.h"
#include "temp_prefix.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace varnel {
namespace {

namespace fs = std::filesystem;

class HostileCopyTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::MakeDemoHost(prefix))
            GTEST_SKIP() << "the demo host needs the Windows pieces (MinGW-w64)";
        prefix.Write("TC_varnel.ini", "[Paths]\r\nTCPath=C:\\totalcmd\\TOTALCMD.EXE\r\n"
                                      "IniPath=C:\\totalcmd\\wincmd.ini\r\n[Options]\r\nRegisterExt=0\r\n");
        home = prefix.Dir() + "/home";
        prefix.Write("home/Documents/thesis.txt", "four years of work");
        prefix.Write("home/.ssh/id_rsa", "PRIVATE KEY");
        prefix.Write("home/.bashrc", "alias ll='ls -l'");
        fs::create_directories(home + "/.config/autostart");
        download = prefix.Path("drive_c/Downloads/Bild Betrachter");
        fs::create_directories(download);
        module = test::SamplePluginFile(test::ModuleBuild::Native, "sample_lister.wlx");
        fs::copy_file(module, download + "/bild.wlx");
        prefix.Write("drive_c/Downloads/Bild Betrachter/bild.ini", "[Bild]\r\nZoom=1\r\n");
        target = prefix.Path("drive_c/totalcmd/plugins/wlx/bild");
    }
    test::CliRun Install() {
        return test::Varnel(prefix,
                            {"install", "--yes", "--copy", "C:\\Downloads\\Bild Betrachter\\bild.wlx"});
    }
    // Refused, with `word` in what it says, and nothing anywhere changed.
    void ExpectRefused(const std::string& word) {
        const auto before = test::Digest(prefix.Dir());
        const test::CliRun run = Install();
        EXPECT_NE(run.exit, 0) << run.err;
        EXPECT_NE(run.err.find(word), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("has been installed"), std::string::npos) << run.err;
        EXPECT_EQ(test::Digest(prefix.Dir()), before);
    }

    test::TempPrefix prefix;
    std::string home, download, module, target;
};

TEST_F(HostileCopyTest, LinksInThePluginFolderAreNeverWrittenThrough) {
    // The module's own folder in the plugin folder leads to the autostart folder.
    fs::create_directories(fs::path(target).parent_path());
    fs::create_directory_symlink(home + "/.config/autostart", target);
    ExpectRefused("outside the plugin folder");
    fs::remove(target);

    // Its settings file there leads to the shell's start file.
    fs::create_directories(target);
    fs::create_symlink(home + "/.bashrc", target + "/bild.ini");
    ExpectRefused("outside the plugin folder");
    fs::remove(target + "/bild.ini");

    // Without links the same copy goes through, and undo takes it back.
    const test::CliRun run = Install();
    ASSERT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(prefix.Read("drive_c/totalcmd/plugins/wlx/bild/bild.ini"), "[Bild]\r\nZoom=1\r\n");
    EXPECT_EQ(test::Varnel(prefix, {"undo"}).exit, 0);
    EXPECT_FALSE(fs::exists(target + "/bild.wlx"));
}

TEST_F(HostileCopyTest, LinksBesideTheModuleAreRefusedNotFollowed) {
    // A sibling that leads to a private file.
    fs::remove(download + "/bild.ini");
    fs::create_symlink(home + "/Documents/thesis.txt", download + "/bild.ini");
    ExpectRefused("a link or special file");
    fs::remove(download + "/bild.ini");

    // A language folder that is the home folder, or the root.
    for (const std::string& to : {home, std::string("/")}) {
        fs::create_directory_symlink(to, download + "/lang");
        ExpectRefused("a link or special file");
        fs::remove(download + "/lang");
    }
    // A language folder holding a link to a key, or a FIFO that would block a reader.
    fs::create_directories(download + "/lang");
    prefix.Write("drive_c/Downloads/Bild Betrachter/lang/de.lng", "[Deutsch]\r\n");
    fs::create_symlink(home + "/.ssh/id_rsa", download + "/lang/en.lng");
    ExpectRefused("a link or special file");
    fs::remove(download + "/lang/en.lng");
    ASSERT_EQ(mkfifo((download + "/lang/pipe.lng").c_str(), 0600), 0);
    ExpectRefused("a link or special file");
    fs::remove(download + "/lang/pipe.lng");

    // More bytes than any plugin has (sparse, so the test costs nothing): refused, not read.
    for (int i = 0; i < 3; ++i) {
        const std::string huge = download + "/lang/huge" + std::to_string(i) + ".lng";
        std::ofstream{huge};
        fs::resize_file(huge, 120ull << 20);
    }
    ExpectRefused("larger than 256 MB");
}

// Two files whose names differ only in letter case would land on one file in the plugin folder:
// the module named is the one registered, whichever the folder lists first.
TEST_F(HostileCopyTest, TheModuleNamedIsTheOneInstalled) {
    const std::string other = test::SamplePluginFile(test::ModuleBuild::Native, "sample_fs.wfx");
    fs::copy_file(other, download + "/BILD.WLX");
    fs::copy_file(other, download + "/Bild.wlx");
    const test::CliRun run = Install();
    ASSERT_EQ(run.exit, 0) << run.err;
    std::string copied;
    for (const auto& entry : fs::directory_iterator(target))
        if (entry.path().extension() == ".wlx" || entry.path().extension() == ".WLX")
            copied += entry.path().filename().string() + " ";
    EXPECT_EQ(copied, "bild.wlx ");
    EXPECT_EQ(prefix.Read("drive_c/totalcmd/plugins/wlx/bild/bild.wlx"),
              prefix.Read("drive_c/Downloads/Bild Betrachter/bild.wlx"));
}

// An install is one change with its options: when an option cannot be written, the copies, the
// folders made for them and the registration all go again, and nothing is recorded. When it can,
// one record holds it all, and one undo takes it all back.
TEST_F(HostileCopyTest, AFailedInstallTakesItsCopiesBack) {
    fs::create_directories(prefix.Path("drive_c/Downloads/Netz"));
    fs::copy_file(test::SamplePluginFile(test::ModuleBuild::Native, "sample_fs.wfx"),
                  prefix.Path("drive_c/Downloads/Netz/netz.wfx"));
    const std::string fsModule = "C:\\Downloads\\Netz\\netz.wfx";
    const std::string lister = "C:\\Downloads\\Bild Betrachter\\bild.wlx";
    ASSERT_EQ(test::Varnel(prefix, {"disable", "--yes", "sample_fs.wfx"}).exit, 0); // a history to keep
    const auto before = test::Digest(prefix.Dir());
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"install", "--yes", "--copy", "--name", "a=b", fsModule},
          {"install", "--yes", "--copy", "--detect", "EXT=\"X\"\n[Evil]", lister}}) {
        const test::CliRun run = test::Varnel(prefix, args);
        EXPECT_EQ(run.exit, 1) << run.err;
        EXPECT_EQ(test::Digest(prefix.Dir()), before) << args[4];
    }
    const test::CliRun good =
        test::Varnel(prefix, {"install", "--yes", "--copy", "--name", "Netz", fsModule});
    ASSERT_EQ(good.exit, 0) << good.err;
    EXPECT_NE(prefix.Read("drive_c/totalcmd/wincmd.ini").find("Netz=%COMMANDER_PATH%"), std::string::npos)
        << prefix.Read("drive_c/totalcmd/wincmd.ini");
    ASSERT_EQ(test::Varnel(prefix, {"undo"}).exit, 0);
    // Every file as before (the undo leaves the emptied folder of the copy, as it leaves folders).
    auto files = [](std::map<std::string, std::string> digest) {
        std::erase_if(digest, [](const auto& entry) {
            return entry.first.find("/history/") != std::string::npos || entry.second == "folder";
        });
        return digest;
    };
    EXPECT_EQ(files(test::Digest(prefix.Dir())), files(before)) << "one undo takes the whole install back";
}

} // namespace
} // namespace varnel

namespace varnel {
namespace {

// A plugin's files near the size limit are copied a block at a time: the copy holds far less
// memory than the files' size, and every byte arrives. What the copy holds is measured above what
// the same tool holds for a listing of the same host (with sanitizers, over 100 MB by itself).
TEST_F(HostileCopyTest, LargeFilesAreCopiedWithoutHoldingThem) {
    constexpr uintmax_t kEach = 48ull << 20;
    for (int i = 0; i < 4; ++i) {
        const std::string file = download + "/lang/part" + std::to_string(i) + ".lng";
        fs::create_directories(download + "/lang");
        std::ofstream(file) << "language " << i;
        fs::resize_file(file, kEach); // sparse: no disk taken on the way in
    }
    test::CliOptions options;
    options.measureMemory = true;
    const test::CliRun listing = test::Varnel(prefix, {"list"}, options);
    ASSERT_EQ(listing.exit, 0) << listing.err;
    const test::CliRun run = test::Varnel(
        prefix, {"install", "--yes", "--copy", "C:\\Downloads\\Bild Betrachter\\bild.wlx"}, options);
    ASSERT_EQ(run.exit, 0) << run.err;
    ASSERT_GT(run.peakKb, 0);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(fs::file_size(target + "/lang/part" + std::to_string(i) + ".lng"), kEach);
    EXPECT_LT(run.peakKb - listing.peakKb, 64 * 1024)
        << "a copy of " << (4 * kEach >> 20) << " MB, over " << listing.peakKb << " KiB for a listing";
}

} // namespace
} // namespace varnel
