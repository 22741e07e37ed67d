// Registration edits on real files, compared byte for byte.

#include "catalog/registration.h"
#include "ops/plugin_commands.h"

#include "catalog/catalog_options.h"
#include "catalog/host_config.h"
#include "lang/language.h"
#include "message_log.h"
#include "platform/system.h"
#include "sample_plugins.h"
#include "temp_prefix.h"

#include <codecvt>
#include <filesystem>
#include <gtest/gtest.h>
#include <locale>

namespace varnel {
namespace {

using test::ModuleBuild;

class RegistrationTest : public ::testing::Test {
protected:
    void SetUp() override {
        CatalogSettings() = CatalogOptions{};
        ResetMessageStore();
        SetHostPaths("C:\\TC\\Totalcmd.exe", "C:\\TC\\wincmd.ini");
        m_sleep = platform::SetSleepHandler([](unsigned) {});
    }
    void TearDown() override {
        platform::SetSleepHandler(m_sleep);
        ClearTable();
        CatalogSettings() = CatalogOptions{};
    }
    void Ini(std::string_view text) { prefix.Write("drive_c/TC/wincmd.ini", text); }
    std::string Ini() const { return prefix.Read("drive_c/TC/wincmd.ini"); }
    int RowOf(std::string_view file) {
        LoadTable(false);
        return FindEntryByFile(file);
    }
    std::string Native(std::string_view name, std::string_view as = {}) {
        return test::InstallSample(prefix.Dir(), ModuleBuild::Native, name, "TC\\plugins", as);
    }

    test::TempPrefix prefix;
    platform::SleepHandler m_sleep;
};

const char* kThreeListers = "[ListerPlugins]\r\n"
                            "0=C:\\p\\m0.wlx\r\n0_detect=EXT=\"A\"\r\n"
                            "1=C:\\p\\m1.wlx\r\n"
                            "2=C:\\p\\m2.wlx\r\n2_detect=EXT=\"C\"\r\n"
                            "[Other]\r\nx=1\r\n";

TEST_F(RegistrationTest, InsertAtAPositionRenumbersWithDetectStrings) {
    Ini(kThreeListers);
    InsertNumberedEntry("ListerPlugins", 1, "C:\\p\\x.wlx", "EXT=\"X\"");
    EXPECT_EQ(Ini(), "[ListerPlugins]\r\n"
                     "0=C:\\p\\m0.wlx\r\n0_detect=EXT=\"A\"\r\n"
                     "1=C:\\p\\x.wlx\r\n1_detect=EXT=\"X\"\r\n"
                     "2=C:\\p\\m1.wlx\r\n"
                     "3=C:\\p\\m2.wlx\r\n3_detect=EXT=\"C\"\r\n"
                     "[Other]\r\nx=1\r\n");
    Ini(kThreeListers);
    InsertNumberedEntry("ListerPlugins", 7, "C:\\p\\x.wlx", "");
    EXPECT_EQ(Ini(), "[ListerPlugins]\r\n"
                     "0=C:\\p\\m0.wlx\r\n0_detect=EXT=\"A\"\r\n"
                     "1=C:\\p\\m1.wlx\r\n"
                     "2=C:\\p\\m2.wlx\r\n2_detect=EXT=\"C\"\r\n"
                     "3=C:\\p\\x.wlx\r\n"
                     "[Other]\r\nx=1\r\n");
}

TEST_F(RegistrationTest, RenumberingFollowsFileOrderAndContractsPaths) {
    Ini("[ContentPlugins]\r\n1=C:\\TC\\one.wdx\r\n1_detect=D1\r\n0=C:\\zero.wdx\r\nname=C:\\odd.wdx\r\n"
        "junk_key=x\r\n");
    RemoveEntryByFile("ContentPlugins", "C:\\nothing.wdx", false);
    // The entry under 1 comes first in the file, so it becomes 0; a non-numeric key counts as an
    // entry; other keys with "_" go.
    EXPECT_EQ(Ini(), "[ContentPlugins]\r\n0=%COMMANDER_PATH%\\one.wdx\r\n0_detect=D1\r\n1=C:\\zero.wdx\r\n"
                     "2=C:\\odd.wdx\r\n");
}

// 250 Listers with detect strings are 500 keys: disabling one renumbers them all, and enabling it
// again puts it back without overwriting a single registration.
TEST_F(RegistrationTest, ManyListersKeepEveryRegistration) {
    std::string text = "[ListerPlugins]\r\n";
    for (int i = 0; i < 250; ++i)
        text += std::to_string(i) + "=C:\\l\\v" + std::to_string(i) + ".wlx\r\n" + std::to_string(i) +
                "_detect=EXT=\"" + std::to_string(i) + "\"\r\n";
    Ini(text);
    RemovePlugin(RowOf("C:\\l\\v100.wlx"), true);
    LoadTable(false);
    ASSERT_EQ(CountOfKind(kLister), 250); // 249 registered and the disabled one
    for (int i = 0; i < 249; ++i) {
        int original = i < 100 ? i : i + 1;
        EXPECT_EQ(ReadHostValue("ListerPlugins", std::to_string(i)),
                  "C:\\l\\v" + std::to_string(original) + ".wlx");
        EXPECT_EQ(ReadHostValue("ListerPlugins", std::to_string(i) + "_detect"),
                  "EXT=\"" + std::to_string(original) + "\"");
    }
    EXPECT_EQ(ReadHostValue("ListerPlugins", "249"), "");
    EnablePlugin(RowOf("C:\\l\\v100.wlx"));
    EXPECT_EQ(Ini(), text); // every registration back where it was
}

TEST_F(RegistrationTest, DisableTheMiddleListerAndEnableItAgain) {
    Ini(kThreeListers);
    int row = RowOf("C:\\p\\m1.wlx");
    ASSERT_GT(row, 0);
    RemovePlugin(row, true);
    EXPECT_EQ(Ini(), "[ListerPlugins]\r\n"
                     "0=C:\\p\\m0.wlx\r\n0_detect=EXT=\"A\"\r\n"
                     "1=C:\\p\\m2.wlx\r\n1_detect=EXT=\"C\"\r\n"
                     "[Other]\r\nx=1\r\n"
                     "[DisabledPlugins]\r\nListerPlugins;C:\\p\\m1.wlx;1;=\r\n");
    row = RowOf("C:\\p\\m1.wlx");
    ASSERT_TRUE(EntryAt(row).Disabled);
    EnablePlugin(row);
    EXPECT_EQ(Ini(), "[ListerPlugins]\r\n"
                     "0=C:\\p\\m0.wlx\r\n0_detect=EXT=\"A\"\r\n"
                     "1=C:\\p\\m1.wlx\r\n"
                     "2=C:\\p\\m2.wlx\r\n2_detect=EXT=\"C\"\r\n"
                     "[Other]\r\nx=1\r\n"); // the section disabling made goes again
}

TEST_F(RegistrationTest, APackerWithThreeExtensionsComesBackWithItsFlags) {
    Ini("[PackerPlugins]\r\nzip=5,C:\\TC\\arc.wcx\r\nrar=1,C:\\other.wcx\r\ntar=7,%COMMANDER_PATH%\\arc."
        "wcx\r\n"
        "gz=C:\\TC\\arc.wcx\r\n");
    int row = RowOf("C:\\TC\\arc.wcx");
    RemovePlugin(row, true);
    EXPECT_EQ(Ini(), "[PackerPlugins]\r\nrar=1,C:\\other.wcx\r\n"
                     "[DisabledPlugins]\r\n"
                     "PackerPlugins;5,%COMMANDER_PATH%\\arc.wcx;zip;=\r\n"
                     "PackerPlugins;7,%COMMANDER_PATH%\\arc.wcx;tar;=\r\n"
                     "PackerPlugins;%COMMANDER_PATH%\\arc.wcx;gz;=\r\n");
    CatalogSettings().useCommanderPath = false; // saved values come back as saved
    EnablePlugin(RowOf("C:\\TC\\arc.wcx"));
    EXPECT_EQ(Ini(), "[PackerPlugins]\r\nrar=1,C:\\other.wcx\r\n"
                     "zip=5,%COMMANDER_PATH%\\arc.wcx\r\ntar=7,%COMMANDER_PATH%\\arc.wcx\r\ngz=%COMMANDER_"
                     "PATH%\\arc.wcx\r\n");
}

TEST_F(RegistrationTest, UninstallRemovesKeysAndTheirDetectCompanions) {
    Ini(kThreeListers);
    RemovePlugin(RowOf("C:\\p\\m0.wlx"), false);
    EXPECT_EQ(Ini(), "[ListerPlugins]\r\n"
                     "0=C:\\p\\m1.wlx\r\n"
                     "1=C:\\p\\m2.wlx\r\n1_detect=EXT=\"C\"\r\n"
                     "[Other]\r\nx=1\r\n");
}

TEST_F(RegistrationTest, RegisterEachKind) {
    Ini("[ListerPlugins]\r\n0=C:\\p\\m0.wlx\r\n");
    test::MessageLog boxes;
    std::string lister = Native("sample_lister.wlx");
    std::string packer = Native("sample_packer.wcx");
    std::string fs = Native("sample_fs.wfx");
    std::string content = Native("sample_content.wdx");
    EXPECT_EQ(RegisterPlugin(lister, "", true), RegisterResult::Registered);
    EXPECT_EQ(RegisterPlugin(packer, "zip,rar", true), RegisterResult::Registered);
    EXPECT_EQ(RegisterPlugin(fs, "ignored", true), RegisterResult::Registered);
    EXPECT_EQ(RegisterPlugin(content, "", true), RegisterResult::Registered);
    EXPECT_EQ(
        Ini(),
        "[ListerPlugins]\r\n0=C:\\p\\m0.wlx\r\n"
        "1=%COMMANDER_PATH%\\plugins\\sample_lister.wlx\r\n1_detect=EXT=\"TXT\" | EXT=\"LOG\"\r\n"
        "[PackerPlugins]\r\nzip=285,%COMMANDER_PATH%\\plugins\\sample_packer.wcx\r\n"
        "rar=285,%COMMANDER_PATH%\\plugins\\sample_packer.wcx\r\n"
        "[FileSystemPlugins]\r\nSample FS=%COMMANDER_PATH%\\plugins\\sample_fs.wfx\r\n"
        "[ContentPlugins]\r\n0=%COMMANDER_PATH%\\plugins\\sample_content.wdx\r\n0_detect=MULTIMEDIA\r\n");
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(RegistrationTest, PackerExtensionListsAndReRegistering) {
    Ini("[PackerPlugins]\r\nold=1,C:\\TC\\plugins\\sample_packer.wcx\r\nzip=1,C:\\TC\\plugins\\sample_packer."
        "wcx\r\n");
    std::string packer = Native("sample_packer.wcx");
    EXPECT_EQ(RegisterPlugin(packer, ",zip,,7z", true), RegisterResult::Registered);
    // Existing keys are overwritten in place, new ones appended; empty items make no key; "old" stays.
    EXPECT_EQ(Ini(), "[PackerPlugins]\r\nold=1,C:\\TC\\plugins\\sample_packer.wcx\r\n"
                     "zip=285,%COMMANDER_PATH%\\plugins\\sample_packer.wcx\r\n"
                     "7z=285,%COMMANDER_PATH%\\plugins\\sample_packer.wcx\r\n");
    std::string before = Ini();
    EXPECT_EQ(RegisterPlugin(packer, "", true), RegisterResult::Registered); // nothing to write, still fine
    EXPECT_EQ(Ini(), before);
}

TEST_F(RegistrationTest, DuplicatesAndNonPlugins) {
    std::string lister = Native("sample_lister.wlx");
    Ini("[ListerPlugins]\r\n0=%COMMANDER_PATH%\\PLUGINS\\sample_lister.wlx\r\n");
    test::MessageLog boxes;
    EXPECT_EQ(RegisterPlugin(lister, "", false), RegisterResult::Registered); // silent, nothing written
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_EQ(RegisterPlugin(lister, "", true), RegisterResult::Failed);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].style, kStyleError | kMbTaskModal | kMbSetForeground);
    EXPECT_EQ(RegisterPlugin(Native("none.dll"), "", true), RegisterResult::Failed);
    EXPECT_EQ(boxes.Boxes().size(), 2u);
    EXPECT_EQ(Ini(), "[ListerPlugins]\r\n0=%COMMANDER_PATH%\\PLUGINS\\sample_lister.wlx\r\n");
    EXPECT_TRUE(IsRegistered("c:\\tc\\plugins\\SAMPLE_LISTER.WLX", kLister));
    EXPECT_FALSE(IsRegistered(lister, kContent));
}

TEST_F(RegistrationTest, FaultingProbesWriteNothing) {
    Ini("[PackerPlugins]\r\n");
    test::MessageLog boxes;
    EXPECT_EQ(RegisterPlugin(Native("crash.dll", "crash.wcx"), "zip", true), RegisterResult::ProbeFault);
    EXPECT_EQ(RegisterPlugin(Native("crash.dll", "crash.wfx"), "", true), RegisterResult::ProbeFault);
    // A Lister or Content plugin that crashes in its detect string is no more registered than they.
    EXPECT_EQ(RegisterPlugin(Native("crash.dll", "crash.wlx"), "", true), RegisterResult::ProbeFault);
    EXPECT_EQ(RegisterPlugin(Native("crash.dll", "crash.wdx"), "", true), RegisterResult::ProbeFault);
    EXPECT_EQ(boxes.Boxes().size(), 4u);
    // Files that only carry a plugin's extension: two bytes of a download, a text.
    prefix.Write("drive_c/TC/plugins/cut.wlx", "MZ");
    prefix.Write("drive_c/TC/plugins/text.wcx", "not a module at all");
    EXPECT_EQ(RegisterPlugin("C:\\TC\\plugins\\cut.wlx", "", true), RegisterResult::Failed);
    EXPECT_EQ(RegisterPlugin("C:\\TC\\plugins\\text.wcx", "txt", true), RegisterResult::Failed);
    EXPECT_EQ(boxes.Boxes().size(), 6u);
    EXPECT_EQ(Ini(), "[PackerPlugins]\r\n");
}

TEST_F(RegistrationTest, RenameAnFsPluginAndADetectString) {
    Ini("[FileSystemPlugins]\r\nA=C:\\a.wfx\r\nB=C:\\b.wfx\r\n[ListerPlugins]\r\n0=C:\\l.wlx\r\n0_detect="
        "old\r\n");
    SetAssociation(RowOf("C:\\a.wfx"), "A");
    EXPECT_EQ(Ini(), "[FileSystemPlugins]\r\nB=C:\\b.wfx\r\nA=C:\\a.wfx\r\n[ListerPlugins]\r\n0=C:\\l."
                     "wlx\r\n0_detect=old\r\n");
    SetAssociation(RowOf("C:\\l.wlx"), "EXT=\"NEW\"");
    EXPECT_NE(Ini().find("0_detect=EXT=\"NEW\"\r\n"), std::string::npos);
    SetAssociation(RowOf("C:\\l.wlx"), "");
    EXPECT_EQ(Ini().find("0_detect"), std::string::npos);
    // Renaming onto another plugin's name replaces that key.
    SetAssociation(RowOf("C:\\b.wfx"), "A");
    EXPECT_EQ(Ini(), "[FileSystemPlugins]\r\nA=C:\\b.wfx\r\n[ListerPlugins]\r\n0=C:\\l.wlx\r\n");
}

TEST_F(RegistrationTest, PackerAssociationsReadAndWritten) {
    Ini("[PackerPlugins]\r\nzip=C:\\TC\\plugins\\sample_packer.wcx\r\narj=3,C:\\x.wcx\r\n"
        "cab=9,%COMMANDER_PATH%\\plugins\\sample_packer.wcx\r\n");
    std::string packer = Native("sample_packer.wcx");
    PackerAssociationList list = ReadPackerAssociations(packer);
    EXPECT_EQ(list.defaultFlags, 285);
    ASSERT_EQ(list.count, 2);
    EXPECT_EQ(list.pairs[0].extension, "zip");
    EXPECT_EQ(list.pairs[0].flags, 285); // no "," in the value: the module's own flags
    EXPECT_EQ(list.pairs[1].extension, "cab");
    EXPECT_EQ(list.pairs[1].flags, 9);
    list.pairs[0].flags = 4;
    list.pairs[1] = {"7z", 12};
    list.pairs.push_back({"arj", 1}); // another module's extension is taken over
    list.count = 3;
    WritePackerAssociations(packer, list);
    EXPECT_EQ(Ini(), "[PackerPlugins]\r\narj=1,%COMMANDER_PATH%\\plugins\\sample_packer.wcx\r\n"
                     "zip=4,%COMMANDER_PATH%\\plugins\\sample_packer.wcx\r\n"
                     "7z=12,%COMMANDER_PATH%\\plugins\\sample_packer.wcx\r\n");

    // A packer registered for 250 extensions keeps every one through a read and a write.
    std::string many = "[PackerPlugins]\r\n";
    for (int i = 0; i < 250; ++i)
        many += "e" + std::to_string(i) + "=7,%COMMANDER_PATH%\\plugins\\sample_packer.wcx\r\n";
    Ini(many);
    list = ReadPackerAssociations(packer);
    EXPECT_EQ(list.count, 250);
    WritePackerAssociations(packer, list);
    EXPECT_EQ(Ini(), many);
}

TEST_F(RegistrationTest, LookupInstalledGivesTheAssociation) {
    Ini("[PackerPlugins]\r\nzip=1,C:\\a.wcx\r\nrar=1,C:\\a.wcx\r\n[DisabledPlugins]\r\nListerPlugins;C:\\d."
        "wlx;0;=\r\n");
    std::string association;
    EXPECT_TRUE(LookupInstalled("c:\\A.WCX", &association));
    EXPECT_EQ(association, "zip rar");
    EXPECT_TRUE(LookupInstalled("C:\\d.wlx", &association));
    EXPECT_EQ(association, "");
    EXPECT_FALSE(LookupInstalled("C:\\none.wlx", &association));
}

// A packer in a folder outside the code page keeps its flags and its path through a read and a
// write, in all three forms of the host's file: ANSI with the path marked after the flags, UTF-8
// with a byte-order mark, and UTF-16.
TEST_F(RegistrationTest, PackerValuesOutsideTheCodePageRoundTrip) {
    const std::string folder = "\xD0\x9F\xD0\xB0\xD0\xBA\xD0\xB5\xD1\x80"; // "Пакер" in UTF-8
    std::filesystem::create_directories(prefix.Path("drive_c/TC/" + folder));
    std::filesystem::copy_file(test::SamplePluginFile(ModuleBuild::Native, "sample_packer.wcx"),
                               prefix.Path("drive_c/TC/" + folder + "/x.wcx"));
    const std::string mark = "\xEF\xBB\xBF";
    const std::string utf8 = "[PackerPlugins]\r\nzz=29,C:\\TC\\" + folder + "\\x.wcx\r\n";
    std::u16string wide =
        std::wstring_convert<std::codecvt_utf8_utf16<char16_t>, char16_t>().from_bytes(utf8);
    std::string utf16 = "\xFF\xFE";
    for (char16_t c : wide)
        utf16.append({static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)});
    const std::string ansi = "[PackerPlugins]\r\nzz=29," + mark + "C:\\TC\\" + folder + "\\x.wcx\r\n";
    for (const std::string& form : {ansi, mark + utf8, utf16}) {
        Ini(form);
        LoadTable(false);
        ASSERT_EQ(Table().Count(), 1);
        const std::string module = EntryAt(1).FileName;
        EXPECT_FALSE(EntryAt(1).Deleted) << module;
        PackerAssociationList list = ReadPackerAssociations(module);
        ASSERT_EQ(list.count, 1);
        EXPECT_EQ(list.pairs[0].flags, 29);
        CatalogSettings().useCommanderPath = false;
        WritePackerAssociations(module, list);
        EXPECT_EQ(Ini(), form);
    }
}

// Several plugins disabled and enabled again, selected in whatever order the list was sorted,
// come back where they were: the file is the same byte for byte.
TEST_F(RegistrationTest, DisableAndEnableOfSeveralKeepTheLoadOrder) {
    const std::string original =
        "[ListerPlugins]\r\n0=C:\\p\\a.wlx\r\n0_detect=EXT=\"A\"\r\n1=C:\\p\\b.wlx\r\n"
        "2=C:\\p\\c.wlx\r\n2_detect=EXT=\"C\"\r\n3=C:\\p\\d.wlx\r\n"
        "[PackerPlugins]\r\nzz=1,C:\\p\\z.wcx\r\n";
    for (const std::vector<int>& listOrder : {std::vector<int>{4, 1, 3}, {1, 3, 4}, {3, 4, 1}}) {
        Ini(original);
        LoadTable(false);
        ASSERT_TRUE(DisableOrEnableSelected(ProgramContext(), listOrder).Done());
        LoadTable(false);
        std::vector<int> disabled;
        for (int row = Table().Count(); row >= 1; --row)
            if (EntryAt(row).Disabled)
                disabled.push_back(row);
        ASSERT_EQ(disabled.size(), 3u);
        std::swap(disabled[0], disabled[1]); // yet another order
        ASSERT_TRUE(DisableOrEnableSelected(ProgramContext(), disabled).Done());
        EXPECT_EQ(Ini(), original);
    }
}

} // namespace
} // namespace varnel
