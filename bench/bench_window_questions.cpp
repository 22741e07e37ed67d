// What the window makes the user wait for when it asks modules, under Wine: Add of a 64-bit Lister
// (the first of a window, which starts the helper, then a second one), Configure on a packer, and
// Refresh over a list that holds twenty 64-bit Listers, each with the number of helpers it started.
// Each round is a new window on the host as it was (nothing kept from the round before: no
// answers, no helper); the figures are the medians of the rounds. Run once as it is and once with
// VARNEL_PROBE_ONE_SHOT set (a helper per question) for the baseline; WINEPREFIX names a prefix
// made by tests/wine/setup_prefix.sh.
//
//   bench_window_questions [ROUNDS]        (default 5)

#include "app/settings.h"
#include "catalog/module_info.h"
#include "catalog/module_probe.h"
#include "lang/interaction.h"
#include "lang/language.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/program_folder.h"
#include "ui/form_tcvarnel.h"

#include <QApplication>
#include <QItemSelectionModel>
#include <QTableWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace varnel;

namespace {

// The user: picks the file Add is to install, says yes, and copies modules into the plugin folder.
class Answers : public Interaction {
public:
    std::string file;
    int Show(const Notice&) override { return kIdOk; }
    std::vector<std::string> OpenFiles(const FileDialogRequest&) override { return {file}; }
    std::optional<std::string> AskAssociation(const std::string&, int8_t, const std::string& proposal,
                                              bool) override {
        return proposal;
    }
    CopyChoice AskCopyModule(const std::string&) override { return CopyChoice::Copy; }
    bool AcceptBitness(const std::string&) override { return true; }
};

struct Step {
    const char* name;
    std::vector<double> ms;
    std::vector<unsigned> starts;
};

void Write(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const char* prefixDir = std::getenv("WINEPREFIX");
    if (!prefixDir) {
        std::fprintf(stderr, "bench_window_questions: WINEPREFIX names no prefix\n");
        return 2;
    }
    const fs::path drive = fs::path(prefixDir) / "drive_c";
    const std::string samples = VARNEL_TEST_PLUGINS_PE;
    // The host: twenty 64-bit Listers and a packer registered, two Listers waiting in Downloads.
    std::string ini = "[Configuration]\r\nInstallDir=C:\\totalcmd\r\n[ListerPlugins]\r\n";
    for (int i = 0; i < 20; ++i) {
        const std::string name = "view" + std::to_string(i);
        fs::create_directories(drive / "totalcmd/plugins/wlx" / name);
        fs::copy_file(samples + "/sample_lister.wlx", drive / "totalcmd/plugins/wlx" / name / (name + ".wlx"),
                      fs::copy_options::overwrite_existing);
        ini += std::to_string(i) + "=C:\\totalcmd\\plugins\\wlx\\" + name + "\\" + name + ".wlx\r\n";
        ini += std::to_string(i) + "_detect=EXT=\"TXT\"\r\n";
    }
    fs::create_directories(drive / "totalcmd/plugins/wcx/pack");
    fs::copy_file(samples + "/sample_packer.wcx", drive / "totalcmd/plugins/wcx/pack/pack.wcx",
                  fs::copy_options::overwrite_existing);
    ini += "[PackerPlugins]\r\npk=285,C:\\totalcmd\\plugins\\wcx\\pack\\pack.wcx\r\n";
    Write(drive / "totalcmd/wincmd.ini", ini);
    fs::copy_file(VARNEL_DEMO_HOST_EXE, drive / "totalcmd/TOTALCMD64.EXE",
                  fs::copy_options::overwrite_existing);
    for (const char* name : {"new1.wlx", "new2.wlx"}) {
        fs::create_directories(drive / "Downloads");
        fs::copy_file(samples + "/sample_lister.wlx", drive / "Downloads" / name,
                      fs::copy_options::overwrite_existing);
    }
    fs::create_directories(drive / "Varnel");
    fs::copy(std::string(VARNEL_SOURCE_DIR) + "/Language", drive / "Varnel/Language",
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    Write(drive / "Varnel/TC_varnel.ini", "[Options]\r\nRegisterExt=0\r\n");
    SetProgramFolder("C:\\Varnel");
    SetLanguageLoadedHook(LoadMessages);
    SetLanguage("English");
    Settings& s = AppSettings();
    s.TCPath = "C:\\totalcmd\\TOTALCMD64.EXE";
    s.IniPath = "C:\\totalcmd\\wincmd.ini";
    s.ShowVersionsCol = true;
    PassSettingsToCatalog(s);
    setenv("VARNEL_SAMPLE_CONFIGURED", "C:\\configured.txt", 1); // the sample packer says it was configured

    Step steps[] = {{"Add, first of the window", {}, {}},
                    {"Add, second", {}, {}},
                    {"Configure a packer", {}, {}},
                    {"Refresh (20 Listers)", {}, {}}};
    for (int round = 0; round < rounds; ++round) {
        // The host as it was, and nothing kept from the round before.
        Write(drive / "totalcmd/wincmd.ini", ini);
        fs::remove_all(drive / "totalcmd/Plugins"); // where Add copies the modules to
        fs::remove_all(drive / "Varnel/history");
        EndProbeHelpers();
        ForgetModuleFacts();
        platform::ResetProfileCache();
        auto window = std::make_unique<TFormTCVarnel>();
        window->show();
        QApplication::processEvents();
        Answers user;
        auto timed = [&](Step& step, const std::function<void()>& action) {
            const unsigned before = ProbeHelperStarts();
            const auto started = std::chrono::steady_clock::now();
            action();
            QApplication::processEvents();
            step.ms.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
                    .count());
            step.starts.push_back(ProbeHelperStarts() - before);
        };
        user.file = "C:\\Downloads\\new1.wlx";
        timed(steps[0], [&] { window->btnAddClick(); });
        user.file = "C:\\Downloads\\new2.wlx";
        timed(steps[1], [&] { window->btnAddClick(); });
        auto* list = window->findChild<QTableWidget*>("ListView1");
        for (int row = 0; list && row < list->rowCount(); ++row) {
            const bool packer = list->item(row, 0) && list->item(row, 0)->text().contains("Sample Packer");
            if (packer) {
                list->clearSelection();
                list->selectionModel()->select(list->model()->index(row, 0),
                                               QItemSelectionModel::Select | QItemSelectionModel::Rows);
                break;
            }
        }
        fs::remove(drive / "configured.txt");
        timed(steps[2], [&] { window->btnConfigureClick(); });
        timed(steps[3], [&] {
            window->btnRefreshClick();
            window->Timer1Timer();
        });
        // Figures count only for work that was done.
        std::ifstream in(drive / "totalcmd/wincmd.ini", std::ios::binary);
        const std::string after((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (after.find("new1.wlx") == std::string::npos || after.find("new2.wlx") == std::string::npos ||
            !fs::exists(drive / "configured.txt")) {
            std::fprintf(stderr, "bench_window_questions: the window did not install or configure:\n%s\n",
                         after.c_str());
            return 1;
        }
    }
    std::printf("%s (median of %d windows)\n",
                std::getenv("VARNEL_PROBE_ONE_SHOT") ? "a helper per question" : "a helper that stays",
                rounds);
    for (Step& step : steps) {
        std::sort(step.ms.begin(), step.ms.end());
        std::sort(step.starts.begin(), step.starts.end());
        std::printf("  %-26s %8.1f ms   helpers started %u\n", step.name, step.ms[step.ms.size() / 2],
                    step.starts[step.starts.size() / 2]);
    }
    EndProbeHelpers();
    return 0;
}
