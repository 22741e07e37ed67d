// One full parse of a 200 KB wincmd.ini against a table load without details from it.
// The budget: the load costs no more than 20 full parses.

#include "bench_support.h"

#include "catalog/host_config.h"
#include "catalog/plugin_table.h"
#include "platform/files.h"
#include "platform/ini_text.h"

#include <benchmark/benchmark.h>

namespace {

varnel::bench::GeneratedHost& Host() {
    static varnel::bench::GeneratedHost host = [] {
        auto h = varnel::bench::MakeGeneratedHost();
        varnel::SetHostPaths(h.exeWindowsPath, h.iniWindowsPath);
        return h;
    }();
    return host;
}

void FullParse(benchmark::State& state) {
    const auto& host = Host();
    for (auto _ : state) {
        std::string bytes;
        varnel::platform::ReadWholeFile(host.iniWindowsPath, bytes);
        varnel::platform::IniText text(std::move(bytes));
        benchmark::DoNotOptimize(text);
    }
    state.counters["bytes"] = static_cast<double>(host.iniBytes);
}
BENCHMARK(FullParse)->Unit(benchmark::kMicrosecond);

void LoadTableWithoutDetails(benchmark::State& state) {
    const auto& host = Host();
    for (auto _ : state) {
        varnel::LoadTable(false);
        benchmark::DoNotOptimize(varnel::Table().Count());
    }
    state.counters["rows"] = varnel::Table().Count();
    state.counters["plugins"] = host.plugins;
}
BENCHMARK(LoadTableWithoutDetails)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    varnel::bench::RemoveGeneratedHost(Host());
    return 0;
}
