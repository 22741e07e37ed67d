// varnel list: every registered plugin, as a table, keys or JSON.

#include "cli/command_table.h"

#include "catalog/plugin_table.h"
#include "cli/cli_plugins.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "ops/plugin_list.h"
#include "platform/paths.h"
#include "util/text.h"

#include <memory>

namespace varnel::cli {

namespace {

struct ListRequest {
    std::string kind;  // empty: every kind
    bool all = false;  // disabled plugins too
    bool keys = false; // only "kind:key" per line (for completion)
};

int ListPlugins(Session& session, const ListRequest& request) {
    std::optional<PluginKind> kind;
    if (!request.kind.empty() && !(kind = KindFromWord(request.kind))) {
        session.Fail(kExitUsage, Message(Msg::KindOptionValues), Msg::KindOptionValues);
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

Runner Define(CLI::App& command, CommandLine&) {
    auto request = std::make_shared<ListRequest>();
    command.add_option("--kind", request->kind, "lister, packer, fs or content");
    command.add_flag("--all", request->all, "Disabled plugins too");
    command.add_flag("--keys", request->keys, "Only kind:key, one a line");
    return [request](Session& session) { return ListPlugins(session, *request); };
}

} // namespace

Command ListCommand() {
    return {"list", "Every registered plugin", "varnel list --all --json", false, Define};
}

} // namespace varnel::cli
