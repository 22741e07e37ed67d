#include "bench_support.h"

#include "catalog/host_config.h"
#include "catalog/plugin_table.h"
#include "platform/paths.h"
#include "platform/profile.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace fs = std::filesystem;

namespace varnel::bench {

GeneratedHost MakeGeneratedHost(size_t targetBytes, int plugins) {
    const int third = plugins / 3;
    const int sixth = plugins / 6;
    GeneratedHost host;
    std::string pattern = (fs::temp_directory_path() / "varnel-bench-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data()))
        throw std::runtime_error("mkdtemp failed");
    host.prefixDir = buffer.data();
    fs::create_directories(host.prefixDir + "/drive_c/totalcmd/plugins");
    fs::create_directories(host.prefixDir + "/dosdevices");
    fs::create_directory_symlink("../drive_c", host.prefixDir + "/dosdevices/c:");
    setenv("WINEPREFIX", host.prefixDir.c_str(), 1);
    platform::ResetPathCache();
    platform::ResetProfileCache();

    std::string ini =
        "[Configuration]\r\nInstallDir=C:\\totalcmd\r\nPluginBaseDir=%COMMANDER_PATH%\\plugins\r\n"
        "Mainmenu=WCMD_ENG.MNU\r\nLanguageIni=WCMD_ENG.LNG\r\n";
    for (int i = 0; i < 200; ++i)
        ini += "Setting" + std::to_string(i) + "=" + std::to_string(i * 7) + "\r\n";
    ini += "[PackerPlugins]\r\n";
    const char* extensions[] = {"zip", "rar", "7z", "tar", "gz", "bz2", "xz", "cab", "arj", "lzh"};
    for (int i = 0; i < third; ++i) {
        for (int e = 0; e <= i % 3; ++e)
            ini += std::string(extensions[(i + e) % 10]) + std::to_string(i) + "=" + std::to_string(i % 64) +
                   ",%COMMANDER_PATH%\\plugins\\wcx\\packer" + std::to_string(i) + "\\packer" +
                   std::to_string(i) + ".wcx\r\n";
        ++host.plugins;
    }
    ini += "[ListerPlugins]\r\n";
    for (int i = 0; i < third; ++i) {
        ini += std::to_string(i) + "=%COMMANDER_PATH%\\plugins\\wlx\\lister" + std::to_string(i) +
               "\\lister" + std::to_string(i) + ".wlx\r\n";
        ini +=
            std::to_string(i) + "_detect=EXT=\"TXT\" | EXT=\"LOG\" | EXT=\"X" + std::to_string(i) + "\"\r\n";
        ++host.plugins;
    }
    ini += "[ContentPlugins]\r\n";
    for (int i = 0; i < sixth; ++i) {
        ini += std::to_string(i) + "=C:\\totalcmd\\plugins\\wdx\\content" + std::to_string(i) + ".wdx\r\n";
        ini += std::to_string(i) + "_detect=MULTIMEDIA\r\n";
        ++host.plugins;
    }
    ini += "[FileSystemPlugins]\r\n";
    for (int i = 0; i < sixth; ++i) {
        ini += "Root Name " + std::to_string(i) + "=%COMMANDER_PATH%\\plugins\\wfx\\fs" + std::to_string(i) +
               ".wfx\r\n";
        ++host.plugins;
    }
    // History and colour sections, as a well-used configuration has, until the size is reached.
    for (int section = 0; ini.size() < targetBytes; ++section) {
        ini += "[left history " + std::to_string(section) + "]\r\n";
        for (int i = 0; i < 50 && ini.size() < targetBytes; ++i)
            ini += std::to_string(i) + "=C:\\Users\\someone\\Documents\\Projects\\folder" +
                   std::to_string(i) + "\\sub\r\n";
    }
    std::ofstream(host.prefixDir + "/drive_c/totalcmd/wincmd.ini", std::ios::binary) << ini;
    host.iniBytes = ini.size();
    return host;
}

void FillModules(const GeneratedHost& host, const std::string& moduleFile) {
    std::ifstream in(moduleFile, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < 100 * 1024)
        bytes.resize(100 * 1024, '\0');
    SetHostPaths(host.exeWindowsPath, host.iniWindowsPath);
    LoadTable(false);
    for (int row = 1; row <= Table().Count(); ++row) {
        std::string path = platform::ToHostPath(Table().Row(row).FileName);
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }
    // An installation's plugin folders have not changed in the last few seconds.
    const auto past = fs::file_time_type::clock::now() - std::chrono::hours(1);
    for (int row = 1; row <= Table().Count(); ++row)
        fs::last_write_time(fs::path(platform::ToHostPath(Table().Row(row).FileName)).parent_path(), past);
}

void RemoveGeneratedHost(const GeneratedHost& host) {
    std::error_code ec;
    fs::remove_all(host.prefixDir, ec);
}

} // namespace varnel::bench
