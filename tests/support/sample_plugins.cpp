#include "sample_plugins.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace varnel::test {

std::string SamplePluginFile(ModuleBuild build, std::string_view name) {
    std::string folder = build == ModuleBuild::Windows     ? VARNEL_TEST_PLUGINS_PE
                         : build == ModuleBuild::Windows32 ? std::string(VARNEL_TEST_PLUGINS_PE) + "32"
                                                           : VARNEL_TEST_PLUGINS_ELF;
    return folder + "/" + std::string(name);
}

bool HaveWindowsSamples() {
    return fs::exists(SamplePluginFile(ModuleBuild::Windows, "sample_lister.wlx"));
}

std::string InstallSample(const std::string& prefixDir, ModuleBuild build, std::string_view name,
                          std::string_view folder, std::string_view asName) {
    std::string target = asName.empty() ? std::string(name) : std::string(asName);
    std::string machineFolder(folder);
    for (char& c : machineFolder)
        if (c == '\\')
            c = '/';
    fs::path dir = fs::path(prefixDir) / "drive_c" / machineFolder;
    fs::create_directories(dir);
    fs::copy_file(SamplePluginFile(build, name), dir / target, fs::copy_options::overwrite_existing);
    std::string windows = "C:\\" + std::string(folder) + "\\" + target;
    for (char& c : windows)
        if (c == '/')
            c = '\\';
    return windows;
}

} // namespace varnel::test
