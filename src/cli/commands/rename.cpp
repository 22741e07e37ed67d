// varnel rename: an FS plugin's name, or a Lister or Content plugin's detect string.

#include "cli/command_table.h"

#include "catalog/plugin_table.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "ops/plugin_commands.h"

#include <memory>

namespace varnel::cli {

namespace {

int RenamePlugin(Session& session, const std::string& plugin, const std::string& newText) {
    if (!RequireHost(session))
        return session.Exit();
    std::optional<std::vector<int>> rows = FindAll(session, {plugin});
    if (!rows)
        return session.Exit();
    if (EntryAt(rows->front()).Kind == kPacker) {
        session.Fail(kExitUsage, Message(Msg::RenameNoPacker), Msg::RenameNoPacker);
        return session.Exit();
    }
    session.Given().association = newText;
    return session.Present(RenameCurrent(ProgramContext(), *rows));
}

Runner Define(CLI::App& command, CommandLine&) {
    auto plugin = std::make_shared<std::string>();
    auto text = std::make_shared<std::string>();
    command.add_option("PLUGIN", *plugin, "Name, file name, path or kind:key")->required();
    command.add_option("NEW", *text, "The new name or detect string")->required();
    return [plugin, text](Session& session) {
        return RenamePlugin(session, HostArgument(*plugin), HostArgument(*text));
    };
}

} // namespace

Command RenameCommand() {
    return {"rename", "Change an FS plugin's name or a detect string",
            "varnel rename lister:0 'EXT=\"TXT\" | EXT=\"LOG\"'", true, Define};
}

} // namespace varnel::cli
