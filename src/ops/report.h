#pragma once
// The plain-text report of every plugin the host knows: a header about the program, the host and
// the system, then one group per kind, sorted by name. The columns and the file come from the
// report settings; the plugin table must be loaded with details.

#include "ops/command.h"

#include <string>
#include <string_view>

namespace varnel {

// Writes the report to the file of the report settings, replacing it in one step; false when it
// could not be written. Text outside the host's code page makes the whole file UTF-8 (with its
// byte-order mark) instead of losing characters.
bool WriteReport(const Settings& settings, const PluginTable& table, std::string_view programVersion,
                 std::string_view hostExe, std::string_view iniPath, std::string_view pluginBaseDir);

// The Report command: the report of the settings' host into the report settings' file; fails
// (said, with the file) when it could not be written.
Result MakeReport(const Context& context, std::string_view programVersion);

// The Windows the prefix says it is, the Wine that runs it and the system under both:
// "Windows 7 (Wine 8.0) on Debian GNU/Linux 12".
std::string OsNameText();
// The prefix's Windows version: major, two-digit minor, build and service pack ("6.01.7601 Service Pack 1").
std::string OsVersionText();

} // namespace varnel
