// The change history and the health check from the command line.

#include "cli/cli_commands.h"

#include "catalog/plugin_table.h"
#include "cli/cli_plugins.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "ops/health_check.h"
#include "ops/history.h"
#include "platform/files.h"
#include "util/text.h"

#include <algorithm>
#include <nlohmann/json.hpp>

namespace varnel::cli {

int ShowHistory(Session& session) {
    std::vector<std::string> skipped;
    const std::vector<HistoryRecord> records = LoadHistory(false, &skipped);
    const std::vector<bool> inEffect = RecordsInEffect(records);
    for (const std::string& name : skipped)
        session.Say(FormatPrintf(Message(Msg::HistoryRecordDamaged), {name}));
    if (session.Json()) {
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (size_t i = 0; i < records.size(); ++i) {
            nlohmann::ordered_json files = nlohmann::ordered_json::array();
            for (const HistoryFileChange& file : records[i].files)
                files.push_back(Session::Terminal(file.path));
            list.push_back({{"id", records[i].id},
                            {"time", Session::Terminal(records[i].time)},
                            {"description", Session::Terminal(records[i].description)},
                            {"files", files},
                            {"undoes", records[i].reverts == 0 ? nlohmann::ordered_json()
                                                               : nlohmann::ordered_json(records[i].reverts)},
                            {"inEffect", static_cast<bool>(inEffect[i])}});
        }
        PrintJson(list);
        return session.Exit();
    }
    std::vector<std::vector<std::string>> rows;
    for (size_t i = records.size(); i-- > 0;) {
        rows.push_back({std::to_string(records[i].id), Session::Terminal(records[i].time),
                        (inEffect[i] ? "" : "(undone) ") + Session::Terminal(records[i].description),
                        Session::Terminal(RecordFilesText(records[i], 3))});
    }
    for (const std::string& line : FitTable(rows, TerminalWidth()))
        Print(line);
    return session.Exit();
}

int UndoChanges(Session& session, int count, std::optional<uint64_t> to) {
    // Records that are damaged, or name files this program never records, are passed over: say so.
    std::vector<std::string> skipped;
    LoadHistory(false, &skipped);
    for (const std::string& name : skipped)
        session.Say(FormatPrintf(Message(Msg::HistoryRecordDamaged), {name}));
    if (!to && count < 1) {
        session.Fail(kExitUsage, Message(Msg::UndoCountTooSmall));
        return session.Exit();
    }
    // A dry run plans the undos as the real one does and hands each file's new bytes to the dry
    // write (which keeps them in memory); nothing is undone or recorded.
    if (platform::InDryRun()) {
        if (std::optional<std::vector<PlannedFile>> files = PlanUndo(count, to)) {
            for (const PlannedFile& file : *files) {
                if (file.bytes)
                    platform::ReplaceFileAtomically(file.path, *file.bytes);
                else
                    platform::DryRunRemove(file.path);
            }
        }
        return session.Exit();
    }
    if (to)
        UndoToRecord(*to);
    else
        UndoLastChanges(count);
    return session.Exit();
}

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

} // namespace

int CheckHealth(Session& session, bool fix, const std::vector<int>& repairs) {
    if (!RequireHost(session))
        return session.Exit();
    std::vector<HealthFinding> findings = CheckHostHealth();
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
                session.Fail(kExitUsage, FormatPrintf(Message(Msg::NoSuchFinding), {number}));
        if (session.Exit() != kExitDone)
            return session.Exit();
        if (!RepairFindings(chosen))
            return session.Exit();
        repaired = static_cast<int>(chosen.size());
        ClearTable();
        LoadTable(false);
        findings = CheckHostHealth();
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
        if (repaired > 0)
            Print("Repaired: " + std::to_string(repaired));
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

} // namespace varnel::cli
