// Installing module files without the window: confirmation, preset extensions, duplicates.

#include "ops/install.h"

#include "app/settings.h"
#include "catalog/host_config.h"
#include "catalog/plugin_table.h"
#include "install_request.h"
#include "lang/language.h"
#include "message_log.h"
#include "ops/history.h"
#include "platform/system.h"
#include "sample_plugins.h"
#include "scripted_dialogs.h"
#include "temp_prefix.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace varnel {
namespace {

class InstallTest : public ::testing::Test {
protected:
    void SetUp() override {
        AppSettings() = Settings{};
        AppSettings().InstTweak = false;
        ResetMessageStore();
        SetHostPaths("C:\\TC\\Totalcmd.exe", "C:\\TC\\wincmd.ini");
        prefix.Write("drive_c/TC/wincmd.ini", "[Configuration]\r\n");
        m_sleep = platform::SetSleepHandler([](unsigned) {});
    }
    void TearDown() override {
        platform::SetSleepHandler(m_sleep);
        ClearTable();
        AppSettings() = Settings{};
    }
    std::string Native(std::string_view name, std::string_view as = {}) {
        return test::InstallSample(prefix.Dir(), test::ModuleBuild::Native, name, "p", as);
    }
    std::string Ini() const { return prefix.Read("drive_c/TC/wincmd.ini"); }

    test::TempPrefix prefix;
    test::MessageLog boxes;
    test::ScriptedDialogs dialogs;
    platform::SleepHandler m_sleep;
};

TEST_F(InstallTest, PresetExtensionsAskNothing) {
    InstallPlugin(ProgramContext(),
                  test::Install(Native("sample_packer.wcx"), false, false, "zip,arj", false));
    EXPECT_TRUE(dialogs.associationRequests.empty());
    EXPECT_EQ(Ini(), "[Configuration]\r\n[PackerPlugins]\r\nzip=285,C:\\p\\sample_packer.wcx\r\narj=285,C:"
                     "\\p\\sample_packer.wcx\r\n");
    ASSERT_EQ(boxes.Boxes().size(), 1u); // message 63, the only box
    EXPECT_EQ(boxes.Boxes()[0].style, kStyleInformation | kMbSetForeground);
}

TEST_F(InstallTest, CancelledConfirmationWritesNothing) {
    boxes.SetAnswer(kIdCancel);
    InstallPlugin(ProgramContext(), test::Install(Native("sample_fs.wfx"), true, true, "", true));
    EXPECT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].style, kStyleQuestion | kMbSetForeground);
    EXPECT_EQ(Ini(), "[Configuration]\r\n");
}

TEST_F(InstallTest, ExtensionsThatCannotBeKeysWriteNothing) {
    InstallPlugin(ProgramContext(),
                  test::Install(Native("sample_packer.wcx"), false, false, "zip,a=b", false));
    dialogs.associations.push_back(std::string("7z, [cab]"));
    InstallPlugin(ProgramContext(), test::Install(Native("sample_packer.wcx"), false, false, "", false));
    EXPECT_EQ(Ini(), "[Configuration]\r\n");
    ASSERT_EQ(boxes.Boxes().size(), 2u);
    EXPECT_EQ(boxes.Boxes()[1].style, kStyleError | kMbSetForeground);
}

// Another program writes the configuration while the command waits for the user (here at the
// question whether to register without the helper's answer): what it wrote is kept, and a
// change to the section the command edits too stops the command with nothing written.
TEST_F(InstallTest, WritesOfAnotherProgramMeanwhileAreKept) {
    if (!test::HaveWindowsSamples())
        GTEST_SKIP() << "needs the Windows samples";
    setenv("VARNEL_WINE", "/nonexistent/wine", 1); // the helper cannot run: the question comes
    std::string packer =
        test::InstallSample(prefix.Dir(), test::ModuleBuild::Windows, "sample_packer.wcx", "p");
    const std::string ini = prefix.Path("drive_c/TC/wincmd.ini");
    // While the first box is open, another process runs `shell` on the configuration.
    auto meanwhile = [&](std::string shell) {
        boxes.whileShown = [&, shell](const test::ShownBox&) {
            EXPECT_EQ(std::system((shell + " '" + ini + "'").c_str()), 0);
            boxes.whileShown = nullptr;
        };
    };
    meanwhile("printf '[left]\\r\\npath=C:\\\\\\r\\n' >>");
    InstallPlugin(ProgramContext(), test::Install(packer, false, false, "zip", false));
    EXPECT_EQ(
        Ini(),
        "[Configuration]\r\n[left]\r\npath=C:\\\r\n[PackerPlugins]\r\nzip=0,C:\\p\\sample_packer.wcx\r\n");

    meanwhile("printf '[PackerPlugins]\\r\\nzip=5,C:\\\\z.wcx\\r\\n' >");
    InstallPlugin(ProgramContext(), test::Install(packer, false, false, "7z", false));
    unsetenv("VARNEL_WINE");
    EXPECT_EQ(Ini(), "[PackerPlugins]\r\nzip=5,C:\\z.wcx\r\n"); // theirs, and nothing of ours
    EXPECT_EQ(boxes.Boxes().back().style, kStyleError | kMbSetForeground);
}

TEST_F(InstallTest, KnownModuleWithoutReportingCountsAsInstalled) {
    std::string lister = Native("sample_lister.wlx");
    InstallPlugin(ProgramContext(), test::Install(lister, false, false, "", false));
    std::string once = Ini();
    InstallPlugin(ProgramContext(), test::Install(lister, false, false, "", false));
    EXPECT_EQ(Ini(), once); // nothing written the second time
    ASSERT_EQ(boxes.Boxes().size(), 2u);
    EXPECT_EQ(boxes.Boxes()[1].style, kStyleInformation | kMbSetForeground); // reported as installed
}

// What an install came to is its result, and only one that is done leaves anything: its one
// record, naming the files it wrote. A command made of installs (as varnel's install with its
// options, or a repair) fails whole when one of them fails.
TEST_F(InstallTest, TheResultSaysWhatCameOfItAndOnlyDoneLeavesARecord) {
    prefix.Write("drive_c/Varnel/TC_varnel.ini", "");
    StartHistory("C:\\Varnel\\history");
    const std::string packer = Native("sample_packer.wcx");
    const std::string before = Ini();

    boxes.SetAnswer(kIdCancel);
    Result refused = InstallPlugin(ProgramContext(), test::Install(packer, true, false, "zip", false));
    EXPECT_EQ(refused.code, Outcome::Refused);
    boxes.SetAnswer(kIdOk);
    Result failed = InstallPlugin(ProgramContext(), test::Install(packer, false, false, "zip,a=b", false));
    EXPECT_EQ(failed.code, Outcome::Failed);
    EXPECT_EQ(failed.text, boxes.Boxes().back().text); // the box that said why
    for (const Result& result : {refused, failed})
        EXPECT_TRUE(result.records.empty() && result.files.empty());
    EXPECT_EQ(Ini(), before);
    EXPECT_TRUE(LoadHistory(false).empty());

    {
        CommandRun whole(ProgramContext(), "two installs");
        EXPECT_TRUE(InstallPlugin(whole.Here(), test::Install(packer, false, false, "zip", false)).Done());
        EXPECT_EQ(
            InstallPlugin(whole.Here(), test::Install(Native("none.dll"), false, false, "", false)).code,
            Outcome::Failed);
        const Result result = whole.Finish();
        EXPECT_EQ(result.code, Outcome::Failed);
        EXPECT_TRUE(result.records.empty());
    }
    EXPECT_EQ(Ini(), before);
    EXPECT_TRUE(LoadHistory(false).empty());

    Result done = InstallPlugin(ProgramContext(), test::Install(packer, false, false, "zip", false));
    ASSERT_TRUE(done.Done()) << static_cast<int>(done.code);
    ASSERT_EQ(LoadHistory(false).size(), 1u);
    EXPECT_EQ(done.records, std::vector<uint64_t>{LoadHistory(false).back().id});
    EXPECT_EQ(done.files, std::vector<std::string>{"C:\\TC\\wincmd.ini"});
    EXPECT_NE(Ini(), before);
    StartHistory("");
}

} // namespace
} // namespace varnel
