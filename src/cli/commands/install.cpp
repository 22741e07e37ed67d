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

struct InstallLine {
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
std::optional<std::string> GivenText(const InstallLine& request, PluginKind kind) {
    return kind == kFileSystem                   ? request.name
           : kind == kLister || kind == kContent ? request.detect
                                                 : std::nullopt;
}

// Options that cannot be written are refused before any module is asked or copied.
bool InstallOptionsUsable(Session& session, const InstallLine& request) {
    for (const auto& [kind, text] :
         {std::pair{kFileSystem, request.name}, std::pair{kLister, request.detect}})
        if (text)
            if (std::optional<std::string> bad = UnusableAssociation(kind, *text);
                bad || (kind == kFileSystem && text->empty())) {
                session.Fail(kExitFailed, UnusableMessage(bad.value_or(*text)), Msg::UnusableText);
                return false;
            }
    return true;
}

// What --name, --detect and --flags (checked already) say about a plugin the install registered
// without its text (from an archive, or registered before), written as the window's rename and
// tweak would write it, in the install's change.
Result ApplyInstallOptions(const Context& context, const InstallLine& request, int row) {
    const PluginEntry entry = context.table.Row(row);
    const std::optional<std::string> text = GivenText(request, entry.Kind);
    CommandRun run(context, std::string());
    return run.EditHost([&] {
        if (text)
            SetAssociation(row, *text);
        if (request.flags && entry.Kind == kPacker)
            SetPackerFlags(entry.FileName, *request.flags);
        return Outcome::Done;
    });
}

// One file and its options, as one change: a failure of either, or Ctrl+C, leaves nothing of it.
Result InstallOne(Session& session, const InstallLine& request, const std::string& file) {
    LoadTable(false);
    const auto before = Registered();
    CommandRun run(ProgramContext(), std::string()); // the install names the change
    // Named on the command line as a file is chosen in the window's dialog: no confirmation; a
    // module registered already installs again without complaint, so scripts can repeat. A module
    // registers with the name or detect string given, without asking the module.
    const bool archive = IsArchiveFile(file);
    if (archive && platform::InDryRun()) {
        session.Fail(kExitUsage, FormatPrintf(Message(Msg::DryRunCannotCopy), {file}), Msg::DryRunCannotCopy);
        return run.Stop(Outcome::Unanswered);
    }
    Result installed;
    if (archive) {
        installed = InstallFromArchive(run.Here(), {file, false, false});
    } else {
        varnel::InstallRequest install;
        install.path = file;
        install.extensions = request.extensions.value_or("");
        install.association = GivenText(request, PluginKindOfFile(file)).value_or("");
        install.flags = request.flags;
        installed = InstallPlugin(run.Here(), install);
    }
    if (!installed.Done())
        return run.Stop(installed.code);
    LoadTable(false);
    // A new registration of a module got its options with it; one from an archive, or one
    // registered already (a script installing again), gets them now, as a rename and a tweak
    // would set them.
    for (int row = 1; row <= Table().Count(); ++row) {
        const PluginEntry& entry = EntryAt(row);
        if (entry.Disabled)
            continue;
        const bool registeredBefore = before.count({entry.Kind, FoldAnsi(entry.FileName)}) != 0;
        const bool needsOptions =
            registeredBefore ? !archive && EqualsNoCaseAnsi(entry.FileName, file) : archive;
        if (needsOptions)
            if (Result applied = ApplyInstallOptions(run.Here(), request, row); !applied.Done())
                return run.Stop(applied.code);
    }
    if (session.Interrupted())
        return run.Stop(Outcome::Cancelled);
    Result result = run.Finish();
    if (result.Done() && !request.restart)
        RestartOrOffer(ProgramContext(), false);
    return result;
}

int InstallPlugins(Session& session, const InstallLine& request) {
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
            session.Fail(kExitFailed, FormatPrintf(Message(Msg::FileNotFound), {file}), Msg::FileNotFound);
            continue;
        }
        session.Present(InstallOne(session, request, file));
    }
    if (request.restart && session.Exit() == kExitDone && !platform::InDryRun())
        session.Present(RestartHost(ProgramContext()));
    return session.Exit();
}

Runner Define(CLI::App& command, CommandLine& line) {
    auto request = std::make_shared<InstallLine>();
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
        InstallLine given = *request;
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
