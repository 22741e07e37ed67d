#pragma once
// A throw-away Wine-like prefix with a large generated wincmd.ini, for the benchmarks.

#include <string>

namespace varnel::bench {

struct GeneratedHost {
    std::string prefixDir;
    std::string iniWindowsPath = "C:\\totalcmd\\wincmd.ini";
    std::string exeWindowsPath = "C:\\totalcmd\\TOTALCMD.EXE";
    size_t iniBytes = 0;
    int plugins = 0;
};

// Makes <tmp>/dosdevices/c: -> drive_c, points WINEPREFIX at it and writes a wincmd.ini of about
// `targetBytes` (at least) with `plugins` plugins: a third packers (one to three extensions
// each), a third listers with detect strings, a sixth each content and file-system plugins,
// between the host's usual sections.
GeneratedHost MakeGeneratedHost(size_t targetBytes = 200 * 1024, int plugins = 300);
void RemoveGeneratedHost(const GeneratedHost& host);

// Puts a copy of `moduleFile` (padded to about 100 KB) at every module path the host registers.
void FillModules(const GeneratedHost& host, const std::string& moduleFile);

} // namespace varnel::bench
