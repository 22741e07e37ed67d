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

void OpenPackerTweakDialog(std::string_view modulePath) {
    User().TweakPacker(std::string(modulePath));
}

bool CommitOrReport(HostConfigTransaction& transaction) {
    if (transaction.Commit())
        return true;
    int message = HostConfigTransaction::Conflicted() ? Msg::IniConflict : Msg::FileNotWritten;
    ShowAppMessage(FormatPrintf(Message(message), {Host().HostIniPath}), kStyleError,
                   message == Msg::IniConflict ? Outcome::Conflict : Outcome::Failed);
    return false;
}

bool AcceptBitness(std::string_view modulePath) {
    std::string loaded = ModuleLoadedByHost(modulePath, Host().HostBits);
    int bits = ModuleBits(loaded);
    if (BitsMatch(bits, Host().HostBits))
        return true;
    std::string question = FormatPrintf(Message(Msg::BitnessMismatch),
                                        {FileNamePart(loaded), std::to_string(bits),
                                         FileNamePart(Host().HostExe), std::to_string(Host().HostBits)});
    return User().AcceptBitness(question);
}

namespace {

// How the chosen module is registered already: a module registered under the chosen name stays
// so; otherwise a 64-bit module with a 32-bit twin beside it is registered under the twin's name.
struct Registration {
    std::string modulePath;
    std::string association;
    bool installed = false;
};

Registration ExistingRegistration(std::string_view chosenPath) {
    Registration found{std::string(chosenPath), {}, false};
    found.installed = LookupInstalled(found.modulePath, &found.association); // loads the table
    if (std::string twinName = RegistrationPathFor(chosenPath);
        !found.installed && twinName != found.modulePath) {
        found.modulePath = twinName;
        if (int row = FindEntryByFile(found.modulePath)) {
            found.association = EntryAt(row).Association;
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

bool ConfirmInstall(std::string_view chosenPath, std::string_view details) {
    return AskToInstall(chosenPath, details, ExistingRegistration(chosenPath));
}

void InstallPlugin(std::string_view chosenPath, bool askConfirmation, bool restartAfter,
                   std::string_view presetExtensions, bool reportDuplicate, bool bitnessAccepted,
                   std::string_view givenAssociation) {
    const Registration registration = ExistingRegistration(chosenPath);
    if (askConfirmation && !AskToInstall(chosenPath, {}, registration))
        return;
    std::string modulePath = registration.modulePath;
    const bool installed = registration.installed;

    if (!installed && !bitnessAccepted && !AcceptBitness(modulePath))
        return;

    PluginKind kind = PluginKindOfFile(modulePath);
    std::string extensions(presetExtensions);
    if (kind == kPacker && extensions.empty()) {
        std::string file = FileNamePart(modulePath);
        std::string proposal = file.substr(0, file.rfind('.'));
        std::optional<std::string> typed =
            User().AskAssociation(std::string(modulePath), kind, proposal, false);
        if (!typed)
            return;
        extensions = *typed;
    }
    if (std::optional<std::string> bad = UnusableAssociation(kind, extensions); bad && kind == kPacker) {
        ShowAppMessage(UnusableMessage(*bad), kStyleError);
        return;
    }

    bool done = false;
    {
        RecordedChange change(FormatPrintf(Message(Msg::HistInstalled), {FileNamePart(modulePath)}));
        // A module from a download folder is copied into the plugin folder first (the copies are
        // part of this change, so undoing it removes them).
        if (!installed && kind != kNoPlugin) {
            std::optional<std::string> place = OfferCopyIntoPluginFolder(modulePath, kind);
            if (!place) {
                change.Abandon();
                return;
            }
            modulePath = *place;
        }
        HostConfigTransaction transaction;
        if (RegisterPlugin(modulePath, extensions, reportDuplicate, givenAssociation) ==
            RegisterResult::Registered)
            done = CommitOrReport(transaction);
        // Not registered (refused, unanswered, failed): the copies go again, and nothing is recorded.
        if (!done)
            change.Abandon();
    }
    if (done) {
        if (kind == kPacker && AppSettings().InstTweak)
            OpenPackerTweakDialog(modulePath);
        // A plugin of a name that another one has already is named with its file.
        std::string label = PluginDisplayName(ModuleLoadedByHost(modulePath, Host().HostBits));
        LoadTable(true);
        if (const int row = FindEntryByFile(modulePath))
            label += SharedNameSuffix(row);
        ShowAppMessage(FormatPrintf(Message(Msg::Installed), {label}), kStyleInformation);
    }
    if (restartAfter && AppSettings().InstRestart)
        RestartHost();
    else if (done && HostRunning(Host().HostExe))
        OfferRestart();
}

} // namespace varnel
