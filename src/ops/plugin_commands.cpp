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
std::string NamesOf(const std::vector<int>& rows) {
    std::string names;
    for (size_t i = 0; i < rows.size() && i < 3; ++i)
        names += (i == 0 ? "" : ", ") + PluginLabel(rows[i]);
    if (rows.size() > 3)
        names += " (+" + std::to_string(rows.size() - 3) + ")";
    return names;
}

} // namespace

bool UninstallSelected(const std::vector<int>& selected) {
    if (selected.empty())
        return false;
    const PluginEntry& current = EntryAt(selected.front());
    if (selected.size() == 1) {
        // The name as the list shows it, read now when the table was loaded without it.
        std::string question = FormatPrintf(Message(Msg::ConfirmUninstall),
                                            {PluginLabel(selected.front()), FileNamePart(current.FileName)});
        if (ShowAppMessage(question, kStyleQuestion) != kIdOk)
            return false;
    } else if (ShowAppMessage(
                   FormatPrintf(Message(Msg::ConfirmUninstallMany), {static_cast<int>(selected.size())}),
                   kStyleQuestion) != kIdOk) {
        return false;
    }
    RecordedChange change(FormatPrintf(Message(Msg::HistUninstalled), {NamesOf(selected)}));
    HostConfigTransaction transaction;
    for (int row : selected) {
        if (!EntryAt(row).Disabled)
            RemovePlugin(row, false);
        else if (selected.size() == 1)
            ShowAppMessage(Message(Msg::EnableFirst), kStyleError);
    }
    CommitOrReport(transaction);
    return true;
}

// The selection is worked through in the order of registration, not of the list's sort, so the
// host's load order survives: disabling goes from the last registration back (each keeps the
// number it had), enabling from the lowest number it had up (each goes back to its place).
bool DisableOrEnableSelected(const std::vector<int>& selected) {
    if (selected.empty())
        return false;
    std::vector<int> ordered = selected;
    if (EntryAt(selected.front()).Disabled) {
        std::sort(ordered.begin(), ordered.end(), [](int a, int b) {
            const PluginEntry& x = EntryAt(a);
            const PluginEntry& y = EntryAt(b);
            return std::tie(x.Kind, x.Index, a) < std::tie(y.Kind, y.Index, b);
        });
        RecordedChange change(FormatPrintf(Message(Msg::HistEnabled), {NamesOf(selected)}));
        HostConfigTransaction transaction;
        for (int row : ordered)
            EnablePlugin(row);
        CommitOrReport(transaction);
        return true;
    }
    if (selected.size() <= 1 &&
        ShowAppMessage(FormatPrintf(Message(Msg::ConfirmDisable), {PluginLabel(selected.front())}),
                       kStyleQuestion) != kIdOk)
        return false;
    std::sort(ordered.begin(), ordered.end(), std::greater<>());
    RecordedChange change(FormatPrintf(Message(Msg::HistDisabled), {NamesOf(selected)}));
    HostConfigTransaction transaction;
    for (int row : ordered)
        RemovePlugin(row, true);
    CommitOrReport(transaction);
    return true;
}

bool RenameCurrent(const std::vector<int>& selected) {
    if (selected.empty())
        return false;
    const int row = selected.front();
    const PluginEntry& entry = EntryAt(row);
    if (entry.Disabled) {
        ShowAppMessage(Message(Msg::EnableFirst), kStyleError);
        return false;
    }
    bool emptyAllowed = entry.Kind == kLister || entry.Kind == kContent;
    std::optional<std::string> text =
        User().AskAssociation(entry.FileName, entry.Kind, entry.Association, emptyAllowed);
    if (!text)
        return false;
    if (std::optional<std::string> bad = UnusableAssociation(entry.Kind, *text)) {
        ShowAppMessage(UnusableMessage(*bad), kStyleError);
        return false;
    }
    RecordedChange change(FormatPrintf(Message(Msg::HistRenamed), {PluginLabel(row), *text}));
    HostConfigTransaction transaction;
    SetAssociation(row, *text);
    CommitOrReport(transaction);
    return true;
}

} // namespace varnel
