// varnel history: the changes TC Varnel made, newest first.

#include "cli/command_table.h"

#include "cli/cli_plugins.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "ops/history.h"
#include "util/text.h"

namespace varnel::cli {

namespace {

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

Runner Define(CLI::App&, CommandLine&) {
    return [](Session& session) { return ShowHistory(session); };
}

} // namespace

Command HistoryCommand() {
    return {"history", "The changes TC Varnel made, newest first", "varnel history --json", false, Define};
}

} // namespace varnel::cli
