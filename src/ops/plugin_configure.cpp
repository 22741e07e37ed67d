#include "ops/plugin_configure.h"

#include "app/settings.h"
#include "catalog/host_config.h"
#include "catalog/module_info.h"
#include "catalog/module_probe.h"
#include "catalog/plugin_table.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "ops/host_process.h"
#include "ops/plugin_list.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/program_folder.h"
#include "util/text.h"

namespace varnel {

namespace {

void ShowStop(const std::string& text) {
    ShowMessageBox(text, Message(Msg::AppTitle), kStyleError | kMbSetForeground);
}

// The plugin's dialog stays open as long as the user likes: a wait without a time limit (the busy
// indicator offers to stop it).
constexpr unsigned kNoTimeLimit = 0xFFFFFFFFu;

} // namespace

bool ConfigurePackerPlugin(const HostContext& host, std::string_view modulePath) {
    std::string ini = host.HostDir;
    if (!ini.empty() && ini.back() == '\\')
        ini.pop_back();
    ini += "\\pkplugin.ini";
    platform::ChildWindowWait pluginWindow; // the plugin's own settings dialog
    const std::string module = ModuleLoadedByHost(modulePath, host.HostBits);
    ProbeAnswer answer = AskProbe("configure-packer", module, HexBytes(ini), kNoTimeLimit);
    // A packer that dies on its default parameters took its helper with it; the host would go on
    // to its settings dialog, so a fresh helper opens it without them.
    if (answer.kind == ProbeAnswer::Fault && answer.lastCall == "PackSetDefaultParams")
        answer = AskProbe("configure-packer", module, "-", kNoTimeLimit);
    switch (answer.kind) {
    case ProbeAnswer::Fault:
        ShowStop(FormatPrintf(Message(Msg::PluginFunctionFailed),
                              {std::string(modulePath),
                               answer.lastCall.empty() ? std::string("ConfigurePacker") : answer.lastCall}));
        return true;
    case ProbeAnswer::Number:
    case ProbeAnswer::Cancelled:
        return true;
    default:
        return false; // not loaded, no ConfigurePacker, or nothing here can run it
    }
}

void ConfigureFsPlugin(const HostContext& host, std::string_view modulePath, std::string_view configFolder,
                       int64_t listWindow) {
    const std::string program = JoinPath(ProgramFolder(), "config.exe");
    if (!platform::FileExists(program)) {
        ShowStop(FormatPrintf(Message(Msg::NotBesideProgram), {"Config.exe"}));
        return;
    }
    // config.exe is this program's helper under that name: it runs the plugin in a process of
    // the plugin's bitness and says how that went.
    const std::string module = ModuleLoadedByHost(modulePath, host.HostBits);
    ProbeAnswer answer = [&] {
        platform::ChildWindowWait pluginWindow; // the plugin's own settings dialog
        return RunFsConfiguration(program, module, configFolder, listWindow);
    }();
    switch (answer.kind) {
    case ProbeAnswer::Fault:
        ShowStop(
            FormatPrintf(Message(Msg::PluginFunctionFailed),
                         {module, answer.lastCall.empty() ? std::string("FsExecuteFile") : answer.lastCall}));
        break;
    case ProbeAnswer::Unavailable:
        ShowStop(FormatPrintf(Message(Msg::CannotConfigureHere), {module, answer.problem}));
        break;
    case ProbeAnswer::NotLoaded:
        ShowStop(FormatPrintf(Message(Msg::CannotLoadForSettings), {module}));
        break;
    case ProbeAnswer::NoEntry:
        ShowStop(Message(Msg::SettingsCannotOpen));
        break;
    default:
        break; // the dialog was shown (or the user stopped waiting for it)
    }
}

Result ConfigureRow(const Context& context, int row, int64_t listWindow) {
    // What a plugin's own dialog changes is the plugin's: nothing of it is recorded.
    CommandRun run(context, CommandRun::OwnRecords{});
    if (row < 1 || row > context.table.Count())
        return run.Stop(Outcome::NotFound);
    const PluginEntry& entry = context.table.Row(row);
    switch (entry.Kind) {
    case kPacker:
        if (!ConfigurePackerPlugin(context.host, entry.FileName))
            ShowStop(Message(Msg::SettingsCannotOpen));
        break;
    case kFileSystem: {
        std::string folder = FolderPart(context.settings.IniPath);
        if (!folder.empty() && folder.back() == '\\')
            folder.pop_back();
        ConfigureFsPlugin(context.host, entry.FileName, folder, listWindow);
        break;
    }
    default: {
        const std::string ini = PluginIniOf(entry.FileName);
        if (platform::FileExists(ini))
            platform::ShellRun(ini, "", platform::ShowMode::Shown, false);
        else
            ShowStop(FormatPrintf(Message(Msg::SettingsFileMissing), {ini}));
        break;
    }
    }
    return run.Finish();
}

} // namespace varnel
