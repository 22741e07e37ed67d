// varnel import: a plugin set made by "varnel export", planned against this host and then
// imported as one change.

#include "cli/command_table.h"

#include "catalog/plugin_table.h"
#include "cli/cli_plugins.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "ops/history.h"
#include "ops/plugin_set.h"
#include "platform/files.h"
#include "util/text.h"

#include <memory>

namespace varnel::cli {

namespace {

struct ImportLine {
    std::string file;
    std::string order = "keep";
};

nlohmann::ordered_json PlanJson(const PluginSetImport& set) {
    nlohmann::ordered_json plan = nlohmann::ordered_json::array();
    for (const ImportItem& item : set.Items())
        plan.push_back(
            {{"name", Session::Terminal(item.plugin.name)},
             {"kind", Session::Terminal(std::string(kKindWords[static_cast<size_t>(item.plugin.kind)]))},
             {"action", std::string(ImportActionWord(item.action))},
             {"target", Session::Terminal(item.target)},
             {"holder", Session::Terminal(item.holder)},
             {"loadable", item.loadable},
             {"enabled", item.plugin.enabled},
             {"bits", item.plugin.bits}});
    return plan;
}

int ImportPlugins(Session& session, const ImportLine& request) {
    if (!RequireHost(session, true))
        return session.Exit();
    LoadTable(false);
    LoadDisabledEntries();
    std::unique_ptr<PluginSetImport> set =
        PluginSetImport::Open(ProgramContext(), PathArgument(request.file));
    if (!set)
        return session.Exit(); // why was said
    if (!session.Json())
        for (const ImportItem& item : set->Items())
            Print(Session::Terminal(FormatPrintf(
                "%s (%s): %s -> %s",
                {item.plugin.name, std::string(kKindWords[static_cast<size_t>(item.plugin.kind)]),
                 ImportPlanText(item), item.target})));
    // The tool imports every plugin of the set that is not here already; the questions it asks
    // (another version, a name taken, a bitness) are answered by --yes, --replace and --force.
    for (ImportItem& item : set->Items())
        item.chosen = item.action != ImportAction::Same;
    if (platform::InDryRun()) {
        if (session.Json())
            PrintJson({{"set", Session::Terminal(set->ZipPath())}, {"plan", PlanJson(*set)}});
        return session.Exit();
    }
    const int code = session.Present(set->Apply(ProgramContext(), request.order == "replace"));
    if (session.Json()) {
        nlohmann::ordered_json changes = nlohmann::ordered_json::array();
        for (const MadeRecord& record : RecordsMadeHere())
            changes.push_back({{"id", record.id}, {"description", Session::Terminal(record.description)}});
        PrintJson({{"ok", code == kExitDone},
                   {"message", code == kExitDone ? std::string() : Session::Terminal(session.LastMessage())},
                   {"set", Session::Terminal(set->ZipPath())},
                   {"plan", PlanJson(*set)},
                   {"changes", changes}});
    }
    return code;
}

Runner Define(CLI::App& command, CommandLine& line) {
    auto request = std::make_shared<ImportLine>();
    command.add_option("FILE", request->file, "A zip made by varnel export")->required();
    command
        .add_option("--order", request->order,
                    "keep: after this host's plugins (the default); replace: first")
        ->check(CLI::IsMember({"keep", "replace"}));
    AddYes(command, line);
    command.add_flag("--replace", line.answers.replace,
                     "Give the set's plugins names or extensions others have");
    command.add_flag("--force", line.answers.force, "Import modules the host cannot load");
    return [request](Session& session) { return ImportPlugins(session, *request); };
}

} // namespace

Command ImportCommand() {
    return {"import", "Install the plugins of a set made by varnel export, as one change",
            "varnel import --yes my-plugins.zip", true, Define};
}

} // namespace varnel::cli
