#include "cli/cli_session.h"

#include "catalog/host_config.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "ops/host_process.h"
#include "ops/install.h"
#include "ops/user_dialogs.h"
#include "platform/codepage.h"
#include "platform/console.h"
#include "platform/process.h"
#include "util/text.h"

#include <cstdio>

namespace varnel::cli {

namespace {

// The dialogs a command opens, answered from the command line.
class OptionDialogs : public UserDialogs {
public:
    explicit OptionDialogs(Session& session) : m_session(session) {}
    std::vector<std::string> OpenFiles(const FileDialogRequest&) override { return {}; }
    std::optional<std::string> AskAssociation(const std::string& modulePath, PluginKind, const std::string&,
                                              bool) override {
        if (m_session.Given().association)
            return m_session.Given().association;
        m_session.Fail(kExitUsage,
                       FormatPrintf(Message(Msg::OptionNeeded),
                                    {FileNamePart(modulePath), m_session.Given().associationOption}));
        return std::nullopt;
    }
    std::optional<std::string> AskText(const std::string& title, const std::string&,
                                       const std::string&) override {
        return AskAssociation(title, kLister, {}, false);
    }
    // The flags of an installed packer are set with "varnel tweak", not in a dialog.
    bool TweakPacker(const std::string&) override { return false; }
    CopyChoice AskCopyModule(const std::string&) override {
        return m_session.Given().copy ? CopyChoice::Copy : CopyChoice::InPlace;
    }

private:
    Session& m_session;
};

} // namespace

struct Session::Saved {
    MessageBoxHook box;
    UserDialogs* dialogs = nullptr;
    BitnessAnswer bitness;
    platform::WaitObserver observer;
    std::unique_ptr<OptionDialogs> ownDialogs;
    std::unique_ptr<platform::InterruptCatcher> interrupt;
};

Session::Session(bool json, bool quiet) : m_json(json), m_quiet(quiet), m_saved(new Saved) {
    m_saved->box = SetMessageBoxHook(
        [this](const std::string& text, const std::string&, int style) { return Box(text, style); });
    m_saved->ownDialogs = std::make_unique<OptionDialogs>(*this);
    m_saved->dialogs = SetUserDialogs(m_saved->ownDialogs.get());
    m_saved->bitness = SetBitnessAnswer([this](std::string_view question) {
        if (m_answers.force)
            return true;
        Say(question);
        Fail(kExitUsage, Message(Msg::AnswerWithForce));
        return false;
    });
    SetStatusReporter([this](const std::string& text) { Say(text); });
    // A long wait shows how long it has waited (on a terminal only), and Ctrl+C ends it the way
    // the busy indicator's Cancel does: a query stopped early writes nothing.
    const bool progress = !json && platform::ErrorOutputIsTerminal();
    m_saved->observer = platform::SetWaitObserver([this, progress](unsigned elapsedMs, bool ended) {
        const bool interrupted = platform::InterruptCatcher::Interrupted();
        if (ended || interrupted) {
            if (m_progressShown)
                platform::ClearProgressLine(m_progressLength);
            m_progressShown = false;
            return interrupted;
        }
        if (progress && elapsedMs >= 300) {
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
    });
    m_saved->interrupt = std::make_unique<platform::InterruptCatcher>();
}

Session::~Session() {
    m_saved->interrupt.reset();
    platform::SetWaitObserver(std::move(m_saved->observer));
    SetStatusReporter(nullptr);
    SetBitnessAnswer(std::move(m_saved->bitness));
    SetUserDialogs(m_saved->dialogs);
    SetMessageBoxHook(std::move(m_saved->box));
    delete m_saved;
}

std::string Session::Terminal(std::string_view hostText) {
    return platform::HostTextToUtf8(hostText);
}

void Session::Say(std::string_view hostText) const {
    m_lastMessage = std::string(hostText);
    std::string text = Terminal(hostText);
    text = ReplaceAll(ReplaceAll(text, "\r\n", "\n"), "\r", "\n");
    platform::WriteOutput(text + "\n", true);
}

void Session::Fail(int exitCode, std::string_view hostText) {
    Say(hostText);
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

int Session::Box(const std::string& text, int style) {
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
            Fail(kExitUsage, Message((style & kMbReplace) ? Msg::AnswerWithReplace : Msg::AnswerWithYes));
            return kIdCancel;
        }
        Say(text);
        // A guess is never written unasked: the command failed, and wrote nothing.
        if (style & kMbReplace)
            Fail(kExitUsage, Message(Msg::AnswerWithReplace));
        else if (style & kMbDefButton2)
            Fail(kExitFailed, Message(Msg::NothingRegisteredWithoutAnswer));
        else
            Fail(kExitUsage, Message(Msg::AnswerWithYes));
        return kIdCancel;
    case kMbIconError: {
        // Another program changed a file in the same places (the window's message 111), whichever
        // file it names.
        const std::string& format = Message(Msg::IniConflict);
        const size_t slot = format.find("%s");
        const bool conflict = slot != std::string::npos && text.size() > format.size() - 2 &&
                              text.starts_with(format.substr(0, slot)) &&
                              text.ends_with(format.substr(slot + 2));
        Fail(conflict ? kExitConflict : kExitFailed, text);
        return kIdOk;
    }
    default:
        if (!m_quiet)
            Say(text);
        return kIdOk;
    }
}

} // namespace varnel::cli
