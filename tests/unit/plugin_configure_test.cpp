#include "ops/plugin_configure.h"

#include "catalog/catalog_options.h"
#include "catalog/host_config.h"
#include "catalog/plugin_table.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "message_log.h"
#include "platform/program_folder.h"
#include "sample_plugins.h"
#include "temp_prefix.h"
#include "util/text.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

namespace varnel {
namespace {

// Configure by kind: a packer's own dialog gets the host's default parameters first; a plugin
// without what configuring needs says which message applies, and a crash names the entry point.
TEST(PluginConfigure, EachKindAndItsFailures) {
    test::TempPrefix prefix;
    test::MessageLog boxes;
    std::filesystem::create_directories(prefix.Path("drive_c/Varnel"));
    std::filesystem::copy(std::string(VARNEL_SOURCE_DIR) + "/Language",
                          prefix.Path("drive_c/Varnel/Language"), std::filesystem::copy_options::recursive);
    SetProgramFolder("C:\\Varnel");
    SetLanguageLoadedHook(LoadMessages);
    SetLanguage("English");
    CatalogSettings() = CatalogOptions{};
    SetHostPaths("C:\\TC\\Totalcmd.exe", "C:\\TC\\wincmd.ini");
    const std::string packer =
        test::InstallSample(prefix.Dir(), test::ModuleBuild::Native, "sample_packer.wcx", "p");
    const std::string lister =
        test::InstallSample(prefix.Dir(), test::ModuleBuild::Native, "sample_lister.wlx", "l");
    const std::string crash =
        test::InstallSample(prefix.Dir(), test::ModuleBuild::Native, "crash.dll", "c", "crash.wcx");
    const std::string mark = prefix.Path("configured.txt");
    setenv("VARNEL_SAMPLE_CONFIGURED", mark.c_str(), 1);

    EXPECT_TRUE(ConfigurePackerPlugin(Host(), packer));
    EXPECT_EQ(prefix.Read("configured.txt"), "configured size=272 version=2.10 ini=C:\\TC\\pkplugin.ini\n");
    EXPECT_FALSE(ConfigurePackerPlugin(Host(), lister)); // no ConfigurePacker: message 69 is the caller's
    EXPECT_TRUE(boxes.Boxes().empty());
    // One that crashes on its default parameters still gets its dialog opened, without them.
    const std::string badDefaults =
        test::InstallSample(prefix.Dir(), test::ModuleBuild::Native, "bad_defaults.wcx", "b");
    EXPECT_TRUE(ConfigurePackerPlugin(Host(), badDefaults));
    EXPECT_EQ(prefix.Read("configured.txt"), "configured \n");
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_TRUE(ConfigurePackerPlugin(Host(), crash));
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text,
              FormatPrintf(Message(Msg::PluginFunctionFailed), {crash, "ConfigurePacker"}));

    prefix.Write("drive_c/TC/wincmd.ini",
                 "[ListerPlugins]\r\n0=" + lister + "\r\n[FileSystemPlugins]\r\nfs=C:\\f\\fs.wfx\r\n");
    LoadTable(false);
    ConfigureRow(ProgramContext(), 1, 0); // no .ini beside the lister: the box names the file looked for
    ConfigureRow(ProgramContext(), 2, 0); // no config.exe in the program's folder
    ASSERT_EQ(boxes.Boxes().size(), 3u);
    EXPECT_EQ(boxes.Boxes()[1].text,
              "The settings file of the plugin, C:\\l\\sample_lister.ini, was not found.");
    EXPECT_EQ(boxes.Boxes()[2].text, FormatPrintf(Message(Msg::NotBesideProgram), {"Config.exe"}));

    // An FS plugin gets what the host gives it before its settings dialog opens: working callbacks,
    // the fsplugin.ini beside wincmd.ini, then "properties" on its root. (Native modules go to the
    // native helper; config.exe itself is tried under Wine.)
    prefix.Write("drive_c/Varnel/config.exe", "");
    const std::string fs = test::InstallSample(prefix.Dir(), test::ModuleBuild::Native, "sample_fs.wfx", "f");
    ConfigureFsPlugin(Host(), fs, "C:\\TC", 0);
    EXPECT_EQ(prefix.Read("configured.txt"),
              "FsInit number=0 progress=0 request=0\n"
              "FsSetDefaultParams size=272 version=2.0 ini=C:\\TC\\fsplugin.ini\n"
              "FsExecuteFile remote=\\ verb=properties\n");
    ConfigureFsPlugin(Host(), crash, "C:\\TC", 0);
    ASSERT_EQ(boxes.Boxes().size(), 4u);
    EXPECT_EQ(boxes.Boxes()[3].text,
              FormatPrintf(Message(Msg::PluginFunctionFailed), {crash, "FsExecuteFile"}));

    unsetenv("VARNEL_SAMPLE_CONFIGURED");
    ClearTable();
    ResetMessageStore();
    SetLanguageLoadedHook(nullptr);
    SetProgramFolder("");
}

} // namespace
} // namespace varnel
