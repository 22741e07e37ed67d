#include "ops/plugin_list.h"

#include "app/settings.h"
#include "catalog/host_config.h"
#include "lang/language.h"
#include "temp_prefix.h"

#include <gtest/gtest.h>

namespace varnel {
namespace {

PluginListRow Row(std::string caption, std::string state = "idle") {
    PluginListRow row;
    row.caption = std::move(caption);
    row.subItems[2] = std::move(state);
    return row;
}

std::vector<std::string> Captions(const std::vector<PluginListRow>& rows) {
    std::vector<std::string> captions;
    for (const PluginListRow& r : rows)
        captions.push_back(r.caption);
    return captions;
}

TEST(PluginList, NumberedPrefixesPadByHowManyThereAre) {
    EXPECT_EQ(NumberedPrefix("", 3, 10, false), "[3] ");
    EXPECT_EQ(NumberedPrefix("", 3, 11, false), "[ 3] ");
    EXPECT_EQ(NumberedPrefix("", 11, 11, false), "[11] ");
    EXPECT_EQ(NumberedPrefix("", 7, 101, false), "[  7] ");
    EXPECT_EQ(NumberedPrefix("Content: ", 2, 3, true), " Content: [2] ");
    EXPECT_EQ(NumberedPrefix("", 2, 12, true), " [ 2] ");
}

TEST(PluginList, CompareFoldsOnlyAsciiLettersAndOrdersBytes) {
    EXPECT_LT(ComparePluginListRows(Row("apple"), Row("Banana"), 0, true), 0);
    EXPECT_EQ(ComparePluginListRows(Row("ABC"), Row("abc"), 0, true), 0);
    EXPECT_LT(ComparePluginListRows(Row("ab"), Row("abc"), 0, true), 0);  // a prefix comes first
    EXPECT_GT(ComparePluginListRows(Row("ab"), Row("abc"), 0, false), 0); // descending negates
    EXPECT_LT(ComparePluginListRows(Row("Z"), Row("\xE4"), 0, true), 0);  // bytes above 127 come last
    EXPECT_GT(ComparePluginListRows(Row("_x"), Row("ax"), 0, true), 0); // letters fold to capitals, below "_"
    PluginListRow placeholder;
    placeholder.placeholder = true;
    EXPECT_EQ(ComparePluginListRows(placeholder, Row("x"), 0, true), 0);
    EXPECT_LT(ComparePluginListRows(Row("a", "idle"), Row("a", "loaded"), 3, true), 0);
}

TEST(PluginList, SortingKeepsNumberedRowsInOrderAndDisabledFirst) {
    std::vector<PluginListRow> rows = {Row("[10] ten"), Row("[ 2] two"), Row(" [ 3] off"), Row("Packer: p"),
                                       Row("[ 1] one")};
    SortPluginListRows(rows, 0, true);
    EXPECT_EQ(Captions(rows),
              (std::vector<std::string>{" [ 3] off", "Packer: p", "[ 1] one", "[ 2] two", "[10] ten"}));
    SortPluginListRows(rows, 0, false);
    EXPECT_EQ(Captions(rows).front(), "[10] ten");
}

TEST(PluginList, ContentTabByHostVersion) {
    EXPECT_FALSE(HostVersionHasContentPlugins("6.03"));
    EXPECT_TRUE(HostVersionHasContentPlugins("6.50"));
    EXPECT_TRUE(HostVersionHasContentPlugins("6.51"));
    EXPECT_TRUE(HostVersionHasContentPlugins("7.0"));
    EXPECT_TRUE(HostVersionHasContentPlugins("10.0")); // numbers, not text: 10 is above 6
    EXPECT_TRUE(HostVersionHasContentPlugins("11.03"));
    EXPECT_TRUE(HostVersionHasContentPlugins("6.5"));
    EXPECT_TRUE(HostVersionHasContentPlugins("7.04a"));
    EXPECT_FALSE(HostVersionHasContentPlugins("5.51"));
    EXPECT_FALSE(HostVersionHasContentPlugins(""));
    EXPECT_FALSE(HostVersionHasContentPlugins("beta"));
}

TEST(PluginList, ShortNamesAndIniFiles) {
    EXPECT_EQ(KindShortName("Lister: "), "Lister");
    EXPECT_EQ(KindShortName("FS"), "FS");
    EXPECT_EQ(PluginIniOf("C:\\p\\view.wlx"), "C:\\p\\view.ini");
    EXPECT_EQ(PluginIniOf("C:\\p.d\\module"), "C:\\p.d\\module.ini");
}

TEST(PluginList, RowsOfATab) {
    test::TempPrefix prefix;
    AppSettings() = Settings{};
    ResetMessageStore();
    std::string ini = "[ListerPlugins]\n";
    for (int i = 0; i < 11; ++i)
        ini += std::to_string(i) + "=C:\\l\\v" + std::to_string(i) + ".wlx\n";
    ini += "[PackerPlugins]\nzip=1,C:\\p\\z.wcx\n[DisabledPlugins]\nContentPlugins;C:\\c\\x.wdx;4;=\n";
    prefix.Write("drive_c/TC/wincmd.ini", ini);
    SetHostPaths("C:\\TC\\Totalcmd.exe", "C:\\TC\\wincmd.ini");
    LoadTable(true);
    int missing = 0;
    PluginListOptions options;
    options.showTypes = false;
    options.tab = 1;
    std::vector<PluginListRow> rows = BuildPluginListRows(Table(), Host(), options, &missing);
    ASSERT_EQ(rows.size(), 11u);
    EXPECT_EQ(rows[0].caption, "[ 0] v0");
    EXPECT_EQ(rows[10].caption, "[10] v10");
    EXPECT_EQ(missing, 11);
    EXPECT_EQ(rows[0].icon, kIconDisabledOrMissing);
    EXPECT_EQ(rows[0].subItems[2], "-deleted-");
    options.tab = 4;
    rows = BuildPluginListRows(Table(), Host(), options, &missing);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].caption, " [4] x");
    EXPECT_EQ(rows[0].subItems[2], "-disabled-");
    options.tab = 0;
    EXPECT_EQ(BuildPluginListRows(Table(), Host(), options, &missing).size(), 13u);
    ClearTable();
}

} // namespace
} // namespace varnel
