// varnel disable and enable: park registrations in [DisabledPlugins] and bring them back.

#include "cli/command_table.h"

#include "catalog/plugin_table.h"
#include "cli/cli_plugins.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "ops/history.h"
#include "ops/plugin_commands.h"
#include "util/text.h"

#include <memory>

namespace varnel::cli {

namespace {

int SetPluginsEnabled(Session& session, const std::vector<std::string>& plugins, bool enable) {
    if (!RequireHost(session))
        return session.Exit();
    std::optional<std::vector<int>> rows = FindAll(session, plugins);
    if (!rows)
        return session.Exit();
    // Only those not in that state yet: the window's command turns the current row's state.
    // Those that are say so, rather than nothing at all.
    for (int row : *rows)
        if (EntryAt(row).Disabled != enable)
            session.Say(FormatPrintf(Message(enable ? Msg::EnabledAlready : Msg::DisabledAlready),
                                     {PluginLabel(Table(), row)}));
    std::erase_if(*rows, [enable](int row) { return EntryAt(row).Disabled != enable; });
    // Disabling asks first, for several plugins as for one (the window asks only for one row,
    // where the click could have been a slip; a script names what it means, or answers --yes).
    if (!enable && rows->size() > 1 && !session.Given().yes) {
        session.Say(FormatPrintf(Message(Msg::ConfirmDisableMany), {static_cast<int>(rows->size())}));
        session.Fail(kExitUsage, Message(Msg::AnswerWithYes), Msg::AnswerWithYes);
        return session.Exit();
    }
    if (!rows->empty())
        return session.Present(DisableOrEnableSelected(ProgramContext(), *rows));
    return session.Exit();
}

template <bool enable> Runner Define(CLI::App& command, CommandLine& line) {
    auto plugins = std::make_shared<std::vector<std::string>>();
    command.add_option("PLUGIN", *plugins, "Names, file names, paths or kind:key")->required();
    AddYes(command, line);
    return
        [plugins](Session& session) { return SetPluginsEnabled(session, HostArguments(*plugins), enable); };
}

} // namespace

Command DisableCommand() {
    return {"disable", "Park plugins' registrations in [DisabledPlugins]", "varnel disable --yes lister:2",
            true, Define<false>};
}

Command EnableCommand() {
    return {"enable", "Register disabled plugins again", "varnel enable lister:2", true, Define<true>};
}

} // namespace varnel::cli
