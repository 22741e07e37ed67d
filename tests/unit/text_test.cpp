#include "util/text.h"

#include "util/names.h"

#include <gtest/gtest.h>

namespace varnel {
namespace {

// Names from archives and install descriptions: what may become a path below a plugin folder,
// and in which form.
TEST(UntrustedNames, OnlyPlainNamesBecomePaths) {
    for (const char* bad :
         {"",       ".",           "..",   "a/b",      "a\\b",        "C:",          "a:b",
          "x.",     "x ",          "CON",  "con.txt",  "Lpt9.wlx",    "nul",         "a*b",
          "a?b",    "a\"b",        "a<b",  "a|b",      "a\x01b",      "a\nb",        "a\x7f",
          "CONIN$", "conout$.txt", "COM0", "lpt0.wlx", "COM\xC2\xB9", "lpt\xB2.txt", "x::$DATA"})
        EXPECT_FALSE(IsPlainName(bad)) << bad;
    for (const char* good : {"a.wlx",
                             "Gr\xC3\xB6\xC3\x9F"
                             "e",
                             "con2", "COM10", "lpt", "COM\xC2\xB4", "conin", ".hidden", "a b", "a=b", "[x]"})
        EXPECT_TRUE(IsPlainName(good)) << good;
    EXPECT_EQ(ConfinedRelativePath("sub/x/a.wlx"), "sub\\x\\a.wlx");
    EXPECT_EQ(ConfinedRelativePath("sub\\a.wlx"), "sub\\a.wlx");
    for (const char* bad :
         {"../a.wlx", "/a.wlx", "sub//a.wlx", "sub/../../a.wlx", "C:a.wlx", "sub/", "./a.wlx"})
        EXPECT_FALSE(ConfinedRelativePath(bad)) << bad;
    EXPECT_EQ(ConfinedFolderName("..\\..\\other"), "other");
    EXPECT_EQ(ConfinedFolderName("../../../windows"), "windows");
    for (const char* bad : {"../..", "x/../../..", "./..", "x/..", "a/", "CON"})
        EXPECT_FALSE(ConfinedFolderName(bad)) << bad;

    using namespace std::string_view_literals;
    for (std::string_view bad : {"a=b"sv, "[x"sv, ";x"sv, "a\rb"sv, "a\nb"sv, "a\0b"sv})
        EXPECT_FALSE(IsSafeProfileKey(bad)) << bad;
    EXPECT_TRUE(IsSafeProfileKey("x]"));
    EXPECT_TRUE(IsSafeProfileValue("285,C:\\a=b;c\\[d].wcx"));
    EXPECT_FALSE(IsSafeProfileValue("C:\\x\r\n[Injected]"));
    EXPECT_FALSE(IsSafeCommandPath("/opt/Var\nnel/tcvarnel"));
    EXPECT_FALSE(IsSafeCommandPath("/opt/a\"b/tcvarnel"));
    EXPECT_TRUE(IsSafeCommandPath("/opt/Var nel/$x%y/tcvarnel"));
    EXPECT_EQ(VisibleControls("a\nb\rc\x01"
                              "d"),
              "a\\nb\\rc\\x01d");
}

TEST(TextHelpers, ReplaceVariants) {
    EXPECT_EQ(ReplaceFirst("a-b-c", "-", "+"), "a+b-c");
    EXPECT_EQ(ReplaceFirst("abc", "x", "y"), "abc");
    EXPECT_EQ(ReplaceFirst("ABC", "b", "x"), "ABC"); // exact case only
    EXPECT_EQ(ReplaceFirstNoCase("C:\\TC\\x.wlx", "c:\\tc", "%COMMANDER_PATH%"), "%COMMANDER_PATH%\\x.wlx");
    EXPECT_EQ(ReplaceAll("a-b-c", "-", "+"), "a+b+c");
    EXPECT_EQ(ReplaceAllNoCase("%cp%\\a;%CP%\\b", "%Cp%", "X"), "X\\a;X\\b");
    // A replacement that contains what it replaces must still terminate.
    EXPECT_EQ(ReplaceAll("aa", "a", "aa"), "aaaa");
    EXPECT_EQ(ReplaceAll("abc", "", "x"), "abc");
    // Only A-Z fold: an accented capital is not the same letter for the program's lower-casing.
    EXPECT_EQ(LowerAscii("ÀBC"), "Àbc");
}

TEST(TextHelpers, PartsOfTextAndPaths) {
    EXPECT_EQ(TextBefore("a;b", ","), "a;b");
    EXPECT_EQ(TextAfter("a;b", ","), "a;b");
    EXPECT_EQ(TextBefore("2,C:\\x.wcx", ","), "2");
    EXPECT_EQ(TextAfter("2,C:\\x,y.wcx", ","), "C:\\x,y.wcx");
    EXPECT_EQ(FileNamePart("C:\\TC\\Plugins\\view.wlx"), "view.wlx");
    EXPECT_EQ(FileNamePart("view.wlx"), "view.wlx");
    EXPECT_EQ(FolderPart("C:\\TC\\view.wlx"), "C:\\TC\\");
    EXPECT_EQ(FolderPart("view.wlx"), "");
    EXPECT_EQ(ExtensionPart("C:\\TC\\view.WLX"), ".WLX");
    EXPECT_EQ(ExtensionPart("C:\\my.dir\\readme"), "");
    EXPECT_EQ(ExtensionPart("C:\\a\\b.tar.gz"), ".gz");
    EXPECT_EQ(TextAfterEquals("key =   value = 2"), "value = 2");
    EXPECT_EQ(TextAfterEquals("no equals"), "");
}

TEST(TextHelpers, IntFromTextAcceptsOnlyWholeNumbers) {
    struct Case {
        const char* text;
        int expected;
    } cases[] = {
        {"0", 0},
        {"17", 17},
        {"  42", 42},
        {"-3", -3},
        {"+5", 5},
        {"01", 1},
        {"", -1},
        {" ", -1},
        {"-", -1},
        {"1_detect", -1},
        {"x", -1},
        {"1 ", -1},
        {"2147483647", 2147483647},
        {"2147483648", -1},
        {"-2147483648", -2147483647 - 1},
        {"99999999999999999999", -1},
        {"1.5", -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IntFromText(c.text, -1), c.expected) << '"' << c.text << '"';
    EXPECT_EQ(IntText(-12), "-12");
}

TEST(FormatPrintf, FollowsTheSystemFormatter) {
    EXPECT_EQ(FormatPrintf("%s;%s;%s;", {"ListerPlugins", "C:\\a.wlx", "1"}), "ListerPlugins;C:\\a.wlx;1;");
    EXPECT_EQ(FormatPrintf("%d_detect", {7}), "7_detect");
    EXPECT_EQ(FormatPrintf("%d,%s", {-2, "x"}), "-2,x");
    EXPECT_EQ(FormatPrintf("%d.%d.%d.%d", {1, 2, 30, 400}), "1.2.30.400");
    EXPECT_EQ(FormatPrintf("%5d|%-5d|%05d", {42, 42, 42}), "   42|42   |00042");
    EXPECT_EQ(FormatPrintf("%05d", {-42}), "-0042");
    EXPECT_EQ(FormatPrintf("%.3d", {7}), "007");
    EXPECT_EQ(FormatPrintf("%x %X %#x %#X", {255, 255, 255, 255}), "ff FF 0xff 0XFF");
    EXPECT_EQ(FormatPrintf("%#06x", {255}), "0x00ff");
    EXPECT_EQ(FormatPrintf("%x", {-1}), "ffffffff");
    EXPECT_EQ(FormatPrintf("%u", {-1}), "4294967295");
    EXPECT_EQ(FormatPrintf("%.8x", {0x04090000 >> 16 | 0x04E4 << 16}), "04e40409");
    EXPECT_EQ(FormatPrintf("%.2s|%4s|%-4s|", {"abcdef", "ab", "ab"}), "ab|  ab|ab  |");
    EXPECT_EQ(FormatPrintf("%ld %hd", {70000, 70000}), "70000 4464");
    EXPECT_EQ(FormatPrintf("100%%", {}), "100%");
    EXPECT_EQ(FormatPrintf("%c%c", {'o', 'k'}), "ok");
}

TEST(FormatPrintf, MissingOrMismatchedArgumentsAreHarmless) {
    EXPECT_EQ(FormatPrintf("%s-%d-%s", {"a"}), "a-0-");
    EXPECT_EQ(FormatPrintf("%d %s", {"text", 5}), "0 ");
    EXPECT_EQ(FormatPrintf("trailing %", {}), "trailing ");
}

TEST(FormatPrintf, CutsAt1024Characters) {
    std::string big(3000, 'x');
    EXPECT_EQ(FormatPrintf("%s", {big}).size(), 1024u);
    EXPECT_EQ(FormatPrintf("ab%s", {big}).substr(0, 3), "abx");
    EXPECT_EQ(FormatPrintf("%2000d", {1}).size(), 1024u);
    std::string exact(1024, 'y');
    EXPECT_EQ(FormatPrintf("%s", {exact}), exact);
}

} // namespace
} // namespace varnel
