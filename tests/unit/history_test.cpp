// The change history on real files: what an undo restores and what it keeps, the files besides
// wincmd.ini, the bounds of the record folder, and records a kill cut short.

#include "ops/history.h"

#include "catalog/host_config.h"
#include "catalog/registration.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "message_log.h"
#include "ops/button_bar.h"
#include "ops/descriptions.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "platform/program_folder.h"
#include "temp_prefix.h"
#include "util/text.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace varnel {
namespace {

namespace fs = std::filesystem;

const char* kIni = "[Configuration]\r\nLanguage=wcmd_deu.lng\r\n"
                   "[ListerPlugins]\r\n0=C:\\p\\a.wlx\r\n0_detect=EXT=\"A\"\r\n1=C:\\p\\b.wlx\r\n"
                   "[PackerPlugins]\r\nzip=279,C:\\p\\zip.wcx\r\n";

class HistoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        prefix.Write("drive_c/TC/wincmd.ini", kIni);
        prefix.Write("drive_c/Varnel/TC_varnel.ini", "");
        fs::create_directories(prefix.Path("drive_c/Varnel/Language"));
        fs::copy_file(std::string(VARNEL_SOURCE_DIR) + "/Language/English.lng",
                      prefix.Path("drive_c/Varnel/Language/English.lng"));
        SetProgramFolder("C:\\Varnel");
        SetLanguageLoadedHook(LoadMessages);
        SetLanguage("English");
        ASSERT_FALSE(Message(Msg::IniConflict).empty());
        SetHostPaths("C:\\TC\\TOTALCMD.EXE", "C:\\TC\\wincmd.ini");
        platform::ResetProfileCache();
        StartHistory("C:\\Varnel\\history");
    }
    void TearDown() override {
        StartHistory("");
        SetProgramFolder("");
        SetLanguageLoadedHook(nullptr);
        ResetMessageStore();
        platform::ResetProfileCache();
    }
    std::string Ini() const { return prefix.Read("drive_c/TC/wincmd.ini"); }
    void Change(const std::string& section, const std::string& key, std::optional<std::string> value) {
        RecordedChange change("change " + key);
        HostConfigTransaction transaction;
        if (value)
            WriteHostValue(section, key, *value);
        else
            platform::ProfileWriteString(Host().HostIniPath, section, key, std::nullopt);
        ASSERT_TRUE(transaction.Commit());
    }
    // Another program's edit: the bytes replaced behind this program's back.
    void HostEdits(const std::string& from, const std::string& to) {
        std::string bytes = Ini();
        ASSERT_NE(bytes.find(from), std::string::npos);
        bytes.replace(bytes.find(from), from.size(), to);
        prefix.Write("drive_c/TC/wincmd.ini", bytes);
    }
    size_t RecordFiles() const {
        size_t count = 0;
        for (const auto& entry : fs::directory_iterator(prefix.Path("drive_c/Varnel/history")))
            count += entry.path().extension() == ".rec" ? 1 : 0;
        return count;
    }

    test::TempPrefix prefix;
};

// The host's own edit elsewhere in the file, even beside the change's key in its section, survives
// the undo; an edit of a key the change wrote makes the undo a conflict that changes nothing and
// records nothing.
TEST_F(HistoryTest, UndoAfterTheHostsEditKeepsItOrRefuses) {
    Change("ListerPlugins", "0_detect", "EXT=\"B\"");
    HostEdits("Language=wcmd_deu.lng", "Language=wcmd_eng.lng\r\nHostKey=1");
    HostEdits("0_detect=EXT=\"B\"\r\n", "0_detect=EXT=\"B\"\r\n0_flags=1\r\n");
    EXPECT_EQ(UndoLastChanges(ProgramContext(), 1).records.size(), 1u);
    std::string expected = kIni;
    expected.replace(expected.find("Language=wcmd_deu.lng"), 21, "Language=wcmd_eng.lng\r\nHostKey=1");
    expected.replace(expected.find("0_detect=EXT=\"A\"\r\n"), 18, "0_detect=EXT=\"A\"\r\n0_flags=1\r\n");
    EXPECT_EQ(Ini(), expected);

    Change("PackerPlugins", "zip", "1,C:\\p\\zip.wcx");
    HostEdits("zip=1,", "zip=5,");
    const std::string edited = Ini();
    const size_t records = LoadHistory(false).size();
    test::MessageLog boxes;
    EXPECT_EQ(UndoLastChanges(ProgramContext(), 1).records.size(), 0u);
    EXPECT_EQ(Ini(), edited);
    EXPECT_EQ(LoadHistory(false).size(), records);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, FormatPrintf(Message(Msg::IniConflict), {"C:\\TC\\wincmd.ini"}));
}

// The bar file and Descript.ion are recorded too; files a change made are removed again, and
// taking back that undo makes them once more.
TEST_F(HistoryTest, BarAndDescriptionFilesComeBack) {
    prefix.Write("drive_c/p/a.wlx", "module");
    prefix.Write("drive_c/p/Descript.ion", "\"b.wlx\" another\r\n");
    const std::string descriptions = prefix.Read("drive_c/p/Descript.ion");
    ASSERT_TRUE(WriteDescription("C:\\p\\a.wlx", "Bilder ansehen"));
    ASSERT_TRUE(AddProgramButtons(ProgramContext(), "C:\\TC\\New.bar", "C:\\Varnel\\tcvarnel.exe",
                                  "C:\\Varnel\\icons.dll")
                    .Done());
    const std::string bar = prefix.Read("drive_c/TC/New.bar");
    ASSERT_EQ(LoadHistory().size(), 2u);
    EXPECT_EQ(LoadHistory()[1].files[0].path, "C:\\TC\\New.bar");
    EXPECT_FALSE(LoadHistory()[1].files[0].before.has_value());

    EXPECT_EQ(UndoLastChanges(ProgramContext(), 5).records.size(), 2u);
    EXPECT_FALSE(prefix.Exists("drive_c/TC/New.bar"));
    EXPECT_EQ(prefix.Read("drive_c/p/Descript.ion"), descriptions);

    const std::vector<HistoryRecord> records = LoadHistory(false);
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[2].reverts, records[1].id);
    EXPECT_EQ(records[2].description, "Undid: Added TC Varnel's buttons to C:\\TC\\New.bar");
    EXPECT_EQ(RecordsInEffect(records), (std::vector<bool>{false, false, true, true}));
    ASSERT_TRUE(UndoToRecord(ProgramContext(), records[2].id).Done()); // takes back the undo of the bar
    EXPECT_EQ(prefix.Read("drive_c/TC/New.bar"), bar);
    EXPECT_EQ(prefix.Read("drive_c/p/Descript.ion"), descriptions);
}

// An undo that cannot change one of its files puts back those it already changed: a change that
// made a bar file and named it in wincmd.ini keeps both when wincmd.ini cannot be written.
TEST_F(HistoryTest, AnUndoThatFailsPartWayChangesNothing) {
    {
        RecordedChange change("a new bar");
        ASSERT_TRUE(platform::ReplaceFileAtomically("C:\\TC\\New.bar", "[Buttonbar]\r\nButtoncount=0\r\n"));
        HostConfigTransaction transaction;
        WriteHostValue("Buttonbar", "Buttonbar", "C:\\TC\\New.bar");
        ASSERT_TRUE(transaction.Commit());
    }
    ASSERT_EQ(LoadHistory().size(), 1u);
    ASSERT_EQ(LoadHistory()[0].files.size(), 2u); // New.bar, then wincmd.ini
    const std::string bar = prefix.Read("drive_c/TC/New.bar");
    const std::string ini = Ini();
    fs::permissions(prefix.Path("drive_c/TC/wincmd.ini"), fs::perms::owner_read | fs::perms::group_read);
    test::MessageLog boxes;

    EXPECT_EQ(UndoLastChanges(ProgramContext(), 1).records.size(), 0u);
    fs::permissions(prefix.Path("drive_c/TC/wincmd.ini"), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(prefix.Read("drive_c/TC/New.bar"), bar);
    EXPECT_EQ(Ini(), ini);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_NE(boxes.Boxes()[0].text.find("C:\\TC\\wincmd.ini"), std::string::npos) << boxes.Boxes()[0].text;
    EXPECT_EQ(LoadHistory().size(), 1u); // and nothing is recorded as undone

    EXPECT_EQ(UndoLastChanges(ProgramContext(), 1).records.size(),
              1u); // once the file can be written, the undo goes through whole
    EXPECT_FALSE(prefix.Exists("drive_c/TC/New.bar"));
}

// "Undo to here" undoes the chosen change and every later one still in effect, newest first.
TEST_F(HistoryTest, UndoToHereGoesBackToBeforeTheChosenChange) {
    Change("Configuration", "A", "1");
    const std::string afterFirst = Ini();
    Change("Configuration", "B", "2");
    Change("ListerPlugins", "1", std::nullopt);
    Change("Configuration", "A", "3");
    const std::vector<HistoryRecord> records = LoadHistory(false);
    ASSERT_EQ(records.size(), 4u);
    ASSERT_TRUE(UndoToRecord(ProgramContext(), records[1].id).Done());
    EXPECT_EQ(Ini(), afterFirst);
    EXPECT_EQ(UndoLastChanges(ProgramContext(), 1).records.size(), 1u);
    EXPECT_EQ(Ini(), kIni);
}

// The newest 200 records stay, and no more than 50 MB of them: the oldest go first.
TEST_F(HistoryTest, RecordsStayWithinTheirBounds) {
    for (int i = 0; i < 205; ++i)
        Change("Configuration", "Counter", std::to_string(i));
    std::vector<HistoryRecord> records = LoadHistory(false);
    ASSERT_EQ(records.size(), kHistoryMaxRecords);
    EXPECT_EQ(records.front().id, 6u);
    EXPECT_EQ(records.back().id, 205u);

    // A bar file of 1 MB: each record keeps it twice, so 25 records fill the 50 MB.
    std::string big = "[Buttonbar]\r\nButtoncount=0\r\n";
    big += "[Padding]\r\n";
    while (big.size() < 1024 * 1024)
        big += "key" + std::to_string(big.size()) + "=some text to fill the file\r\n";
    prefix.Write("drive_c/TC/Big.bar", big);
    for (int i = 0; i < 30; ++i) {
        RecordedChange change("bar " + std::to_string(i));
        ASSERT_TRUE(platform::ProfileWriteString("C:\\TC\\Big.bar", "Buttonbar", "Buttoncount",
                                                 std::to_string(i + 1)));
    }
    records = LoadHistory(false);
    uint64_t total = 0;
    for (const auto& entry : fs::directory_iterator(prefix.Path("drive_c/Varnel/history")))
        total += fs::file_size(entry.path());
    EXPECT_LE(total, kHistoryMaxBytes);
    EXPECT_GE(records.size(), 20u);
    EXPECT_EQ(records.back().description, "bar 29");
    EXPECT_EQ(records.size(), RecordFiles());
}

// A record that is cut short or is no record at all is left out; the others still undo.
TEST_F(HistoryTest, DamagedRecordsAreLeftOut) {
    Change("Configuration", "A", "1");
    Change("Configuration", "B", "2");
    const std::string second = prefix.Read("drive_c/Varnel/history/0000000002.rec");
    prefix.Write("drive_c/Varnel/history/0000000002.rec", second.substr(0, second.size() - 3));
    prefix.Write("drive_c/Varnel/history/0000000003.rec", "not a record\n\nat all");
    const std::vector<HistoryRecord> records = LoadHistory(false);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].id, 1u);
}

} // namespace
} // namespace varnel
