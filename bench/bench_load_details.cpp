// A table load with details over 300 Windows modules of about 100 KB (copies of a sample plugin
// with a version resource), against the same load without details. Budget: under 50 ms with a
// warm file cache.

#include "bench_support.h"

#include "app/settings.h"
#include "catalog/host_config.h"
#include "catalog/plugin_table.h"
#include "platform/paths.h"

#include <benchmark/benchmark.h>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

varnel::bench::GeneratedHost& Host() {
    static varnel::bench::GeneratedHost host = [] {
        auto h = varnel::bench::MakeGeneratedHost();
        // Every registered module exists: a copy of the sample Lister, padded to about 100 KB.
        varnel::bench::FillModules(h, std::string(VARNEL_TEST_PLUGINS_PE) + "/sample_lister.wlx");
        varnel::SetHostPaths(h.exeWindowsPath, h.iniWindowsPath);
        return h;
    }();
    return host;
}

void LoadWithoutDetails(benchmark::State& state) {
    Host();
    for (auto _ : state)
        varnel::LoadTable(false);
    state.counters["rows"] = varnel::Table().Count();
}
BENCHMARK(LoadWithoutDetails)->Unit(benchmark::kMillisecond);

void LoadWithDetails(benchmark::State& state) {
    Host();
    varnel::AppSettings().ShowNames = 2;
    varnel::AppSettings().ShowVersions = static_cast<int>(state.range(0));
    for (auto _ : state)
        varnel::LoadTable(true);
    state.counters["rows"] = varnel::Table().Count();
    state.SetLabel(varnel::Table().Row(1).Name + " " + varnel::Table().Row(1).Version);
}
BENCHMARK(LoadWithDetails)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    varnel::bench::RemoveGeneratedHost(Host());
    return 0;
}
