// The demo host that ./run.sh opens and the GUI tests copy: its registrations, modules and
// registry values load as a real installation would.

#include "app/settings.h"
#include "catalog/host_config.h"
#include "catalog/module_info.h"
#include "catalog/plugin_table.h"
#include "demo_host.h"
#include "lang/language.h"
#include "platform/registry.h"

#include <gtest/gtest.h>

namespace varnel {
namespace {

TEST(DemoHost, LoadsAsAnInstalledHost) {
    test::TempPrefix prefix;
    if (!test::MakeDemoHost(prefix))
        GTEST_SKIP() << "the demo host needs the MinGW-w64 build";
    AppSettings() = Settings{};
    ResetMessageStore();
    EXPECT_EQ(platform::ReadRegistryString(platform::RegistryRoot::LocalMachine, "Software\\Ghisler\\Total Commander",
                                           "InstallDir"),
              "C:\\totalcmd");
    EXPECT_EQ(ReadVersionText(test::kDemoHostExe, "InternalName"), "TOTALCMD");
    EXPECT_EQ(ReadVersionText(test::kDemoHostExe, "ProductVersion"), "11.03");

    SetHostPaths(test::kDemoHostExe, test::kDemoHostIni);
    LoadTable(true);
    std::vector<std::string> rows;
    for (int row = 1; row <= Table().Count(); ++row) {
        const PluginEntry& e = Table().Row(row);
        rows.push_back(std::string(kKindWords[static_cast<size_t>(e.Kind)]) + "|" + e.Name + "|" + e.Association +
                       "|" + StateText(row));
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

} // namespace
} // namespace varnel
