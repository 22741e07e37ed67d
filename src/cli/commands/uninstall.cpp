// varnel uninstall: removes plugins' registrations, as the window's Uninstall does.

#include "cli/command_table.h"

#include "ops/plugin_commands.h"

#include <memory>

namespace varnel::cli {

namespace {

int UninstallPlugins(Session& session, const std::vector<std::string>& plugins) {
    if (!RequireHost(session))
        return session.Exit();
    if (std::optional<std::vector<int>> rows = FindAll(session, plugins))
        return session.Present(UninstallSelected(ProgramContext(), *rows));
    return session.Exit();
}

Runner Define(CLI::App& command, CommandLine& line) {
    auto plugins = std::make_shared<std::vector<std::string>>();
    command.add_option("PLUGIN", *plugins, "Names, file names, paths or kind:key")->required();
    AddYes(command, line);
    return [plugins](Session& session) { return UninstallPlugins(session, HostArguments(*plugins)); };
}

} // namespace

Command UninstallCommand() {
    return {"uninstall", "Remove plugins' registrations", "varnel uninstall --yes old_viewer.wlx", true,
            Define};
}

} // namespace varnel::cli
