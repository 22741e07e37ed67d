// The main window over 300 plugins (VARNEL_BENCH_PLUGINS sets another number): start-up to a
// filled window with nothing cached, one FillList with details, and one refresh tick over all rows.

#include "bench_support.h"

#include "app/settings.h"
#include "catalog/module_info.h"
#include "lang/language.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/program_folder.h"
#include "platform/system.h"
#include "ui/form_tcvarnel.h"

#include <QApplication>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

namespace {

varnel::bench::GeneratedHost g_host;
std::unique_ptr<varnel::TFormTCVarnel> g_window;

// What the program does from its settings on: makes the window, shows it and fills the list, with
// every cache of module facts, paths and profile files empty as in a new process.
void StartUp(benchmark::State& state) {
    size_t rows = 0;
    for (auto _ : state) {
        g_window.reset();
        varnel::platform::ResetProfileCache();
        varnel::platform::ResetPathCache();
        varnel::ForgetModuleFacts();
        g_window = std::make_unique<varnel::TFormTCVarnel>();
        g_window->show();
        QApplication::processEvents();
        rows = g_window->ListRows().size();
    }
    state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(StartUp)->Unit(benchmark::kMillisecond);

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
    varnel::platform::KeepLargeBuffersForReuse(); // as the program does at start-up
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const char* plugins = std::getenv("VARNEL_BENCH_PLUGINS");
    g_host = varnel::bench::MakeGeneratedHost(200 * 1024, plugins ? std::atoi(plugins) : 300);
    varnel::bench::FillModules(g_host, std::string(VARNEL_TEST_PLUGINS_PE) + "/sample_lister.wlx");
    std::filesystem::copy_file(VARNEL_DEMO_HOST_EXE, g_host.prefixDir + "/drive_c/totalcmd/TOTALCMD.EXE");
    std::filesystem::create_directories(g_host.prefixDir + "/drive_c/Varnel");
    std::filesystem::copy(std::string(VARNEL_SOURCE_DIR) + "/Language",
                          g_host.prefixDir + "/drive_c/Varnel/Language",
                          std::filesystem::copy_options::recursive);
    // The window would register the plugin file types on this machine's desktop.
    std::ofstream(g_host.prefixDir + "/drive_c/Varnel/TC_varnel.ini") << "[Options]\r\nRegisterExt=0\r\n";
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
