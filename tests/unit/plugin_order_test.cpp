#include "ops/plugin_order.h"

#include "catalog/catalog_options.h"
#include "catalog/host_config.h"
#include "catalog/plugin_table.h"
#include "temp_prefix.h"

#include <gtest/gtest.h>

namespace varnel {
namespace {

class PluginOrderTest : public ::testing::Test {
protected:
    void SetUp() override {
        CatalogSettings() = CatalogOptions{};
        SetHostPaths("C:\\TC\\Totalcmd.exe", "C:\\TC\\wincmd.ini");
    }
    void TearDown() override { ClearTable(); }
    void Ini(std::string_view text) { prefix.Write("drive_c/TC/wincmd.ini", text); }
    std::string Ini() { return prefix.Read("drive_c/TC/wincmd.ini"); }
    void Write(const PluginOrder& order) {
        HostConfigTransaction transaction;
        order.Write();
        ASSERT_TRUE(transaction.Commit());
    }
    test::TempPrefix prefix;
};

// Numbers with a gap keep their set, handed out in the new order with each plugin's own detect
// string; a plugin sharing a number gets a free one instead of overwriting the other; disabled
// plugins and numbers beyond the list stay where they are.
TEST_F(PluginOrderTest, ListersKeepTheirNumbersAndEveryRegistration) {
    Ini("[ListerPlugins]\r\n0=C:\\l\\a.wlx\r\n0_detect=EXT=\"A\"\r\n1=C:\\l\\b.wlx\r\n3=C:\\l\\c.wlx\r\n"
        "3_detect=EXT=\"C\"\r\n01=C:\\l\\e.wlx\r\n99=C:\\l\\high.wlx\r\n"
        "[DisabledPlugins]\r\nListerPlugins;C:\\d.wlx;0;=\r\n");
    LoadTable(false);
    PluginOrder order(Table(), kLister);
    ASSERT_EQ(order.Rows().size(), 4u);
    EXPECT_EQ(order.Rows()[2].caption, "2:  "); // e.wlx, which shared number 1
    ASSERT_TRUE(order.Move(3, 0));              // c.wlx to the top
    EXPECT_FALSE(order.Move(0, 4));
    Write(order);
    EXPECT_EQ(Ini(), "[ListerPlugins]\r\n99=C:\\l\\high.wlx\r\n0=C:\\l\\c.wlx\r\n0_detect=EXT=\"C\"\r\n"
                     "1=C:\\l\\a.wlx\r\n1_detect=EXT=\"A\"\r\n2=C:\\l\\b.wlx\r\n3=C:\\l\\e.wlx\r\n"
                     "[DisabledPlugins]\r\nListerPlugins;C:\\d.wlx;0;=\r\n");
}

// Packer keys are written again in list order with the values they had.
TEST_F(PluginOrderTest, PackerKeysFollowTheList) {
    Ini("[PackerPlugins]\r\nzip=2,C:\\p\\z.wcx\r\nrar=29,C:\\p\\r.wcx\r\njar=2,C:\\p\\z.wcx\r\n[Other]\r\nx="
        "1\r\n");
    LoadTable(false);
    PluginOrder order(Table(), kPacker);
    ASSERT_EQ(order.Rows().size(), 3u);
    EXPECT_EQ(order.Rows()[1].association, "rar");
    order.Move(2, 0);
    Write(order);
    EXPECT_EQ(Ini(), "[PackerPlugins]\r\njar=2,C:\\p\\z.wcx\r\nzip=2,C:\\p\\z.wcx\r\nrar=29,C:\\p\\r.wcx\r\n"
                     "[Other]\r\nx=1\r\n");
}

} // namespace
} // namespace varnel
