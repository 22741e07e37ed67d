#include "ops/install.h"

#include "app/settings.h"
#include "catalog/host_config.h"
#include "catalog/module_info.h"
#include "catalog/plugin_table.h"
#include "catalog/registration.h"
#include "lang/language.h"
#include "ops/host_process.h"
#include "ops/user_dialogs.h"
#include "util/text.h"

namespace varnel {

void OpenPackerTweakDialog(std::string_view modulePath) {
    Dialogs().TweakPacker(std::string(modulePath));
}

bool CommitOrReport(HostConfigTransaction& transaction) {
    if (transaction.Commit())
        return true;
    int message = HostConfigTransaction::Conflicted() ? 111 : 91;
    ShowAppMessage(FormatPrintf(Message(message), {Host().HostIniPath}), kStyleError);
    return false;
}

bool AcceptBitness(std::string_view modulePath) {
    std::string loaded = ModuleLoadedByHost(modulePath, Host().HostBits);
    int bits = ModuleBits(loaded);
    if (BitsMatch(bits, Host().HostBits))
        return true;
    std::string question =
        FormatPrintf(Message(100), {FileNamePart(loaded), std::to_string(bits), FileNamePart(Host().HostExe),
                                    std::to_string(Host().HostBits)});
    return ShowAppMessage(question, kStyleQuestion) == kIdOk;
}

void InstallPlugin(std::string_view chosenPath, bool askConfirmation, bool restartAfter,
                   std::string_view presetExtensions, bool reportDuplicate, std::string_view details,
                   bool bitnessAccepted) {
    // A module already registered under the chosen name stays so; otherwise a 64-bit module
    // with a 32-bit twin beside it is registered under the twin's name.
    std::string modulePath(chosenPath);
    std::string association;
    bool installed = LookupInstalled(modulePath, &association); // loads the table
    if (std::string twinName = RegistrationPathFor(chosenPath); !installed && twinName != modulePath) {
        modulePath = twinName;
        if (int row = FindEntryByFile(modulePath)) {
            association = EntryAt(row).Association;
            installed = true;
        }
    }
    std::string note;
    if (installed)
        note = FormatPrintf(Message(68), {association});

    if (askConfirmation) {
        std::string question = FormatPrintf(Message(59), {FileNamePart(chosenPath)});
        question.append(details).append(note);
        if (ShowAppMessage(question, kStyleQuestion) != kIdOk)
            return;
    }

    if (!installed && !bitnessAccepted && !AcceptBitness(modulePath))
        return;

    PluginKind kind = PluginKindOfFile(modulePath);
    std::string extensions(presetExtensions);
    if (kind == kPacker && extensions.empty()) {
        std::string file = FileNamePart(modulePath);
        std::string proposal = file.substr(0, file.rfind('.'));
        std::optional<std::string> typed =
            Dialogs().AskAssociation(std::string(modulePath), kind, proposal, false);
        if (!typed)
            return;
        extensions = *typed;
    }
    if (std::optional<std::string> bad = UnusableAssociation(kind, extensions); bad && kind == kPacker) {
        ShowAppMessage(FormatPrintf(Message(110), {*bad}), kStyleError);
        return;
    }

    bool done = false;
    {
        HostConfigTransaction transaction;
        if (RegisterPlugin(modulePath, extensions, reportDuplicate) == RegisterResult::Registered)
            done = CommitOrReport(transaction);
    }
    if (done) {
        if (kind == kPacker && AppSettings().InstTweak)
            OpenPackerTweakDialog(modulePath);
        ShowAppMessage(
            FormatPrintf(Message(63), {PluginDisplayName(ModuleLoadedByHost(modulePath, Host().HostBits))}),
            kStyleInformation);
    }
    if (restartAfter && AppSettings().InstRestart)
        RestartHost();
}

} // namespace varnel
