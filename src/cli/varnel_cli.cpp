#include "cli/varnel_cli.h"

#include "app/settings.h"
#include "app/startup.h"
#include "catalog/host_location.h"
#include "cli/cli_commands.h"
#include "cli/cli_plugins.h"
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

struct Globals {
    std::string prefix, host, ini, settings, lang;
    bool json = false;
    bool quiet = false;
    bool dryRun = false;
};

// The commands whose every write can be shown without being made: edits of configuration files,
// an undo's planned files, the health check's repairs, and an install that registers modules where
// they lie (one that would copy or unpack files says so and stops).
constexpr std::string_view kDryRunCommands[] = {"install", "uninstall", "disable", "enable", "rename",
                                                "order",   "tweak",     "undo",    "doctor"};

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
                session.Say("  [" + edit.section + "] " + edit.key +
                            (edit.value ? "=" + *edit.value : " " + Message(Msg::DryRunRemoved)));
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

// Where the settings put the host, for "config".
ConfigOrigins Origins(const Globals& globals, bool settingsFileExisted) {
    ConfigOrigins origins;
    origins.prefix = !globals.prefix.empty()     ? "--prefix"
                     : std::getenv("WINEPREFIX") ? "WINEPREFIX"
                                                 : "default (~/.wine)";
    origins.settings = !globals.settings.empty() ? "--settings"
                       : SettingsFileLocation().inAppData
                           ? "%APPDATA%, as the program's folder takes no files"
                           : "beside the program";
    auto fromSettings = [&](std::string_view key) {
        return settingsFileExisted && !ReadSettingString("Paths", key, "").empty();
    };
    if (!globals.host.empty())
        origins.host = "--host";
    else if (fromSettings("TCPath"))
        origins.host = "settings (TCPath)";
    else if (platform::ExpandEnvironmentStrings("%COMMANDER_PATH%", 1024).find(":\\") != std::string::npos)
        origins.host = "environment (COMMANDER_PATH)";
    else if (HostInstallDir() != "C:\\TotalCmd")
        origins.host = "registry (InstallDir)";
    else
        origins.host = "default";
    origins.ini = !globals.ini.empty()      ? "--ini"
                  : fromSettings("IniPath") ? "settings (IniPath)"
                                            : "registry (IniFileName) or default";
    origins.language = !globals.lang.empty() ? "--lang" : "settings (Language)";
    return origins;
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

    std::function<int(Session&)> command;

    ListRequest list;
    CLI::App* listCommand = app.add_subcommand("list", "Every registered plugin");
    listCommand->add_option("--kind", list.kind, "lister, packer, fs or content");
    listCommand->add_flag("--all", list.all, "Disabled plugins too");
    listCommand->add_flag("--keys", list.keys, "Only kind:key, one a line");
    listCommand->footer(Example("varnel list --all --json"));
    listCommand->callback([&] { command = [&](Session& s) { return ListPlugins(s, list); }; });

    std::string plugin;
    CLI::App* showCommand = app.add_subcommand("show", "One plugin in full");
    showCommand->add_option("PLUGIN", plugin, "Name, file name, path or kind:key")->required();
    showCommand->footer(Example("varnel show packer:zip"));
    showCommand->callback([&] { command = [&](Session& s) { return ShowPlugin(s, plugin); }; });

    InstallRequest install;
    bool yes = false;
    bool force = false;
    CLI::App* installCommand =
        app.add_subcommand("install", "Install module files and .zip/.rar archives, in order");
    installCommand->add_option("FILE", install.files, "Plugin modules and archives")->required();
    installCommand->add_flag("-y,--yes", yes, "Confirm every question");
    installCommand->add_option("--extensions", install.extensions, "A packer's extensions (zip,7z)");
    installCommand->add_option("--name", install.name, "An FS plugin's root name");
    installCommand->add_option("--detect", install.detect, "A Lister or Content plugin's detect string");
    installCommand->add_option("--flags", install.flags, "A packer's flags for every extension")
        ->check(CLI::Range(0, std::numeric_limits<int32_t>::max()));
    installCommand->add_flag("--force", force, "Install a module the host cannot load");
    bool replace = false;
    installCommand->add_flag("--replace", replace,
                             "Take over an FS name or packer extensions another plugin has");
    installCommand->add_flag("--restart", install.restart, "Restart the host after the last one");
    bool copy = false;
    installCommand->add_flag("--copy", copy,
                             "Copy a module from outside the plugin folders into the one of its kind first");
    installCommand->footer(Example("varnel install --extensions 7z,xz ~/Downloads/7zip.zip --restart"));
    installCommand->callback([&] { command = [&](Session& s) { return InstallPlugins(s, install); }; });

    std::vector<std::string> plugins;
    auto many = [&](const char* name, const char* what, const char* example,
                    std::function<int(Session&)> run) {
        CLI::App* sub = app.add_subcommand(name, what);
        sub->add_option("PLUGIN", plugins, "Names, file names, paths or kind:key")->required();
        sub->add_flag("-y,--yes", yes, "Confirm every question");
        sub->footer(Example(example));
        sub->callback([&command, run] { command = run; });
    };
    many("uninstall", "Remove plugins' registrations", "varnel uninstall --yes old_viewer.wlx",
         [&](Session& s) { return UninstallPlugins(s, plugins); });
    many("disable", "Park plugins' registrations in [DisabledPlugins]", "varnel disable --yes lister:2",
         [&](Session& s) { return SetPluginsEnabled(s, plugins, false); });
    many("enable", "Register disabled plugins again", "varnel enable lister:2",
         [&](Session& s) { return SetPluginsEnabled(s, plugins, true); });

    std::string newText;
    CLI::App* renameCommand = app.add_subcommand("rename", "Change an FS plugin's name or a detect string");
    renameCommand->add_option("PLUGIN", plugin, "Name, file name, path or kind:key")->required();
    renameCommand->add_option("NEW", newText, "The new name or detect string")->required();
    renameCommand->footer(Example("varnel rename lister:0 'EXT=\"TXT\" | EXT=\"LOG\"'"));
    renameCommand->callback([&] { command = [&](Session& s) { return RenamePlugin(s, plugin, newText); }; });

    std::string kind;
    CLI::App* orderCommand = app.add_subcommand("order", "Put plugins first, in the order named");
    orderCommand->add_option("KIND", kind, "lister, packer or content")->required();
    orderCommand->add_option("PLUGIN", plugins, "The plugins to put first")->required();
    orderCommand->footer(Example("varnel order lister 'Sample Lister' lister:3"));
    orderCommand->callback([&] { command = [&](Session& s) { return OrderPlugins(s, kind, plugins); }; });

    app.add_subcommand("history", "The changes TC Varnel made, newest first")->callback([&] {
        command = [&](Session& s) { return ShowHistory(s); };
    });

    bool fix = false;
    std::vector<int> repairs;
    CLI::App* doctorCommand = app.add_subcommand("doctor", "What is wrong with the plugins, and repairs");
    doctorCommand->add_flag("--fix", fix, "Repair the safe findings: dead registrations and orphaned keys");
    doctorCommand->add_option("--repair", repairs, "Repair the findings of these numbers too");
    doctorCommand->add_flag("-y,--yes", yes, "Confirm every question");
    // Installing a packer that lies in a plugin folder unregistered asks for its extensions.
    std::optional<std::string> doctorExtensions;
    doctorCommand->add_option("--extensions", doctorExtensions,
                              "A packer's extensions, for a repair that installs one");
    doctorCommand->footer(Example("varnel doctor --fix --repair 4"));
    doctorCommand->callback([&] {
        command = [&](Session& s) {
            if (doctorExtensions)
                s.Given().association = platform::Utf8ToHostText(*doctorExtensions);
            return CheckHealth(s, fix, repairs);
        };
    });

    int undoCount = 1;
    std::optional<uint64_t> undoTo;
    CLI::App* undoCommand = app.add_subcommand("undo", "Undo the last changes, or every change down to one");
    undoCommand->add_option("N", undoCount, "How many changes (default 1)");
    undoCommand->add_option("--to", undoTo, "Undo every change down to this history number");
    undoCommand->footer(Example("varnel undo 3"));
    undoCommand->callback([&] { command = [&](Session& s) { return UndoChanges(s, undoCount, undoTo); }; });

    // "-EXT" reads like an option: everything after the packer is taken as it stands.
    CLI::App* tweakCommand =
        app.add_subcommand("tweak", "A packer's flags per extension: EXT=FLAGS, +EXT=FLAGS, -EXT");
    tweakCommand->add_option("PACKER", plugin, "The packer")->required();
    tweakCommand->prefix_command();
    tweakCommand->fallthrough(false);
    tweakCommand->footer(Example("varnel tweak packer:zip zip=279 +zipx=279 -old"));
    tweakCommand->callback([&] {
        command = [&, tweakCommand](Session& s) {
            std::vector<std::string> edits = tweakCommand->remaining();
            for (std::string& edit : edits)
                edit = platform::Utf8ToHostText(edit);
            if (edits.empty()) {
                s.Fail(kExitUsage, Message(Msg::TweakNeedsPair));
                return s.Exit();
            }
            return TweakPacker(s, plugin, edits);
        };
    });

    std::string columns, file;
    CLI::App* reportCommand =
        app.add_subcommand("report", "The plugin report, to a file or - (standard output)");
    reportCommand->add_option("--columns", columns, "name,version,state,assoc,file");
    reportCommand->add_option("FILE", file, "The report file, or -")->required();
    reportCommand->footer(Example("varnel report --columns name,version,file -"));
    reportCommand->callback(
        [&] { command = [&](Session& s) { return WritePluginReport(s, columns, file); }; });

    std::string action;
    std::optional<int> mode;
    CLI::App* hostCommand = app.add_subcommand("host", "The host: status, run or restart");
    hostCommand->add_option("ACTION", action, "status, run or restart")
        ->required()
        ->check(CLI::IsMember({"status", "run", "restart"}));
    hostCommand->add_option("--mode", mode, "Restart mode: 0 close and start, 1 end and start, 2 start only");
    hostCommand->footer(Example("varnel host restart --mode 0"));
    hostCommand->callback([&] { command = [&](Session& s) { return HostCommand(s, action, mode); }; });

    bool settingsFileExisted = false;
    CLI::App* configCommand =
        app.add_subcommand("config", "Where the host, its ini, the prefix and the settings are");
    configCommand->footer(Example("varnel config --json"));
    configCommand->callback(
        [&] { command = [&](Session& s) { return ShowConfig(s, Origins(globals, settingsFileExisted)); }; });

    // The bash completion asks the tool for its words, so that they come from this one table:
    // a line of global options, then each command with its options.
    if (argc == 2 && std::string_view(argv[1]) == "--completion-words") {
        auto longNames = [](const CLI::App* of) {
            std::string line;
            for (const CLI::Option* option : of->get_options())
                for (const std::string& name : option->get_lnames())
                    line += " --" + name;
            return line;
        };
        Print("-" + longNames(&app));
        for (const CLI::App* sub : app.get_subcommands({}))
            Print(sub->get_name() + longNames(sub));
        return kExitDone;
    }
    try {
        // CLI11 takes the arguments last first.
        std::vector<std::string> arguments = platform::ProgramArguments(argc, argv);
        std::reverse(arguments.begin(), arguments.end());
        app.parse(arguments);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? kExitDone : kExitUsage;
    }

    // Text crosses into the program here, once: the terminal's UTF-8 becomes host text, as the
    // window's Qt strings do, so a name is written to wincmd.ini as the window would write it.
    // (Paths go through PathArgument, which converts them with the same function.)
    auto toHost = [](std::string& text) { text = platform::Utf8ToHostText(text); };
    for (std::string* text : {&plugin, &newText, &kind, &columns})
        toHost(*text);
    for (std::string& each : plugins)
        toHost(each);
    for (std::optional<std::string>* text : {&install.extensions, &install.name, &install.detect})
        if (*text)
            toHost(**text);

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
    session.Given().yes = yes;
    session.Given().force = force;
    session.Given().copy = copy;
    session.Given().replace = replace;
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
    if (globals.dryRun && std::find(std::begin(kDryRunCommands), std::end(kDryRunCommands), commandName) ==
                              std::end(kDryRunCommands)) {
        session.Fail(kExitUsage, FormatPrintf(Message(Msg::DryRunNotAvailable), {commandName}));
        return session.Exit();
    }
    // A settings file that cannot be read (a folder, a device) would mean running on defaults the
    // user never chose, and writing a history nobody finds: refused before anything is done.
    if (settingsFileExisted && !platform::IsRegularFile(SettingsFilePath()))
        session.Fail(kExitFailed, FormatPrintf(Message(Msg::NotARegularFile), {SettingsFilePath()}));
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
        for (const MadeRecord& record : made)
            changes.push_back({{"id", record.id}, {"description", Session::Terminal(record.description)}});
        nlohmann::ordered_json outcome = {
            {"ok", exit == kExitDone},
            {"code", exit >= 0 && exit <= kExitProblems ? kCodes[exit] : "failed"},
            {"message", exit == kExitDone && (!made.empty() || globals.dryRun)
                            ? std::string()
                            : Session::Terminal(session.LastMessage())},
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
        session.Fail(kExitFailed, Message(Msg::StdoutNotWritten));
    return session.Exit();
}

} // namespace varnel::cli
