#include "catalog/pe_image.h"

#include "sample_plugins.h"
#include "util/byte_source.h"

#include <chrono>
#include <ctime>
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

// A 64-bit module whose only section holds an export table of `count` names, each `length`
// characters long.
std::string ModuleExporting(uint32_t count, size_t length) {
    auto put32 = [](std::string& s, size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            s[at + static_cast<size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    auto put16 = [](std::string& s, size_t at, uint16_t v) {
        s[at] = static_cast<char>(v & 0xFF);
        s[at + 1] = static_cast<char>(v >> 8);
    };
    const uint32_t rva = 0x1000;
    std::string data(40 + size_t{count} * 4, '\0');
    put32(data, 24, count);
    put32(data, 32, rva + 40);
    for (uint32_t i = 0; i < count; ++i) {
        put32(data, 40 + size_t{i} * 4, rva + static_cast<uint32_t>(data.size()));
        std::string name = std::string("N").append(std::to_string(i));
        name.resize(length, 'x');
        data.append(name).push_back('\0');
    }
    data.resize((data.size() + 0x1FF) & ~size_t{0x1FF}, '\0');
    const auto raw = static_cast<uint32_t>(data.size());
    std::string head(0x400, '\0');
    head[0] = 'M';
    head[1] = 'Z';
    put32(head, 60, 64);
    head.replace(64, 4, std::string("PE\0\0", 4));
    put16(head, 68, 0x8664);
    put16(head, 70, 1);
    put16(head, 84, 240);
    put16(head, 86, 0x2022);
    const size_t opt = 88;
    put16(head, opt, 0x20B);
    put32(head, opt + 32, 0x1000);
    put32(head, opt + 36, 0x200);
    put32(head, opt + 56, rva + raw);
    put32(head, opt + 60, 0x400);
    put32(head, opt + 108, 16);
    put32(head, opt + 112, rva);
    put32(head, opt + 116, raw);
    const size_t section = opt + 240;
    head.replace(section, 6, ".edata");
    put32(head, section + 8, raw);
    put32(head, section + 12, rva);
    put32(head, section + 16, raw);
    put32(head, section + 20, 0x400);
    return head + data;
}

// Export tables are read with bounded work: an absurd count is refused at once, and the most
// names read, each cut at 256 characters, cost little.
TEST(PeImageLimits, ExportTablesCostBoundedWork) {
    for (auto [count, expected] : {std::pair<uint32_t, size_t>{65536, 0}, {16384, 16384}}) {
        std::string bytes = ModuleExporting(count, 300);
        MemorySource source(bytes);
        const std::clock_t started = std::clock(); // processor time: load does not stretch it
        std::optional<PeImage> image = PeImage::Parse(source);
        ASSERT_TRUE(image);
        std::vector<std::string> names = image->ExportNames(source);
        EXPECT_LT(static_cast<double>(std::clock() - started) / CLOCKS_PER_SEC, 2.0);
        ASSERT_EQ(names.size(), expected);
        if (!names.empty()) {
            EXPECT_EQ(names.back().substr(0, 6), "N16383");
            EXPECT_EQ(names.back().size(), 256u);
        }
    }
}

} // namespace
} // namespace varnel
