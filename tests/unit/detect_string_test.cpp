// Detect strings: what the host's documented syntax allows parses, and each fault is placed where
// a user would look for it.

#include "catalog/detect_string.h"

#include <gtest/gtest.h>
#include <string>

namespace varnel {
namespace {

TEST(DetectString, DocumentedFormsParseAndFaultsArePlaced) {
    for (const char* good :
         {"", "   ", "MULTIMEDIA", "EXT=\"TXT\" | EXT=\"LOG\"", "[0]=\"P\" & [1]=\"K\" & [2]=3 & [3]=4",
          "MULTIMEDIA & (EXT=\"WAV\" | EXT=\"AVI\")", "FIND(\"<html\") & SIZE<1000000",
          "!(FINDI(\"xml\")) & FORCE", "SIZE>0&!EXT=\"EXE\"", "[8191]!=0", "((EXT=\"A\"))", "ext=\"txt\"",
          "EXT=\"A|B&C\""})
        EXPECT_FALSE(CheckDetectString(good).has_value()) << good;

    struct Bad {
        const char* text;
        size_t position;
        int message;
    };
    const Bad bad[] = {
        {"EXT=\"OLD\" &", 11, 150},         // nothing after the operator
        {"(EXT=\"A\" | EXT=\"B\"", 0, 151}, // the bracket that never closes
        {"EXTENSION=\"A\"", 0, 152},        // not a word of the syntax
        {"EXT=\"TXT", 4, 153},              // the quote never closes
        {"[8192]=0", 0, 154},               // beyond the bytes the host reads
        {"[]=0", 0, 154},
        {"EXT=\"A\" # 1", 8, 157}, // something after a complete test
        {"FIND(TEXT)", 5, 156},    // FIND without a quoted text
        {"EXT=\"A\" | | EXT=\"B\"", 10, 150},
        {"EXT=\"A\")", 7, 155}, // a closing bracket without its opening one
        {"EXT=\"A\" EXT=\"B\"", 8, 157},
        {"!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!"
         "!"
         "!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!"
         "!"
         "!EXT=\"A\"",
         200, 145},
    };
    // A crafted string deep enough to exhaust the stack is refused where it gets too deep.
    const std::string deep = std::string(1000000, '(') + "EXT=\"A\"" + std::string(1000000, ')');
    std::optional<DetectStringProblem> tooDeep = CheckDetectString(deep);
    ASSERT_TRUE(tooDeep.has_value());
    EXPECT_EQ(tooDeep->message, 145);
    EXPECT_EQ(tooDeep->position, 200u);
    for (const Bad& each : bad) {
        std::optional<DetectStringProblem> problem = CheckDetectString(each.text);
        ASSERT_TRUE(problem.has_value()) << each.text;
        EXPECT_EQ(problem->position, each.position) << each.text;
        EXPECT_EQ(problem->message, each.message) << each.text;
    }
}

} // namespace
} // namespace varnel
