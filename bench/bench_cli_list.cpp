// varnel list --json on a host of 3000 plugins whose modules all exist, against the window-free
// table load with details (the same versions read) in this process: the tool's price for starting,
// locating the host, reading descriptions and writing JSON. Compare the two figures of one run.

#include "bench_support.h"

#include "catalog/catalog_options.h"
#include "catalog/host_config.h"
#include "catalog/module_info.h"
#include "catalog/plugin_table.h"
#include "platform/process.h"
#include "platform/profile.h"

#include <benchmark/benchmark.h>
#include <filesystem>
#include <fstream>

namespace {

varnel::bench::GeneratedHost& Host() {
    static varnel::bench::GeneratedHost host = [] {
        auto h = varnel::bench::MakeGeneratedHost(200 * 1024, 3000);
        varnel::bench::FillModules(h, std::string(VARNEL_TEST_PLUGINS_PE) + "/sample_lister.wlx");
        // varnel checks the host first: the demo's stand-in is one.
        std::filesystem::copy_file(VARNEL_DEMO_HOST_EXE, h.prefixDir + "/drive_c/totalcmd/TOTALCMD.EXE",
                                   std::filesystem::copy_options::overwrite_existing);
        std::ofstream(h.prefixDir + "/TC_varnel.ini")
            << "[Paths]\r\nTCPath=" << h.exeWindowsPath << "\r\nIniPath=" << h.iniWindowsPath
            << "\r\n[Options]\r\nRegisterExt=0\r\nShowVersions=2\r\n";
        return h;
    }();
    setenv("WINEPREFIX", host.prefixDir.c_str(), 1);
    varnel::SetHostPaths(host.exeWindowsPath, host.iniWindowsPath);
    return host;
}

void TableLoadWithDetails(benchmark::State& state) {
    Host();
    varnel::CatalogSettings().showVersions = 2;
    for (auto _ : state) {
        // As varnel starts: nothing known of the file or the modules yet.
        varnel::platform::ResetProfileCache();
        varnel::ForgetModuleFacts();
        varnel::LoadTable(true);
        benchmark::DoNotOptimize(varnel::Table().Count());
    }
    state.counters["rows"] = varnel::Table().Count();
}
BENCHMARK(TableLoadWithDetails)->Unit(benchmark::kMillisecond);

void VarnelListJson(benchmark::State& state) {
    const auto& host = Host();
    size_t bytes = 0;
    for (auto _ : state) {
        varnel::platform::CapturedRun run =
            varnel::platform::RunAndCapture({VARNEL_CLI, "--prefix", host.prefixDir, "--settings",
                                             host.prefixDir + "/TC_varnel.ini", "--json", "list", "--all"},
                                            {}, 120000, 64 * 1024 * 1024);
        if (!run.exited || run.exitCode != 0)
            state.SkipWithError("varnel failed");
        bytes = run.output.size();
    }
    state.counters["json_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(VarnelListJson)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
