#include "cli/cli_session.h"

#include "catalog/host_config.h"
#include "catalog/plugin_table.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "platform/codepage.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/process.h"
#include "util/text.h"

#include <cstdio>

namespace varnel::cli {

int Session::ExitCodeOf(Outcome outcome) {
    switch (outcome) {
    case Outcome::Done:
        return kExitDone;
    case Outcome::Conflict:
        return kExitConflict;
    case Outcome::NotFound:
        return kExitNoHost;
    case Outcome::Unanswered:
        return kExitUsage;
    default:
        return kExitFailed;
    }
}

int Session::Present(const Result& result) {
    Raise(ExitCodeOf(result.code));
    return m_exit;
}

void Session::NoAnswer(int message, std::string_view hostText, Outcome outcome) {
    User().Show(Notice{std::string(hostText), {}, kMbIconError, outcome, message});
}

Session::Session(bool json, bool quiet)
    : m_json(json), m_quiet(quiet), m_interrupt(std::make_unique<platform::InterruptCatcher>()) {}

Session::~Session() = default;

std::optional<std::string> Session::AskAssociation(const std::string& modulePath, int8_t, const std::string&,
                                                   bool) {
    if (m_answers.association)
        return m_answers.association;
    NoAnswer(Msg::OptionNeeded, FormatPrintf(Message(Msg::OptionNeeded),
                                             {FileNamePart(modulePath), m_answers.associationOption}));
    return std::nullopt;
}

std::optional<std::string> Session::AskText(const std::string& title, const std::string&,
                                            const std::string&) {
    return AskAssociation(title, kLister, {}, false);
}

CopyChoice Session::AskCopyModule(const std::string&) {
    if (!m_answers.copy)
        return CopyChoice::InPlace;
    if (platform::InDryRun()) {
        NoAnswer(Msg::DryRunCannotCopy, FormatPrintf(Message(Msg::DryRunCannotCopy), {"--copy"}));
        return CopyChoice::Cancel;
    }
    return CopyChoice::Copy;
}

bool Session::AcceptBitness(const std::string& question) {
    if (m_answers.force)
        return true;
    Say(question);
    NoAnswer(Msg::AnswerWithForce, Message(Msg::AnswerWithForce));
    return false;
}

bool Session::Waiting(unsigned elapsedMs, bool ended) {
    const bool interrupted = platform::InterruptCatcher::Interrupted();
    if (ended || interrupted) {
        if (m_progressShown)
            platform::ClearProgressLine(m_progressLength);
        m_progressShown = false;
        return interrupted;
    }
    if (!m_json && elapsedMs >= 300 && platform::ErrorOutputIsTerminal()) {
        std::string line(1, '\r');
        line.append(Terminal(Message(Msg::PleaseWait)))
            .append(" ")
            .append(std::to_string(elapsedMs / 1000))
            .append("s ");
        platform::WriteOutput(line, true);
        m_progressLength = line.size();
        m_progressShown = true;
    }
    return false;
}

std::string Session::Terminal(std::string_view hostText) {
    return platform::HostTextToUtf8(hostText);
}

void Session::Say(std::string_view hostText) const {
    m_lastMessage = std::string(hostText);
    m_lastNumber = 0;
    std::string text = Terminal(hostText);
    text = ReplaceAll(ReplaceAll(text, "\r\n", "\n"), "\r", "\n");
    platform::WriteOutput(text + "\n", true);
}

void Session::Fail(int exitCode, std::string_view hostText, int message) {
    Say(hostText);
    m_lastNumber = message;
    Raise(exitCode);
}

void Session::Raise(int exitCode) {
    if (exitCode != kExitDone)
        ++m_raised;
    if (m_exit == kExitDone)
        m_exit = exitCode;
}

bool Session::Interrupted() const {
    return platform::InterruptCatcher::Interrupted();
}

int Session::Show(const Notice& notice) {
    const std::string& text = notice.text;
    const int style = notice.style;
    switch (style & 0xF0) {
    case kMbIconQuestion:
        if ((style & kMbReplace) ? m_answers.replace : m_answers.yes && !(style & kMbDefButton2))
            return kIdOk;
        // A user at a terminal answers here; a script answers with --yes.
        if (platform::InputIsTerminal()) {
            platform::WriteOutput(Terminal(ReplaceAll(text, "\r", "\n")) + " [y/N] ", true);
            const std::optional<std::string> answer = platform::ReadInputLine();
            if (answer && !answer->empty() &&
                (answer->front() == 'y' || answer->front() == 'Y' || answer->front() == 'j' ||
                 answer->front() == 'J'))
                return kIdOk;
            const int message = (style & kMbReplace) ? Msg::AnswerWithReplace : Msg::AnswerWithYes;
            NoAnswer(message, Message(message));
            return kIdCancel;
        }
        Say(text);
        // A guess is never written unasked: the command failed, and wrote nothing.
        if (style & kMbReplace)
            NoAnswer(Msg::AnswerWithReplace, Message(Msg::AnswerWithReplace));
        else if (style & kMbDefButton2)
            NoAnswer(Msg::NothingRegisteredWithoutAnswer, Message(Msg::NothingRegisteredWithoutAnswer),
                     Outcome::Failed);
        else
            NoAnswer(Msg::AnswerWithYes, Message(Msg::AnswerWithYes));
        return kIdCancel;
    case kMbIconError:
        Fail(ExitCodeOf(notice.failure), text, notice.message);
        return kIdOk;
    default:
        // What a dry run did is not done: what it would write is said after it.
        if (!m_quiet && !platform::InDryRun())
            Say(text);
        return kIdOk;
    }
}

} // namespace varnel::cli
