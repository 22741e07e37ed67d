#include "ops/install.h"

#include "app/settings.h"
#include "catalog/host_config.h"
#include "catalog/host_location.h"
#include "catalog/module_info.h"
#include "catalog/plugin_table.h"
#include "catalog/registration.h"
#include "lang/interaction.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "ops/history.h"
#include "ops/host_process.h"
#include "ops/install_copy.h"
#include "util/text.h"

namespace varnel {

bool AcceptBitness(const Context& context, std::string_view modulePath) {
    const HostContext& host = context.host;
    std::string loaded = ModuleLoadedByHost(modulePath, host.HostBits);
    int bits = ModuleBits(loaded);
    if (BitsMatch(bits, host.HostBits))
        return true;
    std::string question = FormatPrintf(Message(Msg::BitnessMismatch),
                                        {FileNamePart(loaded), std::to_string(bits),
                                         FileNamePart(host.HostExe), std::to_string(host.HostBits)});
    return context.user.AcceptBitness(question);
}

namespace {

// How the chosen module is registered already: a module registered under the chosen name stays
// so; otherwise a 64-bit module with a 32-bit twin beside it is registered under the twin's name.
struct Registration {
    std::string modulePath;
    std::string association;
    bool installed = false;
};

Registration ExistingRegistration(const PluginTable& table, std::string_view chosenPath) {
    Registration found{std::string(chosenPath), {}, false};
    found.installed = LookupInstalled(found.modulePath, &found.association); // loads the table
    if (std::string twinName = RegistrationPathFor(chosenPath);
        !found.installed && twinName != found.modulePath) {
        found.modulePath = twinName;
        if (int row = table.FindByFile(found.modulePath)) {
            found.association = table.Row(row).Association;
            found.installed = true;
        }
    }
    return found;
}

bool AskToInstall(std::string_view chosenPath, std::string_view details, const Registration& registration) {
    std::string question = FormatPrintf(Message(Msg::ConfirmInstall), {FileNamePart(chosenPath)});
    question.append(details);
    if (registration.installed)
        question.append(FormatPrintf(Message(Msg::RegisteredAlready), {registration.association}));
    return ShowAppMessage(question, kStyleQuestion) == kIdOk;
}

} // namespace

bool ConfirmInstall(const Context& context, std::string_view chosenPath, std::string_view details) {
    return AskToInstall(chosenPath, details, ExistingRegistration(context.table, chosenPath));
}

void RestartOrOffer(const Context& context, bool restart, bool installed) {
    if (restart && context.settings.InstRestart)
        RestartHost(context);
    else if (installed && HostRunning(context.host.HostExe))
        OfferRestart();
}

namespace {

Result InstallModule(const Context& context, const InstallRequest& request) {
    const HostContext& host = context.host;
    const Registration registration = ExistingRegistration(context.table, request.path);
    std::string modulePath = registration.modulePath;
    const bool installed = registration.installed;
    PluginKind kind = PluginKindOfFile(modulePath);
    CommandRun run(context, FormatPrintf(Message(Msg::HistInstalled), {FileNamePart(modulePath)}));
    if (request.askConfirmation && !AskToInstall(request.path, {}, registration))
        return run.Stop(Outcome::Refused);
    if (!installed && !request.bitnessAccepted && !AcceptBitness(run.Here(), modulePath))
        return run.Stop(Outcome::Refused);

    std::string extensions = request.extensions;
    if (kind == kPacker && extensions.empty()) {
        std::string file = FileNamePart(modulePath);
        std::string proposal = file.substr(0, file.rfind('.'));
        std::optional<std::string> typed = run.Here().user.AskAssociation(modulePath, kind, proposal, false);
        if (!typed)
            return run.Stop(Outcome::Refused);
        extensions = *typed;
    }
    if (std::optional<std::string> bad = UnusableAssociation(kind, extensions); bad && kind == kPacker) {
        ShowAppMessage(UnusableMessage(*bad), kStyleError, Outcome::Failed, Msg::UnusableText);
        return run.Stop(Outcome::Failed);
    }
    // A module from a download folder is copied into the plugin folder first (the copies are part
    // of this change, so undoing it removes them, and so does a failure after them).
    if (!installed && kind != kNoPlugin) {
        std::optional<std::string> place = OfferCopyIntoPluginFolder(run.Here(), modulePath, kind);
        if (!place)
            return run.Stop(Outcome::Refused);
        modulePath = *place;
    }
    Result result = run.EditHost([&] {
        const RegisterResult registered =
            RegisterPlugin(modulePath, extensions, request.reportDuplicate, request.association);
        if (registered != RegisterResult::Registered)
            return registered == RegisterResult::Cancelled ? Outcome::Refused : Outcome::Failed;
        if (request.flags && kind == kPacker)
            SetPackerFlags(modulePath, *request.flags);
        return Outcome::Done;
    });
    if (!result.Done())
        return result;
    if (kind == kPacker && context.settings.InstTweak)
        run.Here().user.TweakPacker(modulePath);
    // A plugin of a name that another one has already is named with its file.
    std::string label = PluginDisplayName(ModuleLoadedByHost(modulePath, host.HostBits));
    LoadTable(true);
    if (const int row = context.table.FindByFile(modulePath))
        label += SharedNameSuffix(context.table, row);
    ShowAppMessage(FormatPrintf(Message(Msg::Installed), {label}), kStyleInformation);
    return result;
}

} // namespace

Result InstallPlugin(const Context& context, const InstallRequest& request) {
    // Inside another command, that one says what follows once the whole is done.
    const bool nested = CommandRun::Active();
    Result result = InstallModule(context, request);
    // The restart after the last of several files comes whether that one went in or not.
    if (!nested && (request.restartAfter || result.Done()))
        RestartOrOffer(context, request.restartAfter, result.Done());
    return result;
}

} // namespace varnel
