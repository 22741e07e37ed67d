// The physical floor (one read and one parse of wincmd.ini) against the table load without
// details, for hosts of 30, 300 and 3000 plugins, and a disable followed by an enable of one
// plugin among 3000 in a 10 MB wincmd.ini. Compare each figure with the floor of its own host.

#include "bench_support.h"

#include "catalog/host_config.h"
#include "catalog/plugin_table.h"
#include "catalog/registration.h"
#include "platform/files.h"
#include "platform/ini_text.h"
#include "platform/profile.h"

#include "platform/system.h"

#include <benchmark/benchmark.h>
#include <map>

namespace {

// One generated host per size; the benchmarks of one size share it.
varnel::bench::GeneratedHost& HostOf(int plugins, size_t bytes) {
    static std::map<std::pair<int, size_t>, varnel::bench::GeneratedHost> hosts;
    auto found = hosts.find({plugins, bytes});
    if (found == hosts.end())
        found =
            hosts.emplace(std::make_pair(plugins, bytes), varnel::bench::MakeGeneratedHost(bytes, plugins))
                .first;
    setenv("WINEPREFIX", found->second.prefixDir.c_str(), 1);
    varnel::SetHostPaths(found->second.exeWindowsPath, found->second.iniWindowsPath);
    return found->second;
}

size_t BytesFor(int plugins) {
    return plugins >= 3000 ? 10 * 1024 * 1024 : 200 * 1024;
}

void FullParse(benchmark::State& state) {
    const auto& host = HostOf(static_cast<int>(state.range(0)), BytesFor(static_cast<int>(state.range(0))));
    for (auto _ : state) {
        std::string bytes;
        varnel::platform::ReadWholeFile(host.iniWindowsPath, bytes, varnel::platform::kMaxProfileBytes);
        varnel::platform::IniText text(std::move(bytes));
        benchmark::DoNotOptimize(text);
    }
    state.counters["bytes"] = static_cast<double>(host.iniBytes);
}
BENCHMARK(FullParse)->Arg(30)->Arg(300)->Arg(3000)->Unit(benchmark::kMillisecond);

void LoadTableWithoutDetails(benchmark::State& state) {
    const auto& host = HostOf(static_cast<int>(state.range(0)), BytesFor(static_cast<int>(state.range(0))));
    for (auto _ : state) {
        varnel::platform::ResetProfileCache(); // a fresh read each time, as after a change
        varnel::LoadTable(false);
        benchmark::DoNotOptimize(varnel::Table().Count());
    }
    state.counters["rows"] = varnel::Table().Count();
    state.counters["plugins"] = host.plugins;
}
BENCHMARK(LoadTableWithoutDetails)->Arg(30)->Arg(300)->Arg(3000)->Unit(benchmark::kMillisecond);

// Disable the middle Lister and enable it again: two commands, each one file replacement.
void DisableAndEnableOne(benchmark::State& state) {
    const auto& host = HostOf(3000, 10 * 1024 * 1024);
    const std::string module = "C:\\totalcmd\\plugins\\wlx\\lister500\\lister500.wlx";
    for (auto _ : state) {
        varnel::LoadTable(false);
        {
            varnel::HostConfigTransaction transaction;
            varnel::RemovePlugin(varnel::FindEntryByFile(module), true);
            transaction.Commit();
        }
        varnel::LoadTable(false);
        {
            varnel::HostConfigTransaction transaction;
            varnel::EnablePlugin(varnel::FindEntryByFile(module));
            transaction.Commit();
        }
    }
    state.counters["bytes"] = static_cast<double>(host.iniBytes);
}
BENCHMARK(DisableAndEnableOne)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    varnel::platform::KeepLargeBuffersForReuse(); // as the program does at start-up
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (int plugins : {30, 300, 3000})
        varnel::bench::RemoveGeneratedHost(HostOf(plugins, BytesFor(plugins)));
    return 0;
}
