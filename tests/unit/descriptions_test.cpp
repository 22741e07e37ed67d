#include "ops/descriptions.h"

#include "temp_prefix.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/xattr.h>

namespace varnel {
namespace {

using test::TempPrefix;

constexpr const char* kFile = "drive_c/p/Descript.ion";

std::string DosAttributes(const std::string& path) {
    char value[32] = {};
    ssize_t n = getxattr(path.c_str(), "user.DOSATTRIB", value, sizeof value - 1);
    return n > 0 ? std::string(value, static_cast<size_t>(n)) : std::string();
}

// A first description makes a hidden file with one quoted line; its name matches in any case of
// A to Z, and the text keeps its trailing blanks but not its leading ones.
TEST(Descriptions, WrittenQuotedHiddenAndReadBackInAnyCase) {
    TempPrefix prefix;
    std::filesystem::create_directories(prefix.Path("drive_c/p"));
    ASSERT_TRUE(WriteDescription("C:\\p\\VIEWER.WLX", "  Shows pictures  "));
    EXPECT_EQ(prefix.Read(kFile), "\"VIEWER.WLX\"   Shows pictures  \r\n");
    EXPECT_EQ(ReadDescription("C:\\p\\viewer.wlx"), "Shows pictures  ");
    EXPECT_EQ(ReadDescription("C:\\p\\other.wlx"), "");
    EXPECT_EQ(ReadDescription("C:\\nowhere\\a.wlx"), "");
    // Hidden for the host under Wine, where the file system keeps extended attributes.
    prefix.Write("drive_c/p/probe", "");
    if (setxattr(prefix.Path("drive_c/p/probe").c_str(), "user.probe", "1", 1, 0) == 0) {
        EXPECT_EQ(DosAttributes(prefix.Path(kFile)), "0x22");
    }
    EXPECT_FALSE(prefix.Exists("drive_c/p/Descript.ion.tmp"));
}

// Rewriting keeps the other files' lines in order, replaces every line of the module (quoted or
// not), drops lines without a blank, and "-" leaves an empty line that the next write drops.
TEST(Descriptions, RewriteReplacesTheModulesLinesOnly) {
    TempPrefix prefix;
    prefix.Write(kFile, "a.wlx first\r\nview.wlx old text\r\n\r\nnoblank\r\n\"b.wcx\" second\r\n"
                        "\"VIEW.WLX\" again\r\n");
    ASSERT_TRUE(WriteDescription("C:\\p\\view.wlx", "new"));
    EXPECT_EQ(prefix.Read(kFile),
              "a.wlx first\r\n\"view.wlx\" new\r\n\"b.wcx\" second\r\n\"view.wlx\" new\r\n");
    ASSERT_TRUE(WriteDescription("C:\\p\\view.wlx", "-"));
    EXPECT_EQ(prefix.Read(kFile), "a.wlx first\r\n\r\n\"b.wcx\" second\r\n\r\n");
    EXPECT_EQ(ReadDescription("C:\\p\\view.wlx"), "");
    ASSERT_TRUE(WriteDescription("C:\\p\\b.wcx", ""));
    EXPECT_EQ(prefix.Read(kFile), "a.wlx first\r\n\r\n");
}

// A UTF-8 byte-order mark belongs to the file: the file holds UTF-8. The first description is
// found and read as characters ("Äpfel", not "Ã„pfel"), replaced in place in UTF-8 and the mark
// kept. A Descript.ion that is a link is never written through.
TEST(Descriptions, MarkedFilesAndLinks) {
    TempPrefix prefix;
    prefix.Write(kFile, "\xEF\xBB\xBFview.wlx Zeigt \xC3\x84pfel\r\nb.wcx second\r\n");
    EXPECT_EQ(ReadDescription("C:\\p\\view.wlx"), "Zeigt \xC4pfel");
    ASSERT_TRUE(WriteDescription("C:\\p\\view.wlx", "new"));
    EXPECT_EQ(prefix.Read(kFile), "\xEF\xBB\xBF\"view.wlx\" new\r\nb.wcx second\r\n");
    ASSERT_TRUE(WriteDescription("C:\\p\\view.wlx", "Gr\xFC\xDF"
                                                    "e"));
    EXPECT_EQ(prefix.Read(kFile), "\xEF\xBB\xBF\"view.wlx\" Gr\xC3\xBC\xC3\x9F"
                                  "e\r\nb.wcx second\r\n");
    EXPECT_EQ(ReadDescription("C:\\p\\view.wlx"), "Gr\xFC\xDF"
                                                  "e");

    prefix.Write("drive_c/elsewhere.txt", "keep");
    std::filesystem::create_directories(prefix.Path("drive_c/q"));
    std::filesystem::create_symlink(prefix.Path("drive_c/elsewhere.txt"),
                                    prefix.Path("drive_c/q/Descript.ion"));
    EXPECT_FALSE(WriteDescription("C:\\q\\x.wlx", "text"));
    EXPECT_EQ(prefix.Read("drive_c/elsewhere.txt"), "keep");
    EXPECT_TRUE(std::filesystem::is_symlink(prefix.Path("drive_c/q/Descript.ion")));
}

// A name with blanks is matched up to its closing quote, so it is replaced instead of appended.
TEST(Descriptions, NamesWithBlanksAreFoundAndReplaced) {
    TempPrefix prefix;
    std::filesystem::create_directories(prefix.Path("drive_c/p"));
    ASSERT_TRUE(WriteDescription("C:\\p\\My Viewer.wlx", "one"));
    ASSERT_TRUE(WriteDescription("C:\\p\\My Viewer.wlx", "two"));
    EXPECT_EQ(prefix.Read(kFile), "\"My Viewer.wlx\" two\r\n");
    EXPECT_EQ(ReadDescription("C:\\p\\my viewer.wlx"), "two");
    EXPECT_EQ(ReadDescription("C:\\p\\My"), ""); // not the part before the blank
}

} // namespace
} // namespace varnel
