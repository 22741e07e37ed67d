// varnel undo: the last changes, or every change down to one, all or none.

#include "cli/command_table.h"

#include "cli/cli_plugins.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "ops/history.h"
#include "platform/files.h"
#include "util/text.h"

#include <cstdint>
#include <memory>

namespace varnel::cli {

namespace {

int UndoChanges(Session& session, int count, std::optional<uint64_t> to) {
    // Records that are damaged, or name files this program never records, are passed over: say so.
    std::vector<std::string> skipped;
    LoadHistory(false, &skipped);
    for (const std::string& name : skipped)
        session.Say(FormatPrintf(Message(Msg::HistoryRecordDamaged), {name}));
    if (!to && count < 1) {
        session.Fail(kExitUsage, Message(Msg::UndoCountTooSmall), Msg::UndoCountTooSmall);
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
    return session.Present(to ? UndoToRecord(ProgramContext(), *to)
                              : UndoLastChanges(ProgramContext(), count));
}

struct UndoRequest {
    int count = 1;
    std::optional<uint64_t> to;
};

Runner Define(CLI::App& command, CommandLine&) {
    auto request = std::make_shared<UndoRequest>();
    command.add_option("N", request->count, "How many changes (default 1)");
    command.add_option("--to", request->to, "Undo every change down to this history number");
    return [request](Session& session) { return UndoChanges(session, request->count, request->to); };
}

} // namespace

Command UndoCommand() {
    return {"undo", "Undo the last changes, or every change down to one", "varnel undo 3", true, Define};
}

} // namespace varnel::cli
