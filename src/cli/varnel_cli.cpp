#include "cli/varnel_cli.h"

#include "app/settings.h"
#include "app/startup.h"
#include "catalog/host_location.h"
#include "cli/cli_plugins.h"
#include "cli/command_table.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "ops/history.h"
#include "ops/plugin_list.h"
#include "platform/codepage.h"
#include "platform/console.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "util/text.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <limits>
#include <nlohmann/json.hpp>

namespace varnel::cli {

namespace {

// What a dry run would have written: each file, and the keys it would set or remove.
nlohmann::ordered_json ShowDryRun(Session& session) {
    nlohmann::ordered_json files = nlohmann::ordered_json::array();
    // A command that failed would have put back what it wrote: it would have written nothing.
    const bool failed = session.Exit() != kExitDone && session.Exit() != kExitProblems;
    for (const platform::DryWrite& write :
         failed ? std::vector<platform::DryWrite>{} : platform::DryRunWrites()) {
        if (write.removed) {
            session.Say(FormatPrintf(Message(Msg::DryRunWouldRemove), {write.path}));
            files.push_back({{"file", Session::Terminal(write.path)}, {"removed", true}});
            continue;
        }
        std::string now;
        std::optional<std::string> before;
        if (platform::ReadWholeFile(write.path, now, 64ull << 20) == platform::ReadResult::Ok)
            before = std::move(now);
        nlohmann::ordered_json edits = nlohmann::ordered_json::array();
        session.Say(FormatPrintf(Message(Msg::DryRunWouldWrite), {write.path}));
        if (std::optional<std::vector<platform::ProfileKeyEdit>> keys =
                platform::ProfileDifferences(before, write.bytes))
            for (const platform::ProfileKeyEdit& edit : *keys) {
                // Each part is host text of its own (a name outside the code page carries its mark):
                // the line is put together from their characters.
                session.Say(platform::Utf8ToHostText(
                    "  [" + Session::Terminal(edit.section) + "] " + Session::Terminal(edit.key) +
                    (edit.value ? "=" + Session::Terminal(*edit.value)
                                : " " + Session::Terminal(Message(Msg::DryRunRemoved)))));
                edits.push_back({{"section", Session::Terminal(edit.section)},
                                 {"key", Session::Terminal(edit.key)},
                                 {"value", edit.value ? nlohmann::ordered_json(Session::Terminal(*edit.value))
                                                      : nlohmann::ordered_json()}});
            }
        files.push_back({{"file", Session::Terminal(write.path)}, {"edits", edits}});
    }
    if (files.empty() && session.Exit() == kExitDone)
        session.Say(Message(Msg::DryRunNothing));
    return files;
}

std::string Example(std::string_view text) {
    return "\nExample:\n  " + std::string(text) + "\n";
}

} // namespace

int Run(int argc, char** argv) {
    CLI::App app{"varnel: the plugins of Total Commander, from scripts and terminals.", "varnel"};
    app.set_version_flag("--version", std::string(kProgramVersionText));
    app.require_subcommand(1);
    // The global options count after the command too ("varnel list --json"), as its examples put them.
    app.fallthrough();
    app.footer(Example("varnel --prefix ~/.wine list --kind packer"));
    Globals globals;
    app.add_option("--prefix", globals.prefix, "The Wine prefix (default: WINEPREFIX, else ~/.wine)");
    app.add_option("--host", globals.host,
                   "The host program (TOTALCMD.EXE or TOTALCMD64.EXE) instead of the located one");
    app.add_option("--ini", globals.ini, "The host's wincmd.ini instead of the located one");
    app.add_option("--settings", globals.settings,
                   "TC Varnel's settings file (default: TC_varnel.ini beside the program)");
    app.add_flag("--json", globals.json, "Machine-readable output");
    app.add_flag("-q,--quiet", globals.quiet, "Only failures on standard error");
    app.add_option("--lang", globals.lang, "The language of messages (the name of a Language\\*.lng file)");
    app.add_flag("--dry-run", globals.dryRun,
                 "Say what a changing command would write, and write nothing (not: host, report)");

    // Every command from the one table: its options, its help text with an example, what runs it.
    Runner command;
    Answers answers;
    bool settingsFileExisted = false;
    CommandLine line{globals, answers, settingsFileExisted};
    for (const Command& each : Commands()) {
        CLI::App* sub = app.add_subcommand(each.name, each.summary);
        sub->footer(Example(each.example));
        Runner run = each.define(*sub, line);
        sub->callback([&command, run] { command = run; });
    }

    // The bash completion asks the tool for its words, so that they come from this one table:
    // a line of global options, then each command with its options.
    if (argc == 2 && std::string_view(argv[1]) == "--completion-words") {
        auto longNames = [](const CLI::App* of) {
            std::string words;
            for (const CLI::Option* option : of->get_options())
                for (const std::string& name : option->get_lnames())
                    words += " --" + name;
            return words;
        };
        Print("-" + longNames(&app));
        for (const CLI::App* sub : app.get_subcommands({}))
            Print(sub->get_name() + longNames(sub));
        return kExitDone;
    }
    const std::vector<std::string> arguments = platform::ProgramArguments(argc, argv);
    try {
        // CLI11 takes the arguments last first.
        app.parse(std::vector<std::string>(arguments.rbegin(), arguments.rend()));
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        if (code == 0)
            return kExitDone;
        // A script that asked for JSON gets it for a line that could not be read, too.
        if (std::find(arguments.begin(), arguments.end(), "--json") != arguments.end())
            PrintJsonNow({{"ok", false},
                          {"code", "usage"},
                          {"message", std::string(error.what())},
                          {"changes", nlohmann::ordered_json::array()}});
        return kExitUsage;
    }

    if (!globals.prefix.empty()) {
        platform::SelectPrefix(globals.prefix);
    }
    if (!globals.settings.empty())
        SetSettingsFilePath(PathArgument(globals.settings));
    settingsFileExisted = platform::FileExists(SettingsFilePath());
    Session session(globals.json, globals.quiet);
    // Nothing is written from here on, the settings file a first start makes included.
    if (globals.dryRun)
        platform::StartDryRun();
    session.Given() = answers;
    SetFatalHandler([] { std::exit(kExitFailed); });
    if (!InitializeProgram())
        return kExitFailed;
    // A dry run records nothing; it reads the history (what an undo would take back).
    if (globals.dryRun)
        ReadHistoryFrom(HistoryFolderOf(SettingsFilePath()));
    else
        StartHistory(HistoryFolderOf(SettingsFilePath()));
    if (!globals.lang.empty() && !SetLanguage(globals.lang))
        return kExitFailed;
    Settings& s = AppSettings();
    if (!globals.host.empty())
        s.TCPath = PathArgument(globals.host);
    if (!globals.ini.empty())
        s.IniPath = PathArgument(globals.ini);
    std::cout.flush();
    const std::string commandName =
        app.get_subcommands().empty() ? "" : app.get_subcommands().front()->get_name();
    const auto entry = std::find_if(Commands().begin(), Commands().end(),
                                    [&](const Command& each) { return each.name == commandName; });
    if (globals.dryRun && (entry == Commands().end() || !entry->dryRun)) {
        session.Fail(kExitUsage, FormatPrintf(Message(Msg::DryRunNotAvailable), {commandName}),
                     Msg::DryRunNotAvailable);
        return session.Exit();
    }
    // A settings file that cannot be read (a folder, a device) would mean running on defaults the
    // user never chose, and writing a history nobody finds: refused before anything is done.
    if (settingsFileExisted && !platform::IsRegularFile(SettingsFilePath()))
        session.Fail(kExitFailed, FormatPrintf(Message(Msg::NotARegularFile), {SettingsFilePath()}),
                     Msg::NotARegularFile);
    else
        command(session);
    if (session.Interrupted()) {
        session.Say(Message(Msg::StoppedByCtrlC));
        session.Override(kExitFailed);
    }
    nlohmann::ordered_json wouldWrite;
    if (globals.dryRun)
        wouldWrite = ShowDryRun(session);
    // Every command says what it did: each change it recorded, on standard error; with --json,
    // a command that printed nothing else prints its outcome, failures included.
    const std::vector<MadeRecord>& made = RecordsMadeHere();
    if (!globals.quiet && !globals.json)
        for (const MadeRecord& record : made)
            session.Say(
                FormatPrintf(Message(Msg::WithHistoryId), {record.description, std::to_string(record.id)}));
    if (std::optional<nlohmann::ordered_json> held = TakeHeldJson()) {
        (*held)["dryRun"] = true;
        (*held)["changes"] = nlohmann::ordered_json::array(); // a dry run records nothing
        (*held)["wouldWrite"] = wouldWrite;
        PrintJsonNow(*held);
    } else if (globals.json && !Printed()) {
        static constexpr const char* kCodes[] = {"done",     "failed",    "usage",
                                                 "conflict", "not-found", "problems"};
        const int exit = session.Exit();
        nlohmann::ordered_json changes = nlohmann::ordered_json::array();
        for (const MadeRecord& record : made) {
            nlohmann::ordered_json files = nlohmann::ordered_json::array();
            for (const std::string& file : record.files)
                files.push_back(Session::Terminal(file));
            changes.push_back({{"id", record.id},
                               {"description", Session::Terminal(record.description)},
                               {"files", files}});
        }
        nlohmann::ordered_json outcome = {
            {"ok", exit == kExitDone},
            {"code", exit >= 0 && exit <= kExitProblems ? kCodes[exit] : "failed"},
            {"message", exit == kExitDone && (!made.empty() || globals.dryRun)
                            ? std::string()
                            : Session::Terminal(session.LastMessage())},
            {"number", exit == kExitDone ? 0 : session.LastNumber()},
            {"changes", changes}};
        if (globals.dryRun) {
            outcome["dryRun"] = true;
            outcome["wouldWrite"] = wouldWrite;
        }
        PrintJsonNow(outcome);
    }
    // Output that did not reach its place (a full disk, a closed pipe) is a failure, whatever
    // the command did.
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        session.Fail(kExitFailed, Message(Msg::StdoutNotWritten), Msg::StdoutNotWritten);
    return session.Exit();
}

} // namespace varnel::cli
