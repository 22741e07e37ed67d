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
// `targetBytes` with 300 plugins: 100 packers (one to three extensions each), 100 listers with
// detect strings, 50 content and 50 file-system plugins, between the host's usual sections.
GeneratedHost MakeGeneratedHost(size_t targetBytes = 200 * 1024);
void RemoveGeneratedHost(const GeneratedHost& host);

// Puts a copy of `moduleFile` (padded to about 100 KB) at every module path the host registers.
void FillModules(const GeneratedHost& host, const std::string& moduleFile);

} // namespace varnel::bench
