#include "ops/install.h"

#include "app/settings.h"
#include "catalog/host_config.h"
#include "catalog/module_info.h"
#include "catalog/registration.h"
#include "lang/language.h"
#include "ops/host_process.h"
#include "ops/user_dialogs.h"
#include "util/text.h"

namespace varnel {

void OpenPackerTweakDialog(std::string_view) {}

bool CommitOrReport(HostConfigTransaction& transaction) {
    if (transaction.Commit())
        return true;
    ShowAppMessage(FormatPrintf(Message(91), {Host().HostIniPath}), kStyleError);
    return false;
}

void InstallPlugin(std::string_view modulePath, bool askConfirmation, bool restartAfter,
                   std::string_view presetExtensions, bool reportDuplicate) {
    std::string association;
    std::string note;
    if (LookupInstalled(modulePath, &association))
        note = FormatPrintf(Message(68), {association});

    if (askConfirmation) {
        std::string question = FormatPrintf(Message(59), {FileNamePart(modulePath)}) + note;
        if (ShowAppMessage(question, kStyleQuestion) != kIdOk)
            return;
    }

    PluginKind kind = PluginKindOfFile(modulePath);
    std::string extensions(presetExtensions);
    if (kind == kPacker && extensions.empty()) {
        std::string file = FileNamePart(modulePath);
        std::string proposal = file.substr(0, file.rfind('.'));
        std::optional<std::string> typed = Dialogs().AskAssociation(std::string(modulePath), proposal, false);
        if (!typed)
            return;
        extensions = *typed;
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
        ShowAppMessage(FormatPrintf(Message(63), {PluginDisplayName(modulePath)}), kStyleInformation);
    }
    if (restartAfter && AppSettings().InstRestart)
        RestartHost();
}

} // namespace varnel
