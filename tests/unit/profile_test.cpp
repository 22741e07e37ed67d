#include "platform/profile.h"

#include "platform/codepage.h"

#include "temp_prefix.h"

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

namespace varnel::platform {
namespace {

using test::TempPrefix;

constexpr const char* kIni = "C:\\TC\\wincmd.ini";

std::string Utf16(std::string_view ascii) {
    std::string out = "\xFF\xFE";
    for (char c : ascii) {
        out.push_back(c);
        out.push_back('\0');
    }
    return out;
}

TEST(ProfileFile, ReadsThroughCaseInsensitivePath) {
    TempPrefix prefix;
    prefix.Write("drive_c/Tc/WinCmd.INI", "[Configuration]\nPluginBaseDir=C:\\plugins\n");
    EXPECT_EQ(ProfileReadString(kIni, "configuration", "pluginbasedir", "", 5121), "C:\\plugins");
    EXPECT_EQ(ProfileReadString(kIni, "configuration", "missing", "dflt", 5121), "dflt");
    EXPECT_EQ(ProfileReadString("C:\\nowhere\\x.ini", "a", "b", "", 5121), "");
}

TEST(ProfileFile, WritesCreateAndEditTheFile) {
    TempPrefix prefix;
    std::filesystem::create_directories(prefix.Path("drive_c/TC"));
    ASSERT_TRUE(ProfileWriteString(kIni, "PackerPlugins", "zip", std::string_view("2,C:\\a.wcx")));
    EXPECT_EQ(prefix.Read("drive_c/TC/wincmd.ini"), "[PackerPlugins]\r\nzip=2,C:\\a.wcx\r\n");
    ASSERT_TRUE(ProfileWriteString(kIni, "PackerPlugins", "zip", std::nullopt));
    EXPECT_EQ(prefix.Read("drive_c/TC/wincmd.ini"), ""); // the section it made goes with its last key
    prefix.Write("drive_c/TC/wincmd.ini", "[PackerPlugins]\r\nzip=1,a\r\n");
    ASSERT_TRUE(ProfileWriteString(kIni, "PackerPlugins", "zip", std::nullopt));
    EXPECT_EQ(prefix.Read("drive_c/TC/wincmd.ini"), "[PackerPlugins]\r\n"); // one it found stays
    // Deleting from a file that does not exist creates nothing.
    ASSERT_TRUE(ProfileWriteString("C:\\TC\\other.ini", "s", "k", std::nullopt));
    EXPECT_FALSE(prefix.Exists("drive_c/TC/other.ini"));
}

TEST(ProfileFile, EveryCallSeesTheFileAsItIsNow) {
    TempPrefix prefix;
    prefix.Write("drive_c/TC/wincmd.ini", "[s]\nk=aaaa\n");
    EXPECT_EQ(ProfileReadString(kIni, "s", "k", "", 100), "aaaa");
    // Another program rewrites the file in place with the same size.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    prefix.Write("drive_c/TC/wincmd.ini", "[s]\nk=bbbb\n");
    EXPECT_EQ(ProfileReadString(kIni, "s", "k", "", 100), "bbbb");
    // Our own write is followed by a read of what is on disk.
    ASSERT_TRUE(ProfileWriteString(kIni, "s", "k", std::string_view("cc")));
    EXPECT_EQ(ProfileReadString(kIni, "s", "k", "", 100), "cc");
    std::filesystem::remove(prefix.Path("drive_c/TC/wincmd.ini"));
    EXPECT_EQ(ProfileReadString(kIni, "s", "k", "gone", 100), "gone");
}

// A burst of reads (a table load) sees one version of the file, and this program's own writes.
TEST(ProfileFile, ReadScopeSeesOneVersionAndOwnWrites) {
    TempPrefix prefix;
    prefix.Write("drive_c/TC/wincmd.ini", "[s]\nk=aaaa\n");
    {
        ProfileReadScope scope;
        EXPECT_EQ(ProfileReadString(kIni, "s", "k", "", 100), "aaaa");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        prefix.Write("drive_c/TC/wincmd.ini", "[s]\nk=bbbb\nj=1\n");
        EXPECT_EQ(ProfileReadString(kIni, "s", "k", "", 100), "aaaa");
        ASSERT_TRUE(ProfileWriteString(kIni, "s", "k", std::string_view("cc")));
        EXPECT_EQ(ProfileReadString(kIni, "s", "k", "", 100), "cc");
        EXPECT_EQ(ProfileReadString(kIni, "s", "j", "none", 100), "1"); // the write went onto theirs
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    prefix.Write("drive_c/TC/wincmd.ini", "[s]\nk=dddd\n");
    EXPECT_EQ(ProfileReadString(kIni, "s", "k", "", 100), "dddd");
}

TEST(ProfileFile, Utf16FilesStayUtf16) {
    TempPrefix prefix;
    std::string original = Utf16("[ListerPlugins]\r\n0=C:\\a.wlx\r\n");
    // A character outside the ANSI code page in a comment must survive an edit untouched.
    original += std::string("\x3B\x00\x2B\x04\r\x00\n\x00", 8);
    prefix.Write("drive_c/TC/wincmd.ini", original);
    EXPECT_EQ(ProfileReadString(kIni, "listerplugins", "0", "", 100), "C:\\a.wlx");
    size_t count = 0;
    EXPECT_EQ(ProfileReadKeyNames(kIni, "ListerPlugins", 100, &count), std::string("0\0\0", 3));
    ASSERT_TRUE(
        ProfileWriteString(kIni, "ListerPlugins", "0_detect", std::string_view("EXT=\"TXT\" | \xE9")));
    std::string expected = Utf16("[ListerPlugins]\r\n0=C:\\a.wlx\r\n0_detect=EXT=\"TXT\" | ");
    expected += std::string("\xE9\x00\r\x00\n\x00", 6);
    expected += std::string("\x3B\x00\x2B\x04\r\x00\n\x00", 8);
    EXPECT_EQ(prefix.Read("drive_c/TC/wincmd.ini"), expected);
    EXPECT_EQ(ProfileReadString(kIni, "ListerPlugins", "0_detect", "", 100), "EXT=\"TXT\" | \xE9");
}

TEST(ProfileFile, AnsiNamesWithAccentsRoundTrip) {
    TempPrefix prefix;
    std::filesystem::create_directories(prefix.Path("drive_c/TC"));
    ASSERT_TRUE(ProfileWriteString(kIni, "FileSystemPlugins", "Ger\xE4te", std::string_view("C:\\x.wfx")));
    EXPECT_EQ(prefix.Read("drive_c/TC/wincmd.ini"), "[FileSystemPlugins]\r\nGer\xE4te=C:\\x.wfx\r\n");
    EXPECT_EQ(ProfileReadString(kIni, "FileSystemPlugins", "GER\xC4TE", "", 100), "C:\\x.wfx");
}

TEST(ProfileFile, FailedWritesLeaveTheFileAndSaySo) {
    TempPrefix prefix;
    prefix.Write("drive_c/TC/wincmd.ini", "[s]\nk=1\n");
    std::string path = prefix.Path("drive_c/TC/wincmd.ini");
    chmod(path.c_str(), 0444);
    EXPECT_FALSE(ProfileWriteString(kIni, "s", "k", std::string_view("2")));
    EXPECT_EQ(prefix.Read("drive_c/TC/wincmd.ini"), "[s]\nk=1\n");
    chmod(path.c_str(), 0640);

    // The folder is gone: nothing can be created there.
    EXPECT_FALSE(ProfileWriteString("C:\\Missing\\wincmd.ini", "s", "k", std::string_view("1")));

    // A UTF-16 file with a surrogate that has no partner and an odd last byte is read as raw
    // 16-bit units, as the system reads it: a write keeps every unit and the odd byte.
    prefix.Write("drive_c/TC/odd.ini", std::string("\xFF\xFE\x00\xD8[\x00\x01", 7));
    EXPECT_TRUE(ProfileWriteString("C:\\TC\\odd.ini", "s", "k", std::string_view("1")));
    EXPECT_EQ(prefix.Read("drive_c/TC/odd.ini"),
              std::string("\xFF\xFE\x00\xD8[\x00\r\x00\n\x00[\x00s\x00]\x00\r\x00\n\x00k\x00=\x00"
                          "1\x00\r\x00\n\x00\x01",
                          31));
}

TEST(ProfileFile, WriteIsAtomicAndKeepsPermissions) {
    TempPrefix prefix;
    prefix.Write("drive_c/TC/wincmd.ini", "[s]\nk=1\n");
    std::string path = prefix.Path("drive_c/TC/wincmd.ini");
    chmod(path.c_str(), 0600);
    struct stat before;
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    ASSERT_TRUE(ProfileWriteString(kIni, "s", "k", std::string_view("2")));
    struct stat after;
    ASSERT_EQ(stat(path.c_str(), &after), 0);
    EXPECT_NE(before.st_ino, after.st_ino); // replaced, not rewritten in place
    EXPECT_EQ(after.st_mode & 07777, 0600u);
    // No temporary file is left beside it.
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(prefix.Path("drive_c/TC"))) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 1u);
}

TEST(ProfileFile, WritesThroughASymbolicLink) {
    TempPrefix prefix;
    prefix.Write("real/wincmd.ini", "[s]\nk=1\n");
    std::filesystem::create_directories(prefix.Path("drive_c/TC"));
    std::filesystem::create_symlink(prefix.Path("real/wincmd.ini"), prefix.Path("drive_c/TC/wincmd.ini"));
    ASSERT_TRUE(ProfileWriteString(kIni, "s", "k", std::string_view("2")));
    EXPECT_TRUE(std::filesystem::is_symlink(prefix.Path("drive_c/TC/wincmd.ini")));
    EXPECT_EQ(prefix.Read("real/wincmd.ini"), "[s]\nk=2\n");
}

} // namespace
} // namespace varnel::platform

namespace varnel::platform {
namespace {

TEST(ProfileBatchTest, WritesLandAsOneReplacement) {
    TempPrefix prefix;
    prefix.Write("drive_c/TC/wincmd.ini", "[s]\r\na=1\r\n");
    std::string path = prefix.Path("drive_c/TC/wincmd.ini");
    struct stat before;
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    {
        ProfileBatch batch(kIni);
        ASSERT_TRUE(batch.Usable());
        EXPECT_TRUE(ProfileWriteString(kIni, "s", "b", std::string_view("2")));
        EXPECT_TRUE(ProfileWriteString(kIni, "s", "a", std::nullopt));
        // Reads see the pending writes; the disk does not.
        EXPECT_EQ(ProfileReadString(kIni, "s", "b", "", 100), "2");
        EXPECT_EQ(ProfileReadKeyNames(kIni, "s", 100), std::string("b\0\0", 3));
        EXPECT_EQ(prefix.Read("drive_c/TC/wincmd.ini"), "[s]\r\na=1\r\n");
        {
            ProfileBatch inner(kIni); // joins
            EXPECT_TRUE(ProfileWriteString(kIni, "s", "c", std::string_view("3")));
            EXPECT_TRUE(inner.Commit());
            EXPECT_EQ(prefix.Read("drive_c/TC/wincmd.ini"), "[s]\r\na=1\r\n");
        }
        EXPECT_TRUE(batch.Commit());
    }
    EXPECT_EQ(prefix.Read("drive_c/TC/wincmd.ini"), "[s]\r\nb=2\r\nc=3\r\n");
    EXPECT_EQ(ProfileReadString(kIni, "s", "c", "", 100), "3");
}

TEST(ProfileBatchTest, UncommittedAndFailedBatchesChangeNothing) {
    TempPrefix prefix;
    prefix.Write("drive_c/TC/wincmd.ini", "[s]\r\na=1\r\n");
    {
        ProfileBatch batch(kIni);
        ProfileWriteString(kIni, "s", "a", std::string_view("9"));
    }
    EXPECT_EQ(prefix.Read("drive_c/TC/wincmd.ini"), "[s]\r\na=1\r\n");
    EXPECT_EQ(ProfileReadString(kIni, "s", "a", "", 100), "1");

    chmod(prefix.Path("drive_c/TC/wincmd.ini").c_str(), 0444);
    {
        ProfileBatch batch(kIni);
        ProfileWriteString(kIni, "s", "a", std::string_view("9"));
        EXPECT_FALSE(batch.Commit());
    }
    chmod(prefix.Path("drive_c/TC/wincmd.ini").c_str(), 0644);
    EXPECT_EQ(prefix.Read("drive_c/TC/wincmd.ini"), "[s]\r\na=1\r\n");

    // A batch on a file that does not exist yet creates it on commit, and only then.
    std::filesystem::create_directories(prefix.Path("drive_c/New"));
    {
        ProfileBatch batch("C:\\New\\wincmd.ini");
        EXPECT_EQ(ProfileReadString("C:\\New\\wincmd.ini", "s", "k", "none", 100), "none");
        ProfileWriteString("C:\\New\\wincmd.ini", "s", "k", std::string_view("v"));
        EXPECT_FALSE(prefix.Exists("drive_c/New/wincmd.ini"));
        EXPECT_TRUE(batch.Commit());
    }
    EXPECT_EQ(prefix.Read("drive_c/New/wincmd.ini"), "[s]\r\nk=v\r\n");

    // A batch whose file cannot be read takes no writes at all.
    std::filesystem::create_directories(prefix.Path("drive_c/TC/bad.ini"));
    {
        ProfileBatch batch("C:\\TC\\bad.ini");
        EXPECT_FALSE(batch.Usable());
        EXPECT_FALSE(ProfileWriteString("C:\\TC\\bad.ini", "s", "k", std::string_view("v")));
        EXPECT_FALSE(batch.Commit());
    }
}

// A batch that starts from a snapshot (a dialog opened earlier) sees what another program wrote
// since as written meanwhile: a change of another section is kept under its edits, a change of
// the same section refuses the whole batch.
TEST(ProfileBatchTest, SnapshotsCoverTheTimeADialogWasOpen) {
    TempPrefix prefix;
    const std::string file = "drive_c/TC/wincmd.ini";
    prefix.Write(file, "[a]\r\nx=1\r\n[b]\r\ny=1\r\n");
    ProfileSnapshot opened(kIni);
    prefix.Write(file, "[a]\r\nx=1\r\nnew=2\r\n[b]\r\ny=1\r\n"); // another program, meanwhile
    {
        ProfileBatch batch(kIni, opened);
        EXPECT_EQ(ProfileReadString(kIni, "a", "new", "none", 100), "none"); // the dialog's view
        ProfileWriteString(kIni, "a", "x", std::string_view("5"));
        EXPECT_FALSE(batch.Commit());
        EXPECT_TRUE(ProfileBatch::Conflicted());
    }
    EXPECT_EQ(prefix.Read(file), "[a]\r\nx=1\r\nnew=2\r\n[b]\r\ny=1\r\n");
    {
        ProfileBatch batch(kIni, opened);
        ProfileWriteString(kIni, "b", "y", std::string_view("7"));
        EXPECT_TRUE(batch.Commit());
    }
    EXPECT_EQ(prefix.Read(file), "[a]\r\nx=1\r\nnew=2\r\n[b]\r\ny=7\r\n");
}

} // namespace
} // namespace varnel::platform

namespace varnel::platform {
namespace {

// What cannot be a configuration file is never waited on, read into memory or written: a FIFO,
// a device, a folder, a file far larger than any host configuration.
TEST(ProfileFile, SpecialAndHugeFilesAreRefusedAtOnce) {
    TempPrefix prefix;
    std::filesystem::create_directories(prefix.Path("drive_c/TC"));
    const std::string machine = prefix.Path("drive_c/TC/wincmd.ini");
    auto refused = [&](ProfileAccess expected) {
        const std::clock_t started = std::clock(); // processor time; a blocked read hangs the test
        EXPECT_EQ(CheckProfileFile(kIni), expected);
        EXPECT_EQ(ProfileReadString(kIni, "a", "b", "dflt", 100), "dflt");
        EXPECT_EQ(ProfileReadKeyNames(kIni, "a", 100), std::string(2, '\0'));
        EXPECT_FALSE(ProfileWriteString(kIni, "a", "b", std::string_view("c")));
        ProfileBatch batch(kIni);
        EXPECT_FALSE(batch.Usable());
        EXPECT_LT(static_cast<double>(std::clock() - started) / CLOCKS_PER_SEC, 5.0);
    };
    ASSERT_EQ(mkfifo(machine.c_str(), 0644), 0);
    refused(ProfileAccess::NotAFile);
    std::filesystem::remove(machine);
    std::filesystem::create_symlink("/dev/zero", machine);
    refused(ProfileAccess::NotAFile);
    std::filesystem::remove(machine);
    std::filesystem::create_directory(machine);
    refused(ProfileAccess::NotAFile);
    std::filesystem::remove(machine);
    {
        std::ofstream sparse(machine);
        sparse << "[a]\r\nb=1\r\n";
    }
    std::filesystem::resize_file(machine, 4ull << 30); // sparse: no disk is used
    refused(ProfileAccess::TooLarge);
    EXPECT_EQ(std::filesystem::file_size(machine), 4ull << 30);
}

} // namespace
} // namespace varnel::platform

namespace varnel::platform {
namespace {

// A UTF-8 byte-order mark belongs to the file: the first section is found, the file is read as
// UTF-8, and a rewrite keeps the mark and the one section.
TEST(ProfileFile, Utf8MarkBelongsToTheFile) {
    TempPrefix prefix;
    prefix.Write("drive_c/TC/wincmd.ini", "\xEF\xBB\xBF[ListerPlugins]\r\n0=C:\\\xC3\x84\\a.wlx\r\n");
    EXPECT_EQ(ProfileReadKeyNames(kIni, "ListerPlugins", 100), std::string("0\0\0", 3));
    EXPECT_EQ(ProfileReadString(kIni, "ListerPlugins", "0", "", 100), "C:\\\xC4\\a.wlx"); // Ä in ANSI
    ASSERT_TRUE(ProfileWriteString(kIni, "listerplugins", "1", std::string_view("C:\\\xD6\\b.wlx")));
    EXPECT_EQ(prefix.Read("drive_c/TC/wincmd.ini"),
              "\xEF\xBB\xBF[ListerPlugins]\r\n0=C:\\\xC3\x84\\a.wlx\r\n1=C:\\\xC3\x96\\b.wlx\r\n");
    // Names in a Unicode file match without regard to case in every script, as in an ANSI file.
    prefix.Write("drive_c/TC/wincmd.ini",
                 "\xEF\xBB\xBF[\xD0\x9F\xD0\xBB\xD0\xB0]\r\n\xC3\x84=1\r\n");  // [Пла] Ä=1
    std::string section = std::string(kUtf8Mark) + "\xD0\xBF\xD0\x9B\xD0\x90"; // пЛА
    EXPECT_EQ(ProfileReadString(kIni, section, "\xE4", "", 100), "1");         // ä
}

} // namespace
} // namespace varnel::platform
