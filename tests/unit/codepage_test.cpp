// The host's text in both builds: its ANSI code page (Windows-1252 here and on an English
// Windows), UTF-8 behind the host's mark for what does not fit, and UTF-16 for Unicode files.

#include "platform/codepage.h"

#include <gtest/gtest.h>

namespace varnel::platform {
namespace {

TEST(Codepage, Windows1252RoundTrip) {
    EXPECT_EQ(AnsiToUtf8("Ger\xE4te \x80"), "Geräte €");
    EXPECT_EQ(Utf8ToAnsi("Geräte €"), "Ger\xE4te \x80");
    // The bytes Windows-1252 leaves undefined survive both ways.
    EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8("a\x81z\x9D")), "a\x81z\x9D");
    // Characters without an ANSI form become '?'; broken UTF-8 does not stop the conversion.
    EXPECT_EQ(Utf8ToAnsi("Ы-ok"), "?-ok");
    EXPECT_EQ(Utf8ToAnsi("a\xC3"), "a?");
    std::string out;
    // A surrogate without its partner is kept, as the system keeps raw 16-bit units.
    ASSERT_TRUE(Utf16LeToUtf8(std::string("\x00\xD8"
                                          "a\x00",
                                          4),
                              out));
    std::string back;
    ASSERT_TRUE(Utf8ToUtf16Le(out, back));
    EXPECT_EQ(back, std::string("\x00\xD8"
                                "a\x00",
                                4));
    EXPECT_FALSE(Utf16LeToUtf8(std::string("a", 1), out)); // odd length
    EXPECT_FALSE(Utf8ToUtf16Le("\xC0\x80", back));         // overlong: no UTF-8
}

// Text outside the host's code page travels as the host's marked UTF-8, never as '?'.
TEST(Codepage, TextOutsideTheCodePageIsKeptWhole) {
    const std::string cyrillic = "Bl\xC3\xA4\x63kbox \xD0\x81"; // "Bläckbox Ё"
    std::string host = Utf8ToHostText(cyrillic);
    EXPECT_EQ(host, std::string(kUtf8Mark) + cyrillic);
    EXPECT_EQ(HostTextToUtf8(host), cyrillic);
    EXPECT_EQ(Utf8ToHostText("Bl\xC3\xA4\x63kbox"), "Bl\xE4\x63kbox"); // fits: plain ANSI
    EXPECT_EQ(Utf8ToHostText("a?b"), "a?b");
    EXPECT_EQ(Utf8ToAnsi("\xC4\x80"), "?"); // "Ā": no best fit to "A"
    // A packer value marked after its flags, as the host writes it.
    EXPECT_EQ(HostTextToUtf8("285," + std::string(kUtf8Mark) + "C:\\\xD0\x9F"), "285,C:\\\xD0\x9F");
}

} // namespace
} // namespace varnel::platform
