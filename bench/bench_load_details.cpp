// A table load with details over 300 and 3000 Windows modules of about 100 KB (copies of a sample
// plugin with a version resource), against the same load without details: the first load reads
// every module, a reload of unchanged modules only looks at their stamps.

#include "bench_support.h"

#include "catalog/catalog_options.h"
#include "catalog/host_config.h"
#include "catalog/module_info.h"
#include "catalog/plugin_table.h"
#include "platform/paths.h"

#include "platform/system.h"

#include <benchmark/benchmark.h>
#include <filesystem>
#include <fstream>
#include <map>

namespace fs = std::filesystem;

namespace {

varnel::bench::GeneratedHost& HostOf(int plugins) {
    static std::map<int, varnel::bench::GeneratedHost> hosts;
    auto found = hosts.find(plugins);
    if (found == hosts.end()) {
        auto h = varnel::bench::MakeGeneratedHost(200 * 1024, plugins);
        // Every registered module exists: a copy of the sample Lister, padded to about 100 KB.
        varnel::bench::FillModules(h, std::string(VARNEL_TEST_PLUGINS_PE) + "/sample_lister.wlx");
        found = hosts.emplace(plugins, std::move(h)).first;
    }
    setenv("WINEPREFIX", found->second.prefixDir.c_str(), 1);
    varnel::SetHostPaths(found->second.exeWindowsPath, found->second.iniWindowsPath);
    return found->second;
}

void LoadWithoutDetails(benchmark::State& state) {
    HostOf(static_cast<int>(state.range(0)));
    for (auto _ : state)
        varnel::LoadTable(false);
    state.counters["rows"] = varnel::Table().Count();
}
BENCHMARK(LoadWithoutDetails)->Arg(300)->Arg(3000)->Unit(benchmark::kMillisecond);

// Names from the version resource and fixed versions: what the list shows by default.
void FirstLoadWithDetails(benchmark::State& state) {
    HostOf(static_cast<int>(state.range(0)));
    varnel::CatalogSettings().showNames = 2;
    varnel::CatalogSettings().showVersions = 1;
    for (auto _ : state) {
        varnel::ForgetModuleFacts();
        varnel::LoadTable(true);
    }
    state.counters["rows"] = varnel::Table().Count();
}
BENCHMARK(FirstLoadWithDetails)->Arg(300)->Arg(3000)->Unit(benchmark::kMillisecond);

void ReloadWithDetails(benchmark::State& state) {
    HostOf(static_cast<int>(state.range(0)));
    varnel::CatalogSettings().showNames = 2;
    varnel::CatalogSettings().showVersions = 1;
    varnel::LoadTable(true);
    for (auto _ : state)
        varnel::LoadTable(true);
    state.counters["rows"] = varnel::Table().Count();
    state.SetLabel(varnel::Table().Row(1).Name + " " + varnel::Table().Row(1).Version);
}
BENCHMARK(ReloadWithDetails)->Arg(300)->Arg(3000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    varnel::platform::KeepLargeBuffersForReuse(); // as the program does at start-up
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (int plugins : {300, 3000})
        varnel::bench::RemoveGeneratedHost(HostOf(plugins));
    return 0;
}
