#include "ops/plugin_commands.h"

#include "catalog/host_config.h"
#include "catalog/plugin_table.h"
#include "catalog/registration.h"
#include "lang/interaction.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "ops/history.h"
#include "ops/install.h"
#include "util/text.h"

#include <algorithm>
#include <functional>
#include <tuple>

namespace varnel {

namespace {

// The plugins' names for a history record: the first few, then how many more.
std::string NamesOf(const PluginTable& table, const std::vector<int>& rows) {
    std::string names;
    for (size_t i = 0; i < rows.size() && i < 3; ++i)
        names += (i == 0 ? "" : ", ") + PluginLabel(table, rows[i]);
    if (rows.size() > 3)
        names += " (+" + std::to_string(rows.size() - 3) + ")";
    return names;
}

} // namespace

Result UninstallSelected(const Context& context, const std::vector<int>& selected) {
    CommandRun run(context, FormatPrintf(Message(Msg::HistUninstalled), {NamesOf(context.table, selected)}));
    if (selected.empty())
        return run.Stop(Outcome::NotFound);
    const PluginEntry& current = context.table.Row(selected.front());
    if (selected.size() == 1) {
        // The name as the list shows it, read now when the table was loaded without it.
        std::string question =
            FormatPrintf(Message(Msg::ConfirmUninstall),
                         {PluginLabel(context.table, selected.front()), FileNamePart(current.FileName)});
        if (ShowAppMessage(question, kStyleQuestion) != kIdOk)
            return run.Stop(Outcome::Refused);
    } else if (ShowAppMessage(
                   FormatPrintf(Message(Msg::ConfirmUninstallMany), {static_cast<int>(selected.size())}),
                   kStyleQuestion) != kIdOk) {
        return run.Stop(Outcome::Refused);
    }
    if (selected.size() == 1 && current.Disabled) {
        ShowAppMessage(Message(Msg::EnableFirst), kStyleError, Outcome::Failed, Msg::EnableFirst);
        return run.Stop(Outcome::Failed);
    }
    return run.EditHost([&] {
        for (int row : selected)
            if (!context.table.Row(row).Disabled)
                RemovePlugin(row, false);
        return Outcome::Done;
    });
}

// The selection is worked through in the order of registration, not of the list's sort, so the
// host's load order survives: disabling goes from the last registration back (each keeps the
// number it had), enabling from the lowest number it had up (each goes back to its place).
Result DisableOrEnableSelected(const Context& context, const std::vector<int>& selected) {
    if (selected.empty())
        return CommandRun(context, std::string()).Stop(Outcome::NotFound);
    PluginTable& table = context.table;
    const bool enable = table.Row(selected.front()).Disabled;
    CommandRun run(context, FormatPrintf(Message(enable ? Msg::HistEnabled : Msg::HistDisabled),
                                         {NamesOf(context.table, selected)}));
    std::vector<int> ordered = selected;
    if (enable) {
        std::sort(ordered.begin(), ordered.end(), [&table](int a, int b) {
            const PluginEntry& x = table.Row(a);
            const PluginEntry& y = table.Row(b);
            return std::tie(x.Kind, x.Index, a) < std::tie(y.Kind, y.Index, b);
        });
    } else {
        if (selected.size() <= 1 &&
            ShowAppMessage(
                FormatPrintf(Message(Msg::ConfirmDisable), {PluginLabel(context.table, selected.front())}),
                kStyleQuestion) != kIdOk)
            return run.Stop(Outcome::Refused);
        std::sort(ordered.begin(), ordered.end(), std::greater<>());
    }
    return run.EditHost([&] {
        for (int row : ordered) {
            if (enable)
                EnablePlugin(row);
            else
                RemovePlugin(row, true);
        }
        return Outcome::Done;
    });
}

Result RenameCurrent(const Context& context, const std::vector<int>& selected) {
    CommandRun run(context, std::string());
    if (selected.empty())
        return run.Stop(Outcome::NotFound);
    const int row = selected.front();
    const PluginEntry& entry = context.table.Row(row);
    if (entry.Disabled) {
        ShowAppMessage(Message(Msg::EnableFirst), kStyleError, Outcome::Failed, Msg::EnableFirst);
        return run.Stop(Outcome::Failed);
    }
    bool emptyAllowed = entry.Kind == kLister || entry.Kind == kContent;
    std::optional<std::string> text =
        run.Here().user.AskAssociation(entry.FileName, entry.Kind, entry.Association, emptyAllowed);
    if (!text)
        return run.Stop(Outcome::Refused);
    if (std::optional<std::string> bad = UnusableAssociation(entry.Kind, *text)) {
        ShowAppMessage(UnusableMessage(*bad), kStyleError, Outcome::Failed, Msg::UnusableText);
        return run.Stop(Outcome::Failed);
    }
    run.Name(FormatPrintf(Message(Msg::HistRenamed), {PluginLabel(context.table, row), *text}));
    return run.EditHost([&] {
        SetAssociation(row, *text);
        return Outcome::Done;
    });
}

Result WritePackerFlags(const Context& context, const std::string& modulePath, const std::string& label,
                        const PackerAssociationList& list, const platform::ProfileSnapshot& since) {
    CommandRun run(context, FormatPrintf(Message(Msg::HistPackerFlags), {label}));
    return run.EditHost(
        [&] {
            WritePackerAssociations(modulePath, list);
            return Outcome::Done;
        },
        &since);
}

} // namespace varnel
