// The commands that read: list, show, report, host, config.

#include "cli/cli_commands.h"

#include "app/settings.h"
#include "catalog/catalog_options.h"
#include "catalog/host_config.h"
#include "catalog/host_location.h"
#include "catalog/module_info.h"
#include "catalog/registration.h"
#include "cli/cli_plugins.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "ops/archive_install.h"
#include "ops/host_process.h"
#include "ops/plugin_list.h"
#include "ops/report.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "util/text.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <thread>

namespace varnel::cli {

namespace {

// The packer capability bits in words.
std::string FlagWords(int flags) {
    static const char* const kWords[] = {"new",         "modify",     "multiple",    "delete", "options",
                                         "memory-pack", "by-content", "search-text", "hide",   "encrypt"};
    std::string words;
    for (int bit = 0; bit < 10; ++bit)
        if (flags & (1 << bit))
            words += std::string(words.empty() ? "" : " ") + kWords[bit];
    return words;
}

// Every key of the host's file that names the module: "Section: key".
std::vector<std::string> KeysNaming(const PluginEntry& entry) {
    std::vector<std::string> keys;
    for (PluginKind kind = 0; kind < kPluginKindCount; ++kind) {
        const std::string_view section = SectionOfKind(kind);
        ReadSectionKeys(section);
        const std::vector<std::string> names = KeyList();
        for (const std::string& key : names) {
            std::string value = ReadHostValue(section, key);
            if (kind == kPacker)
                value = TextAfter(value, ",");
            if (!EqualsNoCaseAnsi(ExpandHostPath(value), entry.FileName))
                continue;
            keys.push_back(std::string(section) + ": " + key);
            if ((kind == kLister || kind == kContent) && !ReadHostValue(section, key + "_detect").empty())
                keys.push_back(std::string(section) + ": " + key + "_detect");
        }
    }
    ReadSectionKeys("DisabledPlugins");
    for (const std::string& key : KeyList()) {
        DisabledKey parts = SplitDisabledKey(key);
        std::string value = parts.section == "PackerPlugins" ? TextAfter(parts.value, ",") : parts.value;
        if (EqualsNoCaseAnsi(ExpandHostPath(value), entry.FileName))
            keys.push_back("DisabledPlugins: " + key);
    }
    return keys;
}

} // namespace

void LoadWithDetails() {
    if (CatalogSettings().showVersions == 0)
        CatalogSettings().showVersions = 2;
    std::atomic<bool> stop{false};
    std::atomic<bool> done{false};
    std::thread load([&] {
        LoadTable(true, &stop);
        done = true;
    });
    {
        platform::BusyWork busy;
        while (!done) {
            if (busy.Turn())
                stop = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    load.join();
}

bool RequireHost(Session& session, bool configurationMayBeNew) {
    const Settings& s = AppSettings();
    SetHostPaths(s.TCPath, s.IniPath);
    const std::string ini = ExpandHostPath(s.IniPath);
    if (configurationMayBeNew && IsHostExecutable(s.TCPath) && !platform::FileExists(ini)) {
        if (!platform::InDryRun())
            ForceFolders(FolderPart(ini));
        session.Say(FormatPrintf(Message(Msg::IniMadeByFirstChange), {ini}));
        return true;
    }
    if (DetectHost(s.TCPath, s.IniPath, 101)) {
        // A wincmd.ini that is a folder, a device or too large to read is no configuration: the
        // window says so above its list; a script must not take the empty list for the truth.
        if (const std::string problem = HostConfigProblem(); !problem.empty()) {
            session.Fail(kExitNoHost, problem);
            return false;
        }
        return true;
    }
    session.Raise(kExitNoHost); // the box above said why
    return false;
}

int ListPlugins(Session& session, const ListRequest& request) {
    std::optional<PluginKind> kind;
    if (!request.kind.empty() && !(kind = KindFromWord(request.kind))) {
        session.Fail(kExitUsage, Message(Msg::KindOptionValues));
        return session.Exit();
    }
    if (!RequireHost(session))
        return session.Exit();
    LoadWithDetails();
    std::vector<int> rows;
    for (int row = 1; row <= Table().Count(); ++row)
        if ((request.all || !EntryAt(row).Disabled) && (!kind || EntryAt(row).Kind == *kind))
            rows.push_back(row);
    // Thousands of rows look up the same folders (their Descript.ion): each path is resolved once.
    platform::PathLookupScope lookups;
    if (session.Json()) {
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (int row : rows)
            list.push_back(PluginJson(row));
        PrintJson(list);
    } else if (request.keys) {
        for (int row : rows)
            Print(KindWord(EntryAt(row).Kind) + ":" + Session::Terminal(PluginKey(row)));
    } else {
        std::vector<std::vector<std::string>> table = {
            {"KIND", "KEY", "NAME", "VERSION", "STATE", "BITS", "REGISTRATION", "FILE"}};
        for (int row : rows) {
            const PluginEntry& entry = EntryAt(row);
            table.push_back({KindWord(entry.Kind), Session::Terminal(PluginKey(row)),
                             Session::Terminal(entry.Name), Session::Terminal(entry.Version),
                             Session::Terminal(StateText(row)), entry.Bits ? std::to_string(entry.Bits) : "",
                             Session::Terminal(entry.Association), Session::Terminal(entry.FileName)});
        }
        for (const std::string& line : FitTable(table, TerminalWidth()))
            Print(line);
    }
    return session.Exit();
}

int ShowPlugin(Session& session, const std::string& plugin) {
    if (!RequireHost(session))
        return session.Exit();
    LoadWithDetails();
    std::optional<int> row = FindPlugin(plugin, session);
    if (!row)
        return session.Exit();
    const PluginEntry entry = EntryAt(*row);
    nlohmann::ordered_json object = PluginJson(*row);
    object["module32"] = Session::Terminal(ModuleLoadedByHost(entry.FileName, 32));
    object["module64"] = Session::Terminal(ModuleLoadedByHost(entry.FileName, 64));
    nlohmann::ordered_json version = nlohmann::ordered_json::object();
    for (const char* name :
         {"CompanyName", "FileDescription", "FileVersion", "ProductName", "ProductVersion", "LegalCopyright"})
        if (std::string text = ReadVersionText(entry.HostModule, name); !text.empty())
            version[name] = Session::Terminal(text);
    object["versionInfo"] = version;
    if (entry.Kind == kPacker && !entry.Disabled) {
        nlohmann::ordered_json flags = nlohmann::ordered_json::array();
        const PackerAssociationList list = ReadPackerAssociations(entry.FileName, false);
        for (int i = 0; i < list.count; ++i) {
            const auto& pair = list.pairs[static_cast<size_t>(i)];
            flags.push_back({{"extension", Session::Terminal(pair.extension)},
                             {"flags", pair.flags},
                             {"words", FlagWords(pair.flags)}});
        }
        object["packerFlags"] = flags;
    }
    nlohmann::ordered_json keys = nlohmann::ordered_json::array();
    for (const std::string& key : KeysNaming(entry))
        keys.push_back(Session::Terminal(key));
    object["keys"] = keys;
    if (session.Json()) {
        PrintJson(object);
        return session.Exit();
    }
    for (const auto& [field, value] : object.items()) {
        if (value.is_string())
            Print(field + ": " + value.get<std::string>());
        else if (value.is_object())
            for (const auto& [name, text] : value.items())
                Print(field + "." + name + ": " + text.get<std::string>());
        else if (field == "packerFlags")
            for (const auto& pair : value)
                Print("packerFlags." + pair["extension"].get<std::string>() + ": " +
                      std::to_string(pair["flags"].get<int>()) + " " + pair["words"].get<std::string>());
        else if (value.is_array())
            for (const auto& text : value)
                Print(field + ": " + text.get<std::string>());
        else
            Print(field + ": " +
                  value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace));
    }
    return session.Exit();
}

int WritePluginReport(Session& session, const std::string& columns, const std::string& file) {
    Settings& s = AppSettings();
    if (!columns.empty()) {
        s.ReportName = s.ReportVersion = s.ReportState = s.ReportAssoc = s.ReportFileName = false;
        std::string_view rest = columns;
        while (!rest.empty()) {
            const size_t comma = rest.find(',');
            const std::string column = LowerAscii(rest.substr(0, comma));
            rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
            bool* flag = column == "name"      ? &s.ReportName
                         : column == "version" ? &s.ReportVersion
                         : column == "state"   ? &s.ReportState
                         : column == "assoc"   ? &s.ReportAssoc
                         : column == "file"    ? &s.ReportFileName
                                               : nullptr;
            if (!flag) {
                session.Fail(kExitUsage, Message(Msg::ColumnsOptionValues));
                return session.Exit();
            }
            *flag = true;
        }
    }
    if (!RequireHost(session))
        return session.Exit();
    // Standard output: written to a file of its own first, as the report always is.
    const bool toOutput = file == "-";
    const std::string scratch = toOutput ? platform::MakeScratchFile() : std::string();
    if (toOutput && scratch.empty()) {
        session.Fail(kExitFailed, Message(Msg::NoTemporaryReportFile));
        return session.Exit();
    }
    s.ReportFile = toOutput ? scratch : PathArgument(file);
    LoadWithDetails();
    if (!WriteReport(kProgramVersionText, s.TCPath, s.IniPath,
                     ReadHostValue("Configuration", "PluginBaseDir")))
        session.Fail(kExitFailed, FormatPrintf(Message(Msg::ReportNotWritten), {s.ReportFile}));
    else if (toOutput) {
        std::string bytes;
        platform::ReadWholeFile(s.ReportFile, bytes, 64 * 1024 * 1024);
        // The file's byte-order mark tells editors its encoding; in a pipe it is a stray character.
        std::string_view text = bytes;
        if (text.starts_with("\xEF\xBB\xBF"))
            text.remove_prefix(3);
        platform::WriteOutput(text);
        NotePrinted();
    }
    if (toOutput)
        platform::DeleteFileAt(scratch);
    return session.Exit();
}

int HostCommand(Session& session, const std::string& action, std::optional<int> mode) {
    if (mode && (*mode < 0 || *mode > 2)) {
        session.Fail(kExitUsage, Message(Msg::ModeOptionValues));
        return session.Exit();
    }
    if (!RequireHost(session))
        return session.Exit();
    Settings& s = AppSettings();
    if (action == "status") {
        const bool running = HostRunning(s.TCPath);
        if (session.Json())
            PrintJson(nlohmann::ordered_json{{"host", Session::Terminal(s.TCPath)}, {"running", running}});
        else
            Print(running ? "running" : "idle");
    } else if (action == "run") {
        RunHost();
    } else {
        if (mode)
            s.RestartCmd = *mode;
        RestartHost();
    }
    return session.Exit();
}

int ShowConfig(Session& session, const ConfigOrigins& origins) {
    const Settings& s = AppSettings();
    SetHostPaths(s.TCPath, s.IniPath);
    const int bits = ModuleBits(s.TCPath);
    nlohmann::ordered_json object = {
        {"prefix", {{"path", platform::PrefixDir()}, {"from", origins.prefix}}},
        {"host",
         {{"path", Session::Terminal(s.TCPath)},
          {"from", origins.host},
          {"found", platform::FileExists(s.TCPath)}}},
        {"bits", bits == 0 ? nlohmann::ordered_json() : nlohmann::ordered_json(bits)},
        {"ini",
         {{"path", Session::Terminal(s.IniPath)},
          {"from", origins.ini},
          {"found", platform::FileExists(s.IniPath)}}},
        {"settings", {{"path", Session::Terminal(SettingsFilePath())}, {"from", origins.settings}}},
        {"language", {{"name", s.Language}, {"from", origins.language}}},
    };
    // Only under Wine is there a prefix: on Windows the host's paths are the machine's own.
    const bool wine = !platform::PrefixDir().empty();
    if (!wine)
        object.erase("prefix");
    if (session.Json()) {
        PrintJson(object);
        return session.Exit();
    }
    if (wine)
        Print("prefix:   " + platform::PrefixDir() + "  (" + origins.prefix + ")");
    Print("host:     " + Session::Terminal(s.TCPath) + "  (" + origins.host + ")" +
          (bits ? ", " + std::to_string(bits) + "-bit" : "") +
          (platform::FileExists(s.TCPath) ? "" : ", missing"));
    Print("ini:      " + Session::Terminal(s.IniPath) + "  (" + origins.ini + ")" +
          (platform::FileExists(s.IniPath) ? "" : ", missing"));
    Print("settings: " + Session::Terminal(SettingsFilePath()) + "  (" + origins.settings + ")");
    Print("language: " + s.Language + "  (" + origins.language + ")");
    return session.Exit();
}

} // namespace varnel::cli
