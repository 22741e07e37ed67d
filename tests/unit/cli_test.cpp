// The built varnel, run as a script runs it, on generated hosts: its edits of wincmd.ini are the
// window's own (the same command code run in this process on a twin host gives the same bytes),
// questions without their options and hostile names write nothing, and --json has the documented
// fields.

#include "app/settings.h"
#include "archive_maker.h"
#include "catalog/host_config.h"
#include "catalog/plugin_table.h"
#include "catalog/registration.h"
#include "cli_run.h"
#include "demo_host.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "message_log.h"
#include "ops/plugin_commands.h"
#include "platform/codepage.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "prefix_switch.h"
#include "sample_plugins.h"
#include "temp_prefix.h"
#include "util/text.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <nlohmann/json.hpp>
#include <poll.h>
#include <regex>
#include <set>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace varnel {
namespace {

namespace fs = std::filesystem;

using test::CliRun;

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::MakeDemoHost(prefix) || !test::MakeDemoHost(twin))
            GTEST_SKIP() << "the demo host needs the Windows pieces (MinGW-w64)";
        for (const test::TempPrefix* each : {&prefix, &twin})
            each->Write("TC_varnel.ini",
                        "[Paths]\r\nTCPath=C:\\totalcmd\\TOTALCMD.EXE\r\nIniPath=C:\\totalcmd\\wincmd.ini\r\n"
                        "[Options]\r\nRegisterExt=0\r\n");
    }
    void TearDown() override {
        ClearTable();
        AppSettings() = Settings{};
    }
    std::string Ini(const test::TempPrefix& which) const { return which.Read("drive_c/totalcmd/wincmd.ini"); }
    // The window's command code on the twin host, in this process, with every question answered OK.
    void InWindow(const std::function<void()>& command) {
        test::PrefixSwitch to;
        to.SwitchTo(twin.Dir());
        test::MessageLog boxes;
        AppSettings().TCPath = test::kDemoHostExe;
        AppSettings().IniPath = test::kDemoHostIni;
        SetHostPaths(test::kDemoHostExe, test::kDemoHostIni);
        platform::ResetProfileCache();
        LoadTable(false);
        command();
    }
    int Row(std::string_view fileName) {
        for (int row = 1; row <= Table().Count(); ++row)
            if (EqualsNoCaseAnsi(FileNamePart(EntryAt(row).FileName), fileName))
                return row;
        return 0;
    }

    test::TempPrefix prefix;
    test::TempPrefix twin;
};

// Each command leaves the file exactly as the window's command leaves it.
TEST_F(CliTest, EditsAreTheWindowsOwnByteForByte) {
    struct Step {
        std::vector<std::string> args;
        std::function<void()> window;
    };
    const std::vector<Step> steps = {
        // By the name list shows, which the editing commands read from the module.
        {{"disable", "--yes", "Sample Lister"},
         [&] { DisableOrEnableSelected(ProgramContext(), {Row("sample_lister.wlx")}); }},
        {{"enable", "old_viewer.wlx", "sample_lister.wlx"},
         [&] {
             DisableOrEnableSelected(ProgramContext(), {Row("old_viewer.wlx"), Row("sample_lister.wlx")});
         }},
        {{"rename", "fs:Sample FS", "Beispiel FS"},
         [&] {
             HostConfigTransaction transaction;
             SetAssociation(Row("sample_fs.wfx"), "Beispiel FS");
             transaction.Commit();
         }},
        // The terminal's UTF-8 is written as the window writes it: ANSI where it can be.
        {{"rename", "fs:Beispiel FS",
          "Gr\xC3\xB6\xC3\x9F"
          "e FS"},
         [&] {
             HostConfigTransaction transaction;
             SetAssociation(Row("sample_fs.wfx"), "Gr\xF6\xDF"
                                                  "e FS");
             transaction.Commit();
         }},
        {{"disable", "--yes",
          "fs:Gr\xC3\xB6\xC3\x9F"
          "e FS"},
         [&] { DisableOrEnableSelected(ProgramContext(), {Row("sample_fs.wfx")}); }},
        {{"uninstall", "--yes", "content:1"},
         [&] { UninstallSelected(ProgramContext(), {Row("lost.wdx")}); }},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.args.front());
        CliRun run = Varnel(prefix, step.args);
        EXPECT_EQ(run.exit, 0) << run.err;
        InWindow(step.window);
        EXPECT_EQ(Ini(prefix), Ini(twin));
    }
    // Tweak and order write what the dialogs write; both hosts now agree, and the result is checked.
    CliRun tweak = Varnel(prefix, {"tweak", "packer:smp", "smp=279", "+zz=1", "-sp2"});
    EXPECT_EQ(tweak.exit, 0) << tweak.err;
    EXPECT_NE(Ini(prefix).find("smp=279,%COMMANDER_PATH%\\plugins\\wcx\\sample_packer\\sample_packer.wcx\r\n"
                               "spk=285,%COMMANDER_PATH%\\plugins\\wcx\\sample_packer\\sample_packer.wcx\r\n"
                               "zz=1,%COMMANDER_PATH%"),
              std::string::npos)
        << Ini(prefix);
    EXPECT_EQ(Ini(prefix).find("sp2="), std::string::npos);
    CliRun order = Varnel(prefix, {"order", "lister", "old_viewer.wlx"});
    EXPECT_EQ(order.exit, 0) << order.err;
    EXPECT_NE(Ini(prefix).find(
                  "0=%COMMANDER_PATH%\\plugins\\wlx\\old_viewer\\old_viewer.wlx\r\n0_detect=EXT=\"INI\"\r\n"
                  "1=%COMMANDER_PATH%\\plugins\\wlx\\sample_lister"),
              std::string::npos)
        << Ini(prefix);

    // An install from a module file of this machine, a packer with its extensions from the option.
    const std::string packer = test::SamplePluginFile(test::ModuleBuild::Native, "sample_packer.wcx");
    fs::copy_file(packer, prefix.Path("drive_c/native.wcx"));
    CliRun install =
        Varnel(prefix, {"install", "--extensions", "nat,ive", prefix.Path("drive_c/native.wcx")});
    EXPECT_EQ(install.exit, 0) << install.err;
    EXPECT_NE(Ini(prefix).find("nat=285,C:\\native.wcx\r\nive=285,C:\\native.wcx\r\n"), std::string::npos)
        << Ini(prefix);
    // A Windows path typed with "/", as file dialogs and scripts give it, is the same path.
    fs::create_directories(prefix.Path("drive_c/Down loads"));
    fs::copy_file(packer, prefix.Path("drive_c/Down loads/fwd.wcx"));
    CliRun forward = Varnel(prefix, {"install", "--extensions", "fwd", "C:/Down loads/fwd.wcx"});
    EXPECT_EQ(forward.exit, 0) << forward.err;
    EXPECT_NE(Ini(prefix).find("fwd=285,C:\\Down loads\\fwd.wcx\r\n"), std::string::npos) << Ini(prefix);
}

// A question without its option ends with exit code 2 and writes nothing; so does a name that
// fits several plugins. Names that would break the file fail with 1, a missing host with 4.
TEST_F(CliTest, UnansweredQuestionsAndHostileNamesWriteNothing) {
    const std::string before = Ini(prefix);
    struct Case {
        std::vector<std::string> args;
        int exit;
        const char* says;
    };
    const std::string packer = test::SamplePluginFile(test::ModuleBuild::Native, "sample_packer.wcx");
    const std::vector<Case> cases = {
        {{"uninstall", "sample_fs.wfx"}, 2, "--yes"},
        {{"disable", "sample_fs.wfx"}, 2, "Disable the plugin \"sample_fs\"?"},
        {{"disable", "sample_fs.wfx", "sample_lister.wlx"}, 2, "Disable the 2 selected plugins?"},
        {{"enable", "sample_fs.wfx"}, 0, "sample_fs is enabled already."},
        {{"install", packer}, 2, "--extensions"},
        {{"rename", "fs:Sample FS", "a=b"}, 1, "cannot be used"},
        {{"rename", "fs:Sample FS", "x\ny"}, 1, "cannot be used"},
        {{"tweak", "packer:smp", "+[y=1"}, 1, "cannot be used"},
        {{"tweak", "packer:smp", "+spk=1"}, 1, "in the list already"},
        {{"show", "nothing.wlx"}, 1, "No plugin"},
        {{"show", "lister:7"}, 1, "No plugin"},
        {{"--host", "C:\\nowhere\\TOTALCMD.EXE", "list"}, 4, "not found"},
        {{"--ini", "C:\\windows", "list"}, 4, "is a folder or a special file"},
        {{"--ini", "Z:\\dev\\zero", "disable", "--yes", "lister:0"}, 4, "is a folder or a special file"},
        {{"list", "--kind", "viewer"}, 2, "--kind"},
        {{"frobnicate"}, 2, ""},
    };
    static const std::map<int, std::string> kCodes = {
        {0, "done"}, {1, "failed"}, {2, "usage"}, {4, "not-found"}};
    for (const Case& c : cases) {
        CliRun run = Varnel(prefix, c.args);
        EXPECT_EQ(run.exit, c.exit) << c.args.front() << ": " << run.err;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        EXPECT_EQ(Ini(prefix), before) << c.args.front();
        // The same with --json: one object on standard output that says what the exit code says.
        std::vector<std::string> json = {"--json"};
        json.insert(json.end(), c.args.begin(), c.args.end());
        CliRun asJson = Varnel(prefix, json);
        EXPECT_EQ(asJson.exit, c.exit) << c.args.front();
        const nlohmann::json said = nlohmann::json::parse(asJson.out, nullptr, false);
        ASSERT_TRUE(said.is_object()) << c.args.front() << ": " << asJson.out;
        if (c.exit != 0) {
            EXPECT_FALSE(said["ok"].get<bool>()) << asJson.out;
            EXPECT_EQ(said["code"], kCodes.at(c.exit)) << asJson.out;
            EXPECT_FALSE(said["message"].get<std::string>().empty()) << asJson.out;
        }
        EXPECT_EQ(Ini(prefix), before) << c.args.front();
    }
    // An archive whose entry names a device is refused before anything is unpacked, through the
    // built tool too; nothing anywhere in the prefix changes.
    test::WriteZip(prefix.Path("drive_c/devices.zip"), {{"view.wlx", "MZ"}, {"sub/COM1.wlx", "x"}});
    const auto everything = test::Digest(prefix.Dir());
    CliRun device = Varnel(prefix, {"install", "--yes", "C:\\devices.zip"});
    EXPECT_EQ(device.exit, 1) << device.err;
    EXPECT_NE(device.err.find("\"sub/COM1.wlx\", which would land outside"), std::string::npos) << device.err;
    EXPECT_EQ(test::Digest(prefix.Dir()), everything);
    // A settings file that is a folder is refused, not taken for defaults.
    fs::create_directories(prefix.Dir() + "/folder.ini");
    test::CliOptions folderSettings;
    folderSettings.settings = prefix.Dir() + "/folder.ini";
    CliRun unreadable = Varnel(prefix, {"--json", "disable", "--yes", "lister:0"}, folderSettings);
    EXPECT_EQ(unreadable.exit, 1) << unreadable.err;
    EXPECT_NE(unreadable.err.find("is a folder or a special file"), std::string::npos) << unreadable.err;
    EXPECT_EQ(nlohmann::json::parse(unreadable.out)["code"], "failed");
    EXPECT_EQ(Ini(prefix), before);
    // A helper that cannot run (here: no Wine) gives no answer; the default flags would be a
    // guess, which --yes does not write.
    setenv("VARNEL_WINE", "/nonexistent/wine", 1);
    CliRun guessed =
        Varnel(prefix, {"install", "--yes", "--extensions", "zz",
                        test::SamplePluginFile(test::ModuleBuild::Windows, "sample_packer.wcx")});
    unsetenv("VARNEL_WINE");
    EXPECT_EQ(guessed.exit, 1) << guessed.err;
    EXPECT_NE(guessed.err.find("could not be asked for its GetPackerCaps"), std::string::npos) << guessed.err;
    EXPECT_NE(guessed.err.find("nothing was registered"), std::string::npos) << guessed.err;
    EXPECT_EQ(Ini(prefix), before);
    EXPECT_EQ(Varnel(prefix, {"--json", "history"}).out, "[]\n");
    // Messages speak the language asked for.
    CliRun german = Varnel(prefix, {"--lang", "Deutsch", "uninstall", "sample_fs.wfx"});
    EXPECT_EQ(german.exit, 2);
    EXPECT_NE(german.err.find("deinstallieren"), std::string::npos) << german.err;
    EXPECT_NE(german.err.find("Mit --yes antworten"), std::string::npos)
        << german.err; // the tool's own words too
    CliRun unknown = Varnel(prefix, {"--lang", "Deutsch", "show",
                                     "Gr\xC3\xB6\xC3\x9F"
                                     "e"});
    EXPECT_NE(unknown.err.find("Kein Plugin hei\xC3\x9Ft \"Gr\xC3\xB6\xC3\x9F"
                               "e\""),
              std::string::npos)
        << unknown.err;

    // Ctrl+C while a module's question hangs: stopped at once, nothing written, exit code 1.
    fs::copy_file(test::SamplePluginFile(test::ModuleBuild::Native, "hang.dll"),
                  prefix.Path("drive_c/hang.wlx"));
    const auto started = std::chrono::steady_clock::now();
    CliRun stopped = Varnel(prefix, {"install", prefix.Path("drive_c/hang.wlx")},
                            {.interruptAfterMs = 1000, .maxFileBytes = -1, .settings = {}, .output = {}});
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(8));
    EXPECT_EQ(stopped.exit, 1) << stopped.err;
    EXPECT_NE(stopped.err.find("Ctrl+C"), std::string::npos) << stopped.err;
    EXPECT_EQ(Ini(prefix), before);

    // Another program writes the Lister section while an install waits for the module's answer
    // (the module holds the install until the file is written): nothing of the install is
    // written, the other program's change stays, exit code 3.
    fs::copy_file(test::SamplePluginFile(test::ModuleBuild::Native, "slow.wlx"),
                  prefix.Path("drive_c/slow.wlx"));
    std::string other = before;
    other.insert(other.find("[PackerPlugins]"), "5=C:\\other.wlx\r\n");
    const std::string hold = prefix.Path("drive_c/held");
    setenv("VARNEL_TEST_HOLD", hold.c_str(), 1);
    std::thread writer([&] {
        for (int i = 0; i < 6000 && !fs::exists(hold); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        prefix.Write("drive_c/totalcmd/wincmd.ini", other);
        fs::remove(hold);
    });
    CliRun conflict = Varnel(prefix, {"install", prefix.Path("drive_c/slow.wlx")});
    writer.join();
    unsetenv("VARNEL_TEST_HOLD");
    EXPECT_EQ(conflict.exit, 3) << conflict.err;
    EXPECT_NE(conflict.err.find("changed by another program"), std::string::npos) << conflict.err;
    EXPECT_EQ(Ini(prefix), other);
    prefix.Write("drive_c/totalcmd/wincmd.ini", before);

    // Two plugins with one file name in two folders: the candidates are listed by kind and key.
    std::string twoViewers = before;
    twoViewers.insert(twoViewers.find("[PackerPlugins]"), "1=C:\\elsewhere\\sample_lister.wlx\r\n");
    prefix.Write("drive_c/totalcmd/wincmd.ini", twoViewers);
    CliRun ambiguous = Varnel(prefix, {"show", "sample_lister.wlx"});
    EXPECT_EQ(ambiguous.exit, 2);
    EXPECT_NE(ambiguous.err.find("lister:0"), std::string::npos) << ambiguous.err;
    EXPECT_NE(ambiguous.err.find("lister:1"), std::string::npos) << ambiguous.err;
}

// --json lists every plugin with exactly the documented fields, in a UTF-16 file with a path
// outside the code page too, and for thousands of plugins.
// Twenty mixed changes made by the command-line tool are undone back to the very bytes the host
// had; the undos are in the history themselves, and taking one back makes its change again.
TEST_F(CliTest, TwentyChangesUndoToTheOriginalByteForByte) {
    const std::string packer = test::SamplePluginFile(test::ModuleBuild::Native, "sample_packer.wcx");
    fs::copy_file(packer, prefix.Path("drive_c/native.wcx"));
    const std::string original = Ini(prefix);
    const std::vector<std::vector<std::string>> changes = {
        {"disable", "--yes", "sample_lister.wlx"},
        {"enable", "sample_lister.wlx"},
        {"rename", "fs:Sample FS", "Beispiel FS"},
        {"tweak", "packer:smp", "smp=279"},
        {"enable", "old_viewer.wlx"},
        {"order", "lister", "old_viewer.wlx"},
        {"rename", "sample_lister.wlx", "EXT=\"TXT\""},
        {"tweak", "packer:smp", "+zz=1"},
        {"uninstall", "--yes", "content:1"},
        {"install", "--extensions", "nat", prefix.Path("drive_c/native.wcx")},
        {"disable", "--yes", "old_viewer.wlx"},
        {"tweak", "packer:smp", "-zz"},
        {"rename", "fs:Beispiel FS", "Drittes FS"},
        {"disable", "--yes", "sample_fs.wfx"},
        {"enable", "sample_fs.wfx"},
        {"tweak", "packer:smp", "spk=1"},
        {"tweak", "packer:nat", "nat=5"},
        {"uninstall", "--yes", "native.wcx"},
        {"rename", "sample_lister.wlx", "EXT=\"LOG\""},
        {"disable", "--yes", "sample_packer.wcx"},
    };
    std::vector<std::string> states = {original};
    for (const std::vector<std::string>& change : changes) {
        CliRun run = Varnel(prefix, change);
        ASSERT_EQ(run.exit, 0) << change.front() << ": " << run.err;
        ASSERT_NE(Ini(prefix), states.back()) << change.front() << " changed nothing";
        states.push_back(Ini(prefix));
    }
    CliRun history = Varnel(prefix, {"--json", "history"});
    ASSERT_EQ(history.exit, 0) << history.err;
    nlohmann::json records = nlohmann::json::parse(history.out);
    ASSERT_EQ(records.size(), changes.size());
    EXPECT_EQ(records[0]["description"], "Disabled Sample Lister");
    EXPECT_EQ(records[9]["description"], "Installed native.wcx");
    EXPECT_TRUE(std::regex_match(records[0]["time"].get<std::string>(),
                                 std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d)")))
        << records[0]["time"];

    // Three at a time, then the rest: each step lands on the state before those changes.
    CliRun three = Varnel(prefix, {"undo", "3"});
    ASSERT_EQ(three.exit, 0) << three.err;
    EXPECT_EQ(Ini(prefix), states[17]);
    CliRun rest = Varnel(prefix, {"undo", "30"});
    ASSERT_EQ(rest.exit, 0) << rest.err;
    EXPECT_EQ(Ini(prefix), original);
    CliRun nothing = Varnel(prefix, {"undo"});
    EXPECT_NE(nothing.err.find("There is no change to undo."), std::string::npos) << nothing.err;
    EXPECT_EQ(Ini(prefix), original);

    records = nlohmann::json::parse(Varnel(prefix, {"--json", "history"}).out);
    ASSERT_EQ(records.size(), 2 * changes.size());
    for (size_t i = 0; i < changes.size(); ++i)
        EXPECT_FALSE(records[i]["inEffect"].get<bool>()) << i;
    // The newest undo took back the first change: taking it back disables the lister again.
    const nlohmann::json& newest = records.back();
    EXPECT_EQ(newest["undoes"], records[0]["id"]);
    EXPECT_EQ(newest["description"], "Undid: Disabled Sample Lister");
    CliRun redo = Varnel(prefix, {"undo", "--to", std::to_string(newest["id"].get<uint64_t>())});
    ASSERT_EQ(redo.exit, 0) << redo.err;
    EXPECT_EQ(Ini(prefix), states[1]);
}

// Several undos in one command are whole or not at all: when another program has since changed
// what the oldest of them wrote, none is undone, nothing is recorded, and the exit code says
// conflict; without that change the same command undoes them all.
TEST_F(CliTest, SeveralUndosAreWholeOrNotAtAll) {
    const std::string original = Ini(prefix);
    for (const std::vector<std::string>& change :
         std::vector<std::vector<std::string>>{{"rename", "fs:Sample FS", "Zweites FS"},
                                               {"disable", "--yes", "sample_lister.wlx"},
                                               {"tweak", "packer:smp", "smp=279"}})
        ASSERT_EQ(Varnel(prefix, change).exit, 0) << change.front();
    const std::string changed = Ini(prefix);
    std::string edited = changed;
    const std::string fsKey = "Zweites FS=";
    ASSERT_NE(edited.find(fsKey), std::string::npos);
    edited.insert(edited.find(fsKey) + fsKey.size(), "C:\\elsewhere\\");
    prefix.Write("drive_c/totalcmd/wincmd.ini", edited);
    const auto everything = test::Digest(prefix.Dir());
    for (const std::vector<std::string>& undo :
         std::vector<std::vector<std::string>>{{"--json", "undo", "3"}, {"--json", "undo", "--to", "1"}}) {
        CliRun refused = Varnel(prefix, undo);
        EXPECT_EQ(refused.exit, 3) << refused.err;
        EXPECT_EQ(nlohmann::json::parse(refused.out)["code"], "conflict") << refused.out;
        EXPECT_EQ(test::Digest(prefix.Dir()), everything) << undo.back();
    }
    prefix.Write("drive_c/totalcmd/wincmd.ini", changed);
    CliRun all = Varnel(prefix, {"undo", "3"});
    ASSERT_EQ(all.exit, 0) << all.err;
    EXPECT_EQ(Ini(prefix), original);

    // A conflict in a file other than the host's (a copied module replaced since) is one too.
    const std::string packer = test::SamplePluginFile(test::ModuleBuild::Native, "sample_packer.wcx");
    fs::copy_file(packer, prefix.Path("drive_c/native.wcx"));
    CliRun install =
        Varnel(prefix, {"install", "--copy", "--extensions", "nat", prefix.Path("drive_c/native.wcx")});
    ASSERT_EQ(install.exit, 0) << install.err;
    const std::string copied = "drive_c/totalcmd/plugins/wcx/native/native.wcx";
    ASSERT_TRUE(prefix.Exists(copied));
    prefix.Write(copied, "MZ another build");
    CliRun conflict = Varnel(prefix, {"undo"});
    EXPECT_EQ(conflict.exit, 3) << conflict.err;
    EXPECT_NE(conflict.err.find("native.wcx"), std::string::npos) << conflict.err;
}

// A dry run writes nothing, not even a history record, and says the very keys the run then
// writes, for a command of several writes (an install with its options, the health check's
// repairs) too; a command that cannot tell without writing refuses it.
TEST_F(CliTest, ADryRunSaysWhatTheRunWritesAndWritesNothing) {
    fs::create_directories(prefix.Path("drive_c/totalcmd/plugins/wlx/extra"));
    fs::copy_file(test::SamplePluginFile(test::ModuleBuild::Native, "sample_lister.wlx"),
                  prefix.Path("drive_c/totalcmd/plugins/wlx/extra/extra.wlx"));
    auto previewMatchesTheRun = [&](const std::vector<std::string>& command) {
        SCOPED_TRACE(command.front());
        const auto before = test::Digest(prefix.Dir());
        const std::string ini = Ini(prefix);
        std::vector<std::string> dry = {"--json", "--dry-run"};
        dry.insert(dry.end(), command.begin(), command.end());
        const CliRun preview = Varnel(prefix, dry);
        ASSERT_EQ(preview.exit, 0) << preview.err;
        EXPECT_EQ(test::Digest(prefix.Dir()), before);
        EXPECT_EQ(preview.err.find("has been installed"), std::string::npos) << preview.err;
        const nlohmann::json said = nlohmann::json::parse(preview.out);
        EXPECT_TRUE(said["dryRun"].get<bool>());
        EXPECT_TRUE(said["changes"].empty());

        ASSERT_EQ(Varnel(prefix, command).exit, 0);
        std::set<std::string> written, told;
        const auto edits = platform::ProfileDifferences(ini, Ini(prefix));
        ASSERT_TRUE(edits);
        for (const platform::ProfileKeyEdit& edit : *edits)
            written.insert(platform::HostTextToUtf8(edit.section + "|" + edit.key + "|" +
                                                    edit.value.value_or("(removed)")));
        for (const auto& file : said["wouldWrite"])
            for (const auto& edit : file["edits"])
                told.insert(edit["section"].get<std::string>() + "|" + edit["key"].get<std::string>() + "|" +
                            (edit["value"].is_null() ? "(removed)" : edit["value"].get<std::string>()));
        EXPECT_FALSE(written.empty());
        EXPECT_EQ(told, written);
    };
    for (const auto& command : std::vector<std::vector<std::string>>{
             {"enable", "old_viewer.wlx"},
             {"order", "lister", "old_viewer.wlx"},
             {"disable", "--yes", "Sample Lister"},
             {"rename", "fs:Sample FS",
              "Gr\xC3\xB6\xC3\x9F"
              "e FS"},
             {"tweak", "packer:smp", "smp=279", "+zz=1", "-sp2"},
             {"uninstall", "--yes", "content:1"},
             {"undo", "3"},
             {"install", "--detect", "EXT=\"XTR\"", "C:\\totalcmd\\plugins\\wlx\\extra\\extra.wlx"},
         })
        previewMatchesTheRun(command);
    // The module goes: its registration is a dead one, which the health check removes. Another
    // lies in the plugin folder unregistered, which a repair installs: two writes, shown as one.
    fs::rename(prefix.Path("drive_c/totalcmd/plugins/wlx/extra"),
               prefix.Path("drive_c/totalcmd/plugins/wlx/more"));
    fs::rename(prefix.Path("drive_c/totalcmd/plugins/wlx/more/extra.wlx"),
               prefix.Path("drive_c/totalcmd/plugins/wlx/more/more.wlx"));
    std::string unregistered;
    const nlohmann::json health = nlohmann::json::parse(Varnel(prefix, {"--json", "doctor"}).out);
    for (const auto& finding : health["findings"])
        if (finding["kind"] == "not-installed")
            unregistered = std::to_string(finding["number"].get<int>());
    ASSERT_FALSE(unregistered.empty());
    previewMatchesTheRun({"doctor", "--fix", "--repair", unregistered});

    // An undo that would remove the module an install copied says so.
    fs::copy_file(test::SamplePluginFile(test::ModuleBuild::Native, "sample_lister.wlx"),
                  prefix.Path("drive_c/dl.wlx"));
    ASSERT_EQ(Varnel(prefix, {"install", "--copy", "C:\\dl.wlx"}).exit, 0);
    const auto installed = test::Digest(prefix.Dir());
    const CliRun undoInstall = Varnel(prefix, {"--json", "--dry-run", "undo"});
    ASSERT_EQ(undoInstall.exit, 0) << undoInstall.err;
    EXPECT_EQ(test::Digest(prefix.Dir()), installed);
    std::set<std::string> removed;
    const nlohmann::json toldUndo = nlohmann::json::parse(undoInstall.out);
    for (const auto& file : toldUndo["wouldWrite"])
        if (file.contains("removed"))
            removed.insert(LowerAscii(file["file"].get<std::string>()));
    EXPECT_EQ(removed, std::set<std::string>{"c:\\totalcmd\\plugins\\wlx\\dl\\dl.wlx"}) << undoInstall.out;
    EXPECT_NE(undoInstall.err.find("dl.wlx would be removed."), std::string::npos) << undoInstall.err;

    // An install that would copy the module first cannot be shown without copying it.
    fs::copy_file(test::SamplePluginFile(test::ModuleBuild::Native, "sample_lister.wlx"),
                  prefix.Path("drive_c/dl2.wlx"));
    const auto before = test::Digest(prefix.Dir());
    const CliRun install = Varnel(prefix, {"--dry-run", "install", "--copy", "C:\\dl2.wlx"});
    EXPECT_EQ(install.exit, 2) << install.err;
    EXPECT_NE(install.err.find("A dry run cannot show an install that copies"), std::string::npos)
        << install.err;
    EXPECT_EQ(test::Digest(prefix.Dir()), before);
    const CliRun report = Varnel(prefix, {"--dry-run", "report", "-"});
    EXPECT_EQ(report.exit, 2) << report.err;
}

// An undo leaves no trace the user did not have: the folder an install copied a module into goes
// with the module, and a section a change made goes when the undo empties it, although another
// program changed the file meanwhile. Taking the undo back makes both again.
TEST_F(CliTest, AnUndoLeavesNoEmptyFolderOrSection) {
    std::string ini = Ini(prefix);
    ini.erase(ini.find("[DisabledPlugins]"));
    prefix.Write("drive_c/totalcmd/wincmd.ini", ini);
    fs::create_directories(prefix.Path("drive_c/Down loads"));
    fs::copy_file(prefix.Path("drive_c/totalcmd/plugins/wlx/sample_lister/sample_lister.wlx"),
                  prefix.Path("drive_c/Down loads/dl.wlx"));
    // The host's files and folders but its configuration, which is compared by itself.
    const auto host = [&] {
        auto files = test::Digest(prefix.Path("drive_c/totalcmd"));
        files.erase(prefix.Path("drive_c/totalcmd/wincmd.ini"));
        return files;
    };
    const auto before = host();
    ASSERT_EQ(Varnel(prefix, {"install", "--copy", "--detect", "EXT=\"ZZ\"", "C:\\Down loads\\dl.wlx"}).exit,
              0);
    ASSERT_TRUE(fs::exists(prefix.Path("drive_c/totalcmd/plugins/wlx/dl/dl.wlx")));
    ASSERT_EQ(Varnel(prefix, {"disable", "--yes", "sample_lister.wlx"}).exit, 0);
    ASSERT_NE(Ini(prefix).find("[DisabledPlugins]"), std::string::npos);
    // Another program's key, in a section of its own.
    prefix.Write("drive_c/totalcmd/wincmd.ini", Ini(prefix) + "[Other]\r\nx=1\r\n");
    const CliRun undo = Varnel(prefix, {"undo", "2"});
    ASSERT_EQ(undo.exit, 0) << undo.err;
    EXPECT_EQ(host(), before);
    EXPECT_EQ(Ini(prefix), ini + "[Other]\r\nx=1\r\n");

    const nlohmann::json records = nlohmann::json::parse(Varnel(prefix, {"--json", "history"}).out);
    uint64_t undidInstall = 0;
    for (const auto& record : records)
        if (record["description"].get<std::string>().starts_with("Undid: Installed"))
            undidInstall = record["id"].get<uint64_t>();
    ASSERT_NE(undidInstall, 0u) << records.dump();
    const CliRun redo = Varnel(prefix, {"undo", "--to", std::to_string(undidInstall)});
    ASSERT_EQ(redo.exit, 0) << redo.err;
    EXPECT_TRUE(fs::exists(prefix.Path("drive_c/totalcmd/plugins/wlx/dl/dl.wlx")));
}

// A host whose configuration does not exist yet gets it, and its folder, from its first change;
// a command that fails or a dry run makes neither.
TEST_F(CliTest, AConfigurationNotThereYetIsMadeByTheFirstChangeOnly) {
    prefix.Write("TC_varnel.ini", "[Paths]\r\nTCPath=C:\\totalcmd\\TOTALCMD.EXE\r\n"
                                  "IniPath=C:\\users\\me\\AppData\\Roaming\\GHISLER\\wincmd.ini\r\n"
                                  "[Options]\r\nRegisterExt=0\r\n");
    fs::create_directories(prefix.Path("drive_c/users/me/AppData/Roaming"));
    fs::create_directories(prefix.Path("drive_c/Down loads"));
    fs::copy_file(prefix.Path("drive_c/totalcmd/plugins/wlx/sample_lister/sample_lister.wlx"),
                  prefix.Path("drive_c/Down loads/new.wlx"));
    const std::string folder = prefix.Path("drive_c/users/me/AppData/Roaming/GHISLER");
    const CliRun failed = Varnel(prefix, {"install", "--yes", "--copy", "C:\\Down loads\\gone.wlx"});
    EXPECT_EQ(failed.exit, 1) << failed.err;
    EXPECT_FALSE(fs::exists(folder));
    const CliRun dry = Varnel(prefix, {"--dry-run", "install", "--yes", "C:\\Down loads\\new.wlx"});
    EXPECT_EQ(dry.exit, 0) << dry.err;
    EXPECT_FALSE(fs::exists(folder));
    const CliRun done = Varnel(prefix, {"install", "--yes", "--copy", "C:\\Down loads\\new.wlx"});
    ASSERT_EQ(done.exit, 0) << done.err;
    EXPECT_NE(prefix.Read("drive_c/users/me/AppData/Roaming/GHISLER/wincmd.ini").find("\\new.wlx\r\n"),
              std::string::npos);
}

// Another plugin's FS name is not taken silently, and no FS plugin is renamed to nothing: both
// leave every file as it was.
TEST_F(CliTest, AnFsNameTakenOrBlankChangesNothing) {
    fs::create_directories(prefix.Path("drive_c/other"));
    fs::copy_file(test::SamplePluginFile(test::ModuleBuild::Native, "sample_fs.wfx"),
                  prefix.Path("drive_c/other/other.wfx"));
    const auto before = test::Digest(prefix.Dir());
    const CliRun taken = Varnel(prefix, {"install", "C:\\other\\other.wfx"});
    EXPECT_EQ(taken.exit, 2) << taken.err;
    EXPECT_NE(taken.err.find("belongs to %COMMANDER_PATH%\\plugins\\wfx\\sample_fs\\sample_fs.wfx already"),
              std::string::npos)
        << taken.err;
    EXPECT_EQ(test::Digest(prefix.Dir()), before);
    // Flags below zero are no flags: a usage error, before anything is installed.
    fs::copy_file(test::SamplePluginFile(test::ModuleBuild::Native, "sample_packer.wcx"),
                  prefix.Path("drive_c/other/p.wcx"));
    const auto withPacker = test::Digest(prefix.Dir());
    const CliRun negative =
        Varnel(prefix, {"install", "--extensions", "zz", "--flags", "-5", "C:\\other\\p.wcx"});
    EXPECT_EQ(negative.exit, 2) << negative.err;
    EXPECT_EQ(test::Digest(prefix.Dir()), withPacker);
    fs::remove(prefix.Path("drive_c/other/p.wcx"));
    const CliRun blank = Varnel(prefix, {"rename", "fs:Sample FS", ""});
    EXPECT_EQ(blank.exit, 1) << blank.err;
    EXPECT_EQ(test::Digest(prefix.Dir()), before);
    // A standing "yes" does not give another plugin's name away, nor its packer extensions;
    // --replace does.
    const CliRun yes = Varnel(prefix, {"install", "--yes", "C:\\other\\other.wfx"});
    EXPECT_EQ(yes.exit, 2) << yes.err;
    EXPECT_NE(yes.err.find("--replace"), std::string::npos) << yes.err;
    EXPECT_EQ(test::Digest(prefix.Dir()), before); // no record either
    fs::copy_file(test::SamplePluginFile(test::ModuleBuild::Native, "sample_packer.wcx"),
                  prefix.Path("drive_c/other/q.wcx"));
    const auto withQ = test::Digest(prefix.Dir());
    const CliRun extensions =
        Varnel(prefix, {"install", "--yes", "--extensions", "new,spk", "C:\\other\\q.wcx"});
    EXPECT_EQ(extensions.exit, 2) << extensions.err;
    EXPECT_NE(extensions.err.find("The packer extensions spk belong to"), std::string::npos)
        << extensions.err;
    EXPECT_EQ(test::Digest(prefix.Dir()), withQ);
    const std::string ini = Ini(prefix);
    ASSERT_EQ(Varnel(prefix, {"install", "--replace", "--extensions", "new,spk", "C:\\other\\q.wcx"}).exit,
              0);
    const std::string replaced = Ini(prefix);
    const size_t spk = replaced.find("\r\nspk=");
    ASSERT_NE(spk, std::string::npos) << replaced;
    EXPECT_EQ(
        replaced.substr(spk, replaced.find("\r\n", spk + 2) - spk).substr(replaced.find(',', spk) - spk),
        ",C:\\other\\q.wcx");
    ASSERT_EQ(Varnel(prefix, {"install", "--replace", "C:\\other\\other.wfx"}).exit, 0);
    EXPECT_NE(Ini(prefix).find("Sample FS=C:\\other\\other.wfx"), std::string::npos);
    // A name given is registered as it stands, before the module's own could clash with another.
    fs::copy_file(prefix.Path("drive_c/other/other.wfx"), prefix.Path("drive_c/other/third.wfx"));
    const CliRun named = Varnel(prefix, {"install", "--name", "Drittes FS", "C:\\other\\third.wfx"});
    EXPECT_EQ(named.exit, 0) << named.err;
    EXPECT_NE(Ini(prefix).find("Drittes FS=C:\\other\\third.wfx"), std::string::npos);
    // Installed again with another name, the registration takes that name.
    ASSERT_EQ(Varnel(prefix, {"install", "--name", "Viertes FS", "C:\\other\\third.wfx"}).exit, 0);
    EXPECT_NE(Ini(prefix).find("Viertes FS=C:\\other\\third.wfx"), std::string::npos);
    EXPECT_EQ(Ini(prefix).find("Drittes FS="), std::string::npos);
    ASSERT_EQ(Varnel(prefix, {"undo", "4"}).exit, 0);
    EXPECT_EQ(Ini(prefix), ini);
    fs::remove(prefix.Path("drive_c/other/third.wfx"));
    fs::remove(prefix.Path("drive_c/other/q.wcx"));
}

// Two plugins that go by one name (the same module installed twice) are told apart by their
// paths in what the tool says and in the history.
TEST_F(CliTest, PluginsOfOneNameAreToldApartByTheirFiles) {
    fs::create_directories(prefix.Path("drive_c/totalcmd/plugins/wlx/copy"));
    fs::copy_file(prefix.Path("drive_c/totalcmd/plugins/wlx/sample_lister/sample_lister.wlx"),
                  prefix.Path("drive_c/totalcmd/plugins/wlx/copy/sample_lister.wlx"));
    std::string ini = Ini(prefix);
    ini.insert(ini.find("[PackerPlugins]"), "1=%COMMANDER_PATH%\\plugins\\wlx\\copy\\sample_lister.wlx\r\n");
    prefix.Write("drive_c/totalcmd/wincmd.ini", ini);
    CliRun run = Varnel(prefix, {"disable", "--yes", "lister:1"});
    ASSERT_EQ(run.exit, 0) << run.err;
    EXPECT_NE(run.err.find("Disabled Sample Lister (C:\\totalcmd\\plugins\\wlx\\copy\\sample_lister.wlx)"),
              std::string::npos)
        << run.err;
    EXPECT_NE(Varnel(prefix, {"history"}).out.find("copy\\sample_lister.wlx)"), std::string::npos);
}

TEST_F(CliTest, JsonHasTheDocumentedFields) {
    const std::vector<std::string> fields = {"kind",       "key",         "name",         "version",
                                             "state",      "bits",        "registration", "file",
                                             "hostModule", "description", "disabled",     "missing"};
    CliRun list = Varnel(prefix, {"--json", "list", "--all"});
    ASSERT_EQ(list.exit, 0) << list.err;
    nlohmann::json plugins = nlohmann::json::parse(list.out);
    ASSERT_EQ(plugins.size(), 6u); // the disabled old viewer too
    // Every command says what it did: on standard error, and with --json as an object, failures too.
    CliRun disable = Varnel(prefix, {"disable", "--yes", "sample_lister.wlx", "--json"});
    ASSERT_EQ(disable.exit, 0) << disable.err;
    nlohmann::json outcome = nlohmann::json::parse(disable.out);
    EXPECT_EQ(outcome["ok"], true);
    EXPECT_EQ(outcome["code"], "done");
    ASSERT_EQ(outcome["changes"].size(), 1u);
    EXPECT_EQ(outcome["changes"][0]["description"], "Disabled Sample Lister");
    EXPECT_EQ(outcome["changes"][0]["files"], nlohmann::json::array({"C:\\totalcmd\\wincmd.ini"}))
        << disable.out;
    CliRun enable = Varnel(prefix, {"enable", "sample_lister.wlx"});
    EXPECT_NE(enable.err.find("Enabled Sample Lister (history 2)"), std::string::npos) << enable.err;
    CliRun missing = Varnel(prefix, {"--json", "disable", "--yes", "no such plugin"});
    EXPECT_NE(missing.exit, 0);
    outcome = nlohmann::json::parse(missing.out);
    EXPECT_EQ(outcome["ok"], false);
    EXPECT_NE(outcome["message"].get<std::string>().find("no such plugin"), std::string::npos) << missing.out;
    EXPECT_EQ(outcome["number"], Msg::NoPluginCalled) << missing.out;
    EXPECT_TRUE(outcome["changes"].empty());
    // A failure says its message's number, the same in every language.
    for (const char* language : {"English", "Deutsch"}) {
        CliRun unusable = Varnel(prefix, {"--json", "--lang", language, "rename", "fs:Sample FS", "a=b"});
        EXPECT_EQ(unusable.exit, 1) << unusable.err;
        EXPECT_EQ(nlohmann::json::parse(unusable.out)["number"], Msg::UnusableText) << unusable.out;
    }
    // A disabled Lister has a key of its own, not the number an active one has now.
    CliRun keyList = Varnel(prefix, {"list", "--all", "--keys"});
    EXPECT_NE(keyList.out.find("lister:-1\n"), std::string::npos) << keyList.out;
    CliRun disabledOne = Varnel(prefix, {"--json", "show", "lister:-1"});
    ASSERT_EQ(disabledOne.exit, 0) << disabledOne.err;
    EXPECT_NE(nlohmann::json::parse(disabledOne.out)["file"].get<std::string>().find("old_viewer.wlx"),
              std::string::npos);
    EXPECT_EQ(Varnel(prefix, {"show", "lister:1"}).exit, 1); // only the active lister:0 is there
    // The global options after the command, as the examples put them.
    CliRun after = Varnel(prefix, {"list", "--all", "--json"});
    ASSERT_EQ(after.exit, 0) << after.err;
    EXPECT_EQ(nlohmann::json::parse(after.out), plugins);
    for (const auto& plugin : plugins) {
        std::vector<std::string> keys;
        for (const auto& [key, value] : plugin.items())
            keys.push_back(key);
        std::sort(keys.begin(), keys.end());
        std::vector<std::string> expected = fields;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(keys, expected);
    }
    EXPECT_EQ(plugins[0]["kind"], "packer");
    EXPECT_EQ(plugins[0]["registration"], "smp spk sp2");

    const std::string before = Ini(prefix);
    // UTF-16, a module in a folder outside the code page.
    const std::string folder = "\xD0\x9F\xD0\xB0\xD0\xBA\xD0\xB5\xD1\x80"; // "Пакер"
    fs::create_directories(prefix.Path("drive_c/" + folder));
    fs::copy_file(test::SamplePluginFile(test::ModuleBuild::Native, "sample_lister.wlx"),
                  prefix.Path("drive_c/" + folder + "/v.wlx"));
    const std::string text = "[ListerPlugins]\r\n0=C:\\" + folder + "\\v.wlx\r\n";
    std::string utf16 = "\xFF\xFE";
    std::string wide;
    ASSERT_TRUE(platform::Utf8ToUtf16Le(text, wide));
    prefix.Write("drive_c/totalcmd/wincmd.ini", utf16 + wide);
    CliRun unicode = Varnel(prefix, {"--json", "list"});
    ASSERT_EQ(unicode.exit, 0) << unicode.err;
    plugins = nlohmann::json::parse(unicode.out);
    ASSERT_EQ(plugins.size(), 1u);
    EXPECT_EQ(plugins[0]["file"], "C:\\" + folder + "\\v.wlx");
    EXPECT_EQ(plugins[0]["state"], "idle");
    // What list prints names the plugin again: its path in either form, and a key outside the
    // code page after its kind.
    for (const std::string& named :
         {prefix.Path("drive_c/" + folder + "/v.wlx"), "C:/" + folder + "/v.wlx"}) {
        CliRun again = Varnel(prefix, {"show", named});
        EXPECT_EQ(again.exit, 0) << named << ": " << again.err;
    }
    const std::string fsName = "Gr\xC3\xB6\xC3\x9F\x65 \xCE\xA3\xCF\x86 \xD0\x96"; // "Größe Σφ Ж"
    prefix.Write("drive_c/totalcmd/wincmd.ini", before);
    ASSERT_EQ(Varnel(prefix, {"rename", "fs:Sample FS", fsName}).exit, 0);
    CliRun byKey = Varnel(prefix, {"--json", "show", "fs:" + fsName});
    ASSERT_EQ(byKey.exit, 0) << byKey.err;
    EXPECT_EQ(nlohmann::json::parse(byKey.out)["key"], fsName);
    EXPECT_EQ(Varnel(prefix, {"rename", "fs:" + fsName, "Sample FS"}).exit, 0);
    EXPECT_EQ(Ini(prefix), before);

    // show: the version resource's strings, each extension's flags in words, every key naming it.
    prefix.Write("drive_c/totalcmd/wincmd.ini", before);
    CliRun show = Varnel(prefix, {"--json", "show", "packer:spk"});
    ASSERT_EQ(show.exit, 0) << show.err;
    const nlohmann::json packer = nlohmann::json::parse(show.out);
    EXPECT_EQ(packer["versionInfo"]["ProductVersion"], "2.10 beta");
    EXPECT_EQ(packer["packerFlags"][2]["extension"], "sp2");
    EXPECT_EQ(packer["packerFlags"][2]["words"], "new multiple delete options"); // 29 = 1 + 4 + 8 + 16
    EXPECT_EQ(packer["keys"].size(), 3u);
    // The report to standard output, and where everything was found.
    CliRun report = Varnel(prefix, {"report", "--columns", "name,file", "-"});
    EXPECT_EQ(report.exit, 0) << report.err;
    EXPECT_NE(report.out.find("sample_fs.wfx"), std::string::npos) << report.out;
    EXPECT_FALSE(report.out.starts_with("\xEF\xBB\xBF")) << "a byte-order mark in a pipe";
    for (const std::string& path :
         {prefix.Path("drive_c/report one.txt"), std::string("C:\\report two.txt")}) {
        CliRun toFile = Varnel(prefix, {"report", path});
        EXPECT_EQ(toFile.exit, 0) << toFile.err;
    }
    EXPECT_NE(prefix.Read("drive_c/report one.txt").find("sample_fs.wfx"), std::string::npos);
    EXPECT_NE(prefix.Read("drive_c/report two.txt").find("sample_fs.wfx"), std::string::npos);
    // Output that cannot be written is a failure.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"list"}, {"--json", "list"}, {"report", "-"}}) {
        CliRun full =
            Varnel(prefix, args,
                   {.interruptAfterMs = -1, .maxFileBytes = -1, .settings = {}, .output = "/dev/full"});
        EXPECT_EQ(full.exit, 1) << args.front() << ": " << full.err;
    }
    CliRun config = Varnel(prefix, {"--json", "config"});
    EXPECT_EQ(nlohmann::json::parse(config.out)["host"]["from"], "settings (TCPath)");

    // 3000 Listers.
    std::string many = "[ListerPlugins]\r\n";
    for (int i = 0; i < 3000; ++i)
        many += std::to_string(i) + "=C:\\plugins\\v" + std::to_string(i) + ".wlx\r\n";
    prefix.Write("drive_c/totalcmd/wincmd.ini", many);
    CliRun large = Varnel(prefix, {"--json", "list", "--kind", "lister"});
    ASSERT_EQ(large.exit, 0) << large.err;
    EXPECT_EQ(nlohmann::json::parse(large.out).size(), 3000u);
}

// Text that no terminal can show (a lone UTF-16 surrogate, bytes that are no UTF-8 behind the
// UTF-8 mark) still gives JSON that parses, with the characters replaced.
TEST_F(CliTest, JsonParsesWhateverTheHostFileHolds) {
    for (bool utf16 : {false, true}) {
        SCOPED_TRACE(utf16 ? "UTF-16" : "ANSI with a UTF-8-marked value");
        const std::string name = utf16 ? "a\xED\xB2\x80z.wlx"
                                       : "\xEF\xBB\xBF"
                                         "C:\\x\\a\xC3\x28\xFF.wlx";
        std::string ini = "[Configuration]\r\n[ListerPlugins]\r\n0=" + std::string(utf16 ? "C:\\x\\" : "") +
                          name + "\r\n0_detect=EXT=\"\xEF\xBB\xBF\xC3\x28\"\r\n";
        if (utf16) {
            // UTF-16 with one unpaired low surrogate where "\xED\xB2\x80" stands.
            std::string wide = "\xFF\xFE";
            for (size_t i = 0; i < ini.size(); ++i) {
                if (ini.compare(i, 3, "\xED\xB2\x80") == 0) {
                    wide += std::string("\x80\xDC", 2);
                    i += 2;
                    continue;
                }
                wide += ini[i];
                wide += '\0';
            }
            ini = wide;
        }
        prefix.Write("drive_c/totalcmd/wincmd.ini", ini);
        for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
                 {"--json", "list", "--all"}, {"--json", "show", "lister:0"}, {"--json", "config"}}) {
            const CliRun run = Varnel(prefix, args);
            EXPECT_EQ(run.exit, 0) << args[1] << ": " << run.err;
            ASSERT_TRUE(nlohmann::json::accept(run.out)) << args[1] << ": " << run.out;
            if (args[1] == "list") {
                EXPECT_EQ(nlohmann::json::parse(run.out).size(), 1u) << run.out;
            }
        }
    }
}

// Two programs changing the same host at once: no change is lost or goes unrecorded. Each
// plugin's records alternate between disabling and enabling it (a lost write or a lost record
// would show the same change twice in a row), and undoing them all gives back the original bytes.
TEST_F(CliTest, ChangesMadeAtOnceAreNeitherLostNorUnrecorded) {
    const std::string original = Ini(prefix);
    auto toggle = [&](const char* plugin) {
        for (int round = 0; round < 6; ++round)
            for (const char* command : {"disable", "enable"})
                Varnel(prefix, {command, "--yes", plugin}); // a conflict (exit 3) changes nothing
    };
    std::thread first(toggle, "sample_lister.wlx");
    std::thread second(toggle, "sample_fs.wfx");
    first.join();
    second.join();
    CliRun history = Varnel(prefix, {"--json", "history"});
    ASSERT_EQ(history.exit, 0) << history.err;
    std::map<std::string, std::string> last; // plugin name: its last change
    size_t changes = 0;
    for (const nlohmann::json& record : nlohmann::json::parse(history.out)) {
        const std::string text = record["description"];
        const bool disabled = text.starts_with("Disabled ");
        ASSERT_TRUE(disabled || text.starts_with("Enabled ")) << text;
        const std::string plugin = text.substr(disabled ? 9 : 8);
        EXPECT_NE(last[plugin], disabled ? "Disabled" : "Enabled") << "twice in a row: " << text;
        last[plugin] = disabled ? "Disabled" : "Enabled";
        ++changes;
    }
    EXPECT_GE(changes, 4u);
    CliRun undo = Varnel(prefix, {"undo", "1000"});
    EXPECT_EQ(undo.exit, 0) << undo.err;
    EXPECT_EQ(Ini(prefix), original);
}

// On the host as its installer leaves it (Program Files, %APPDATA%, 32- and 64-bit modules in
// folders outside the code page), every plugin is listed with its non-ASCII path intact.
TEST_F(CliTest, RealisticHostIsListedWholly) {
    test::TempPrefix realistic;
    if (!test::MakeDemoHost(realistic, true))
        GTEST_SKIP() << "the realistic host needs both MinGW-w64 compilers";
    realistic.Write("TC_varnel.ini", "[Options]\r\nRegisterExt=0\r\n");
    CliRun list = Varnel(realistic, {"--json", "list", "--all"});
    ASSERT_EQ(list.exit, 0) << list.err;
    const nlohmann::json plugins = nlohmann::json::parse(list.out);
    bool cyrillic = false;
    for (const auto& plugin : plugins)
        cyrillic = cyrillic || plugin["file"].get<std::string>().find(
                                   "\xD0\x9F\xD0\xB0\xD0\xBA\xD0\xB5\xD1\x80") != std::string::npos;
    EXPECT_TRUE(cyrillic) << list.out;
    EXPECT_GE(plugins.size(), 6u);
    CliRun config = Varnel(realistic, {"config"});
    EXPECT_NE(config.out.find("C:\\Program Files\\totalcmd\\"), std::string::npos) << config.out;
    EXPECT_NE(config.out.find("AppData\\Roaming\\GHISLER\\wincmd.ini"), std::string::npos) << config.out;
}

// What a run read of the modules is kept for the next run, which then need not read them again;
// yet a module replaced, a 64-bit twin put beside one, or a damaged store all show at once.
// Killed at any moment, the program leaves no helper behind: a helper sees its input end and goes
// at once, even while a module's code runs in it (a helper that did not would stay for a minute).
TEST_F(CliTest, AKilledProgramLeavesNoHelperBehind) {
    std::vector<std::string> modules;
    for (const char* name : {"sample_packer.wcx", "empty_root.wfx", "slow.wlx"}) {
        fs::copy_file(test::SamplePluginFile(test::ModuleBuild::Native, name),
                      prefix.Path("drive_c/") + name);
        modules.push_back(prefix.Path("drive_c/") + name);
    }
    // Every process this test starts carries the tag, and only those.
    const std::string tag = "VARNEL_TEST_KILL_TAG=" + std::to_string(getpid()) + prefix.Dir();
    setenv("VARNEL_TEST_KILL_TAG", tag.substr(tag.find('=') + 1).c_str(), 1);
    auto tagged = [&] {
        int count = 0;
        for (const auto& entry : fs::directory_iterator("/proc")) {
            std::ifstream in(entry.path() / "environ", std::ios::binary);
            std::string variable;
            while (std::getline(in, variable, '\0'))
                count += variable == tag;
        }
        return count;
    };
    const std::string hold = prefix.Path("drive_c/held");
    const std::string ini = Ini(prefix);
    for (int moment : {-1, 0, 15, 40, 80, 150, 300}) {
        prefix.Write("drive_c/totalcmd/wincmd.ini", ini); // each run installs all three anew
        if (moment < 0) // inside the module's code, which would keep its helper there a minute
            setenv("VARNEL_TEST_HOLD", hold.c_str(), 1);
        std::vector<std::string> args = {"install", "--yes", "--extensions", "zz"};
        args.insert(args.end(), modules.begin(), modules.end());
        const pid_t pid = test::StartVarnel(prefix, args);
        ASSERT_GT(pid, 0);
        if (moment < 0) {
            for (int i = 0; i < 6000 && !fs::exists(hold); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            ASSERT_TRUE(fs::exists(hold));
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(moment));
        }
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        for (int i = 0; i < 500 && tagged() > 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(tagged(), 0) << "killed after " << moment << " ms";
        unsetenv("VARNEL_TEST_HOLD");
        fs::remove(hold);
    }
    unsetenv("VARNEL_TEST_KILL_TAG");
}

TEST_F(CliTest, ModuleFactsKeptForTheNextRunFollowEveryChange) {
    const std::string cacheHome = prefix.Dir() + "/cache home";
    const char* before = std::getenv("XDG_CACHE_HOME");
    const std::string previous = before ? before : "";
    setenv("XDG_CACHE_HOME", cacheHome.c_str(), 1);
    struct Restore {
        std::string value;
        bool had;
        ~Restore() { had ? setenv("XDG_CACHE_HOME", value.c_str(), 1) : unsetenv("XDG_CACHE_HOME"); }
    } restore{previous, before != nullptr};
    const std::string lister = "drive_c/totalcmd/plugins/wlx/sample_lister/sample_lister.wlx";
    auto listed = [&] {
        CliRun list = Varnel(prefix, {"--json", "list", "--all"});
        EXPECT_EQ(list.exit, 0) << list.err;
        for (const auto& plugin : nlohmann::json::parse(list.out))
            if (plugin["file"] == "C:\\totalcmd\\plugins\\wlx\\sample_lister\\sample_lister.wlx")
                return plugin["version"].get<std::string>() + "|" + plugin["hostModule"].get<std::string>();
        return std::string("not listed");
    };
    const std::string first = listed();
    EXPECT_EQ(first, "1.2|C:\\totalcmd\\plugins\\wlx\\sample_lister\\sample_lister.wlx");
    const std::string store = cacheHome + "/tcvarnel/modules.cache";
    ASSERT_TRUE(fs::exists(store));
    EXPECT_EQ(listed(), first);

    prefix.Write(lister, prefix.Read("drive_c/totalcmd/plugins/wdx/sample_content/sample_content.wdx"));
    EXPECT_EQ(listed(), "4.5|C:\\totalcmd\\plugins\\wlx\\sample_lister\\sample_lister.wlx");
    prefix.Write(lister + "64", prefix.Read("drive_c/totalcmd/plugins/wcx/sample_packer/sample_packer.wcx"));
    EXPECT_EQ(listed(), "2.10 beta|C:\\totalcmd\\plugins\\wlx\\sample_lister\\sample_lister.wlx64");
    fs::remove(prefix.Dir() + "/" + lister + "64");
    EXPECT_EQ(listed(), "4.5|C:\\totalcmd\\plugins\\wlx\\sample_lister\\sample_lister.wlx");

    std::ofstream(store, std::ios::binary | std::ios::trunc) << "TC Varnel module facts 1\n\xFF\xFF";
    EXPECT_EQ(listed(), "4.5|C:\\totalcmd\\plugins\\wlx\\sample_lister\\sample_lister.wlx");
    std::ifstream written(store, std::ios::binary);
    const std::string rewritten((std::istreambuf_iterator<char>(written)), std::istreambuf_iterator<char>());
    EXPECT_GT(rewritten.size(), 100u) << "written whole again";
}

// A realistic host broken in every way the health check knows: each finding is named, --fix
// repairs exactly the safe ones, a picked repair the rest, and the history takes it all back.
TEST_F(CliTest, HealthCheckNamesEachFaultAndRepairsWhatIsPicked) {
    test::TempPrefix realistic;
    if (!test::MakeDemoHost(realistic, true))
        GTEST_SKIP() << "the realistic host needs both MinGW-w64 compilers";
    realistic.Write("TC_varnel.ini", "[Options]\r\nRegisterExt=0\r\n");
    std::string ini;
    for (const auto& entry : fs::recursive_directory_iterator(realistic.Path("drive_c/users")))
        if (entry.path().filename() == "wincmd.ini")
            ini = entry.path().string().substr(realistic.Dir().size() + 1);
    ASSERT_FALSE(ini.empty());
    const std::string original = realistic.Read(ini);
    auto insertAfter = [](std::string text, const std::string& anchor, const std::string& added) {
        const size_t at = text.find(anchor);
        EXPECT_NE(at, std::string::npos) << anchor;
        return text.insert(at + anchor.size(), added);
    };
    // The faults only a user may repair: a duplicate registration and a detect string with a
    // dangling operator.
    std::string unsafe =
        insertAfter(original, "1_detect=EXT=\"OLD\"",
                    " &\r\n2=%COMMANDER_PATH%\\plugins\\wlx\\Alter Betrachter\\old_viewer.wlx");
    // Then the safe ones: an orphaned detect key, a dead registration, dead packer extensions and
    // a dead disabled entry.
    std::string broken = insertAfter(unsafe, "[ListerPlugins]\r\n", "7_detect=EXT=\"X\"\r\n");
    broken = insertAfter(broken, "old_viewer.wlx\r\n", "3=C:\\gone\\missing.wlx\r\n");
    broken = insertAfter(broken, "[PackerPlugins]\r\n",
                         "rar=5,C:\\gone\\unrar.wcx\r\nr01=5,C:\\gone\\unrar.wcx\r\n");
    broken += "[DisabledPlugins]\r\nListerPlugins;C:\\gone\\dead.wlx;4;=EXT=\"D\"\r\n";
    realistic.Write(ini, broken);
    const std::string plugins = "drive_c/Program Files/totalcmd/plugins/";
    fs::create_directories(realistic.Path(plugins + "Install.tmp/half"));
    fs::create_directories(realistic.Path(plugins + "wlx/Neu"));
    fs::copy_file(realistic.Path(plugins + "wlx/Alter Betrachter/old_viewer.wlx"),
                  realistic.Path(plugins + "wlx/Neu/neu_viewer.wlx"));

    auto kinds = [&](const nlohmann::json& report) {
        std::multiset<std::string> found;
        for (const auto& finding : report["findings"])
            found.insert(finding["kind"].get<std::string>());
        return found;
    };
    CliRun check = Varnel(realistic, {"--json", "doctor"});
    EXPECT_EQ(check.exit, 5) << check.err;
    nlohmann::json report = nlohmann::json::parse(check.out);
    EXPECT_EQ(kinds(report),
              (std::multiset<std::string>{"orphaned-detect-key", "bad-detect-string", "missing-module",
                                          "duplicate", "dead-packer-extensions", "dead-disabled-entry",
                                          "wrong-bitness", "leftover-install-tmp", "not-installed"}))
        << check.out;
    EXPECT_EQ(realistic.Read(ini), broken); // looking changes nothing

    CliRun fix = Varnel(realistic, {"--json", "doctor", "--fix"});
    EXPECT_EQ(fix.exit, 5) << fix.err;
    EXPECT_EQ(nlohmann::json::parse(fix.out)["repaired"], 4);
    // The dead disabled entry was the list's last: its header went with it.
    EXPECT_EQ(realistic.Read(ini), unsafe);

    report = nlohmann::json::parse(Varnel(realistic, {"--json", "doctor"}).out);
    int duplicate = 0, scratch = 0;
    for (const auto& finding : report["findings"]) {
        if (finding["kind"] == "duplicate")
            duplicate = finding["number"];
        if (finding["kind"] == "leftover-install-tmp")
            scratch = finding["number"];
    }
    CliRun repair = Varnel(
        realistic, {"doctor", "--repair", std::to_string(duplicate), "--repair", std::to_string(scratch)});
    EXPECT_EQ(repair.exit, 5) << repair.err; // the detect string and the others are still there
    EXPECT_EQ(realistic.Read(ini).find("2=%COMMANDER_PATH%\\plugins\\wlx\\Alter"), std::string::npos);
    EXPECT_FALSE(realistic.Exists(plugins + "Install.tmp"));

    CliRun undo = Varnel(realistic, {"undo", "2"});
    EXPECT_EQ(undo.exit, 0) << undo.err;
    EXPECT_EQ(realistic.Read(ini), broken);

    // A packer lying in a plugin folder unregistered: its repair asks for the extensions, which
    // doctor takes as install does.
    fs::create_directories(realistic.Path(plugins + "wcx/Neu"));
    fs::copy_file(test::SamplePluginFile(test::ModuleBuild::Native, "sample_packer.wcx"),
                  realistic.Path(plugins + "wcx/Neu/neu.wcx"));
    int packer = 0;
    report = nlohmann::json::parse(Varnel(realistic, {"--json", "doctor"}).out);
    for (const auto& finding : report["findings"])
        if (finding["kind"] == "not-installed" && finding.dump().find("neu.wcx") != std::string::npos)
            packer = finding["number"];
    ASSERT_NE(packer, 0);
    CliRun asks = Varnel(realistic, {"doctor", "--repair", std::to_string(packer)});
    EXPECT_EQ(asks.exit, 2) << asks.err;
    EXPECT_NE(asks.err.find("--extensions"), std::string::npos) << asks.err;
    EXPECT_EQ(realistic.Read(ini), broken);
    CliRun installs =
        Varnel(realistic, {"doctor", "--repair", std::to_string(packer), "--extensions", "neu"});
    EXPECT_NE(realistic.Read(ini).find("neu="), std::string::npos) << installs.err;
}

// At a terminal the tool asks as the window would, [y/N]; "n" (or nothing) changes nothing.
TEST_F(CliTest, ATerminalIsAskedTheQuestion) {
    if (!fs::exists("/usr/bin/script"))
        GTEST_SKIP() << "script(1) gives the tool a terminal here";
    const std::string before = Ini(prefix);
    auto atTerminal = [&](const std::string& typed) {
        const std::string command = std::string(VARNEL_CLI) + " --prefix " + prefix.Dir() + " --settings " +
                                    prefix.Dir() + "/TC_varnel.ini disable sample_fs.wfx";
        return platform::RunAndCapture(
            {"bash", "-c", "printf '" + typed + "\\n' | script -qec \"$0\" /dev/null", command}, {}, 60000);
    };
    const platform::CapturedRun no = atTerminal("n");
    EXPECT_NE(no.output.find("Disable the plugin \"sample_fs\"? [y/N]"), std::string::npos) << no.output;
    EXPECT_EQ(no.exitCode, 2) << no.output;
    EXPECT_EQ(Ini(prefix), before);
    const platform::CapturedRun yes = atTerminal("y");
    EXPECT_EQ(yes.exitCode, 0) << yes.output;
    EXPECT_NE(Ini(prefix), before);
}

// The bash completion offers every command and option the tool has, and the plugins of the host
// the line names, as kind:key and quoted where they hold blanks, in a bash with bash-completion
// loaded (where ':' breaks words) and without.
TEST_F(CliTest, CompletionOffersCommandsOptionsAndPlugins) {
    const std::string script = fs::path(VARNEL_CLI).parent_path().string() + "/varnel-completion.bash";
    ASSERT_TRUE(fs::exists(script));
    const bool withLibrary = fs::exists("/usr/share/bash-completion/bash_completion");
    // The line up to the cursor, completed as bash completes it.
    auto complete = [&](const std::string& line, bool library) {
        std::string shell = library ? "source /usr/share/bash-completion/bash_completion; " : "";
        shell += "source '" + script +
                 "'; COMP_LINE=\"$1\"; COMP_POINT=${#COMP_LINE}; "
                 "WORDS=$COMP_LINE; " +
                 std::string(library ? "WORDS=${WORDS//:/ : }; " : "") +
                 "read -ra COMP_WORDS <<<\"$WORDS\"; [[ $WORDS == *' ' ]] && COMP_WORDS+=(''); "
                 "COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _varnel; printf '%s\\n' \"${COMPREPLY[@]}\"";
        return platform::RunAndCapture({"bash", "-c", shell, "bash", line}, {}, 30000).output;
    };
    const std::string varnel = std::string(VARNEL_CLI);
    const std::string host =
        varnel + " --prefix " + prefix.Dir() + " --settings " + prefix.Dir() + "/TC_varnel.ini";
    for (bool library : {false, withLibrary}) {
        SCOPED_TRACE(library ? "with bash-completion" : "without it");
        const std::string commands = complete(varnel + " ", library);
        for (const char* command : {"list", "install", "history", "undo", "doctor", "config", "--json"})
            EXPECT_NE(commands.find(std::string(command) + "\n"), std::string::npos)
                << command << ": " << commands;
        EXPECT_NE(complete(varnel + " install --c", library).find("--copy\n"), std::string::npos);
        EXPECT_NE(complete(varnel + " doctor --", library).find("--repair\n"), std::string::npos);
        EXPECT_NE(complete(varnel + " undo --", library).find("--to\n"), std::string::npos);
        const std::string offered = complete(host + " disable ", library);
        EXPECT_NE(offered.find("fs:Sample\\ FS\n"), std::string::npos) << offered;
        EXPECT_NE(offered.find("packer:smp\n"), std::string::npos) << offered;
        // After "kind:" (where bash, with bash-completion, completes the part after the colon).
        const std::string afterKind = complete(host + " disable fs:Sa", library);
        EXPECT_EQ(afterKind, library ? "Sample\\ FS\n" : "fs:Sample\\ FS\n");
    }
}

// ---- Plugin sets --------------------------------------------------------------------------------

// The manifest of a set zip (in a prefix), parsed.
nlohmann::json Manifest(const test::TempPrefix& where, const std::string& zip) {
    return nlohmann::json::parse(test::ZipMemberBytes(where.Path("drive_c/" + zip), "manifest.json"), nullptr,
                                 false);
}

std::vector<std::string> PlanActions(const CliRun& run) {
    std::vector<std::string> actions;
    const nlohmann::json said = nlohmann::json::parse(run.out, nullptr, false);
    if (said.is_object() && said["plan"].is_array())
        for (const auto& item : said["plan"])
            actions.push_back(item["name"].get<std::string>() + ":" + item["action"].get<std::string>());
    return actions;
}

// A set exported from one host imports into an empty one as one change with every file, name,
// order and state; exported again it gives the same manifest; imported again it does nothing;
// and one undo gives the empty host back.
TEST_F(CliTest, APluginSetRoundTripsThroughAnEmptyHost) {
    const std::string lister = "drive_c/totalcmd/plugins/wlx/sample_lister/";
    prefix.Write(lister + "lang/de.lng", "[Deutsch]\r\n");
    prefix.Write(lister + "sample_lister.ini", "[Settings]\r\nfont=8\r\n");
    prefix.Write(lister + "readme.txt", "another program's file");
    prefix.Write(lister + "Descript.ion", "sample_lister.wlx Shows text files\r\n");
    const CliRun exported = Varnel(prefix, {"export", "C:\\My Set.zip"});
    ASSERT_EQ(exported.exit, 0) << exported.err;
    const std::vector<std::string> names = test::ZipNames(prefix.Path("drive_c/My Set.zip"));
    const std::set<std::string> members(names.begin(), names.end());
    EXPECT_EQ(names.front(), "manifest.json");
    for (const char* member : {"lister/sample_lister/sample_lister.wlx", "lister/sample_lister/lang/de.lng",
                               "lister/sample_lister/sample_lister.ini", "lister/old_viewer/old_viewer.wlx",
                               "packer/sample_packer/sample_packer.wcx", "fs/sample_fs/sample_fs.wfx",
                               "content/sample_content/sample_content.wdx"})
        EXPECT_TRUE(members.count(member)) << member;
    EXPECT_FALSE(members.count("lister/sample_lister/readme.txt")) << "not the plugin's";
    const nlohmann::json manifest = Manifest(prefix, "My Set.zip");
    ASSERT_TRUE(manifest.is_object());
    EXPECT_EQ(manifest["version"], 1);
    EXPECT_EQ(manifest["plugins"].size(), 5u) << "lost.wdx has no file to take along";

    // The empty host: a configuration without plugins, and no plugin folder.
    const std::string emptyIni = "[Configuration]\r\nInstallDir=C:\\totalcmd\r\n";
    twin.Write("drive_c/totalcmd/wincmd.ini", emptyIni);
    fs::remove_all(twin.Path("drive_c/totalcmd/plugins"));
    fs::copy_file(prefix.Path("drive_c/My Set.zip"), twin.Path("drive_c/My Set.zip"));
    const auto before = test::Digest(twin.Path("drive_c"));
    const CliRun imported = Varnel(twin, {"--json", "import", "C:\\My Set.zip"});
    ASSERT_EQ(imported.exit, 0) << imported.err;
    EXPECT_EQ(PlanActions(imported), (std::vector<std::string>{"Sample Lister:install", "old_viewer:install",
                                                               "Sample Packer:install", "sample_fs:install",
                                                               "Beispiel-Inhalt:install"}));
    EXPECT_EQ(nlohmann::json::parse(imported.out)["changes"].size(), 1u) << "one change, one record";
    const std::string ini = Ini(twin);
    const std::string at = "%COMMANDER_PATH%\\Plugins\\";
    for (const std::string& line :
         {"[ListerPlugins]\r\n0=" + at +
              "WLX\\sample_lister\\sample_lister.wlx\r\n0_detect=EXT=\"TXT\" | EXT=\"LOG\"\r\n",
          "[PackerPlugins]\r\nsmp=285," + at + "WCX\\sample_packer\\sample_packer.wcx\r\nspk=285," + at +
              "WCX\\sample_packer\\sample_packer.wcx\r\nsp2=29," + at +
              "WCX\\sample_packer\\sample_packer.wcx\r\n",
          "[FileSystemPlugins]\r\nSample FS=" + at + "WFX\\sample_fs\\sample_fs.wfx\r\n",
          "0=" + at + "WDX\\sample_content\\sample_content.wdx\r\n0_detect=MULTIMEDIA\r\n",
          "[DisabledPlugins]\r\nListerPlugins;" + at + "WLX\\old_viewer\\old_viewer.wlx;1;=EXT=\"INI\"\r\n"})
        EXPECT_NE(ini.find(line), std::string::npos) << line << "\nin\n" << ini;
    const std::string copied = "drive_c/totalcmd/Plugins/WLX/sample_lister/";
    EXPECT_EQ(twin.Read(copied + "lang/de.lng"), "[Deutsch]\r\n");
    EXPECT_EQ(twin.Read(copied + "sample_lister.ini"), "[Settings]\r\nfont=8\r\n");
    EXPECT_NE(twin.Read(copied + "Descript.ion").find("Shows text files"), std::string::npos);

    ASSERT_EQ(Varnel(twin, {"export", "C:\\again.zip"}).exit, 0);
    EXPECT_EQ(Manifest(twin, "again.zip"), manifest) << "the same set, whatever host it went through";

    const CliRun repeated = Varnel(twin, {"--json", "import", "C:\\My Set.zip"});
    EXPECT_EQ(repeated.exit, 0) << repeated.err;
    EXPECT_EQ(PlanActions(repeated),
              (std::vector<std::string>{"Sample Lister:same", "old_viewer:same", "Sample Packer:same",
                                        "sample_fs:same", "Beispiel-Inhalt:same"}));
    EXPECT_TRUE(nlohmann::json::parse(repeated.out)["changes"].empty());

    fs::remove(twin.Path("drive_c/again.zip"));
    ASSERT_EQ(Varnel(twin, {"undo"}).exit, 0);
    EXPECT_EQ(Ini(twin), emptyIni);
    auto after = test::Digest(twin.Path("drive_c"));
    // The plugin folders the import made stay, empty, as after any install's undo.
    for (const char* kind : {"", "/WLX", "/WCX", "/WFX", "/WDX"})
        after.erase(twin.Path("drive_c/totalcmd/Plugins") + kind);
    EXPECT_EQ(after, before);
}

// The realistic host's plugins lie in folders with blanks, ANSI and non-ANSI names, and have
// 64-bit twins: a set keeps every name through another host of the kind.
TEST_F(CliTest, ARealisticHostsSetKeepsItsFolderNames) {
    test::TempPrefix from, to;
    ASSERT_TRUE(test::MakeDemoHost(from, true) && test::MakeDemoHost(to, true));
    for (const auto& entry : fs::recursive_directory_iterator(to.DriveC()))
        if (entry.path().filename() == "wincmd.ini")
            std::ofstream(entry.path(), std::ios::binary)
                << "[Configuration]\r\nInstallDir=C:\\Program Files\\totalcmd\r\n";
    fs::remove_all(to.Path("drive_c/Program Files/totalcmd/plugins"));
    const CliRun exported = Varnel(from, {"export", "C:\\set.zip"});
    ASSERT_EQ(exported.exit, 0) << exported.err;
    const std::vector<std::string> names = test::ZipNames(from.Path("drive_c/set.zip"));
    ASSERT_EQ(names.size(), 11u) << exported.err;
    const std::set<std::string> members(names.begin(), names.end());
    for (const char* member : {"packer/\xD0\x9F\xD0\xB0\xD0\xBA\xD0\xB5\xD1\x80/sample_packer.wcx64",
                               "lister/Bildbetrachter Gr\xC3\xB6\xC3\x9F"
                               "e/sample_lister.wlx64",
                               "content/Inhalt (Beispiel)/sample_content.wdx"})
        EXPECT_TRUE(members.count(member)) << member << " in\n" << ::testing::PrintToString(names);
    fs::copy_file(from.Path("drive_c/set.zip"), to.Path("drive_c/set.zip"));
    // Its 32-bit viewer is planned as one this 64-bit host cannot load, and comes only with --force.
    const auto before = test::Digest(to.DriveC());
    const CliRun asked = Varnel(to, {"--json", "import", "C:\\set.zip"});
    EXPECT_EQ(asked.exit, 2) << asked.err;
    EXPECT_NE(asked.err.find("--force"), std::string::npos) << asked.err;
    const nlohmann::json plan = nlohmann::json::parse(asked.out, nullptr, false)["plan"];
    ASSERT_TRUE(plan.is_array());
    EXPECT_EQ(std::count_if(plan.begin(), plan.end(),
                            [](const nlohmann::json& item) { return item["loadable"] == false; }),
              1);
    EXPECT_EQ(test::Digest(to.DriveC()), before);
    const CliRun imported = Varnel(to, {"import", "--force", "C:\\set.zip"});
    ASSERT_EQ(imported.exit, 0) << imported.err;
    EXPECT_TRUE(fs::exists(
        to.Path("drive_c/Program Files/totalcmd/Plugins/WCX/\xD0\x9F\xD0\xB0\xD0\xBA\xD0\xB5\xD1\x80/"
                "sample_packer.wcx64")));
    ASSERT_EQ(Varnel(to, {"export", "C:\\again.zip"}).exit, 0);
    EXPECT_EQ(Manifest(to, "again.zip"), Manifest(from, "set.zip"));
}

// A set's plugins go after the ones of each kind the host has; with --order replace, before them.
TEST_F(CliTest, ImportedPluginsGoAfterTheHostsOwnUnlessTheOrderIsReplaced) {
    ASSERT_EQ(Varnel(prefix, {"export", "C:\\set.zip"}).exit, 0);
    fs::copy_file(prefix.Path("drive_c/set.zip"), twin.Path("drive_c/set.zip"));
    twin.Write("drive_c/totalcmd/wincmd.ini",
               "[Configuration]\r\nInstallDir=C:\\totalcmd\r\n[ListerPlugins]\r\n"
               "0=C:\\own\\own.wlx\r\n[FileSystemPlugins]\r\nOwn FS=C:\\own\\own.wfx\r\n");
    fs::remove_all(twin.Path("drive_c/totalcmd/plugins"));
    const std::string lister = "%COMMANDER_PATH%\\Plugins\\WLX\\sample_lister\\sample_lister.wlx";
    const std::string fs = "Sample FS=%COMMANDER_PATH%\\Plugins\\WFX\\sample_fs\\sample_fs.wfx\r\n";
    ASSERT_EQ(Varnel(twin, {"import", "C:\\set.zip"}).exit, 0);
    std::string ini = Ini(twin);
    EXPECT_NE(ini.find("[ListerPlugins]\r\n0=C:\\own\\own.wlx\r\n1=" + lister + "\r\n"), std::string::npos)
        << ini;
    EXPECT_NE(ini.find("Own FS=C:\\own\\own.wfx\r\n" + fs), std::string::npos) << ini;
    ASSERT_EQ(Varnel(twin, {"undo"}).exit, 0);
    ASSERT_EQ(Varnel(twin, {"import", "--order", "replace", "C:\\set.zip"}).exit, 0);
    ini = Ini(twin);
    EXPECT_NE(ini.find("[ListerPlugins]\r\n0=" + lister +
                       "\r\n0_detect=EXT=\"TXT\" | EXT=\"LOG\"\r\n1=C:\\own\\own.wlx\r\n"),
              std::string::npos)
        << ini;
    EXPECT_NE(ini.find(fs + "Own FS=C:\\own\\own.wfx\r\n"), std::string::npos) << ini;
}

// Plugins the host has already: the same are skipped, another version is replaced only after
// --yes, a name or extension another module has is taken only after --replace; a question left
// unanswered writes nothing, and one undo takes the whole import back.
TEST_F(CliTest, ImportAsksBeforeReplacingOrTakingOver) {
    ASSERT_EQ(Varnel(prefix, {"export", "C:\\set.zip"}).exit, 0);
    fs::copy_file(prefix.Path("drive_c/set.zip"), twin.Path("drive_c/set.zip"));
    const std::string module = "drive_c/totalcmd/plugins/wlx/sample_lister/sample_lister.wlx";
    twin.Write(module, twin.Read(module) + "older build");
    twin.Write("drive_c/totalcmd/plugins/wcx/other/other.wcx", prefix.Read(module));
    std::string ini = Ini(twin);
    ini = std::regex_replace(ini, std::regex("smp=285,[^\r]*"),
                             "smp=2,C:\\totalcmd\\plugins\\wcx\\other\\other.wcx");
    twin.Write("drive_c/totalcmd/wincmd.ini", ini);
    const auto before = test::Digest(twin.Dir());

    const CliRun asked = Varnel(twin, {"--json", "import", "C:\\set.zip"});
    EXPECT_EQ(asked.exit, 2) << asked.err;
    EXPECT_EQ(PlanActions(asked),
              (std::vector<std::string>{"Sample Lister:replace", "old_viewer:same", "Sample Packer:conflict",
                                        "sample_fs:same", "Beispiel-Inhalt:same"}));
    EXPECT_EQ(test::Digest(twin.Dir()), before);
    const CliRun yesOnly = Varnel(twin, {"import", "--yes", "C:\\set.zip"});
    EXPECT_EQ(yesOnly.exit, 2) << yesOnly.err;
    EXPECT_NE(yesOnly.err.find("--replace"), std::string::npos) << yesOnly.err;
    EXPECT_EQ(test::Digest(twin.Dir()), before);

    const CliRun answered = Varnel(twin, {"import", "--yes", "--replace", "C:\\set.zip"});
    ASSERT_EQ(answered.exit, 0) << answered.err;
    EXPECT_EQ(twin.Read(module), prefix.Read(module));
    EXPECT_NE(Ini(twin).find("smp=285,%COMMANDER_PATH%\\Plugins\\WCX\\sample_packer\\sample_packer.wcx\r\n"),
              std::string::npos)
        << Ini(twin);
    ASSERT_EQ(Varnel(twin, {"undo"}).exit, 0);
    auto after = test::Digest(twin.Dir());
    auto original = before;
    for (auto* listing : {&after, &original})
        std::erase_if(*listing,
                      [](const auto& entry) { return entry.first.find("history") != std::string::npos; });
    EXPECT_EQ(after, original);
}

// A set is a stranger's archive: a manifest that names paths outside, the host's own files, a
// link, too many plugins, a file it does not hold, or that is no manifest at all is refused before
// anything is written.
TEST_F(CliTest, HostileSetsAreRefusedBeforeAnythingIsWritten) {
    const std::string module = prefix.Read("drive_c/totalcmd/plugins/wlx/sample_lister/sample_lister.wlx");
    auto manifest = [](const std::string& base, const std::string& path, int count = 1) {
        std::string plugins;
        for (int i = 0; i < count; ++i)
            plugins +=
                std::string(i ? "," : "") + R"({"kind":"lister","name":"x","base":")" + base +
                R"(","module":")" + path + R"(","files":[")" + path +
                R"("],"detect":"","extensions":[],"root":"","order":1,"enabled":true,"description":"","bits":64})";
        return R"({"format":"TC Varnel plugin set","version":1,"hostBits":64,"plugins":[)" + plugins + "]}";
    };
    struct Case {
        const char* why;
        std::vector<test::ArchiveItem> items;
    };
    const std::vector<Case> cases = {
        {"a path that climbs out",
         {{"manifest.json", manifest("kind", "../../../escape.wlx")},
          {"lister/../../../escape.wlx", module}}},
        {"an absolute path",
         {{"manifest.json", manifest("kind", "C:/totalcmd/x.wlx")}, {"lister/x.wlx", module}}},
        {"the host's own folder",
         {{"manifest.json", manifest("commander", "TOTALCMD.wlx")}, {"commander/TOTALCMD.wlx", module}}},
        {"a link", {{"manifest.json", manifest("kind", "x/x.wlx")}, {"lister/x/x.wlx", "", "/etc/passwd"}}},
        {"a file it does not hold", {{"manifest.json", manifest("kind", "x/x.wlx")}}},
        {"no manifest", {{"lister/x/x.wlx", module}}},
        {"a broken manifest",
         {{"manifest.json", manifest("kind", "x/x.wlx").substr(0, 80)}, {"lister/x/x.wlx", module}}},
        {"a newer format",
         {{"manifest.json",
           std::regex_replace(manifest("kind", "x/x.wlx"), std::regex("\"version\":1"), "\"version\":7")},
          {"lister/x/x.wlx", module}}},
        {"100,000 plugins",
         {{"manifest.json", manifest("kind", "x/x.wlx", 100000)}, {"lister/x/x.wlx", module}}},
    };
    const auto before = test::Digest(twin.Dir());
    for (const Case& each : cases) {
        SCOPED_TRACE(each.why);
        test::WriteZip(twin.Path("drive_c/bad.zip"), each.items);
        const auto withZip = test::Digest(twin.Dir());
        const CliRun refused = Varnel(twin, {"import", "--yes", "--replace", "--force", "C:\\bad.zip"});
        EXPECT_EQ(refused.exit, 1) << refused.err;
        EXPECT_NE(refused.err.find("cannot be imported. Nothing was written."), std::string::npos)
            << refused.err;
        EXPECT_EQ(test::Digest(twin.Dir()), withZip);
        fs::remove(twin.Path("drive_c/bad.zip"));
    }
    EXPECT_EQ(test::Digest(twin.Dir()), before);
}

} // namespace
} // namespace varnel
