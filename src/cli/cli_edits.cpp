// The commands that change the host's configuration: install, uninstall, disable, enable, rename,
// order, tweak. Each runs the window's own command code.

#include "cli/cli_commands.h"

#include "app/settings.h"
#include "catalog/host_config.h"
#include "catalog/module_info.h"
#include "catalog/registration.h"
#include "cli/cli_plugins.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "ops/archive_install.h"
#include "ops/history.h"
#include "ops/host_process.h"
#include "ops/install.h"
#include "ops/plugin_commands.h"
#include "ops/plugin_order.h"
#include "platform/files.h"
#include "util/names.h"
#include "util/text.h"

#include <algorithm>
#include <set>

namespace varnel::cli {

namespace {

// The rows the names mean; nullopt (reported) when any name fits none or several.
std::optional<std::vector<int>> FindAll(Session& session, const std::vector<std::string>& names) {
    LoadTable(false);
    std::vector<int> rows;
    for (const std::string& name : names) {
        std::optional<int> row = FindPlugin(name, session);
        if (!row)
            return std::nullopt;
        if (std::find(rows.begin(), rows.end(), *row) == rows.end())
            rows.push_back(*row);
    }
    return rows;
}

// The registrations (kind and module) the table has now.
std::set<std::pair<PluginKind, std::string>> Registered() {
    std::set<std::pair<PluginKind, std::string>> registered;
    for (int row = 1; row <= Table().Count(); ++row)
        if (!EntryAt(row).Disabled)
            registered.emplace(EntryAt(row).Kind, FoldAnsi(EntryAt(row).FileName));
    return registered;
}

// The --name or --detect text for a plugin of the kind, if one was given.
std::optional<std::string> GivenText(const InstallRequest& request, PluginKind kind) {
    return kind == kFileSystem                   ? request.name
           : kind == kLister || kind == kContent ? request.detect
                                                 : std::nullopt;
}

// Options that cannot be written are refused before any module is asked or copied.
bool InstallOptionsUsable(Session& session, const InstallRequest& request) {
    for (const auto& [kind, text] :
         {std::pair{kFileSystem, request.name}, std::pair{kLister, request.detect}})
        if (text)
            if (std::optional<std::string> bad = UnusableAssociation(kind, *text);
                bad || (kind == kFileSystem && text->empty())) {
                session.Fail(kExitFailed, UnusableMessage(bad.value_or(*text)));
                return false;
            }
    return true;
}

// What --name, --detect and --flags (checked already) say about a plugin the install registered
// without its text (from an archive, or registered before), written as the window's rename and
// tweak would write it; textGiven: the registration has the text already.
void ApplyInstallOptions(const InstallRequest& request, int row, bool textGiven) {
    const PluginEntry entry = EntryAt(row);
    std::optional<std::string> text = textGiven ? std::nullopt : GivenText(request, entry.Kind);
    if (text) {
        RecordedChange change(FormatPrintf(Message(Msg::HistRenamed), {PluginLabel(row), *text}));
        HostConfigTransaction transaction;
        SetAssociation(row, *text);
        CommitOrReport(transaction);
    }
    if (request.flags && entry.Kind == kPacker) {
        PackerAssociationList list = ReadPackerAssociations(entry.FileName, false);
        for (auto& pair : list.pairs)
            pair.flags = *request.flags;
        RecordedChange change(FormatPrintf(Message(Msg::HistPackerFlags), {PluginLabel(row)}));
        HostConfigTransaction transaction;
        WritePackerAssociations(entry.FileName, list);
        CommitOrReport(transaction);
    }
}

} // namespace

int InstallPlugins(Session& session, const InstallRequest& request) {
    if (!RequireHost(session, true))
        return session.Exit();
    if (!InstallOptionsUsable(session, request))
        return session.Exit();
    Answers& given = session.Given();
    given.association = request.extensions;
    given.associationOption = "--extensions";
    for (const std::string& argument : request.files) {
        if (session.Interrupted() || session.Exit() == kExitUsage)
            break;
        const std::string file = PathArgument(argument);
        if (!platform::FileExists(file)) {
            session.Fail(kExitFailed, FormatPrintf(Message(Msg::FileNotFound), {file}));
            continue;
        }
        LoadTable(false);
        const auto before = Registered();
        // One file and its options are one change: a failure of either, or Ctrl+C, leaves nothing
        // of it (the install names the change).
        const int raised = session.Raised();
        RecordedChange change("");
        // Named on the command line as a file is chosen in the window's dialog: no confirmation;
        // a module registered already installs again without complaint, so scripts can repeat.
        // A module registers with the name or detect string given, without asking the module.
        const bool archive = IsArchiveFile(file);
        if (archive && platform::InDryRun()) {
            session.Fail(kExitUsage, FormatPrintf(Message(Msg::DryRunCannotCopy), {file}));
            continue;
        }
        if (archive)
            InstallFromArchive(file, false, false);
        else
            InstallPlugin(file, false, false, request.extensions.value_or(""), false, false,
                          GivenText(request, PluginKindOfFile(file)).value_or(""));
        LoadTable(false);
        // A new registration of a module got its text with it; one registered already (a script
        // installing again) gets the options now, as a rename and a tweak would set them.
        for (int row = 1; row <= Table().Count(); ++row) {
            if (EntryAt(row).Disabled || session.Raised() != raised)
                continue;
            const bool registeredBefore =
                before.count({EntryAt(row).Kind, FoldAnsi(EntryAt(row).FileName)}) != 0;
            if (!registeredBefore)
                ApplyInstallOptions(request, row, !archive);
            else if (!archive && EqualsNoCaseAnsi(EntryAt(row).FileName, file))
                ApplyInstallOptions(request, row, false);
        }
        if (session.Raised() != raised || session.Interrupted())
            change.Abandon();
    }
    if (request.restart && session.Exit() == kExitDone && !platform::InDryRun())
        RestartHost();
    return session.Exit();
}

int UninstallPlugins(Session& session, const std::vector<std::string>& plugins) {
    if (!RequireHost(session))
        return session.Exit();
    if (std::optional<std::vector<int>> rows = FindAll(session, plugins))
        UninstallSelected(*rows);
    return session.Exit();
}

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
                                     {PluginLabel(row)}));
    std::erase_if(*rows, [enable](int row) { return EntryAt(row).Disabled != enable; });
    // Disabling asks first, for several plugins as for one (the window asks only for one row,
    // where the click could have been a slip; a script names what it means, or answers --yes).
    if (!enable && rows->size() > 1 && !session.Given().yes) {
        session.Say(FormatPrintf(Message(Msg::ConfirmDisableMany), {static_cast<int>(rows->size())}));
        session.Fail(kExitUsage, Message(Msg::AnswerWithYes));
        return session.Exit();
    }
    if (!rows->empty())
        DisableOrEnableSelected(*rows);
    return session.Exit();
}

int RenamePlugin(Session& session, const std::string& plugin, const std::string& newText) {
    if (!RequireHost(session))
        return session.Exit();
    std::optional<std::vector<int>> rows = FindAll(session, {plugin});
    if (!rows)
        return session.Exit();
    if (EntryAt(rows->front()).Kind == kPacker) {
        session.Fail(kExitUsage,
                     "A packer is registered under its extensions: change them with \"varnel tweak\".");
        return session.Exit();
    }
    session.Given().association = newText;
    RenameCurrent(*rows);
    return session.Exit();
}

int OrderPlugins(Session& session, const std::string& kindWord, const std::vector<std::string>& plugins) {
    std::optional<PluginKind> kind = KindFromWord(kindWord);
    if (!kind || *kind == kFileSystem) {
        session.Fail(kExitUsage, FormatPrintf(Message(Msg::FsHasNoOrder), {}) +
                                     " The order is for lister, packer or content.");
        return session.Exit();
    }
    if (!RequireHost(session))
        return session.Exit();
    const platform::ProfileSnapshot since = HostConfigSnapshot();
    std::optional<std::vector<int>> named = FindAll(session, plugins);
    if (!named)
        return session.Exit();
    PluginOrder order(*kind);
    // The rows each name stands for, in the order named: a packer stands for all its extensions.
    std::vector<size_t> wanted;
    for (int row : *named) {
        const PluginEntry& entry = EntryAt(row);
        if (entry.Kind != *kind || entry.Disabled) {
            const std::string label = PluginLabel(row);
            session.Fail(kExitUsage, FormatPrintf(Message(Msg::NoEnabledPluginOfKind), {label, kindWord}));
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
    RecordedChange change(OrderChangeText(*kind));
    HostConfigTransaction transaction(since);
    order.Write();
    CommitOrReport(transaction);
    return session.Exit();
}

int TweakPacker(Session& session, const std::string& packer, const std::vector<std::string>& edits) {
    if (!RequireHost(session))
        return session.Exit();
    const platform::ProfileSnapshot since = HostConfigSnapshot();
    std::optional<std::vector<int>> rows = FindAll(session, {packer});
    if (!rows)
        return session.Exit();
    const PluginEntry entry = EntryAt(rows->front());
    if (entry.Kind != kPacker || entry.Disabled) {
        const std::string label = PluginLabel(rows->front());
        session.Fail(kExitUsage, FormatPrintf(Message(Msg::NoEnabledPluginOfKind), {label, "packer"}));
        return session.Exit();
    }
    PackerAssociationList list = ReadPackerAssociations(entry.FileName, false);
    list.pairs.resize(static_cast<size_t>(list.count));
    auto find = [&](std::string_view extension) {
        return std::find_if(list.pairs.begin(), list.pairs.end(),
                            [&](const auto& pair) { return EqualsNoCaseAnsi(pair.extension, extension); });
    };
    for (const std::string& edit : edits) {
        const bool add = edit.starts_with("+");
        const bool remove = edit.starts_with("-");
        const std::string body = add || remove ? edit.substr(1) : edit;
        const std::string extension = remove ? body : TextBefore(body, "=");
        const std::string flagsText = TextAfter(body, "=");
        if (extension.empty() || (!remove && body.find('=') == std::string::npos)) {
            session.Fail(kExitUsage, FormatPrintf(Message(Msg::TweakSyntax), {edit}));
            return session.Exit();
        }
        if (!IsSafeProfileKey(extension) || TrimBlanks(extension) != extension) {
            session.Fail(kExitFailed, UnusableMessage(extension));
            return session.Exit();
        }
        const int flags = IntFromText(flagsText, -1);
        if (!remove && flags < 0) {
            session.Fail(kExitUsage, FormatPrintf(Message(Msg::NotAWholeNumber), {flagsText}));
            return session.Exit();
        }
        auto pair = find(extension);
        if (remove || !add) {
            if (pair == list.pairs.end()) {
                const std::string label = PluginLabel(rows->front());
                session.Fail(kExitFailed,
                             FormatPrintf(Message(Msg::ExtensionNotRegistered), {label, extension}));
                return session.Exit();
            }
            if (remove)
                list.pairs.erase(pair);
            else
                pair->flags = flags;
        } else {
            if (pair != list.pairs.end()) {
                session.Fail(kExitFailed, FormatPrintf(Message(Msg::ExtensionListed), {extension}));
                return session.Exit();
            }
            list.pairs.push_back({extension, flags});
        }
    }
    list.count = static_cast<int32_t>(list.pairs.size());
    RecordedChange change(FormatPrintf(Message(Msg::HistPackerFlags), {PluginLabel(rows->front())}));
    HostConfigTransaction transaction(since);
    WritePackerAssociations(entry.FileName, list);
    CommitOrReport(transaction);
    return session.Exit();
}

} // namespace varnel::cli
