// The change history from the command line: listing it and undoing changes.

#include "cli/cli_commands.h"
#include "cli/cli_plugins.h"
#include "ops/history.h"

#include <nlohmann/json.hpp>

namespace varnel::cli {

int ShowHistory(Session& session) {
    const std::vector<HistoryRecord> records = LoadHistory(false);
    const std::vector<bool> inEffect = RecordsInEffect(records);
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
        Print(list.dump(2));
        return session.Exit();
    }
    std::vector<std::vector<std::string>> rows;
    for (size_t i = records.size(); i-- > 0;) {
        std::string files;
        for (const HistoryFileChange& file : records[i].files)
            files += (files.empty() ? "" : ", ") + Session::Terminal(file.path);
        rows.push_back({std::to_string(records[i].id), Session::Terminal(records[i].time),
                        (inEffect[i] ? "" : "(undone) ") + Session::Terminal(records[i].description), files});
    }
    for (const std::string& line : FitTable(rows, TerminalWidth()))
        Print(line);
    return session.Exit();
}

int UndoChanges(Session& session, int count, std::optional<uint64_t> to) {
    if (to)
        UndoToRecord(*to);
    else if (count < 1)
        session.Fail(kExitUsage, "undo: the count must be 1 or more.");
    else
        UndoLastChanges(count);
    return session.Exit();
}

} // namespace varnel::cli
