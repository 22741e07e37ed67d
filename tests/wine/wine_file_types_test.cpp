// The plugin file types in the prefix's classes: opening a plugin file in Wine's shell starts the
// program with the file's path.

#include "catalog/file_types.h"

#include "platform/paths.h"
#include "platform/posix/wine.h"
#include "platform/process.h"
#include "wine_test_prefix.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace varnel {
namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(WineFileTypes, OpeningAPluginFileInWineStartsTheProgramWithIt) {
    test::WineTestPrefix wine;
    std::optional<platform::WindowsHelper> helper = platform::FindWindowsHelper();
    if (!wine.Ready() || !helper)
        GTEST_SKIP() << "Wine or the Windows helper is missing";
    const std::string folder = "C:\\" + wine.Folder();
    const std::string machine = platform::ToHostPath(folder);
    // A stand-in for the program (a Linux program, as the real one is) in a folder with a blank.
    fs::create_directories(machine + "/Var nel");
    fs::create_directories(machine + "/Plug ins");
    const std::string log = machine + "/opened.log";
    std::ofstream(machine + "/Var nel/tc varnel") << "#!/bin/sh\nprintf '%s\\n' \"$@\" >> '" << log << "'\n";
    fs::permissions(machine + "/Var nel/tc varnel", fs::perms::owner_all);
    std::ofstream(machine + "/Plug ins/Viewer.wlx") << "MZ";
    const std::string program = folder + "\\Var nel\\tc varnel";
    const std::string icons = folder + "\\Var nel\\tcvarnel-icons.dll";
    const std::string dataHome = machine + "/data";
    setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
    const bool written = RegisterPluginFileTypesFor(true, program, icons, true);
    unsetenv("XDG_DATA_HOME");
    ASSERT_TRUE(written);

    // Wine's shell opens the file with the registered command.
    const std::string file = folder + "\\Plug ins\\Viewer.wlx";
    std::map<std::string, std::string> env = helper->wine.env;
    platform::AddQuietHelperSettings(env);
    platform::CapturedRun run = platform::RunAndCapture({helper->wine.wine, helper->path, "shell", "1", "1",
                                                         platform::HexUtf16(file), platform::HexUtf16("")},
                                                        env, 60000);
    EXPECT_EQ(run.output.substr(0, 7), "started");
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    // The shell's redirection creates the log before the line is in it: wait for the whole line.
    while (ReadAll(log).find('\n') == std::string::npos && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(ReadAll(log), file + "\n");

    // The icon of the Packer type is the icon module's third icon.
    platform::CapturedRun query = platform::RunAndCapture(
        {helper->wine.wine, "reg.exe", "query", "HKCR\\TC_plugin_wcx\\DefaultIcon"}, env, 60000);
    EXPECT_NE(query.output.find("\"" + icons + "\",2"), std::string::npos) << query.output;
}

} // namespace
} // namespace varnel
