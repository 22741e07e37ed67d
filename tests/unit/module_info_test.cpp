#include "catalog/catalog_options.h"
#include "catalog/module_facts_store.h"
#include "catalog/module_info.h"
#include "platform/process.h"

#include "catalog/module_probe.h"
#include "message_log.h"
#include "platform/system.h"
#include "sample_plugins.h"
#include "temp_prefix.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>

namespace varnel {
namespace {

namespace fs = std::filesystem;

using test::ModuleBuild;

class ModuleInfoTest : public ::testing::Test {
protected:
    void SetUp() override {
        CatalogSettings() = CatalogOptions{};
        m_previousSleep = platform::SetSleepHandler([this](unsigned ms) { slept += ms; });
        LoadMessagesForTest();
    }
    void TearDown() override {
        platform::SetSleepHandler(m_previousSleep);
        SetProbeTimeoutMs(15000);
        CatalogSettings() = CatalogOptions{};
    }
    static void LoadMessagesForTest() { ResetMessageStore(); }
    std::string Native(std::string_view name, std::string_view as = {}) {
        return test::InstallSample(prefix.Dir(), ModuleBuild::Native, name, "plugins", as);
    }
    std::string Windows(std::string_view name, std::string_view as = {}) {
        return test::InstallSample(prefix.Dir(), ModuleBuild::Windows, name, "plugins", as);
    }

    test::TempPrefix prefix;
    unsigned slept = 0;
    platform::SleepHandler m_previousSleep;
};

// The store of module facts is the program's own file, but a damaged one must not be believed:
// it is read whole or not at all, however it was cut or whatever its counts claim.
TEST(ModuleFactsStore, IsReadWholeOrNotAtAll) {
    ModuleFactsFile facts;
    facts.modules["C:\\TC\\plugins\\wlx\\Gr\xF6\xDF"
                  "e\\a.wlx"] = {{1, 2, 3, -4}, 0x8664, std::string("VS\0\1", 4)};
    facts.modules["C:\\TC\\b.wlx"] = {{5, 6, 7, 8}, 0x14C, ""};
    const std::string bytes = EncodeModuleFacts(facts);
    const std::optional<ModuleFactsFile> back = DecodeModuleFacts(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->modules.size(), 2u);
    const ModuleFacts& first = back->modules.at("C:\\TC\\plugins\\wlx\\Gr\xF6\xDF"
                                                "e\\a.wlx");
    EXPECT_TRUE(first.stamp == (platform::FileStamp{1, 2, 3, -4}));
    EXPECT_EQ(first.machine, 0x8664);
    EXPECT_EQ(first.versionInfo, std::string("VS\0\1", 4));
    EXPECT_TRUE(DecodeModuleFacts(EncodeModuleFacts({})));
    for (size_t cut = 0; cut < bytes.size(); ++cut)
        EXPECT_FALSE(DecodeModuleFacts(bytes.substr(0, cut))) << cut;
    EXPECT_FALSE(DecodeModuleFacts(bytes + "x"));
    // A count beyond the limit is refused before anything is read for it.
    std::string huge = EncodeModuleFacts({});
    huge.replace(huge.size() - 4, 4, "\xFF\xFF\xFF\x7F");
    EXPECT_FALSE(DecodeModuleFacts(huge));
}

TEST_F(ModuleInfoTest, KindByExtensionWithoutLoading) {
    prefix.Write("drive_c/plugins/VIEW.WLX", "not a module at all");
    prefix.Write("drive_c/plugins/a.WCX", "x");
    prefix.Write("drive_c/plugins/b.wfx", "x");
    prefix.Write("drive_c/plugins/c.Wdx", "x");
    prefix.Write("drive_c/my.dir/module", "x");
    prefix.Write("drive_c/plugins/text.dll", "plain text");
    EXPECT_EQ(PluginKindOfFile("C:\\plugins\\VIEW.WLX"), kLister);
    EXPECT_EQ(PluginKindOfFile("C:\\plugins\\a.WCX"), kPacker);
    EXPECT_EQ(PluginKindOfFile("C:\\plugins\\b.wfx"), kFileSystem);
    EXPECT_EQ(PluginKindOfFile("C:\\plugins\\c.Wdx"), kContent);
    EXPECT_EQ(PluginKindOfFile("C:\\my.dir\\module"), kNoPlugin);
    EXPECT_EQ(PluginKindOfFile("C:\\plugins\\missing.wlx"), kNoPlugin);
    EXPECT_EQ(PluginKindOfFile("C:\\plugins\\text.dll"), kNoPlugin);
}

TEST_F(ModuleInfoTest, KindOfADllByItsEntryPoints) {
    for (ModuleBuild build : {ModuleBuild::Windows, ModuleBuild::Native}) {
        if (build == ModuleBuild::Windows && !test::HaveWindowsSamples())
            continue;
        std::string folder = build == ModuleBuild::Windows ? "pe" : "elf";
        auto path = [&](std::string_view name) {
            return test::InstallSample(prefix.Dir(), build, name, folder);
        };
        EXPECT_EQ(PluginKindOfFile(path("both.dll")), kFileSystem) << folder;
        EXPECT_EQ(PluginKindOfFile(path("lister_packer.dll")), kLister) << folder;
        EXPECT_EQ(PluginKindOfFile(path("packer_only.dll")), kPacker) << folder;
        EXPECT_EQ(PluginKindOfFile(path("none.dll")), kNoPlugin) << folder;
    }
}

TEST_F(ModuleInfoTest, VersionTextsOfWindowsModules) {
    if (!test::HaveWindowsSamples())
        GTEST_SKIP() << "MinGW-w64 samples not built";
    std::string lister = Windows("sample_lister.wlx");
    std::string packer = Windows("sample_packer.wcx");
    std::string content = Windows("sample_content.wdx");
    EXPECT_EQ(ReadVersionText(lister), "1.2.3.4");
    EXPECT_EQ(ReadVersionText(lister, "FileDescription"), "Sample Lister");
    EXPECT_EQ(ReadVersionText(lister, "InternalName"), "lister");
    EXPECT_EQ(ReadVersionText(packer), "2.10.0.77");
    EXPECT_EQ(ReadVersionText(packer, "ProductVersion"), "2.10 beta"); // 040904e4
    // The first translation decides: German before English.
    EXPECT_EQ(ReadVersionText(content, "FileDescription"), "Beispiel-Inhalt");
    EXPECT_EQ(ReadVersionText(content, "ProductVersion"), "4.5");
    EXPECT_EQ(ReadVersionText(Windows("none.dll")), "");
    EXPECT_EQ(ReadVersionText(Windows("none.dll"), "FileDescription"), "");
    EXPECT_EQ(ReadVersionText("C:\\plugins\\missing.wlx"), "");
    EXPECT_EQ(ReadVersionText(Native("sample_lister.wlx", "native.wlx")), "");
}

TEST_F(ModuleInfoTest, DisplayNamesFollowShowNames) {
    if (!test::HaveWindowsSamples())
        GTEST_SKIP() << "MinGW-w64 samples not built";
    std::string lister = Windows("sample_lister.wlx");
    std::string fs = Windows("sample_fs.wfx"); // its description is one character long
    EXPECT_EQ(PluginDisplayName(lister), "Sample Lister");
    EXPECT_EQ(PluginDisplayName(fs), "sample_fs");
    CatalogSettings().showNames = 0;
    EXPECT_EQ(PluginDisplayName(lister), "sample_lister.wlx");
    EXPECT_EQ(PluginDisplayName("C:\\p\\arc.wcx"), "arc.wcx");
    CatalogSettings().showNames = 1;
    EXPECT_EQ(PluginDisplayName(lister), "sample_lister");
}

TEST_F(ModuleInfoTest, NativeQueriesAnswerThroughTheProbe) {
    QueryStatus status;
    EXPECT_EQ(QueryPackerCaps(Native("sample_packer.wcx"), &status), 285);
    EXPECT_EQ(status, QueryStatus::Answered);
    EXPECT_EQ(QueryListerDetectString(Native("sample_lister.wlx"), &status), "EXT=\"TXT\" | EXT=\"LOG\"");
    EXPECT_EQ(status, QueryStatus::Answered);
    // After a detect string the module gets its moment before it is let go, in the helper: the
    // program does not wait for it.
    const std::string log = prefix.Path("drive_c/released.txt");
    setenv("VARNEL_TEST_RELEASE_LOG", log.c_str(), 1);
    EXPECT_EQ(QueryListerDetectString(Native("timed.wlx"), &status), "EXT=\"TIMED\"");
    unsetenv("VARNEL_TEST_RELEASE_LOG");
    EXPECT_EQ(slept, 0u);
    std::string released;
    for (int i = 0; i < 1000 && released.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::ifstream in(log);
        std::getline(in, released);
    }
    EXPECT_GE(std::atoi(released.c_str()), 50) << released;
    EXPECT_EQ(QueryContentDetectString(Native("sample_content.wdx"), &status), "MULTIMEDIA");
    EXPECT_EQ(QueryFsRootName(Native("sample_fs.wfx"), &status), "Sample FS");
    EXPECT_EQ(status, QueryStatus::Answered);
}

TEST_F(ModuleInfoTest, DefaultsWhenThereIsNoAnswer) {
    QueryStatus status;
    std::string none = Native("none.dll");
    EXPECT_EQ(QueryPackerCaps(none, &status), 0);
    EXPECT_EQ(status, QueryStatus::Default);
    EXPECT_EQ(QueryListerDetectString(none, &status), "");
    EXPECT_EQ(status, QueryStatus::Default);
    EXPECT_EQ(slept, 0u); // no entry point, no pause
    EXPECT_EQ(QueryFsRootName(none, &status), "none");
    EXPECT_EQ(QueryFsRootName("C:\\plugins\\gone.wfx", &status), "gone");
    EXPECT_EQ(status, QueryStatus::Default);
    prefix.Write("drive_c/plugins/garbage.wcx", "garbage");
    EXPECT_EQ(QueryPackerCaps("C:\\plugins\\garbage.wcx", &status), 0);
    EXPECT_EQ(status, QueryStatus::Default);
    // An empty root name from the module falls back to the file name.
    EXPECT_EQ(QueryFsRootName(Native("empty_root.wfx"), &status), "empty_root");
    EXPECT_EQ(status, QueryStatus::Answered);
}

TEST_F(ModuleInfoTest, CrashingEntryPointsAreContained) {
    test::MessageLog boxes;
    std::string crash = Native("crash.dll");
    QueryStatus status;
    EXPECT_EQ(QueryListerDetectString(crash, &status), "");
    EXPECT_EQ(status, QueryStatus::Fault);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].style, kStyleError | kMbTaskModal | kMbSetForeground);
    EXPECT_EQ(QueryContentDetectString(crash, &status), "");
    EXPECT_EQ(boxes.Boxes().size(), 2u);
    // Capability and root-name faults reach the caller instead of a box.
    EXPECT_EQ(QueryPackerCaps(crash, &status), 0);
    EXPECT_EQ(status, QueryStatus::Fault);
    EXPECT_EQ(QueryFsRootName(crash, &status), "crash");
    EXPECT_EQ(status, QueryStatus::Fault);
    EXPECT_EQ(boxes.Boxes().size(), 2u);
}

TEST_F(ModuleInfoTest, HangingEntryPointsAreKilled) {
    test::MessageLog boxes;
    SetProbeTimeoutMs(700);
    std::string hang = Native("hang.dll");
    QueryStatus status;
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(QueryPackerCaps(hang, &status), 0);
    EXPECT_EQ(status, QueryStatus::Fault);
    EXPECT_EQ(QueryListerDetectString(hang, &status), "");
    EXPECT_EQ(status, QueryStatus::Fault);
    EXPECT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
}

// Module questions go to one helper that stays. Each question gets the module freshly loaded:
// no answer comes from a module an earlier question left behind, and after a crash, a hang or a
// module that would not leave, the next question gets a new helper that answers right. An
// answer about an unchanged file is not asked again.
TEST_F(ModuleInfoTest, OneHelperStaysAndEveryQuestionGetsAFreshModule) {
    test::MessageLog boxes;
    EndProbeHelpers();
    const unsigned before = ProbeHelperStarts();
    auto started = [&] { return ProbeHelperStarts() - before; };
    auto touch = [&](const std::string& windowsPath) { // a changed file is asked again
        const std::string machine =
            prefix.Path("drive_c/plugins/" + windowsPath.substr(windowsPath.rfind('\\') + 1));
        fs::last_write_time(machine, fs::last_write_time(machine) + std::chrono::seconds(1));
    };
    QueryStatus status;
    EXPECT_EQ(QueryPackerCaps(Native("sample_packer.wcx"), &status), 285);
    const std::string lister = Native("sample_lister.wlx");
    EXPECT_EQ(QueryListerDetectString(lister, &status), "EXT=\"TXT\" | EXT=\"LOG\"");
    EXPECT_EQ(QueryFsRootName(Native("sample_fs.wfx"), &status), "Sample FS");
    EXPECT_EQ(started(), 1u);
    EXPECT_EQ(QueryListerDetectString(lister, &status), "EXT=\"TXT\" | EXT=\"LOG\"");
    EXPECT_EQ(status, QueryStatus::Answered);
    EXPECT_EQ(started(), 1u); // kept: asked of no helper

    // A module counts its calls: 1 each time means it was loaded anew.
    const std::string counting = Native("counting.wcx");
    EXPECT_EQ(QueryPackerCaps(counting, &status), 1);
    touch(counting);
    EXPECT_EQ(QueryPackerCaps(counting, &status), 1);
    EXPECT_EQ(started(), 1u);
    // One that pins itself in the process ends its helper.
    const std::string pinned = Native("pinned.wcx");
    EXPECT_EQ(QueryPackerCaps(pinned, &status), 1);
    touch(pinned);
    EXPECT_EQ(QueryPackerCaps(pinned, &status), 1);
    EXPECT_EQ(started(), 2u);

    // After a crash and after a hang, the next question is answered right by a new helper.
    EXPECT_EQ(QueryPackerCaps(Native("crash.dll"), &status), 0);
    EXPECT_EQ(status, QueryStatus::Fault);
    touch(counting);
    EXPECT_EQ(QueryPackerCaps(counting, &status), 1);
    EXPECT_EQ(started(), 4u);
    SetProbeTimeoutMs(700);
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_EQ(QueryPackerCaps(Native("hang.dll"), &status), 0);
    EXPECT_EQ(status, QueryStatus::Fault);
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(5));
    touch(counting);
    EXPECT_EQ(QueryPackerCaps(counting, &status), 1);
    EXPECT_EQ(status, QueryStatus::Answered);
    EXPECT_EQ(started(), 5u);
    EXPECT_TRUE(boxes.Boxes().empty());
}

// A detect string's module is let go after its pause while the next question, about another file,
// goes on. The same file asked again still gets a module loaded afresh, and a module that will not
// leave or that crashes as it is let go costs a fresh helper, never a wrong answer to the question
// that was under way.
TEST_F(ModuleInfoTest, QuestionsGoOnWhileTheModuleBeforeIsLetGo) {
    test::MessageLog boxes;
    const std::string hold = prefix.Path("drive_c/hold"), fell = prefix.Path("drive_c/fell");
    setenv("VARNEL_TEST_HOLD", hold.c_str(), 1);
    setenv("VARNEL_TEST_FELL", fell.c_str(), 1);
    EndProbeHelpers();
    const unsigned before = ProbeHelperStarts();
    auto touch = [&](const std::string& windowsPath) {
        const std::string machine =
            prefix.Path("drive_c/plugins/" + windowsPath.substr(windowsPath.rfind('\\') + 1));
        fs::last_write_time(machine, fs::last_write_time(machine) + std::chrono::seconds(1));
    };
    QueryStatus status;
    const std::string counting = Native("counting.wlx");
    for (int round = 0; round < 5; ++round) { // more than the helper lets go at once
        EXPECT_EQ(QueryListerDetectString(counting, &status), "EXT=\"1\"") << round;
        EXPECT_EQ(QueryListerDetectString(
                      Native("sample_lister.wlx", "other" + std::to_string(round) + ".wlx"), &status),
                  "EXT=\"TXT\" | EXT=\"LOG\"");
        touch(counting);
    }
    EXPECT_EQ(ProbeHelperStarts() - before, 1u);
    // The slow module's question is under way, or about to begin, when the module before crashes.
    EXPECT_EQ(QueryListerDetectString(Native("falls.wlx"), &status), "EXT=\"1\"");
    std::atomic<bool> answered = false;
    std::string slow;
    std::thread asking([&] {
        slow = QueryListerDetectString(Native("slow.wlx"), &status);
        answered = true;
    });
    for (int i = 0; i < 6000 && !answered; ++i) {
        if (fs::exists(fell))
            fs::remove(hold); // each try of the slow question makes it anew
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    asking.join();
    EXPECT_EQ(slow, "EXT=\"SLOW\"");
    EXPECT_EQ(status, QueryStatus::Answered);
    EXPECT_TRUE(fs::exists(fell));
    const std::string pinned = Native("pinned.wlx");
    EXPECT_EQ(QueryListerDetectString(pinned, &status), "EXT=\"1\"");
    touch(pinned);
    EXPECT_EQ(QueryListerDetectString(pinned, &status), "EXT=\"1\"");
    EXPECT_EQ(ProbeHelperStarts() - before, 3u); // after the crash, and after the pin
    unsetenv("VARNEL_TEST_HOLD");
    unsetenv("VARNEL_TEST_FELL");
    EXPECT_TRUE(boxes.Boxes().empty());
}

// The user interface watches every wait for a helper and may stop it: the query then answers
// the default at once, says it was cancelled, and shows no message.
TEST_F(ModuleInfoTest, WaitsForTheHelperCanBeCancelled) {
    test::MessageLog boxes;
    std::vector<unsigned> turns;
    int ends = 0;
    QueryStatus status;
    std::chrono::steady_clock::duration took{};
    {
        test::WaitWatch watch([&](unsigned elapsedMs, bool ended) {
            ends += ended ? 1 : 0;
            if (!ended)
                turns.push_back(elapsedMs);
            return elapsedMs >= 200;
        });
        auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(QueryPackerCaps(Native("hang.dll"), &status), 0);
        took = std::chrono::steady_clock::now() - started;
    }
    EXPECT_EQ(status, QueryStatus::Cancelled);
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_LT(took, std::chrono::seconds(3));
    ASSERT_GE(turns.size(), 5u); // watched all along, not only at the end
    EXPECT_TRUE(std::is_sorted(turns.begin(), turns.end()));
    EXPECT_EQ(ends, 1);
}

} // namespace
} // namespace varnel
