// The external archivers as Windows programs of the prefix: an archive the built-in unpacker cannot
// read reaches the first one that exists, with the command line byte for byte.

#include "ops/archive_install.h"

#include "app/settings.h"
#include "catalog/host_config.h"
#include "lang/language.h"
#include "message_log.h"
#include "platform/paths.h"
#include "platform/system.h"
#include "wine_test_prefix.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace varnel {
namespace {

// The first line a stand-in recorded in the started.log beside it (empty when it never ran).
std::string FirstLine(const std::string& log) {
    std::ifstream in(log);
    std::string line;
    std::getline(in, line);
    return line;
}

TEST(WineArchivers, RarPathThenUnzipOfThePrefixGetTheirCommandLines) {
    test::WineTestPrefix wine;
    const std::string standIn = std::string(VARNEL_BINARY_DIR) + "/bin/restarter_standin.exe";
    if (!wine.Ready() || !fs::exists(standIn))
        GTEST_SKIP() << "Wine or the stand-in is missing";
    AppSettings() = Settings{};
    AppSettings().RarPath.clear();
    ResetMessageStore();
    test::MessageLog boxes;
    platform::SleepHandler sleep = platform::SetSleepHandler([](unsigned) {});
    const std::string folder = "C:\\" + wine.Folder();
    const std::string machine = platform::ToHostPath(folder);
    fs::create_directories(machine + "/TC");
    fs::create_directories(machine + "/Down loads");
    std::ofstream(machine + "/TC/wincmd.ini") << "[Configuration]\r\n";
    std::ofstream(machine + "/Down loads/sealed.zip") << "no zip the library reads";
    SetHostPaths(folder + "\\TC\\TOTALCMD.EXE", folder + "\\TC\\wincmd.ini");
    // The stand-in, as the prefix's unzip.exe, records its command line beside itself.
    const std::string tools = platform::ToHostPath("C:\\windows");
    fs::copy_file(standIn, tools + "/unzip.exe", fs::copy_options::overwrite_existing);
    fs::remove(tools + "/started.log");

    // The RarPath program comes first, with WinRAR's switches and the target ending in a backslash.
    fs::create_directories(machine + "/Win RAR");
    fs::copy_file(standIn, machine + "/Win RAR/WinRAR.exe");
    AppSettings().RarPath = folder + "\\Win RAR\\WinRAR.exe";
    InstallFromArchive(ProgramContext(), {folder + "\\Down loads\\sealed.zip", false, false});
    EXPECT_EQ(FirstLine(machine + "/Win RAR/started.log"), "\"" + folder + "\\Win RAR\\WinRAR.exe\" x -y \"" +
                                                               folder + "\\Down loads\\sealed.zip\" \"" +
                                                               folder + "\\TC\\Plugins\\Install.tmp\"\\");
    EXPECT_FALSE(fs::exists(tools + "/started.log")); // unzip.exe was not needed

    AppSettings().RarPath.clear();
    InstallFromArchive(ProgramContext(), {folder + "\\Down loads\\sealed.zip", false, false});
    const std::string line = FirstLine(tools + "/started.log");
    fs::remove(tools + "/unzip.exe");
    fs::remove(tools + "/started.log");
    platform::SetSleepHandler(sleep);
    EXPECT_EQ(line, "\"C:\\windows\\unzip.exe\" -o \"" + folder + "\\Down loads\\sealed.zip\" -d \"" +
                        folder + "\\TC\\Plugins\\Install.tmp\"");
    // It unpacked nothing: the install fails and leaves no scratch folder.
    ASSERT_FALSE(boxes.Boxes().empty());
    EXPECT_FALSE(fs::exists(machine + "/TC/Plugins/Install.tmp"));
    AppSettings() = Settings{};
}

} // namespace
} // namespace varnel
