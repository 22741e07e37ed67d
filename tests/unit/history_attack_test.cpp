// The change history attacked through the built varnel: records tampered with, a disk that is
// full, one change far larger than the others, and kills at random moments of recording and of
// undo. After each, what the history says must be what happened, and undoing everything must
// give back the host's original bytes.

#include "cli_run.h"
#include "demo_host.h"
#include "sample_plugins.h"
#include "temp_prefix.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <random>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>

namespace varnel {
namespace {

namespace fs = std::filesystem;
using test::CliRun;
using test::Varnel;

class HistoryAttackTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::MakeDemoHost(prefix))
            GTEST_SKIP() << "the demo host needs the Windows pieces (MinGW-w64)";
        prefix.Write("TC_varnel.ini", "[Paths]\r\nTCPath=C:\\totalcmd\\TOTALCMD.EXE\r\n"
                                      "IniPath=C:\\totalcmd\\wincmd.ini\r\n[Options]\r\nRegisterExt=0\r\n");
        download = prefix.Path("drive_c/Downloads/Bild Betrachter");
        fs::create_directories(download);
        fs::copy_file(test::SamplePluginFile(test::ModuleBuild::Native, "sample_lister.wlx"),
                      download + "/bild.wlx");
        prefix.Write("drive_c/Downloads/Bild Betrachter/bild.ini", "[Bild]\r\nZoom=1\r\n");
        history = prefix.Dir() + "/history";
    }
    std::string Ini() const { return prefix.Read("drive_c/totalcmd/wincmd.ini"); }
    // The host's files, its configuration and its plugins, with their bytes; a temporary file
    // of a replacement that a kill cut short is among them until the next start takes it away.
    // An empty folder that a killed install made before its record was written may stay: it is
    // no file of the host's.
    std::map<std::string, std::string> Host() const {
        std::map<std::string, std::string> files = test::Digest(prefix.Path("drive_c/totalcmd"));
        std::erase_if(files, [](const auto& entry) { return entry.second == "folder"; });
        return files;
    }
    nlohmann::json History(std::string* said = nullptr) {
        const CliRun run = Varnel(prefix, {"--json", "history"});
        EXPECT_EQ(run.exit, 0) << run.err;
        if (said)
            *said = run.err;
        return nlohmann::json::parse(run.out);
    }
    std::vector<std::string> Install() {
        return {"install", "--yes", "--copy", "C:\\Downloads\\Bild Betrachter\\bild.wlx"};
    }

    test::TempPrefix prefix;
    std::string download, history;
};

// Damaged records are skipped with a word; they neither crash nor block nor hide the others, and
// a change made among them is recorded where undo finds it.
TEST_F(HistoryAttackTest, TamperedRecordsAreSkippedWithAWord) {
    for (const char* command : {"disable", "enable"})
        ASSERT_EQ(Varnel(prefix, {command, "--yes", "sample_lister.wlx"}).exit, 0);
    const std::string record = prefix.Read("history/0000000001.rec");
    const size_t line = record.find("description=");
    ASSERT_NE(line, std::string::npos);
    auto withDescription = [&](const std::string& id, const std::string& text) {
        std::string bytes = record;
        bytes.replace(line, bytes.find('\n', line) - line, "description=" + text);
        bytes.replace(bytes.find("id=1\n"), 5, "id=" + id + "\n");
        return bytes;
    };
    // Text that is no UTF-8, marked as UTF-8 or not; a folder; a number past the range; a record
    // cut short; forty sparse files of 100 MB that would take a minute to read.
    prefix.Write("history/0000000003.rec", withDescription("3", "\xEF\xBB\xBF\xC3\x28 \xFF\xFE"));
    prefix.Write("history/0000000004.rec", withDescription("4", "\x81\x8D\x8F\x90\x9D"));
    fs::create_directories(history + "/0000000005.rec");
    prefix.Write("history/9999999999.rec", withDescription("9999999999", "far ahead"));
    prefix.Write("history/0000000006.rec", record.substr(0, record.size() - 1));
    for (int i = 0; i < 40; ++i) {
        const std::string name = history + "/00000001" + std::to_string(10 + i) + ".rec";
        std::ofstream{name} << withDescription(std::to_string(110 + i), "sparse");
        fs::resize_file(name, 100ull << 20);
    }
    std::string said;
    nlohmann::json records = History(&said);
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0]["description"], "Disabled Sample Lister");
    EXPECT_FALSE(records[2]["description"].get<std::string>().empty());
    for (const char* name : {"0000000005.rec", "0000000006.rec", "9999999999.rec", "0000000149.rec"})
        EXPECT_NE(said.find(std::string("The history record ") + name + " is damaged and was skipped."),
                  std::string::npos)
            << said;

    // A change among them takes a number of its own, and undo finds it.
    const std::string before = Ini();
    const CliRun disable = Varnel(prefix, {"disable", "--yes", "sample_lister.wlx"});
    ASSERT_EQ(disable.exit, 0) << disable.err;
    records = History();
    ASSERT_EQ(records.size(), 5u);
    EXPECT_EQ(records[4]["description"], "Disabled Sample Lister");
    EXPECT_GT(records[4]["id"].get<uint64_t>(), 149u);
    const CliRun undo = Varnel(prefix, {"undo"});
    EXPECT_EQ(undo.exit, 0) << undo.err;
    EXPECT_EQ(Ini(), before);
}

// A history folder may come from someone else: a record that names a file this program never
// records (outside the host's configuration, its bars, Descript.ion and the plugin folders, or
// reached through a link or "..") is skipped with a word and never written or deleted.
TEST_F(HistoryAttackTest, PlantedRecordsNamingOtherFilesAreNeverUndone) {
    const std::string original = Ini();
    ASSERT_EQ(Varnel(prefix, {"disable", "--yes", "sample_lister.wlx"}).exit, 0);
    const std::string home = prefix.Dir() + "/home";
    fs::create_directories(home + "/.config/autostart");
    fs::create_directories(home + "/Documents");
    std::ofstream(home + "/Documents/thesis.txt") << "my thesis";
    fs::create_directory_symlink(home, prefix.Path("drive_c/totalcmd/plugins/wlx/linked"));
    std::string z = "Z:" + home;
    std::replace(z.begin(), z.end(), '/', '\\');
    // Each as undo would take it back: the file is as the record says the change left it.
    const std::vector<std::tuple<std::string, std::optional<std::string>, std::optional<std::string>>>
        planted = {
            {z + "\\.config\\autostart\\evil.desktop", "[Desktop Entry]\nExec=evil\n", std::nullopt},
            {z + "\\Documents\\thesis.txt", std::nullopt, "my thesis"},
            {"C:\\totalcmd\\plugins\\wlx\\linked\\Documents\\thesis.txt", std::nullopt, "my thesis"},
            {"C:\\totalcmd\\plugins\\wlx\\..\\..\\evil.bat", "evil", std::nullopt},
            {"C:\\totalcmd\\plugins\\wlx\\x.txt:stream", "evil", std::nullopt},
        };
    uint64_t id = 2;
    for (const auto& [path, before, after] : planted) {
        auto size = [](const std::optional<std::string>& bytes) {
            return bytes ? std::to_string(bytes->size()) : std::string("none");
        };
        prefix.Write("history/000000000" + std::to_string(id) + ".rec",
                     "TC Varnel history 1\nid=" + std::to_string(id) +
                         "\ntime=2026-12-09T10:00:00\nreverts=0\ndescription=Planted\nfile=" + path +
                         "\nbefore=" + size(before) + "\nafter=" + size(after) + "\n\n" +
                         before.value_or("") + after.value_or(""));
        ++id;
    }
    const auto homeBefore = test::Digest(home);
    const auto driveBefore = test::Digest(prefix.Path("drive_c"));
    const CliRun undo = Varnel(prefix, {"undo", "10"});
    EXPECT_EQ(undo.exit, 0) << undo.err;
    for (uint64_t each = 2; each < id; ++each)
        EXPECT_NE(undo.err.find("The history record 000000000" + std::to_string(each) +
                                ".rec is damaged and was skipped."),
                  std::string::npos)
            << undo.err;
    EXPECT_EQ(test::Digest(home), homeBefore);
    // Of the host's files, only the configuration changed: the real record was undone.
    auto driveAfter = test::Digest(prefix.Path("drive_c"));
    driveAfter.erase(prefix.Path("drive_c/totalcmd/wincmd.ini"));
    auto expected = driveBefore;
    expected.erase(prefix.Path("drive_c/totalcmd/wincmd.ini"));
    EXPECT_EQ(driveAfter, expected);
    EXPECT_EQ(Ini(), original);
    EXPECT_EQ(History().size(), 2u); // the disable and its undo
}

// A record that cannot be written stops its change, says so, and leaves nothing behind.
TEST_F(HistoryAttackTest, FullDiskStopsTheChangeNotTheRecord) {
    ASSERT_EQ(Varnel(prefix, {"disable", "--yes", "sample_fs.wfx"}).exit, 0); // the folder exists
    const auto before = test::Digest(prefix.Dir());
    // Room for wincmd.ini, none for a record holding it twice.
    const CliRun full =
        Varnel(prefix, {"disable", "--yes", "sample_lister.wlx"},
               {.maxFileBytes = static_cast<long long>(Ini().size()) + 200, .settings = {}, .output = {}});
    EXPECT_NE(full.exit, 0) << full.err;
    EXPECT_NE(full.err.find("could not be written"), std::string::npos) << full.err;
    EXPECT_EQ(test::Digest(prefix.Dir()), before) << "a change, a record or a temporary file was left";
    // With room again, the same change is made and recorded.
    ASSERT_EQ(Varnel(prefix, {"disable", "--yes", "sample_lister.wlx"}).exit, 0);
    EXPECT_EQ(History().size(), 2u);
}

// One change far larger than the others keeps its registration and says that its files cannot
// be taken back, instead of pushing ten earlier changes out of the history.
TEST_F(HistoryAttackTest, OneLargeChangeKeepsTheOthers) {
    for (int i = 0; i < 5; ++i)
        for (const char* command : {"disable", "enable"})
            ASSERT_EQ(Varnel(prefix, {command, "--yes", "sample_lister.wlx"}).exit, 0);
    const std::string before = Ini();
    std::ofstream{download + "/bild.dat"};
    fs::resize_file(download + "/bild.dat", 40ull << 20);
    const CliRun install = Varnel(prefix, Install());
    ASSERT_EQ(install.exit, 0) << install.err;
    nlohmann::json records = History();
    ASSERT_EQ(records.size(), 11u);
    EXPECT_EQ(
        records[10]["description"],
        "Installed bild.wlx (its 3 other files are too large to keep: an undo takes back its settings only)");
    EXPECT_EQ(records[10]["files"], nlohmann::json::array({"C:\\totalcmd\\wincmd.ini"}));
    ASSERT_EQ(Varnel(prefix, {"undo"}).exit, 0);
    EXPECT_EQ(Ini(), before);
    EXPECT_TRUE(prefix.Exists("drive_c/totalcmd/plugins/wlx/bild/bild.dat"));
    EXPECT_EQ(History().size(), 12u);
}

// Kills at random moments of a change (an install that copies files and registers them, or a
// disable) and of its undo: after each, one further undo (which first finishes what the killed
// program left) and then undoing everything give back the original bytes of every host file.
TEST_F(HistoryAttackTest, KillsLeaveNothingThatUndoCannotFinish) {
    const auto original = Host();
    auto runFor = [&](const std::vector<std::string>& args) {
        const auto started = std::chrono::steady_clock::now();
        const CliRun run = Varnel(prefix, args);
        EXPECT_EQ(run.exit, 0) << run.err;
        return static_cast<long long>(
            std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started)
                .count());
    };
    const std::vector<std::vector<std::string>> changes = {Install(),
                                                           {"disable", "--yes", "sample_lister.wlx"}};
    std::vector<long long> spanUs;
    for (const auto& change : changes) {
        spanUs.push_back(runFor(change) * 5 / 4 + 1000);
        spanUs.back() = std::max(spanUs.back(), runFor({"undo"}) * 5 / 4 + 1000);
    }
    ASSERT_EQ(Host(), original);

    std::mt19937 random(9122026);
    int kills = 0, interrupted = 0, leftOpen = 0;
    for (int round = 0; round < 100; ++round) {
        const size_t which = static_cast<size_t>(round) % changes.size();
        for (bool duringUndo : {false, true}) {
            if (duringUndo) {
                ASSERT_EQ(Varnel(prefix, changes[which]).exit, 0);
            }
            const pid_t child =
                test::StartVarnel(prefix, duringUndo ? std::vector<std::string>{"undo"} : changes[which]);
            ASSERT_GT(child, 0);
            usleep(static_cast<useconds_t>(random() % spanUs[which]));
            kill(child, SIGKILL);
            int status = 0;
            waitpid(child, &status, 0);
            ++kills;
            interrupted += WIFSIGNALED(status) ? 1 : 0;
            for (const auto& entry : fs::directory_iterator(history))
                if (entry.path().extension() == ".rec" &&
                    prefix.Read("history/" + entry.path().filename().string()).find("\nstate=open\n") !=
                        std::string::npos)
                    ++leftOpen;
            // The record says what happened, and undo can take all of it back.
            const CliRun undo = Varnel(prefix, {"undo", "1000"});
            ASSERT_NE(undo.exit, -1) << undo.err;
            ASSERT_EQ(Host(), original) << "round " << round << (duringUndo ? ", killed in the undo" : "");
        }
    }
    EXPECT_GE(kills, 200);
    EXPECT_GT(interrupted, 0); // the kills did land inside the programs
    EXPECT_GT(leftOpen, 0);    // and in the middle of changes, with their records open
    std::printf("%d kills, %d in the program, %d in the middle of a change\n", kills, interrupted, leftOpen);
}

} // namespace
} // namespace varnel
