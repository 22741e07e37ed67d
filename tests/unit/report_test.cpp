#include "ops/report.h"

#include "app/settings.h"
#include "catalog/catalog_options.h"
#include "catalog/host_config.h"
#include "catalog/plugin_table.h"
#include "lang/language.h"
#include "platform/program_folder.h"
#include "temp_prefix.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace varnel {
namespace {

class ReportTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(prefix.Path("drive_c/Varnel"));
        std::filesystem::copy(std::string(VARNEL_SOURCE_DIR) + "/Language",
                              prefix.Path("drive_c/Varnel/Language"),
                              std::filesystem::copy_options::recursive);
        SetProgramFolder("C:\\Varnel");
        SetLanguageLoadedHook(LoadMessages);
        SetLanguage("English");
        AppSettings() = Settings{};
        AppSettings().ReportFile = "C:\\out\\report.txt";
        std::filesystem::create_directories(prefix.Path("drive_c/out"));
        prefix.Write("system.reg", "WINE REGISTRY Version 2\n\n"
                                   "[Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion] 1\n"
                                   "\"CSDVersion\"=\"\"\n\"CurrentBuildNumber\"=\"7601\"\n"
                                   "\"CurrentVersion\"=\"6.1\"\n\"ProductName\"=\"Microsoft Windows 7\"\n");
        SetHostPaths("C:\\TC\\Totalcmd.exe", "C:\\TC\\wincmd.ini");
        // Rows: 1 the packer, 2 to 4 the listers, 5 the content plugin; no file-system plugin.
        prefix.Write("drive_c/TC/wincmd.ini", "[PackerPlugins]\r\nzip=0,C:\\p\\z.wcx\r\n"
                                              "[ListerPlugins]\r\n0=C:\\l\\b.wlx\r\n1=C:\\l\\A.wlx\r\n"
                                              "2=C:\\l\\a2.wlx\r\n[ContentPlugins]\r\n0=C:\\c\\c.wdx\r\n");
        LoadTable(false);
        const char* names[] = {"Zipper", "beta", "Alpha", "alpha",
                               "A content plugin with a very long name, 45 ch"};
        for (int row = 1; row <= 5; ++row)
            EntryAt(row).Name = names[row - 1];
    }
    void TearDown() override {
        ClearTable();
        AppSettings() = Settings{};
        ResetMessageStore();
        SetLanguageLoadedHook(nullptr);
        SetProgramFolder("");
    }
    // The report's lines after the four header lines.
    std::string Body() {
        std::string text = prefix.Read("drive_c/out/report.txt");
        size_t at = 0;
        for (int i = 0; i < 4; ++i)
            at = text.find("\r\n", at) + 2;
        return text.substr(at);
    }
    bool Write() {
        return WriteReport(AppSettings(), Table(), "1.8.4", "C:\\TC\\Totalcmd.exe", "C:\\TC\\wincmd.ini",
                           "%COMMANDER_PATH%\\plugins");
    }

    test::TempPrefix prefix;
};

TEST_F(ReportTest, GroupsSortedByNameWithTheChosenColumns) {
    ASSERT_TRUE(Write());
    const std::string text = prefix.Read("drive_c/out/report.txt");
    EXPECT_EQ(text.rfind("TC Varnel 1.8.4 plugin report, ", 0), 0u);
    EXPECT_NE(text.find("\r\nTotal Commander : C:\\TC\\Totalcmd.exe, configuration C:\\TC\\wincmd.ini\r\n"),
              std::string::npos);
    // An empty service-pack text leaves one trailing blank.
    EXPECT_NE(text.find("\r\nSystem: Windows 7 "), std::string::npos);
    EXPECT_NE(text.find(" 6.01.7601 \r\nPlugin base folder: %COMMANDER_PATH%\\plugins\r\n"),
              std::string::npos);
    const std::string pad12(12, ' ');
    EXPECT_EQ(Body(), "Lister plugins\r\n"
                      "Alpha                                    " +
                          pad12 +
                          " \"C:\\l\\A.wlx\"\r\n"
                          "alpha                                    " +
                          pad12 +
                          " \"C:\\l\\a2.wlx\"\r\n"
                          "beta                                     " +
                          pad12 +
                          " \"C:\\l\\b.wlx\"\r\n"
                          "Packer plugins\r\n"
                          "Zipper                                   " +
                          pad12 +
                          " \"C:\\p\\z.wcx\"\r\n"
                          "File system plugins\r\n"
                          "Content plugins\r\n"
                          "A content plugin with a very long name, 45 ch " +
                          pad12 + " \"C:\\c\\c.wdx\"\r\n");

    // Name and File only: the name padded to 40 characters, a blank, the quoted module path.
    AppSettings().ReportVersion = false;
    ASSERT_TRUE(Write());
    EXPECT_NE(Body().find("Packer plugins\r\nZipper                                   \"C:\\p\\z.wcx\"\r\n"),
              std::string::npos);
    AppSettings().ReportState = true;
    AppSettings().ReportAssoc = true;
    AppSettings().ReportName = false;
    ASSERT_TRUE(Write());
    EXPECT_NE(Body().find("Packer plugins\r\nidle      zip \"C:\\p\\z.wcx\"\r\n"), std::string::npos);

    // Every column off: an empty line per row.
    AppSettings().ReportState = AppSettings().ReportAssoc = AppSettings().ReportFileName = false;
    ASSERT_TRUE(Write());
    EXPECT_EQ(Body(), "Lister plugins\r\n\r\n\r\n\r\nPacker plugins\r\n\r\nFile system plugins\r\n"
                      "Content plugins\r\n\r\n");
}

TEST_F(ReportTest, FailuresWriteNothingAndOtherScriptsKeepTheirLetters) {
    AppSettings().ReportFile = "C:\\missing\\report.txt";
    EXPECT_FALSE(Write());
    EXPECT_FALSE(prefix.Exists("drive_c/missing"));

    // A name outside the code page: the whole report becomes UTF-8 instead of losing it.
    AppSettings().ReportFile = "C:\\out\\report.txt";
    EntryAt(1).Name = "\xEF\xBB\xBF\xD0\x90\xD1\x80\xD1\x85\xD0\xB8\xD0\xB2"; // marked UTF-8 text
    EntryAt(2).Name = "b\xE4ta";                                              // ANSI text
    ASSERT_TRUE(Write());
    const std::string text = prefix.Read("drive_c/out/report.txt");
    EXPECT_EQ(text.rfind("\xEF\xBB\xBF"
                         "TC Varnel",
                         0),
              0u);
    EXPECT_NE(text.find("\r\n\xD0\x90\xD1\x80\xD1\x85\xD0\xB8\xD0\xB2 "), std::string::npos);
    // Padded by characters: "bäta" takes 4 of the name's 40 columns, though it is 5 bytes; then
    // the blank, the empty version's 12 columns and its blank.
    EXPECT_NE(text.find("\r\nb\xC3\xA4ta" + std::string(36 + 1 + 12 + 1, ' ') + "\""), std::string::npos);
}

} // namespace
} // namespace varnel
