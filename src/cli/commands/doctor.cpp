// varnel doctor: what is wrong with the plugins, and the repairs.

#include "cli/command_table.h"

#include "catalog/plugin_table.h"
#include "cli/cli_plugins.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "ops/health_check.h"
#include "ops/history.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "util/text.h"

#include <algorithm>
#include <memory>

namespace varnel::cli {

namespace {

const char* KindWord(HealthFinding::Kind kind) {
    using Kind = HealthFinding::Kind;
    switch (kind) {
    case Kind::MissingModule:
        return "missing-module";
    case Kind::WrongBitness:
        return "wrong-bitness";
    case Kind::Duplicate:
        return "duplicate";
    case Kind::DeadPackerExtensions:
        return "dead-packer-extensions";
    case Kind::OrphanDetect:
        return "orphaned-detect-key";
    case Kind::DeadDisabled:
        return "dead-disabled-entry";
    case Kind::LeftoverInstallTmp:
        return "leftover-install-tmp";
    case Kind::NotInstalled:
        return "not-installed";
    case Kind::BadDetect:
        return "bad-detect-string";
    }
    return "";
}

int CheckHealth(Session& session, bool fix, const std::vector<int>& repairs) {
    if (!RequireHost(session))
        return session.Exit();
    std::vector<HealthFinding> findings = CheckHostHealth(ProgramContext());
    int repaired = 0;
    if (fix || !repairs.empty()) {
        std::vector<HealthFinding> chosen;
        for (size_t i = 0; i < findings.size(); ++i) {
            const bool picked =
                std::find(repairs.begin(), repairs.end(), static_cast<int>(i) + 1) != repairs.end();
            if (findings[i].repairable && ((fix && findings[i].safe) || picked))
                chosen.push_back(findings[i]);
        }
        for (int number : repairs)
            if (number < 1 || number > static_cast<int>(findings.size()))
                session.Fail(kExitUsage, FormatPrintf(Message(Msg::NoSuchFinding), {number}),
                             Msg::NoSuchFinding);
        if (session.Exit() != kExitDone)
            return session.Exit();
        if (!RepairFindings(ProgramContext(), chosen).Done())
            return session.Exit();
        repaired = static_cast<int>(chosen.size());
        ClearTable();
        LoadTable(false);
        findings = CheckHostHealth(ProgramContext());
        // A dry run's removals are not on the disk: what they remove is not found any more.
        for (const platform::DryWrite& write : platform::DryRunWrites())
            if (write.removed)
                std::erase_if(findings, [&](const HealthFinding& finding) {
                    return EqualsNoCaseAnsi(finding.path, write.path);
                });
    }
    if (session.Json()) {
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (size_t i = 0; i < findings.size(); ++i)
            list.push_back({{"number", i + 1},
                            {"kind", KindWord(findings[i].kind)},
                            {"text", Session::Terminal(findings[i].text)},
                            {"repair", findings[i].repairable
                                           ? nlohmann::ordered_json(Session::Terminal(findings[i].repair))
                                           : nlohmann::ordered_json()},
                            {"safe", findings[i].safe},
                            {"path", Session::Terminal(findings[i].path)}});
        PrintJson(nlohmann::ordered_json{{"repaired", repaired}, {"findings", list}});
    } else {
        if (repaired > 0 && !platform::InDryRun()) // a dry run says what it would write instead
            Print(Session::Terminal(FormatPrintf(Message(Msg::RepairedCount), {repaired})));
        if (findings.empty())
            Print(Session::Terminal(Message(Msg::CheckNothingWrong)));
        for (size_t i = 0; i < findings.size(); ++i) {
            Print(std::to_string(i + 1) + ". " + Session::Terminal(findings[i].text));
            const std::string how = !findings[i].repairable ? ""
                                    : findings[i].safe      ? "[--fix] "
                                                            : "[--repair " + std::to_string(i + 1) + "] ";
            Print("   " + how + Session::Terminal(findings[i].repair));
        }
    }
    if (!findings.empty())
        session.Raise(kExitProblems);
    return session.Exit();
}

struct DoctorRequest {
    bool fix = false;
    std::vector<int> repairs;
    // Installing a packer that lies in a plugin folder unregistered asks for its extensions.
    std::optional<std::string> extensions;
};

Runner Define(CLI::App& command, CommandLine& line) {
    auto request = std::make_shared<DoctorRequest>();
    command.add_flag("--fix", request->fix, "Repair the safe findings: dead registrations and orphaned keys");
    command.add_option("--repair", request->repairs, "Repair the findings of these numbers too");
    AddYes(command, line);
    command.add_option("--extensions", request->extensions,
                       "A packer's extensions, for a repair that installs one");
    return [request](Session& session) {
        if (request->extensions)
            session.Given().association = HostArgument(*request->extensions);
        return CheckHealth(session, request->fix, request->repairs);
    };
}

} // namespace

Command DoctorCommand() {
    return {"doctor", "What is wrong with the plugins, and repairs", "varnel doctor --fix --repair 4", true,
            Define};
}

} // namespace varnel::cli
