#pragma once
// Opening a plugin file starts this program with the file, which installs it: the four plugin
// file types registered in the prefix's classes (for the host's own "open" and Wine's shell) and
// on the Linux desktop.

#include <optional>
#include <string>
#include <string_view>

namespace varnel {

// The Windows module beside the program that carries its icon groups, in the order the host
// counts them (0 the program, 1-3 the plugin file types, 4-6 the toolbar pictures, 7 the content
// type); the program's own path when the module is missing.
std::string ProgramIconFile();

// The program's own path, its control characters shown as escapes, when it cannot stand in a
// command line (see IsSafeCommandPath): then no file type is registered and no bar button added.
// nullopt when it can.
std::optional<std::string> UnusableProgramPath();

// At start-up and after the Options dialog: when enabled and the ".wdx" type does not open with
// this program yet, writes the four types; never removes anything.
void RegisterPluginFileTypes(bool enabled);

// The same for a given program and icon file; with wait it returns once the writes are done.
// True when the types were (re)written.
bool RegisterPluginFileTypesFor(bool enabled, std::string_view program, std::string_view iconFile, bool wait);

} // namespace varnel
