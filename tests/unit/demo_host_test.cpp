// The demo host that ./run.sh opens and the GUI tests copy: its registrations, modules and
// registry values load as a real installation would.

#include "app/settings.h"
#include "catalog/host_config.h"
#include "catalog/host_location.h"
#include "catalog/module_info.h"
#include "catalog/plugin_table.h"
#include "demo_host.h"
#include "lang/language.h"
#include "platform/registry.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace varnel {
namespace {

TEST(DemoHost, LoadsAsAnInstalledHost) {
    test::TempPrefix prefix;
    if (!test::MakeDemoHost(prefix))
        GTEST_SKIP() << "the demo host needs the MinGW-w64 build";
    AppSettings() = Settings{};
    ResetMessageStore();
    EXPECT_EQ(platform::ReadRegistryString(platform::RegistryRoot::LocalMachine,
                                           "Software\\Ghisler\\Total Commander", "InstallDir"),
              "C:\\totalcmd");
    EXPECT_EQ(ReadVersionText(test::kDemoHostExe, "InternalName"), "TOTALCMD");
    EXPECT_EQ(ReadVersionText(test::kDemoHostExe, "ProductVersion"), "11.03");

    SetHostPaths(test::kDemoHostExe, test::kDemoHostIni);
    LoadTable(true);
    std::vector<std::string> rows;
    for (int row = 1; row <= Table().Count(); ++row) {
        const PluginEntry& e = Table().Row(row);
        rows.push_back(std::string(kKindWords[static_cast<size_t>(e.Kind)]) + "|" + e.Name + "|" +
                       e.Association + "|" + StateText(row));
    }
    EXPECT_EQ(rows, (std::vector<std::string>{
                        "Packer|Sample Packer|smp spk sp2|idle",
                        "Lister|Sample Lister|EXT=\"TXT\" | EXT=\"LOG\"|idle",
                        "Content|Beispiel-Inhalt|MULTIMEDIA|idle",
                        "Content|lost||-deleted-",
                        "FS|sample_fs|Sample FS|idle",
                        "Lister|old_viewer||-disabled-",
                    }));
    EXPECT_EQ(Table().Row(1).FileName, "C:\\totalcmd\\plugins\\wcx\\sample_packer\\sample_packer.wcx");
    ClearTable();
}

// The host as its installer leaves it: found through the 32-bit registry view, its configuration
// under %APPDATA%, its plugins in folders with blanks and letters inside and outside the code page.
TEST(DemoHost, RealisticHostIsFoundAndListed) {
    test::TempPrefix prefix;
    if (!test::MakeDemoHost(prefix, true))
        GTEST_SKIP() << "the realistic host needs both MinGW-w64 builds";
    AppSettings() = Settings{};
    ResetMessageStore();
    unsetenv("COMMANDER_PATH");
    std::string exe = DefaultHostExe();
    EXPECT_EQ(exe, "C:\\Program Files\\totalcmd\\Totalcmd.exe");
    std::string ini = DefaultHostIni();
    EXPECT_EQ(ini, "C:\\users\\me\\AppData\\Roaming\\GHISLER\\wincmd.ini");
    EXPECT_TRUE(IsHostExecutable(exe));

    SetHostPaths(exe, ini);
    LoadTable(true);
    std::vector<std::string> rows;
    for (int row = 1; row <= Table().Count(); ++row) {
        const PluginEntry& e = Table().Row(row);
        rows.push_back(std::string(kKindWords[static_cast<size_t>(e.Kind)]) + "|" + e.Name + "|" +
                       StateText(row) + "|" + e.FileName);
    }
    const std::string tc = "C:\\Program Files\\totalcmd\\plugins\\";
    EXPECT_EQ(rows, (std::vector<std::string>{
                        "Packer|Sample Packer|idle|\xEF\xBB\xBF" + tc +
                            "wcx\\\xD0\x9F\xD0\xB0\xD0\xBA\xD0\xB5\xD1\x80\\sample_packer.wcx",
                        "Lister|Sample Lister|idle|" + tc +
                            "wlx\\Bildbetrachter Gr\xF6\xDF"
                            "e\\sample_lister.wlx",
                        "Content|Beispiel-Inhalt|idle|" + tc + "wdx\\Inhalt (Beispiel)\\sample_content.wdx",
                        "FS|sample_fs|idle|" + tc + "wfx\\Sample FS\\sample_fs.wfx",
                    }));
    ClearTable();
}

} // namespace
} // namespace varnel
