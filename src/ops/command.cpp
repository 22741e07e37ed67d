#include "ops/command.h"

#include "app/settings.h"
#include "catalog/host_config.h"
#include "catalog/plugin_table.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "ops/history.h"
#include "platform/files.h"
#include "util/text.h"

namespace varnel {

namespace {

int g_runs = 0; // the runs alive

} // namespace

Context ProgramContext() {
    return {AppSettings(), Host(), Table(), User()};
}

CommandRun::CommandRun(const Context& context, OwnRecords)
    : m_context{context.settings, context.host, context.table, *this},
      m_recordsBefore(RecordsMadeHere().size()) {
    ++g_runs;
}

CommandRun::CommandRun(const Context& context, std::string description) : CommandRun(context, OwnRecords{}) {
    m_change.emplace(std::move(description));
}

bool CommandRun::Active() {
    return g_runs > 0;
}

void CommandRun::Name(std::string description) {
    if (m_change)
        m_change->Name(std::move(description));
}

CommandRun::~CommandRun() {
    // A command that returned neither keeps nothing it wrote.
    if (!m_ended)
        End(Outcome::Failed);
    --g_runs;
}

void CommandRun::Note(Outcome code, const std::string& text, int message) {
    if (m_code != Outcome::Done)
        return;
    m_code = code;
    m_text = text;
    m_message = message;
}

int CommandRun::Show(const Notice& notice) {
    if ((notice.style & 0xF0) == kMbIconError)
        Note(notice.failure == Outcome::Done ? Outcome::Failed : notice.failure, notice.text, notice.message);
    return Interaction::Show(notice);
}

bool CommandRun::Waiting(unsigned elapsedMs, bool ended) {
    const bool stop = Interaction::Waiting(elapsedMs, ended);
    if (stop)
        Note(Outcome::Cancelled, {});
    return stop;
}

Result CommandRun::EditHost(const std::function<Outcome()>& edit, const platform::ProfileSnapshot* since) {
    Outcome outcome = Outcome::Failed;
    {
        std::optional<HostConfigTransaction> transaction;
        if (since)
            transaction.emplace(*since);
        else
            transaction.emplace();
        outcome = edit();
        if (outcome == Outcome::Done && !Failing() && !CommitOrReport(m_context.host, *transaction))
            outcome = Outcome::Failed;
    }
    return outcome == Outcome::Done ? Finish() : Stop(outcome);
}

bool CommitOrReport(const HostContext& host, HostConfigTransaction& transaction) {
    // A configuration that does not exist yet is made by its first change, and so is its folder,
    // as part of the change: a command that fails or is refused leaves no folder behind.
    const bool folder = platform::InDryRun() || MakeFoldersInThisChange(FolderPart(host.HostIniPath));
    if (folder && transaction.Commit())
        return true;
    int message = HostConfigTransaction::Conflicted() ? Msg::IniConflict : Msg::FileNotWritten;
    ShowAppMessage(FormatPrintf(Message(message), {host.HostIniPath}), kStyleError,
                   message == Msg::IniConflict ? Outcome::Conflict : Outcome::Failed, message);
    return false;
}

Result CommandRun::Finish() {
    return End(Outcome::Done);
}

Result CommandRun::Stop(Outcome why) {
    return End(why == Outcome::Done ? Outcome::Failed : why);
}

Result CommandRun::End(Outcome code) {
    Note(code, {});
    m_ended = true;
    Result result{m_code, m_text, m_message, {}, {}};
    if (m_change && !result.Done())
        m_change->Abandon();
    m_change.reset();
    const std::vector<MadeRecord>& made = RecordsMadeHere();
    for (size_t i = m_recordsBefore; i < made.size(); ++i) {
        result.records.push_back(made[i].id);
        result.files.insert(result.files.end(), made[i].files.begin(), made[i].files.end());
    }
    return result;
}

} // namespace varnel
