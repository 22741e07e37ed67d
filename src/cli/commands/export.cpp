// varnel export: chosen plugins (or all) with their files and registrations in one zip.

#include "cli/command_table.h"

#include "cli/cli_plugins.h"
#include "ops/plugin_set.h"

#include <memory>

namespace varnel::cli {

namespace {

struct ExportLine {
    std::string file;
    std::vector<std::string> plugins;
};

int ExportPlugins(Session& session, const ExportLine& request) {
    if (!RequireHost(session))
        return session.Exit();
    LoadWithDetails();
    std::vector<int> rows;
    if (!request.plugins.empty()) {
        std::optional<std::vector<int>> found = FindAll(session, HostArguments(request.plugins));
        if (!found)
            return session.Exit();
        rows = *found;
    }
    return session.Present(ExportPluginSet(ProgramContext(), rows, PathArgument(request.file)));
}

Runner Define(CLI::App& command, CommandLine&) {
    auto request = std::make_shared<ExportLine>();
    command.add_option("FILE", request->file, "The zip to write (replaced when it exists)")->required();
    command.add_option("PLUGIN", request->plugins,
                       "Names, file names, paths or kind:key; none: every plugin");
    return [request](Session& session) { return ExportPlugins(session, *request); };
}

} // namespace

Command ExportCommand() {
    return {"export", "Write plugins, their files and registrations to a zip for another host",
            "varnel export my-plugins.zip", false, Define};
}

} // namespace varnel::cli
