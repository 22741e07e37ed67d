#include "lang/interaction.h"

#include "lang/language.h"
#include "platform/process.h"

#include <cstdio>

namespace varnel {

namespace {

Interaction* g_current = nullptr;

// Waits are the platform's: while any interaction is in use, they reach the newest one.
bool ForwardWait(unsigned elapsedMs, bool ended) {
    return User().Waiting(elapsedMs, ended);
}

} // namespace

Interaction::Interaction(Unlinked) : m_outer(nullptr) {}

Interaction::Interaction() : m_outer(g_current) {
    g_current = this;
    platform::SetWaitObserver(ForwardWait);
}

Interaction::~Interaction() {
    if (g_current == this) {
        g_current = m_outer;
    } else {
        for (Interaction* each = g_current; each; each = each->m_outer)
            if (each->m_outer == this) {
                each->m_outer = m_outer;
                break;
            }
    }
    if (!g_current)
        platform::SetWaitObserver(nullptr);
}

int Interaction::Show(const Notice& notice) {
    if (m_outer)
        return m_outer->Show(notice);
    std::fprintf(stderr, "%s: %s\n", notice.title.c_str(), notice.text.c_str());
    return kIdOk;
}

std::vector<std::string> Interaction::OpenFiles(const FileDialogRequest& request) {
    return m_outer ? m_outer->OpenFiles(request) : std::vector<std::string>{};
}

std::optional<std::string> Interaction::AskAssociation(const std::string& modulePath, int8_t kind,
                                                       const std::string& proposal, bool allowEmpty) {
    if (m_outer)
        return m_outer->AskAssociation(modulePath, kind, proposal, allowEmpty);
    return std::nullopt;
}

std::optional<std::string> Interaction::AskText(const std::string& title, const std::string& label,
                                                const std::string& text) {
    return m_outer ? m_outer->AskText(title, label, text) : std::nullopt;
}

bool Interaction::TweakPacker(const std::string& modulePath) {
    return m_outer && m_outer->TweakPacker(modulePath);
}

CopyChoice Interaction::AskCopyModule(const std::string& question) {
    // Without anybody to ask: where it lies, as before this question existed.
    return m_outer ? m_outer->AskCopyModule(question) : CopyChoice::InPlace;
}

bool Interaction::AcceptBitness(const std::string& question) {
    if (m_outer)
        return m_outer->AcceptBitness(question);
    return ShowAppMessage(question, kStyleQuestion) == kIdOk;
}

void Interaction::Status(const std::string& text) {
    if (m_outer)
        m_outer->Status(text);
}

void Interaction::OfferRestart(const std::string& text) {
    if (m_outer)
        m_outer->OfferRestart(text);
    else
        User().Status(text);
}

bool Interaction::Waiting(unsigned elapsedMs, bool ended) {
    return m_outer && m_outer->Waiting(elapsedMs, ended);
}

Interaction& User() {
    static Interaction unattended{Interaction::Unlinked{}};
    return g_current ? *g_current : unattended;
}

} // namespace varnel
