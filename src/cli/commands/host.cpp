// varnel host: whether the host runs, and starting or restarting it.

#include "cli/command_table.h"

#include "app/settings.h"
#include "catalog/host_location.h"
#include "cli/cli_plugins.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "ops/host_process.h"

#include <memory>

namespace varnel::cli {

namespace {

int ControlHost(Session& session, const std::string& action, std::optional<int> mode) {
    if (mode && (*mode < 0 || *mode > 2)) {
        session.Fail(kExitUsage, Message(Msg::ModeOptionValues), Msg::ModeOptionValues);
        return session.Exit();
    }
    if (!RequireHost(session))
        return session.Exit();
    Settings& s = AppSettings();
    if (action == "status") {
        const bool running = HostRunning(s.TCPath);
        if (session.Json())
            PrintJson(nlohmann::ordered_json{{"host", Session::Terminal(s.TCPath)}, {"running", running}});
        else
            Print(running ? "running" : "idle");
    } else if (action == "run") {
        return session.Present(RunHost(ProgramContext()));
    } else {
        if (mode)
            s.RestartCmd = *mode;
        return session.Present(RestartHost(ProgramContext()));
    }
    return session.Exit();
}

struct HostRequest {
    std::string action;
    std::optional<int> mode;
};

Runner Define(CLI::App& command, CommandLine&) {
    auto request = std::make_shared<HostRequest>();
    command.add_option("ACTION", request->action, "status, run or restart")
        ->required()
        ->check(CLI::IsMember({"status", "run", "restart"}));
    command.add_option("--mode", request->mode,
                       "Restart mode: 0 close and start, 1 end and start, 2 start only");
    return [request](Session& session) { return ControlHost(session, request->action, request->mode); };
}

} // namespace

Command HostCommand() {
    return {"host", "The host: status, run or restart", "varnel host restart --mode 0", false, Define};
}

} // namespace varnel::cli
