#include "catalog/pe_image.h"

#include "sample_plugins.h"

#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <sstream>

namespace varnel {
namespace {

using test::ModuleBuild;

std::string Bytes(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

class PeImageTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::HaveWindowsSamples())
            GTEST_SKIP() << "MinGW-w64 samples not built";
    }
};

TEST_F(PeImageTest, ReadsMachineExportsAndVersionOfARealModule) {
    std::string bytes = Bytes(test::SamplePluginFile(ModuleBuild::Windows, "sample_lister.wlx"));
    MemorySource source(bytes);
    std::optional<PeImage> image = PeImage::Parse(source);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->Machine(), kMachineAmd64);
    EXPECT_TRUE(image->Is64Bit());
    std::vector<std::string> names = image->ExportNames(source);
    EXPECT_NE(std::find(names.begin(), names.end(), "ListLoad"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "ListGetDetectString"), names.end());
    EXPECT_FALSE(image->Exports(source, "FsInit"));

    std::string info = image->VersionInfoBytes(source);
    ASSERT_FALSE(info.empty());
    auto version = QueryFixedFileVersion(info);
    ASSERT_TRUE(version);
    EXPECT_EQ(*version, (std::array<uint16_t, 4>{1, 2, 3, 4}));
    EXPECT_EQ(QueryFirstTranslation(info), 0x04B00409u);
    EXPECT_EQ(QueryVersionString(info, "\\StringFileInfo\\040904b0\\FileDescription"), "Sample Lister");
    // Keys compare without regard to case, as the system's lookup does.
    EXPECT_EQ(QueryVersionString(info, "\\stringfileinfo\\040904B0\\productversion"), "1.2");
    EXPECT_EQ(QueryVersionString(info, "\\StringFileInfo\\040704e4\\FileDescription"), std::nullopt);
    EXPECT_EQ(QueryVersionString(info, "\\StringFileInfo\\040904b0\\Comments"), std::nullopt);
}

TEST_F(PeImageTest, ModuleWithoutResourcesHasNoVersionInfo) {
    std::string bytes = Bytes(test::SamplePluginFile(ModuleBuild::Windows, "none.dll"));
    MemorySource source(bytes);
    std::optional<PeImage> image = PeImage::Parse(source);
    ASSERT_TRUE(image);
    EXPECT_TRUE(image->VersionInfoBytes(source).empty());
    EXPECT_TRUE(image->Exports(source, "SampleVersion"));
}

TEST_F(PeImageTest, NotAModule) {
    for (std::string bytes : {std::string(), std::string("MZ"),
                              std::string("\x7F"
                                          "ELF....",
                                          8),
                              std::string(4096, '\0'), std::string("MZ") + std::string(200, '\xFF')}) {
        MemorySource source(bytes);
        EXPECT_FALSE(PeImage::Parse(source));
    }
}

// Every truncation and many random corruptions of a real module: the reader answers what it
// still can and never reads out of bounds (the sanitizer build checks that).
TEST_F(PeImageTest, SurvivesTruncatedAndCorruptedModules) {
    const std::string original = Bytes(test::SamplePluginFile(ModuleBuild::Windows, "sample_content.wdx"));
    auto exercise = [](const std::string& bytes) {
        MemorySource source(bytes);
        if (std::optional<PeImage> image = PeImage::Parse(source)) {
            image->ExportNames(source);
            std::string info = image->VersionInfoBytes(source);
            QueryFixedFileVersion(info);
            QueryFirstTranslation(info);
            QueryVersionString(info, "\\StringFileInfo\\040704e4\\FileDescription");
        }
    };
    for (size_t length = 0; length < original.size(); length += 97)
        exercise(original.substr(0, length));
    std::mt19937 random(20261208);
    for (int round = 0; round < 300; ++round) {
        std::string corrupted = original;
        for (int flips = 0; flips < 8; ++flips)
            corrupted[random() % corrupted.size()] = static_cast<char>(random());
        exercise(corrupted);
    }
    // The untouched module still reads correctly afterwards.
    MemorySource source(original);
    std::optional<PeImage> image = PeImage::Parse(source);
    ASSERT_TRUE(image);
    EXPECT_EQ(
        QueryVersionString(image->VersionInfoBytes(source), "\\StringFileInfo\\040704e4\\FileDescription"),
        "Beispiel-Inhalt");
}

TEST(VersionInfoBlocks, MalformedBlocksGiveNoAnswer) {
    // wLength of zero, a length past the end, and an unterminated key.
    for (std::string bytes : {std::string(6, '\0'), std::string("\xFF\x00\x00\x00\x00\x00", 6),
                              std::string("\x0A\x00\x00\x00\x00\x00V\x00S\x00", 10)}) {
        EXPECT_FALSE(QueryFixedFileVersion(bytes));
        EXPECT_FALSE(QueryFirstTranslation(bytes));
        EXPECT_FALSE(QueryVersionString(bytes, "\\StringFileInfo\\040904b0\\FileDescription"));
    }
}

} // namespace
} // namespace varnel
