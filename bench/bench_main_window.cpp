// The main window over 300 plugins (VARNEL_BENCH_PLUGINS sets another number): one FillList with
// details and one refresh tick over all rows.

#include "bench_support.h"

#include "app/settings.h"
#include "lang/language.h"
#include "platform/paths.h"
#include "platform/program_folder.h"
#include "ui/form_tcvarnel.h"

#include <QApplication>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <memory>

namespace {

varnel::bench::GeneratedHost g_host;
std::unique_ptr<varnel::TFormTCVarnel> g_window;

void FillList(benchmark::State& state) {
    for (auto _ : state)
        g_window->FillList();
    state.counters["rows"] = static_cast<double>(g_window->ListRows().size());
}
BENCHMARK(FillList)->Unit(benchmark::kMillisecond);

void RefreshTick(benchmark::State& state) {
    g_window->FillList();
    for (auto _ : state)
        g_window->Timer1Timer();
    state.counters["rows"] = static_cast<double>(g_window->ListRows().size());
}
BENCHMARK(RefreshTick)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const char* plugins = std::getenv("VARNEL_BENCH_PLUGINS");
    g_host = varnel::bench::MakeGeneratedHost(200 * 1024, plugins ? std::atoi(plugins) : 300);
    varnel::bench::FillModules(g_host, std::string(VARNEL_TEST_PLUGINS_PE) + "/sample_lister.wlx");
    std::filesystem::create_directories(g_host.prefixDir + "/drive_c/Varnel");
    std::filesystem::copy(std::string(VARNEL_SOURCE_DIR) + "/Language",
                          g_host.prefixDir + "/drive_c/Varnel/Language",
                          std::filesystem::copy_options::recursive);
    varnel::SetProgramFolder("C:\\Varnel");
    varnel::SetLanguageLoadedHook(varnel::LoadMessages);
    varnel::SetLanguage("English");
    varnel::Settings& s = varnel::AppSettings();
    s.TCPath = g_host.exeWindowsPath;
    s.IniPath = g_host.iniWindowsPath;
    s.ShowNames = 2;
    s.ShowVersionsCol = true;
    varnel::PassSettingsToCatalog(s);
    g_window = std::make_unique<varnel::TFormTCVarnel>();
    g_window->show();
    QApplication::processEvents();

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_window.reset();
    varnel::bench::RemoveGeneratedHost(g_host);
    return 0;
}
