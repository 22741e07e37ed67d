#include "catalog/plugin_table.h"

#include "catalog/catalog_options.h"
#include "catalog/host_config.h"
#include "temp_prefix.h"

#include <chrono>
#include <ctime>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace varnel {
namespace {

class PluginTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        CatalogSettings() = CatalogOptions{};
        SetHostPaths("C:\\TC\\Totalcmd.exe", "C:\\TC\\wincmd.ini");
    }
    void TearDown() override {
        CatalogSettings() = CatalogOptions{};
        ClearTable();
    }

    void Ini(std::string_view text) { prefix.Write("drive_c/TC/wincmd.ini", text); }
    void Module(std::string_view relative) {
        prefix.Write(std::string("drive_c/") + std::string(relative), "MZ");
    }

    // "Kind|FileName|Association|Index|D" per row, D for disabled.
    std::vector<std::string> Rows() const {
        std::vector<std::string> rows;
        for (int row = 1; row <= Table().Count(); ++row) {
            const PluginEntry& e = Table().Row(row);
            rows.push_back(std::string(kKindWords[static_cast<size_t>(e.Kind)]) + "|" + e.FileName + "|" +
                           e.Association + "|" + std::to_string(e.Index) + (e.Disabled ? "|D" : ""));
        }
        return rows;
    }

    test::TempPrefix prefix;
};

TEST_F(PluginTableTest, RowOrderAndAssociationsOfAFullLoad) {
    Ini("[PackerPlugins]\n"
        "zip=2,%COMMANDER_PATH%\\plugins\\arc.wcx\n"
        "7z=1,C:\\other\\seven.wcx\n"
        "tar=2,c:\\tc\\PLUGINS\\arc.wcx\n"
        "gz=C:\\TC\\plugins\\arc.wcx\n"
        "[ListerPlugins]\n1=C:\\l\\one.wlx\n0=C:\\l\\zero.wlx\n1_detect=EXT=\"TXT\"\nx=C:\\l\\bad.wlx\n-2=C:"
        "\\l\\neg.wlx\n"
        "[ContentPlugins]\n0=C:\\c\\info.wdx\n0_detect=MULTIMEDIA\n"
        "[FileSystemPlugins]\nNet_Work=C:\\f\\net.wfx\nDevices=C:\\f\\dev.wfx\n"
        "[DisabledPlugins]\n"
        "ListerPlugins;C:\\l\\one.wlx;5;=\n"
        "ContentPlugins;%COMMANDER_PATH%\\old.wdx;3;=DETECT\n"
        "Bogus;C:\\odd.wlx;7;=\n"
        "PackerPlugins;2,C:\\p\\cab.wcx;cab;=\n"
        "PackerPlugins;2,C:\\p\\cab.wcx;cab2;=\n");
    LoadTable(false);
    EXPECT_EQ(Rows(), (std::vector<std::string>{
                          "Packer|C:\\TC\\plugins\\arc.wcx|zip tar gz|0",
                          "Packer|C:\\other\\seven.wcx|7z|0",
                          "Lister|C:\\l\\one.wlx|EXT=\"TXT\"|1",
                          "Lister|C:\\l\\zero.wlx||0",
                          "Content|C:\\c\\info.wdx|MULTIMEDIA|0",
                          "FS|C:\\f\\net.wfx|Net_Work|0",
                          "FS|C:\\f\\dev.wfx|Devices|0",
                          "Content|C:\\TC\\old.wdx||3|D",
                          "Lister|C:\\odd.wlx||7|D",
                          "Packer|C:\\p\\cab.wcx||0|D",
                      }));
    EXPECT_EQ(CountOfKind(kLister), 3);
    EXPECT_EQ(CountOfKind(kPacker), 3);
    EXPECT_EQ(FindEntryByFile("c:\\OTHER\\Seven.wcx"), 2);
    EXPECT_EQ(FindEntryByFile("C:\\none.wcx"), 0);
    // A quick load gives no names or versions.
    EXPECT_EQ(Table().Row(1).Name, "");
}

TEST_F(PluginTableTest, StatesFollowTheFlags) {
    Module("l/here.wlx");
    Ini("[ListerPlugins]\n0=C:\\l\\here.wlx\n1=C:\\l\\gone.wlx\n2=\n"
        "[DisabledPlugins]\nListerPlugins;C:\\l\\gone2.wlx;3;=\nListerPlugins;C:\\l\\here.wlx;0;=\n");
    LoadTable(true);
    ASSERT_EQ(Table().Count(), 4);
    EXPECT_EQ(StateText(1), "idle");
    EXPECT_EQ(StateText(2), "-deleted-");
    EXPECT_EQ(StateText(3), "-deleted-"); // an empty value still gives a row
    EXPECT_EQ(Table().Row(3).FileName, "");
    EXPECT_EQ(StateText(4), "-disabled-"); // disabled wins over a missing file
    EXPECT_TRUE(Table().Row(4).Deleted);
    EXPECT_TRUE(Table().Row(2).Loaded); // a missing file fails the write probe too

    // Between reloads only the file flags change.
    Module("l/gone.wlx");
    RefreshEntryFlags(2);
    EXPECT_EQ(StateText(2), "idle");
}

TEST_F(PluginTableTest, DetailsGiveNamesByTheShowNamesSetting) {
    Module("p/Arc.Plugin.wcx");
    Ini("[PackerPlugins]\nzip=2,C:\\p\\Arc.Plugin.wcx\n[FileSystemPlugins]\nx=C:\\p\\noext\n");
    LoadTable(true);
    EXPECT_EQ(Table().Row(1).Name, "Arc.Plugin");
    EXPECT_EQ(Table().Row(2).Name, "noext");
    CatalogSettings().showNames = 0;
    LoadTable(true);
    EXPECT_EQ(Table().Row(1).Name, "Arc.Plugin.wcx");
    CatalogSettings().showNames = 7; // any other value acts as 1
    LoadTable(true);
    EXPECT_EQ(Table().Row(1).Name, "Arc.Plugin");
    EXPECT_EQ(Table().Row(1).Version, "");
}

TEST_F(PluginTableTest, CountNumberedKeysSkipsDetectKeys) {
    Ini("[ListerPlugins]\n0=a\n0_detect=x\n1=b\nfoo=c\n[ContentPlugins]\n");
    EXPECT_EQ(CountNumberedKeys(kLister), 3);
    EXPECT_EQ(CountNumberedKeys(kContent), 0);
}

TEST_F(PluginTableTest, EveryRegistrationIsARow) {
    std::string text = "[PackerPlugins]\n";
    for (int i = 0; i < 2500; ++i)
        text.append("e")
            .append(std::to_string(i))
            .append("=2,C:\\p\\m")
            .append(std::to_string(i))
            .append(".wcx\n");
    text += "again=2,C:\\p\\m0.wcx\n[ListerPlugins]\n";
    for (int i = 0; i < 500; ++i)
        text += std::to_string(i) + "=C:\\l\\v" + std::to_string(i) + ".wlx\n";
    text += "[FileSystemPlugins]\nfs=C:\\f.wfx\n[DisabledPlugins]\nListerPlugins;C:\\d.wlx;0;=\n";
    text += "[PackerPlugins]\nignored=2,C:\\x.wcx\n"; // a second section of a name is never read
    Ini(text);
    LoadTable(false);
    ASSERT_EQ(Table().Count(), 2500 + 500 + 2);
    EXPECT_EQ(Table().Row(1).Association, "e0 again");
    EXPECT_EQ(Table().Row(3000).FileName, "C:\\l\\v499.wlx");
    EXPECT_EQ(Table().Row(3000).Index, 499);
    EXPECT_EQ(Table().Row(3001).FileName, "C:\\f.wfx");
    EXPECT_TRUE(Table().Row(3002).Disabled);
}

TEST_F(PluginTableTest, NewRowsStartEmpty) {
    ClearTable();
    ASSERT_TRUE(AddEntry());
    EntryAt(1).FileName = "x";
    EntryAt(1).Disabled = true;
    ClearTable();
    ASSERT_TRUE(AddEntry());
    const PluginEntry& e = Table().Row(1);
    EXPECT_EQ(e.FileName, "");
    EXPECT_EQ(e.Kind, kPacker);
    EXPECT_EQ(e.Index, 0);
    EXPECT_FALSE(e.Disabled || e.Deleted || e.Loaded);
}

} // namespace
} // namespace varnel

namespace varnel {
namespace {

// A FIFO or device named as a plugin module is looked at without ever being opened for good:
// the list loads with details at once.
TEST_F(PluginTableTest, SpecialFilesAsModulesDoNotHang) {
    std::filesystem::create_directories(prefix.Path("drive_c/p"));
    ASSERT_EQ(mkfifo(prefix.Path("drive_c/p/fifo.wlx").c_str(), 0644), 0);
    std::filesystem::create_symlink("/dev/zero", prefix.Path("drive_c/p/zero.wcx"));
    CatalogSettings().showVersions = 1;
    Ini("[ListerPlugins]\r\n0=C:\\p\\fifo.wlx\r\n[PackerPlugins]\r\nzip=1,C:\\p\\zero.wcx\r\n");
    // A module that blocked would hang the test (its time limit fails it); one read without end
    // would spend processor time, which is bounded here (load does not stretch it).
    const std::clock_t started = std::clock();
    LoadTable(true);
    EXPECT_LT(static_cast<double>(std::clock() - started) / CLOCKS_PER_SEC, 5.0);
    ASSERT_EQ(Table().Count(), 2);
    EXPECT_EQ(Table().Row(1).Bits, 0);
    EXPECT_FALSE(Table().Row(1).Loaded); // a FIFO is no module a process holds
    EXPECT_EQ(Table().Row(2).Version, "");
}

} // namespace
} // namespace varnel
