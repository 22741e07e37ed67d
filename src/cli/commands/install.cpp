// varnel install: module files and .zip/.rar archives, in order, each with its options as one change.

#include "cli/command_table.h"

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
#include "platform/files.h"
#include "util/names.h"
#include "util/text.h"

#include <cstdint>
#include <limits>
#include <memory>
#include <set>

namespace varnel::cli {

namespace {

struct InstallRequest {
    std::vector<std::string> files;
    std::optional<std::string> extensions; // a packer's extensions
    std::optional<std::string> name;       // an FS plugin's root name
    std::optional<std::string> detect;     // a Lister or Content plugin's detect string
    std::optional<int> flags;              // a packer's flags
    bool restart = false;
};

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

Runner Define(CLI::App& command, CommandLine& line) {
    auto request = std::make_shared<InstallRequest>();
    command.add_option("FILE", request->files, "Plugin modules and archives")->required();
    AddYes(command, line);
    command.add_option("--extensions", request->extensions, "A packer's extensions (zip,7z)");
    command.add_option("--name", request->name, "An FS plugin's root name");
    command.add_option("--detect", request->detect, "A Lister or Content plugin's detect string");
    command.add_option("--flags", request->flags, "A packer's flags for every extension")
        ->check(CLI::Range(0, std::numeric_limits<int32_t>::max()));
    command.add_flag("--force", line.answers.force, "Install a module the host cannot load");
    command.add_flag("--replace", line.answers.replace,
                     "Take over an FS name or packer extensions another plugin has");
    command.add_flag("--restart", request->restart, "Restart the host after the last one");
    command.add_flag("--copy", line.answers.copy,
                     "Copy a module from outside the plugin folders into the one of its kind first");
    return [request](Session& session) {
        InstallRequest given = *request;
        for (std::optional<std::string>* text : {&given.extensions, &given.name, &given.detect})
            if (*text)
                **text = HostArgument(**text);
        return InstallPlugins(session, given);
    };
}

} // namespace

Command InstallCommand() {
    return {"install", "Install module files and .zip/.rar archives, in order",
            "varnel install --extensions 7z,xz ~/Downloads/7zip.zip --restart", true, Define};
}

} // namespace varnel::cli
