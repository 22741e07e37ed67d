// The language files we ship: every caption and message number the program reads is present in
// English.lng (and in the German translation), and every template takes exactly the arguments
// the program passes, in order.

#include "lang/language.h"
#include "lang/messages.h"

#include "platform/paths.h"
#include "platform/profile.h"
#include "temp_prefix.h"
#include "util/text.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>

namespace varnel {
namespace {

// Every caption number the windows read.
const std::vector<int> kCaptionNumbers = {
    50,  51,  52,  53,  54,  55,  56,  57,  58,  59,  60,  61,  62,  63,  64,  65,  66,  67,  68,  69,  70,
    71,  73,  74,  75,  76,  77,  78,  79,  80,  81,  82,  83,  84,  85,  86,  87,  88,  89,  90,  91,  92,
    93,  94,  100, 101, 103, 104, 105, 110, 111, 112, 113, 114, 115, 116, 117, 118, 150, 151, 152, 153, 200,
    201, 202, 203, 204, 205, 206, 208, 209, 210, 211, 212, 214, 215, 216, 217, 218, 219, 220, 221, 250, 251,
    252, 253, 300, 301, 302, 303, 304, 305, 306, 307, 308, 309, 310, 311, 312, 313, 314, 315, 350, 351, 352,
    353, 354, 356, 357, 358, 359, 400, 401, 402, 403, 404, 405, 406, 407, 408, 409, 410, 411, 412, 413, 414,
    415, 420, 421, 422, 423, 424, 430, 431, 432, 433, 434, 435, 436, 437, 438, 439, 440, 441, 442, 443, 444,
    450, 451, 452, 453, 460, 461, 462, 463, 464, 465, 466, 467, 468, 469};

// Captions used as templates, and what they are filled with.
const std::map<int, std::string> kCaptionArguments = {{110, "s"}, {214, "s"}, {251, "s"}};

// Every message the store loads, with the arguments it is formatted with ("" for none).
const std::map<int, std::string> kMessageArguments = {
    {20, ""},    {21, ""},      {22, ""},      {23, ""},      {24, ""},     {40, ""},    {41, ""},
    {42, ""},    {43, ""},      {50, "s"},     {51, ""},      {52, "ss"},   {53, "s"},   {54, ""},
    {55, ""},    {56, ""},      {57, "ss"},    {58, "s"},     {59, "s"},    {60, "s"},   {61, "s"},
    {62, "d"},   {63, "s"},     {64, "s"},     {68, "s"},     {69, ""},     {70, "s"},   {71, ""},
    {72, "dd"},  {73, "ss"},    {74, "s"},     {75, ""},      {80, "sss"},  {81, "sss"}, {82, "ss"},
    {83, "s"},   {84, ""},      {85, ""},      {86, ""},      {87, ""},     {88, ""},    {89, "s"},
    {90, ""},    {91, "s"},     {92, "s"},     {93, ""},      {94, "sss"},  {95, "ss"},  {96, "s"},
    {97, "d"},   {98, "s"},     {99, "ss"},    {100, "ssss"}, {101, "s"},   {102, ""},   {103, ""},
    {104, ""},   {105, ""},     {106, ""},     {107, "s"},    {108, "sd"},  {109, "s"},  {110, "s"},
    {111, "s"},  {112, ""},     {113, "s"},    {114, "s"},    {115, ""},    {116, "s"},  {117, "sss"},
    {118, "s"},  {119, "s"},    {120, "s"},    {121, "s"},    {122, "s"},   {123, "d"},  {124, "s"},
    {125, "s"},  {126, "s"},    {127, "s"},    {128, "ss"},   {129, "s"},   {130, "s"},  {131, "s"},
    {132, "ss"}, {133, "s"},    {134, "s"},    {135, "s"},    {136, "s"},   {137, "s"},  {138, ""},
    {139, "s"},  {140, "s"},    {141, "ss"},   {142, "s"},    {143, "ss"},  {144, "s"},  {145, ""},
    {146, "ss"}, {147, "s"},    {148, "s"},    {149, "ss"},   {150, ""},    {151, ""},   {152, ""},
    {153, ""},   {154, ""},     {155, ""},     {156, ""},     {157, ""},    {158, "ds"}, {159, ""},
    {160, "ss"}, {161, "sss"},  {162, "ssss"}, {163, "ss"},   {164, "sss"}, {165, "ss"}, {166, "s"},
    {167, "s"},  {168, "sdss"}, {170, ""},     {171, ""},     {172, ""},    {173, ""},   {174, ""},
    {175, ""},   {176, ""},     {177, ""},     {178, ""},     {179, ""},    {180, "d"},  {181, "ss"},
    {182, "d"},  {183, ""},     {190, "s"},    {191, ""},     {192, "s"},   {193, "s"},  {194, ""},
    {195, "ss"}, {196, "s"},    {197, "ss"},   {198, "s"},    {199, "s"},   {200, "ss"}, {201, ""},
    {202, "ss"}, {203, ""},     {204, ""},     {205, ""},     {206, ""},    {207, ""},   {208, ""},
    {209, "d"},  {210, ""},     {211, ""},     {212, "s"},    {213, "ds"},  {214, "s"},  {215, "s"},
    {216, ""},   {217, ""},     {218, "s"},    {219, ""},     {220, "ss"},  {221, "s"},  {222, "s"},
    {223, ""},   {224, ""},     {225, "d"},    {226, "s"},    {227, "sd"},  {228, "s"},  {229, "s"},
    {230, "s"},  {231, "s"},    {232, "d"},    {233, "s"},    {234, "s"},   {235, ""},   {236, "s"},
    {237, "s"},  {238, "ds"},   {239, ""},     {240, ""},     {241, ""},    {242, "s"},  {243, "d"}};

// The conversions of a template, in order: "s" for %s, "d" for %d ("%%" is no conversion).
std::string Conversions(std::string_view text) {
    std::string found;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%')
            continue;
        if (i + 1 < text.size() && text[i + 1] == '%') {
            ++i;
            continue;
        }
        size_t j = i + 1;
        while (j < text.size() &&
               (std::isdigit(static_cast<unsigned char>(text[j])) || text[j] == '-' || text[j] == '.'))
            ++j;
        if (j < text.size() && (text[j] == 's' || text[j] == 'd'))
            found.push_back(text[j]);
    }
    return found;
}

class LanguageFiles : public ::testing::TestWithParam<const char*> {
protected:
    std::string Read(const char* section, int number) {
        std::string file =
            platform::ToWindowsPath(std::string(VARNEL_SOURCE_DIR) + "/Language/" + GetParam());
        return platform::ProfileReadString(file, section, FormatPrintf("%4.4d", {number}), "", 501);
    }
    test::TempPrefix prefix; // gives the Z: drive for the source tree
};

TEST_P(LanguageFiles, EveryCaptionIsThere) {
    for (int number : kCaptionNumbers) {
        std::string text = Read("Captions", number);
        EXPECT_FALSE(text.empty()) << "caption " << number;
        auto args = kCaptionArguments.find(number);
        // 209 names the placeholder literally; it is shown, never formatted.
        if (number != 209) {
            EXPECT_EQ(Conversions(text), args == kCaptionArguments.end() ? "" : args->second)
                << "caption " << number;
        }
    }
}

TEST_P(LanguageFiles, EveryMessageTakesItsArguments) {
    ASSERT_EQ(MessageNumbers().size(), kMessageArguments.size());
    for (int number : MessageNumbers()) {
        std::string text = Read("Messages", number);
        EXPECT_FALSE(text.empty()) << "message " << number;
        ASSERT_TRUE(kMessageArguments.count(number)) << number;
        EXPECT_EQ(Conversions(text), kMessageArguments.at(number)) << "message " << number;
    }
}

// Each name the code shows a message by is a message this file has, and one the program loads;
// no two names share a number.
TEST_P(LanguageFiles, EveryNamedMessageIsThere) {
    std::map<int, std::string> named;
#define VARNEL_CHECK_MESSAGE(name, number)                                                                   \
    EXPECT_TRUE(named.emplace(number, #name).second) << #name << " shares " << number;                       \
    EXPECT_FALSE(Read("Messages", number).empty()) << #name;                                                 \
    EXPECT_TRUE(std::ranges::binary_search(MessageNumbers(), number)) << #name << " is not loaded";
    VARNEL_MESSAGES(VARNEL_CHECK_MESSAGE)
#undef VARNEL_CHECK_MESSAGE
    EXPECT_GT(named.size(), 100u);
}

TEST_P(LanguageFiles, KindNamesHaveAShortForm) {
    for (int number : {40, 41, 42, 43}) {
        std::string text = Read("Messages", number);
        EXPECT_NE(text.find(':'), std::string::npos) << number;
        EXPECT_EQ(text.back(), ' ') << number; // a blank before the plugin's name in list rows
    }
}

INSTANTIATE_TEST_SUITE_P(Shipped, LanguageFiles, ::testing::Values("English.lng", "Deutsch.lng"));

TEST(LanguageFilesAuthor, TranslationNamesItsAuthor) {
    test::TempPrefix prefix;
    std::string file = platform::ToWindowsPath(std::string(VARNEL_SOURCE_DIR) + "/Language/Deutsch.lng");
    EXPECT_GT(platform::ProfileReadString(file, "Language", "Author", "", 501).size(), 3u);
}

} // namespace
} // namespace varnel
