#include "catalog/file_types.h"

#include "platform/process.h"
#include "platform/shell_types.h"
#include "temp_prefix.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace fs = std::filesystem;

namespace varnel {
namespace {

constexpr const char* kProgram = "C:\\Tools\\tcvarnel";

// The user's data folder pointed at a folder of the test for its lifetime.
class DataHome {
public:
    explicit DataHome(const std::string& dir) : m_dir(dir) {
        if (const char* old = std::getenv("XDG_DATA_HOME"))
            m_old = old;
        setenv("XDG_DATA_HOME", dir.c_str(), 1);
    }
    ~DataHome() {
        if (m_old)
            setenv("XDG_DATA_HOME", m_old->c_str(), 1);
        else
            unsetenv("XDG_DATA_HOME");
    }
    std::string Read(const std::string& relative) const {
        std::ifstream in(m_dir + "/" + relative, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

private:
    std::string m_dir;
    std::optional<std::string> m_old;
};

std::string RunTool(const std::vector<std::string>& argv) {
    platform::CapturedRun run = platform::RunAndCapture(argv, {}, 20000);
    std::string out = run.output;
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    return out;
}

// When the prefix's ".wdx" command already names the program, the prefix is left alone; the desktop
// gets its entry, the MIME types with their 64-bit forms, and the program as their default, and the
// desktop's own tools then answer with them. Switched off, nothing is written at all.
TEST(FileTypes, DesktopOpensPluginFilesWithTheProgram) {
    test::TempPrefix prefix;
    const std::string data = prefix.Dir() + "/data home";
    DataHome home(data);
    EXPECT_FALSE(RegisterPluginFileTypesFor(false, kProgram, kProgram, true));
    EXPECT_FALSE(fs::exists(data));
    // A program path with a line break or a quote would make a second command: nothing is written.
    for (const char* unusable : {"C:\\Tools\nC:\\windows\\calc.exe\\tcvarnel", "C:\\To\"ols\\tcvarnel"}) {
        EXPECT_FALSE(RegisterPluginFileTypesFor(true, unusable, kProgram, true));
        EXPECT_FALSE(RegisterPluginFileTypesFor(true, kProgram, unusable, true));
    }
    EXPECT_FALSE(fs::exists(data));

    prefix.Write("drive_c/Tools/tcvarnel", "#!/bin/sh\n");
    fs::permissions(prefix.Path("drive_c/Tools/tcvarnel"), fs::perms::owner_all);
    prefix.Write("system.reg", "WINE REGISTRY Version 2\n\n"
                               "[Software\\\\Classes\\\\.wdx] 1\n@=\"TC_plugin_wdx\"\n\n"
                               "[Software\\\\Classes\\\\TC_plugin_wdx\\\\shell\\\\open\\\\command] 1\n"
                               "@=\"\\\"C:\\\\Tools\\\\tcvarnel\\\" \\\"%1\\\"\"\n");
    EXPECT_FALSE(RegisterPluginFileTypesFor(true, kProgram, kProgram, true));

    const std::string entry = home.Read("applications/tcvarnel.desktop");
    EXPECT_NE(entry.find("Exec=" + prefix.Dir() + "/drive_c/Tools/tcvarnel %f\n"), std::string::npos);
    EXPECT_NE(entry.find("MimeType=application/x-tc-plugin-wfx;application/x-tc-plugin-wlx;"
                         "application/x-tc-plugin-wcx;application/x-tc-plugin-wdx;\n"),
              std::string::npos);
    EXPECT_NE(home.Read("mime/packages/tcvarnel-plugins.xml").find("<glob pattern=\"*.wcx64\"/>"),
              std::string::npos);
    EXPECT_TRUE(fs::exists(data + "/icons/hicolor/scalable/mimetypes/application-x-tc-plugin-wdx.svg"));

    // The desktop's tools, where this machine has them, see what was written.
    fs::create_directories(prefix.Dir() + "/Plug ins");
    std::ofstream(prefix.Dir() + "/Plug ins/viewer.wlx64") << "MZ";
    if (std::optional<std::string> gio = platform::FindOnPath("gio")) {
        EXPECT_NE(
            RunTool({*gio, "info", "-a", "standard::content-type", prefix.Dir() + "/Plug ins/viewer.wlx64"})
                .find("application/x-tc-plugin-wlx"),
            std::string::npos);
    }
    if (std::optional<std::string> xdgMime = platform::FindOnPath("xdg-mime")) {
        EXPECT_EQ(RunTool({*xdgMime, "query", "default", "application/x-tc-plugin-wcx"}), "tcvarnel.desktop");
    }
    // A default the user chose stays; written again, the files are the same.
    std::ofstream(data + "/applications/mimeapps.list", std::ios::app)
        << "[Added Associations]\nx/y=other.desktop;\n";
    const std::string before = home.Read("applications/mimeapps.list");
    EXPECT_FALSE(RegisterPluginFileTypesFor(true, kProgram, kProgram, true));
    EXPECT_EQ(home.Read("applications/mimeapps.list"), before);

    // A program whose path needs quoting is quoted, "$" escaped inside the quotes, and the escape
    // and "%" doubled for the desktop file.
    ASSERT_TRUE(platform::RegisterDesktopFileTypes({}, "/opt/TC Varnel/tc$v%l", true));
    EXPECT_NE(home.Read("applications/tcvarnel.desktop").find("Exec=\"/opt/TC Varnel/tc\\\\$v%%l\" %f\n"),
              std::string::npos);
}

} // namespace
} // namespace varnel
