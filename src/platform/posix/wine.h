#pragma once
// Wine, as the Linux build runs Windows programs: its loaders, the Windows helper, and the
// machine's argument vector for a Windows command line. Only the POSIX backend and the tests of
// this build use these; the core reaches them through platform/process.h.

#include "platform/process.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varnel::platform {

// How Wine runs a Windows program of one bitness in the prefix in use: the loader and the
// environment it needs (only the prefix: a program started for the user keeps the user's own
// Wine settings). The loader is chosen per bitness (the 64-bit loader for 64-bit programs, the
// 32-bit one for 32-bit programs) and per prefix kind (a 64-bit-only prefix runs no 32-bit
// program). nullopt when nothing here can run such a program; whyNot then says why.
struct WineLauncher {
    std::string wine;
    std::map<std::string, std::string> env;
};
std::optional<WineLauncher> FindWine(Bitness bitness, std::string* whyNot = nullptr);
// The Wine that runs the prefix's own programs: the 64-bit one, else the 32-bit one.
std::optional<WineLauncher> FindPrefixWine();

// The Wine settings that keep the helper quiet and fast (no debug output, no offer to install
// Mono or Gecko); they belong to the helper alone.
void AddQuietHelperSettings(std::map<std::string, std::string>& env);

// The Windows helper this prefix can run, with its Wine: the 64-bit one, else the 32-bit one. It
// starts programs and talks to windows; the system then picks each program's own loader.
struct WindowsHelper {
    WineLauncher wine;
    std::string path;
};
std::optional<WindowsHelper> FindWindowsHelper();

// The machine's argument vector for a Windows command line: a Windows program (a PE file) runs
// through the Windows helper under Wine, which hands the command line to the system unchanged;
// a program "x.exe" that is not found runs as "x" from PATH; anything else as it is. Empty when
// nothing can run it.
struct Launch {
    std::vector<std::string> argv;
    std::map<std::string, std::string> env;
    bool throughHelper = false; // the helper answers "started" or "failed"
};
std::optional<Launch> PrepareLaunch(std::string_view commandLine, int showMode = 5, bool wait = false);

} // namespace varnel::platform
