// The change history on Windows: a record planted in the history folder that names a file outside
// the plugin folders (the Startup folder), or reaches out with "..", or names a stream, is skipped;
// undo takes back only what the program records.

#include "app/settings.h"
#include "ops/command.h"
#include "ops/history.h"
#include "platform/files.h"

#include "contract_folder.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace varnel {
namespace {

std::string Record(uint64_t id, const std::string& path, const std::optional<std::string>& before,
                   const std::optional<std::string>& after) {
    auto size = [](const std::optional<std::string>& bytes) {
        return bytes ? std::to_string(bytes->size()) : std::string("none");
    };
    return "TC Varnel history 1\nid=" + std::to_string(id) +
           "\ntime=2026-12-09T10:00:00\nreverts=0\ndescription=Planted\nfile=" + path +
           "\nbefore=" + size(before) + "\nafter=" + size(after) + "\n\n" + before.value_or("") +
           after.value_or("");
}

TEST(Win32History, UndoTakesBackOnlyTheFilesTheProgramRecords) {
    test::ContractFolder root;
    const std::string plugins = root.Path() + "\\Plug ins";
    const std::string startup = root.Path() + "\\Startup";
    for (const std::string& folder : {plugins, plugins + "\\WLX", plugins + "\\WLX\\bild", startup})
        ASSERT_TRUE(platform::CreateFolder(folder)) << folder;
    AppSettings().PluginsLister = plugins + "\\WLX";
    AppSettings().PluginsPacker = plugins + "\\WCX";
    AppSettings().PluginsFS = plugins + "\\WFX";
    AppSettings().PluginsContent = plugins + "\\WDX";
    const std::string history = root.Path() + "\\history";
    ASSERT_TRUE(platform::CreateFolder(history));
    const std::string own = plugins + "\\WLX\\bild\\bild.ini";
    ASSERT_TRUE(platform::ReplaceFileAtomically(own, "[Bild]\r\nZoom=2\r\n"));
    const std::pair<std::string, std::string> records[] = {
        {"0000000001.rec", Record(1, own, "[Bild]\r\nZoom=1\r\n", "[Bild]\r\nZoom=2\r\n")},
        {"0000000002.rec", Record(2, startup + "\\evil.bat", "start calc\r\n", std::nullopt)},
        {"0000000003.rec", Record(3, plugins + "\\WLX\\..\\..\\Startup\\evil.cmd", "x", std::nullopt)},
        {"0000000004.rec", Record(4, plugins + "\\WLX\\bild\\bild.ini:evil", "x", std::nullopt)},
        {"0000000005.rec", Record(5, plugins + "\\WLX\\bild\\COM1", "x", std::nullopt)},
    };
    for (const auto& [name, bytes] : records)
        ASSERT_TRUE(platform::ReplaceFileAtomically(history + "\\" + name, bytes));

    StartHistory(history);
    std::vector<std::string> skipped;
    const std::vector<HistoryRecord> loaded = LoadHistory(false, &skipped);
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0].id, 1u);
    EXPECT_EQ(skipped.size(), 4u);
    EXPECT_EQ(UndoLastChanges(ProgramContext(), 10).records.size(), 1u);
    StartHistory("");
    AppSettings() = Settings{};

    std::string bytes;
    ASSERT_EQ(platform::ReadWholeFile(own, bytes, 1 << 20), platform::ReadResult::Ok);
    EXPECT_EQ(bytes, "[Bild]\r\nZoom=1\r\n");
    EXPECT_EQ(platform::FindFiles(startup + "\\*").size(), 0u);
    EXPECT_FALSE(platform::FileExists(plugins + "\\WLX\\bild\\bild.ini:evil"));
}

} // namespace
} // namespace varnel
