#pragma once
// varnel's commands, one file each in cli/commands/: the name, what it does, an example that works,
// whether a dry run can show it, and how it reads its part of the command line. Run builds the
// parser, the help texts and the completion words from this one table.

#include "cli/cli_session.h"

#include <CLI/CLI.hpp>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace varnel::cli {

// The options every command takes, wherever they stand on the line.
struct Globals {
    std::string prefix, host, ini, settings, lang;
    bool json = false;
    bool quiet = false;
    bool dryRun = false;
};

// What a command may read and set besides its own arguments.
struct CommandLine {
    const Globals& globals;
    Answers& answers;                // the answers to questions (--yes, --force, --copy, --replace)
    const bool& settingsFileExisted; // known once the line is read
};

// What runs a command once its line is read; its result is the exit code.
using Runner = std::function<int(Session&)>;

struct Command {
    const char* name;
    const char* summary;
    const char* example;
    bool dryRun; // a dry run can show every write of it
    // Adds the command's arguments and options to its part of the parser.
    Runner (*define)(CLI::App& command, CommandLine& line);
};

// Every command, in the order the help lists them.
const std::vector<Command>& Commands();

// Shared by the commands.

// The host and its configuration exist (else exit code 4, with the reason). With
// configurationMayBeNew, a host that has not made its wincmd.ini yet (never started) will do: the
// first write makes it, as the host itself would.
bool RequireHost(Session& session, bool configurationMayBeNew = false);

// The plugin table with details, versions included whatever the window shows; on a terminal a
// long load shows its progress, and Ctrl+C ends it early (the rest keep their file names).
void LoadWithDetails();

// The rows the names mean; nullopt (reported) when any name fits none or several.
std::optional<std::vector<int>> FindAll(Session& session, const std::vector<std::string>& names);

// A command-line argument (the terminal's UTF-8) as host text, as the window's Qt strings become:
// a name is written to wincmd.ini as the window would write it. Paths go through PathArgument.
std::string HostArgument(const std::string& utf8);
std::vector<std::string> HostArguments(const std::vector<std::string>& utf8);

// -y/--yes: confirms every question a command asks.
void AddYes(CLI::App& command, CommandLine& line);

// Each command's entry in the table.
Command ListCommand();
Command ShowCommand();
Command InstallCommand();
Command UninstallCommand();
Command DisableCommand();
Command EnableCommand();
Command RenameCommand();
Command OrderCommand();
Command HistoryCommand();
Command DoctorCommand();
Command UndoCommand();
Command TweakCommand();
Command ExportCommand();
Command ImportCommand();
Command ReportCommand();
Command HostCommand();
Command ConfigCommand();

} // namespace varnel::cli
