#pragma once
// The program's entry after start-up: the command line decides between a one-shot operation and
// the main window.

#include <functional>
#include <string>
#include <vector>

namespace varnel {

struct EntryActions {
    std::function<bool()> detectHost;                    // shows its own message when false
    std::function<void()> restartHost;                   // "/restart"
    std::function<void(const std::string&)> installFile; // a plugin file path
};

enum class EntryOutcome { EndProgram, OpenMainWindow };

// Only the first argument counts; switches are exact and case-sensitive. With any argument the
// host is checked first. The Linux build also takes a path of this machine (absolute or
// relative) that names an existing file as a plugin file, in its Windows form.
EntryOutcome RunEntry(const std::vector<std::string>& args, const EntryActions& actions);

// "--help" or "-h" as the first argument: the program prints CommandLineHelp() and ends, before
// it needs a display (neither can be a plugin file's path).
bool AsksForHelp(const std::vector<std::string>& args);
std::string CommandLineHelp();

// The first argument as the main window's creation handler sees it ("/install", ...), or "".
std::string WindowSwitch(const std::vector<std::string>& args);

// A plugin-file argument in the host's Windows form.
std::string PluginFileArgument(const std::string& argument);

} // namespace varnel
