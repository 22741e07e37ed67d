#include "catalog/catalog_options.h"
#include "catalog/host_config.h"

#include "temp_prefix.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace varnel {
namespace {

class HostConfig : public ::testing::Test {
protected:
    void SetUp() override {
        CatalogSettings() = CatalogOptions{};
        SetHostPaths("C:\\TC\\Totalcmd.exe", "C:\\TC\\wincmd.ini");
    }
    void TearDown() override { CatalogSettings() = CatalogOptions{}; }

    void Ini(std::string_view text) { prefix.Write("drive_c/TC/wincmd.ini", text); }
    std::string Ini() const { return prefix.Read("drive_c/TC/wincmd.ini"); }

    test::TempPrefix prefix;
};

TEST(SetHostPaths, DirectoryOfTheExecutable) {
    struct Case {
        const char* exe;
        const char* dir;
    } cases[] = {
        {"C:\\TC\\Totalcmd.exe", "C:\\TC"},
        {"C:\\Totalcmd.exe", "C:\\"},
        {"C:Totalcmd.exe", "C:"},
        {"\\\\srv\\tc\\x.exe", "\\\\srv\\tc"},
        {"Totalcmd.exe", ""},
        {"C:\\TC\\\\x.exe", "C:\\TC\\\\"},
    };
    for (const Case& c : cases) {
        SetHostPaths(c.exe, "-");
        EXPECT_EQ(Host().HostDir, c.dir) << c.exe;
        EXPECT_EQ(Host().HostIniPath, "-");
    }
}

TEST_F(HostConfig, ReadHostPathExpandsPlaceholderAndEnvironment) {
    Ini("[PackerPlugins]\nzip=2,%COMMANDER_PATH%\\Plugins\\wcx\\arc.wcx\n"
        "rar=%commander_path%\\x.wcx\n[ListerPlugins]\n0=%windir%\\v.wlx\n1=\"C:\\q u\\v.wlx\"\n");
    EXPECT_EQ(ReadHostPath("PackerPlugins", "zip"), "C:\\TC\\Plugins\\wcx\\arc.wcx");
    EXPECT_EQ(ReadHostPath("PackerPlugins", "rar"), "C:\\TC\\x.wcx");
    EXPECT_EQ(ReadHostPath("ListerPlugins", "0"), "C:\\windows\\v.wlx");
    EXPECT_EQ(ReadHostPath("ListerPlugins", "1"), "C:\\q u\\v.wlx");
    EXPECT_EQ(ReadHostValue("PackerPlugins", "zip"), "2,%COMMANDER_PATH%\\Plugins\\wcx\\arc.wcx");
    EXPECT_EQ(ReadHostValue("PackerPlugins", "none"), "");
    EXPECT_EQ(ReadHostValue("NoSection", "zip"), "");
}

TEST_F(HostConfig, ExpansionIsBoundedAt800Characters) {
    std::string longPath = "%COMMANDER_PATH%\\" + std::string(900, 'a') + ".wlx";
    std::string expanded = ExpandHostPath(longPath);
    EXPECT_EQ(expanded.size(), kMaxExpandedPath);
    EXPECT_EQ(expanded.substr(0, 6), "C:\\TC\\");
}

TEST_F(HostConfig, WriteHostValueContractsTheHostFolder) {
    Ini("[PackerPlugins]\r\n");
    ASSERT_TRUE(WriteHostValue("PackerPlugins", "zip", "2,c:\\tc\\Plugins\\wcx\\arc.wcx"));
    ASSERT_TRUE(WriteHostValue("ListerPlugins", "0", "C:\\TCX\\a.wlx"));
    EXPECT_EQ(Ini(), "[PackerPlugins]\r\nzip=2,%COMMANDER_PATH%\\Plugins\\wcx\\arc.wcx\r\n"
                     "[ListerPlugins]\r\n0=%COMMANDER_PATH%X\\a.wlx\r\n");
    EXPECT_EQ(ReadHostPath("ListerPlugins", "0"), "C:\\TCX\\a.wlx");
    ASSERT_TRUE(WriteHostValue("ListerPlugins", "1", ""));
    EXPECT_EQ(ReadHostValue("ListerPlugins", "1"), "");
    EXPECT_NE(Ini().find("1=\r\n"), std::string::npos); // an empty value keeps its key
}

TEST_F(HostConfig, NoContractionWithUseTCVarOffOrADriveRoot) {
    Ini("");
    CatalogSettings().useCommanderPath = false;
    ASSERT_TRUE(WriteHostValue("ListerPlugins", "0", "C:\\TC\\a.wlx"));
    CatalogSettings().useCommanderPath = true;
    SetHostPaths("C:\\Totalcmd.exe", "C:\\TC\\wincmd.ini");
    ASSERT_TRUE(WriteHostValue("ListerPlugins", "1", "C:\\b.wlx"));
    EXPECT_EQ(Ini(), "[ListerPlugins]\r\n0=C:\\TC\\a.wlx\r\n1=C:\\b.wlx\r\n");
}

TEST_F(HostConfig, DisablingAListerRecordsItsDetectString) {
    Ini("[ListerPlugins]\r\n0=C:\\a.wlx\r\n1=C:\\TC\\plugins\\view.wlx\r\n1_detect=EXT=\"TXT\"\r\n");
    ASSERT_TRUE(DeleteHostKey("ListerPlugins", "1", true));
    EXPECT_EQ(Ini(),
              "[ListerPlugins]\r\n0=C:\\a.wlx\r\n1_detect=EXT=\"TXT\"\r\n"
              "[DisabledPlugins]\r\nListerPlugins;%COMMANDER_PATH%\\plugins\\view.wlx;1;=EXT=\"TXT\"\r\n");
}

TEST_F(HostConfig, DisablingAPackerKeepsItsFlagsInTheKey) {
    Ini("[PackerPlugins]\r\nzip=2,C:\\TC\\plugins\\arc.wcx\r\n");
    // Contraction of the former value happens whatever UseTCVar says.
    CatalogSettings().useCommanderPath = false;
    ASSERT_TRUE(DeleteHostKey("PackerPlugins", "zip", true));
    EXPECT_EQ(Ini(), "[PackerPlugins]\r\n[DisabledPlugins]\r\nPackerPlugins;2,%COMMANDER_PATH%\\plugins\\arc."
                     "wcx;zip;=\r\n");
}

TEST_F(HostConfig, PlainDeleteRemovesOnlyTheKey) {
    Ini("[FileSystemPlugins]\nRoot=C:\\x.wfx\nOther=C:\\y.wfx\n");
    ASSERT_TRUE(DeleteHostKey("FileSystemPlugins", "root", false));
    EXPECT_EQ(Ini(), "[FileSystemPlugins]\nOther=C:\\y.wfx\n");
}

TEST_F(HostConfig, FailedDisableLosesNothing) {
    Ini("[ListerPlugins]\r\n0=C:\\a.wlx\r\n");
    chmod(prefix.Path("drive_c/TC/wincmd.ini").c_str(), 0444);
    EXPECT_FALSE(DeleteHostKey("ListerPlugins", "0", true));
    EXPECT_FALSE(WriteHostValue("ListerPlugins", "1", "C:\\b.wlx"));
    chmod(prefix.Path("drive_c/TC/wincmd.ini").c_str(), 0644);
    EXPECT_EQ(Ini(), "[ListerPlugins]\r\n0=C:\\a.wlx\r\n");
}

TEST_F(HostConfig, EverySectionKeyInFileOrder) {
    std::string text = "[PackerPlugins]\n";
    for (int i = 0; i < 450; ++i)
        text += "ext" + std::to_string(i) + "=1,C:\\a.wcx\n";
    text += "[Empty]\n";
    Ini(text);
    ReadSectionKeys("packerplugins");
    ASSERT_EQ(KeyList().size(), 450u);
    EXPECT_EQ(KeyList().front(), "ext0");
    EXPECT_EQ(KeyList().back(), "ext449");
    ReadSectionKeys("Empty");
    EXPECT_TRUE(KeyList().empty());
    ReadSectionKeys("Missing");
    EXPECT_TRUE(KeyList().empty());
}

TEST_F(HostConfig, LongKeyNamesAreNotLost) {
    // 400 disabled keys with long paths need far more than 32768 characters of names.
    std::string text = "[DisabledPlugins]\n";
    for (int i = 0; i < 400; ++i)
        text += "ListerPlugins;C:\\" + std::string(120, 'p') + std::to_string(i) + ".wlx;" +
                std::to_string(i) + ";=\n";
    Ini(text);
    ReadSectionKeys("DisabledPlugins");
    ASSERT_EQ(KeyList().size(), 400u);
    EXPECT_EQ(KeyList().back().substr(KeyList().back().size() - 12), "399.wlx;399;");
}

TEST_F(HostConfig, MissingFileReadsAsEmpty) {
    SetHostPaths("C:\\TC\\Totalcmd.exe", "C:\\TC\\absent.ini");
    ReadSectionKeys("ListerPlugins");
    EXPECT_TRUE(KeyList().empty());
    EXPECT_EQ(ReadHostValue("ListerPlugins", "0"), "");
}

TEST_F(HostConfig, ContractWindowsDirForDisplay) {
    EXPECT_EQ(ContractWindowsDir("C:\\WINDOWS\\wincmd.ini"), "%windir%\\wincmd.ini");
    EXPECT_EQ(ContractWindowsDir("C:\\TC\\wincmd.ini"), "C:\\TC\\wincmd.ini");
}

} // namespace
} // namespace varnel
