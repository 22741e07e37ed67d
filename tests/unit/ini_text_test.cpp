#include "platform/ini_text.h"

#include <gtest/gtest.h>

namespace varnel::platform {
namespace {

std::string Edited(std::string before, std::string_view section, std::string_view key,
                   std::optional<std::string_view> value) {
    IniText text(std::move(before));
    text.Write(section, key, value);
    return text.Bytes();
}

TEST(IniTextWrite, EditsInPlaceByteForByte) {
    struct Case {
        const char* name;
        const char* before;
        const char* section;
        const char* key;
        const char* value; // nullptr deletes
        const char* after;
    } cases[] = {
        {"replace keeps spacing and case", "; top\r\n[Lister]\r\nA = old  \r\nb=2\r\n", "lister", "a", "new",
         "; top\r\n[Lister]\r\nA = new  \r\nb=2\r\n"},
        {"replace in first of duplicate sections", "[s]\nk=1\n[S]\nk=2\n", "s", "K", "9",
         "[s]\nk=9\n[S]\nk=2\n"},
        {"first matching key wins", "[s]\nk=1\nK=2\n", "s", "k", "3", "[s]\nk=3\nK=2\n"},
        {"new key after last key line, before blank lines", "[a]\nx=1\n\n; note\n\n[b]\ny=2\n", "a", "z", "3",
         "[a]\nx=1\nz=3\n\n; note\n\n[b]\ny=2\n"},
        {"new key into empty section goes under the header", "[a]\n\n[b]\n", "a", "k", "v",
         "[a]\nk=v\n\n[b]\n"},
        {"new key when last line has no break", "[a]\r\nx=1", "a", "y", "2", "[a]\r\nx=1\r\ny=2\r\n"},
        {"new section at the end", "[a]\nx=1\n", "b", "k", "v", "[a]\nx=1\n[b]\nk=v\n"},
        {"new section after a missing final break", "[a]\r\nx=1", "b", "k", "v",
         "[a]\r\nx=1\r\n[b]\r\nk=v\r\n"},
        {"new file uses CR LF", "", "s", "k", "v", "[s]\r\nk=v\r\n"},
        {"empty value keeps the key", "[s]\nk=v\n", "s", "k", "", "[s]\nk=\n"},
        {"value added to a key without equals", "[s]\nflag\n", "s", "flag", "1", "[s]\nflag=1\n"},
        {"delete removes the line only", "[s]\r\na=1\r\nb=2\r\nc=3\r\n", "s", "B", nullptr,
         "[s]\r\na=1\r\nc=3\r\n"},
        {"delete last line without break", "[s]\na=1\nb=2", "s", "b", nullptr, "[s]\na=1\n"},
        {"delete of missing key changes nothing", "[s]\na=1\n", "s", "x", nullptr, "[s]\na=1\n"},
        {"comment never matches a key", "[s]\n;k=1\n", "s", "k", "2", "[s]\nk=2\n;k=1\n"},
        {"comment between keys stays put", "[s]\na=1\n;c\nb=2\n\n", "s", "c", "3",
         "[s]\na=1\n;c\nb=2\nc=3\n\n"},
        {"blank-padded names still match", "[ s ]\n  k  =1\n", "s", "k", "2", "[ s ]\n  k  =2\n"},
        {"section header with trailing text", "[s] ; c\nk=1\n", "s", "k", "2", "[s] ; c\nk=2\n"},
        {"accented names fold like the system", "[Sektion\xC4]\nk=1\n", "sektion\xE4", "k", "2",
         "[Sektion\xC4]\nk=2\n"},
    };
    for (const Case& c : cases) {
        std::optional<std::string_view> value;
        if (c.value)
            value = c.value;
        EXPECT_EQ(Edited(c.before, c.section, c.key, value), c.after) << c.name;
    }
}

TEST(IniTextWrite, ReportsWhetherAnythingChanged) {
    IniText text("[s]\nk=v\n");
    EXPECT_FALSE(text.Write("s", "k", std::string_view("v")));
    EXPECT_FALSE(text.Write("s", "missing", std::nullopt));
    EXPECT_FALSE(text.Write("s", "", std::string_view("x")));
    EXPECT_TRUE(text.Write("s", "k", std::string_view("w")));
}

TEST(IniTextRead, ValuesAsTheSystemReturnsThem) {
    IniText text("k0=outside\n[S]\nplain = spaced value \t\n"
                 "dq=\"quoted\"\nsq='single'\nmixed=\"half'\nlone=\"\nempty=\nnoeq\n;c=comment\n"
                 "dup=first\ndup=second\n[s]\ndup=other section\n");
    EXPECT_EQ(text.ReadValue("s", "plain", 100), "spaced value");
    EXPECT_EQ(text.ReadValue("s", "DQ", 100), "quoted");
    EXPECT_EQ(text.ReadValue("s", "sq", 100), "single");
    EXPECT_EQ(text.ReadValue("s", "mixed", 100), "\"half'");
    EXPECT_EQ(text.ReadValue("s", "lone", 100), "\"");
    EXPECT_EQ(text.ReadValue("s", "empty", 100), "");
    EXPECT_EQ(text.ReadValue("s", "noeq", 100), "");
    EXPECT_EQ(text.ReadValue("s", "dup", 100), "first");
    EXPECT_EQ(text.ReadValue("s", ";c", 100), std::nullopt);
    EXPECT_EQ(text.ReadValue("s", "k0", 100), std::nullopt);
    EXPECT_EQ(text.ReadValue("missing", "plain", 100), std::nullopt);
    EXPECT_EQ(text.ReadValue("s", "plain", 6), "space"); // buffer size less one
}

TEST(IniTextRead, ValueStopsAtNul) {
    std::string bytes = "[s]\nk=ab";
    bytes.push_back('\0');
    bytes += "cd\n";
    EXPECT_EQ(IniText(bytes).ReadValue("s", "k", 100), "ab");
}

TEST(IniTextRead, KeyNamesInFileOrderAndCutLikeTheSystem) {
    IniText text("[s]\nb=1\n;x=2\na=3\n\nccc=4\n[t]\n");
    size_t count = 0;
    EXPECT_EQ(text.ReadKeyNames("S", 100, &count), std::string("b\0a\0ccc\0\0", 9));
    EXPECT_EQ(count, 8u);
    EXPECT_EQ(text.ReadKeyNames("t", 100, &count), std::string("\0\0", 2));
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(text.ReadKeyNames("none", 100, &count), std::string("\0\0", 2));
    // Too small: the list is cut inside "ccc" and still ends with two NULs.
    EXPECT_EQ(text.ReadKeyNames("s", 7, &count), std::string("b\0a\0c\0\0", 7));
    EXPECT_EQ(count, 5u);
    // Exactly enough room: the whole list, counted as a cut one (the system's count).
    EXPECT_EQ(text.ReadKeyNames("s", 9, &count), std::string("b\0a\0ccc\0\0", 9));
    EXPECT_EQ(count, 7u);
    EXPECT_EQ(IniText("[s]\na=1\n").ReadKeyNames("s", 3, &count), std::string("a\0\0", 3));
    EXPECT_EQ(count, 1u);
}

// Files as the system reads them: a CR of its own ends a line, and a line without "=" is no key.
TEST(IniTextRead, LoneCarriageReturnsAndLinesWithoutEquals) {
    IniText text("[A]\rk=1\rnoequals\r[B]\rx=2");
    size_t count = 0;
    EXPECT_EQ(text.ReadKeyNames("A", 100, &count), std::string("k\0\0", 3));
    EXPECT_EQ(text.ReadValue("B", "x", 100), "2");
    text.Write("A", "m", std::string_view("3"));
    EXPECT_EQ(text.Bytes(), "[A]\rk=1\rnoequals\rm=3\r[B]\rx=2"); // after the last line of the section
}

TEST(IniTextRead, LineBreakStyleOfTheFile) {
    EXPECT_EQ(IniText("[a]\nx=1\r\n").LineBreak(), "\n");
    EXPECT_EQ(IniText("[a]\r\nx=1\n").LineBreak(), "\r\n");
    EXPECT_EQ(IniText("[a]").LineBreak(), "\r\n");
}

} // namespace
} // namespace varnel::platform

namespace varnel::platform {
namespace {

// Edits move the lines after them; a key line without "=" and a blank line must move along
// without their offsets leaving the text.
TEST(IniTextWrite, LinesAfterAnEditStayReadable) {
    IniText text("[s]\nlong=1234567890\nflag\n\n;c\n[t]\nk=v\n");
    EXPECT_TRUE(text.Write("s", "long", std::nullopt));
    EXPECT_EQ(text.ReadValue("s", "flag", 100), "");
    EXPECT_EQ(text.ReadValue("t", "k", 100), "v");
    EXPECT_TRUE(text.Write("s", "flag", std::string_view("on")));
    EXPECT_TRUE(text.Write("s", "new", std::string_view("x")));
    EXPECT_EQ(text.Bytes(), "[s]\nflag=on\nnew=x\n\n;c\n[t]\nk=v\n");
    EXPECT_EQ(text.ReadKeyNames("s", 100), std::string("flag\0new\0\0", 10));
    IniText fresh(text.Bytes());
    EXPECT_EQ(fresh.ReadValue("s", "new", 100), "x");
}

} // namespace
} // namespace varnel::platform

namespace varnel::platform {
namespace {

// Replacing a section's keys in one edit gives exactly what deleting them one by one and writing
// the entries one by one gives, whatever the file's line breaks, comments and duplicate keys.
TEST(IniTextWrite, ReplaceKeysEqualsOneEditAtATime) {
    const std::vector<std::pair<std::string, std::string>> entries = {
        {"0", "C:\\a.wlx"}, {"0_detect", "X"}, {"1", "b"},  {"foo", "kept line"},
        {"1", "again"},     {"2", "   "},      {"2", "  :"}};
    for (const char* before : {"[s]\r\n0=x\r\n0_detect=y\r\n; note\r\n1=z\r\nfoo\r\n\r\n[t]\r\nk=1\r\n",
                               "[s]\n0=x\n1=z", "[s]\r0=x\r1=z\r[t]\rk=1", "[s]\r\n[t]\r\n", "[s]",
                               "[t]\r\nk=1\r\n", "[S]\r\n0=x\r\n0=dup\r\n1=z\r\n", ""}) {
        IniText stepwise(before);
        std::vector<std::string> keys = stepwise.KeyNames("s");
        for (const std::string& key : keys)
            stepwise.Write("s", key, std::nullopt);
        for (const auto& [key, value] : entries)
            stepwise.Write("s", key, std::string_view(value));
        IniText once(before);
        once.ReplaceKeys("s", keys, entries);
        EXPECT_EQ(once.Bytes(), stepwise.Bytes()) << before;
        EXPECT_EQ(IniText(once.Bytes()).KeyNames("s"), once.KeyNames("s")) << before; // the index is right
        EXPECT_EQ(once.ReadValue("t", "k", 100), stepwise.ReadValue("t", "k", 100)) << before;
    }
    IniText removeOnly("[s]\nx=1\ns"); // nothing to add: the last line keeps its missing break
    removeOnly.ReplaceKeys("s", {"x"}, {});
    EXPECT_EQ(removeOnly.Bytes(), "[s]\ns");
}

} // namespace
} // namespace varnel::platform
