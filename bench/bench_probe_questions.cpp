// How long module questions take, per kind of helper (native, 64-bit and 32-bit Windows under
// Wine): the first question of a session, which starts the helper, and the median of the later
// ones, each about a module file of its own (so none is answered from what was kept). Run once
// with the helper that stays and once with VARNEL_PROBE_ONE_SHOT set (a helper per question) for
// the baseline; WINEPREFIX names a prefix made by tests/wine/setup_prefix.sh.
//
//   bench_probe_questions [QUESTIONS]        (default 10)

#include "catalog/module_info.h"
#include "catalog/module_probe.h"
#include "platform/paths.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace varnel;

namespace {

double Ms(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void Measure(const char* label, const fs::path& module, int questions) {
    const char* prefix = std::getenv("WINEPREFIX");
    const fs::path folder = fs::path(prefix) / "drive_c" / "questions" / label;
    fs::create_directories(folder);
    std::vector<std::string> paths;
    for (int i = 0; i < questions; ++i) {
        std::string name = std::to_string(i);
        name.append(".wcx");
        const fs::path copy = folder / name;
        fs::copy_file(module, copy, fs::copy_options::overwrite_existing);
        paths.push_back(platform::ToWindowsPath(copy.string()));
    }
    EndProbeHelpers();
    std::vector<double> ms;
    int wrong = 0;
    for (const std::string& path : paths) {
        QueryStatus status;
        const auto started = std::chrono::steady_clock::now();
        wrong += QueryPackerCaps(path, &status) != 285;
        ms.push_back(Ms(std::chrono::steady_clock::now() - started));
        if (status == QueryStatus::Unavailable) {
            std::printf("%-8s cannot run here: %s\n", label, LastQueryProblem().c_str());
            return;
        }
    }
    std::vector<double> later(ms.begin() + 1, ms.end());
    std::sort(later.begin(), later.end());
    std::printf("%-8s first %8.1f ms   later (median of %zu) %7.1f ms%s\n", label, ms[0], later.size(),
                later.empty() ? 0.0 : later[later.size() / 2], wrong ? "   WRONG ANSWERS" : "");
    EndProbeHelpers();
}

} // namespace

int main(int argc, char** argv) {
    const int questions = argc > 1 ? std::max(2, std::atoi(argv[1])) : 10;
    if (!std::getenv("WINEPREFIX")) {
        std::fprintf(stderr, "WINEPREFIX must name a prefix\n");
        return 2;
    }
    const fs::path plugins = fs::path(VARNEL_TEST_PLUGINS_PE).parent_path();
    std::printf("%s\n",
                std::getenv("VARNEL_PROBE_ONE_SHOT") ? "a helper per question" : "a helper that stays");
    Measure("native", plugins / "elf" / "sample_packer.wcx", questions);
    Measure("pe64", plugins / "pe" / "sample_packer.wcx", questions);
    if (fs::exists(plugins / "pe32" / "sample_packer.wcx"))
        Measure("pe32", plugins / "pe32" / "sample_packer.wcx", questions);
    return 0;
}
