// varnel order: puts plugins of a kind first, in the order named.

#include "cli/command_table.h"

#include "catalog/host_config.h"
#include "catalog/plugin_table.h"
#include "cli/cli_plugins.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "ops/history.h"
#include "ops/install.h"
#include "ops/plugin_order.h"
#include "util/text.h"

#include <algorithm>
#include <memory>

namespace varnel::cli {

namespace {

int OrderPlugins(Session& session, const std::string& kindWord, const std::vector<std::string>& plugins) {
    std::optional<PluginKind> kind = KindFromWord(kindWord);
    if (!kind || *kind == kFileSystem) {
        session.Fail(kExitUsage, Message(Msg::FsHasNoOrder) + " " + Message(Msg::OrderKinds),
                     Msg::FsHasNoOrder);
        return session.Exit();
    }
    if (!RequireHost(session))
        return session.Exit();
    const platform::ProfileSnapshot since = HostConfigSnapshot();
    std::optional<std::vector<int>> named = FindAll(session, plugins);
    if (!named)
        return session.Exit();
    PluginOrder order(Table(), *kind);
    // The rows each name stands for, in the order named: a packer stands for all its extensions.
    std::vector<size_t> wanted;
    for (int row : *named) {
        const PluginEntry& entry = EntryAt(row);
        if (entry.Kind != *kind || entry.Disabled) {
            const std::string label = PluginLabel(Table(), row);
            session.Fail(kExitUsage, FormatPrintf(Message(Msg::NoEnabledPluginOfKind), {label, kindWord}),
                         Msg::NoEnabledPluginOfKind);
            return session.Exit();
        }
        for (size_t i = 0; i < order.Rows().size(); ++i) {
            const OrderRow& orderRow = order.Rows()[i];
            const bool same =
                *kind == kPacker
                    ? EqualsNoCaseAnsi(ExpandHostPath(TextAfter(orderRow.rawValue, ",")), entry.FileName)
                    : orderRow.tableRow == row;
            if (same)
                wanted.push_back(i);
        }
    }
    // The named rows go to the front in the order named; the rest keep their order behind them.
    std::vector<size_t> current(order.Rows().size());
    for (size_t i = 0; i < current.size(); ++i)
        current[i] = i;
    for (size_t place = 0; place < wanted.size(); ++place) {
        const size_t at =
            static_cast<size_t>(std::find(current.begin(), current.end(), wanted[place]) - current.begin());
        if (at < place)
            continue; // named twice
        order.Move(static_cast<int>(at), static_cast<int>(place));
        std::rotate(current.begin() + static_cast<std::ptrdiff_t>(place),
                    current.begin() + static_cast<std::ptrdiff_t>(at),
                    current.begin() + static_cast<std::ptrdiff_t>(at) + 1);
    }
    return session.Present(WriteOrder(ProgramContext(), order, since));
}

Runner Define(CLI::App& command, CommandLine&) {
    auto kind = std::make_shared<std::string>();
    auto plugins = std::make_shared<std::vector<std::string>>();
    command.add_option("KIND", *kind, "lister, packer or content")->required();
    command.add_option("PLUGIN", *plugins, "The plugins to put first")->required();
    return [kind, plugins](Session& session) {
        return OrderPlugins(session, HostArgument(*kind), HostArguments(*plugins));
    };
}

} // namespace

Command OrderCommand() {
    return {"order", "Put plugins first, in the order named", "varnel order lister 'Sample Lister' lister:3",
            true, Define};
}

} // namespace varnel::cli
