// The demo host that ./run.sh opens and the GUI tests copy: its registrations, modules and
// registry values load as a real installation would.

#include "app/settings.h"
#include "catalog/host_config.h"
#include "catalog/host_location.h"
#include "catalog/module_info.h"
#include "catalog/plugin_table.h"
#include "demo_host.h"
#include "lang/language.h"
#include "mapped_file.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "util/text.h"

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
    // Both programs lie there: the 64-bit one is the host, unless the 32-bit one is the one running.
    EXPECT_EQ(DefaultHostExe(), "C:\\Program Files\\totalcmd\\TOTALCMD64.EXE");
    std::string exe = "C:\\Program Files\\totalcmd\\Totalcmd.exe";
    {
        test::MappedInChild running(platform::ToHostPath(exe));
        ASSERT_TRUE(running.Mapped());
        EXPECT_EQ(DefaultHostExe(), exe);
    }
    std::string ini = DefaultHostIni();
    EXPECT_EQ(ini, "C:\\users\\me\\AppData\\Roaming\\GHISLER\\wincmd.ini");
    EXPECT_TRUE(IsHostExecutable(exe));

    // Each row as kind|name|state|registered file|module the host loads|its bits, "!" when the
    // host cannot load it.
    auto listing = [] {
        LoadTable(true);
        std::vector<std::string> rows;
        for (int row = 1; row <= Table().Count(); ++row) {
            const PluginEntry& e = Table().Row(row);
            std::string loads = e.HostModule == e.FileName ? "=" : FileNamePart(e.HostModule);
            rows.push_back(std::string(kKindWords[static_cast<size_t>(e.Kind)]) + "|" + e.Name + "|" +
                           StateText(row) + "|" + e.FileName + "|" + loads + "|" + std::to_string(e.Bits) +
                           (BitsMatch(e.Bits, Host().HostBits) ? "" : "!"));
        }
        return rows;
    };
    const std::string tc = "C:\\Program Files\\totalcmd\\plugins\\";
    const std::string packer =
        "\xEF\xBB\xBF" + tc + "wcx\\\xD0\x9F\xD0\xB0\xD0\xBA\xD0\xB5\xD1\x80\\sample_packer.wcx";
    const std::string lister = tc + "wlx\\Bildbetrachter Gr\xF6\xDF"
                                    "e\\sample_lister.wlx";
    const std::string content = tc + "wdx\\Inhalt (Beispiel)\\sample_content.wdx";
    const std::string fs = tc + "wfx\\Sample FS\\sample_fs.wfx";
    const std::string old = tc + "wlx\\Alter Betrachter\\old_viewer.wlx";
    const std::string neu = tc + "wdx\\Neu 64\\neu.wdx64";
    SetHostPaths(exe, ini);
    EXPECT_EQ(listing(), (std::vector<std::string>{
                             "Packer|Sample Packer|idle|" + packer + "|=|32",
                             "Lister|Sample Lister|idle|" + lister + "|=|32",
                             "Lister|Sample Lister|idle|" + old + "|=|32",
                             "Content|Beispiel-Inhalt|idle|" + content + "|=|32",
                             "Content|Beispiel-Inhalt|idle|" + neu + "|=|64!",
                             "FS|sample_fs|idle|" + fs + "|=|32",
                         }));
    // The 64-bit program of the same installation loads the 64-bit twins.
    SetHostPaths("C:\\Program Files\\totalcmd\\TOTALCMD64.EXE", ini);
    EXPECT_EQ(listing(), (std::vector<std::string>{
                             "Packer|Sample Packer|idle|" + packer + "|sample_packer.wcx64|64",
                             "Lister|Sample Lister|idle|" + lister + "|sample_lister.wlx64|64",
                             "Lister|Sample Lister|idle|" + old + "|=|32!",
                             "Content|Beispiel-Inhalt|idle|" + content + "|sample_content.wdx64|64",
                             "Content|Beispiel-Inhalt|idle|" + neu + "|=|64",
                             "FS|sample_fs|idle|" + fs + "|sample_fs.wfx64|64",
                         }));
    ClearTable();
}

} // namespace
} // namespace varnel
