// The table of varnel's commands, and what they share: the host check, the detailed table load,
// and finding plugins by the names given.

#include "cli/command_table.h"

#include "app/settings.h"
#include "catalog/catalog_options.h"
#include "catalog/host_config.h"
#include "catalog/host_location.h"
#include "catalog/module_info.h"
#include "catalog/plugin_table.h"
#include "cli/cli_plugins.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/process.h"
#include "util/text.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace varnel::cli {

const std::vector<Command>& Commands() {
    static const std::vector<Command> commands = {
        ListCommand(),   ShowCommand(),   InstallCommand(), UninstallCommand(), DisableCommand(),
        EnableCommand(), RenameCommand(), OrderCommand(),   HistoryCommand(),   DoctorCommand(),
        UndoCommand(),   TweakCommand(),  ReportCommand(),  HostCommand(),      ConfigCommand(),
        ExportCommand(), ImportCommand(),
    };
    return commands;
}

void LoadWithDetails() {
    if (CatalogSettings().showVersions == 0)
        CatalogSettings().showVersions = 2;
    std::atomic<bool> stop{false};
    std::atomic<bool> done{false};
    std::thread load([&] {
        LoadTable(true, &stop);
        SaveModuleFacts();
        done = true;
    });
    {
        platform::BusyWork busy;
        while (!done) {
            if (busy.Turn())
                stop = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    load.join();
}

bool RequireHost(Session& session, bool configurationMayBeNew) {
    const Settings& s = AppSettings();
    SetHostPaths(s.TCPath, s.IniPath);
    const std::string ini = ExpandHostPath(s.IniPath);
    if (configurationMayBeNew && IsHostExecutable(s.TCPath) && !platform::FileExists(ini)) {
        session.Say(FormatPrintf(Message(Msg::IniMadeByFirstChange), {ini}));
        return true;
    }
    if (DetectHost(s.TCPath, s.IniPath, 101)) {
        // A wincmd.ini that is a folder, a device or too large to read is no configuration: the
        // window says so above its list; a script must not take the empty list for the truth.
        if (const std::string problem = HostConfigProblem(); !problem.empty()) {
            session.Fail(kExitNoHost, problem, 0);
            return false;
        }
        return true;
    }
    session.Raise(kExitNoHost); // the box above said why
    return false;
}

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

std::string HostArgument(const std::string& utf8) {
    return platform::Utf8ToHostText(utf8);
}

std::vector<std::string> HostArguments(const std::vector<std::string>& utf8) {
    std::vector<std::string> host;
    for (const std::string& each : utf8)
        host.push_back(HostArgument(each));
    return host;
}

void AddYes(CLI::App& command, CommandLine& line) {
    command.add_flag("-y,--yes", line.answers.yes, "Confirm every question");
}

} // namespace varnel::cli
