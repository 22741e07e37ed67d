#pragma once
// Plugins as a script names and sees them: found by display name, file name, full path or
// "kind:key"; described as JSON objects with stable field names and as a table that fits the
// terminal.

#include "catalog/plugin_table.h"
#include "cli/cli_session.h"

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace varnel::cli {

// A path from the command line in the host's Windows form: a Windows path ("C:\\...") as it is,
// a path of this machine (absolute, or relative to the working folder) through the drive map.
std::string PathArgument(const std::string& argument);

// "lister", "packer", "fs", "content".
std::string KindWord(PluginKind kind);
std::optional<PluginKind> KindFromWord(std::string_view word);

// The key a plugin is registered under: the number of a Lister or Content plugin, the first
// extension of a packer, the root name of an FS plugin.
std::string PluginKey(int row);
// "idle", "loaded", "disabled" or "deleted", whatever the language.
std::string StateWord(int row);

// The table row a name means, from the loaded table. A name that fits none, or more than one
// plugin, is reported (with the candidates) and gives nullopt.
std::optional<int> FindPlugin(const std::string& name, Session& session);

// Every field of a row, for --json (the README lists them).
nlohmann::ordered_json PluginJson(int row);

// Lines of a table whose columns fit `width` characters (0: no limit); the widest columns give way
// first, their texts cut with "…".
std::vector<std::string> FitTable(const std::vector<std::vector<std::string>>& rows, size_t width);
// The terminal's width, or 0 when standard output is no terminal.
size_t TerminalWidth();
// One line of UTF-8 on standard output.
void Print(const std::string& utf8);
// JSON on standard output, indented; text that is no valid UTF-8 (a damaged record, a crafted
// name) is shown with replacement characters rather than stopping the output.
// In a dry run an object is held, for Run to add what would be written (TakeHeldJson).
void PrintJson(const nlohmann::ordered_json& value);
std::optional<nlohmann::ordered_json> TakeHeldJson();
void PrintJsonNow(const nlohmann::ordered_json& value);
// Whether anything went to standard output yet (Print, PrintJson, or NotePrinted after a write).
bool Printed();
void NotePrinted();

} // namespace varnel::cli
