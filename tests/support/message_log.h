#pragma once
// Records every message box shown while it lives and answers each with a scripted button.

#include <functional>
#include <string>
#include <vector>

#include "lang/language.h"

namespace varnel::test {

struct ShownBox {
    std::string text;
    std::string title;
    int style = 0;
};

class MessageLog : public Interaction {
public:
    explicit MessageLog(int answer = kIdOk) : m_answer(answer) {}
    int Show(const Notice& notice) override;

    const std::vector<ShownBox>& Boxes() const { return m_boxes; }
    void SetAnswer(int answer) { m_answer = answer; }
    // Runs while a box is shown, before it is answered: what happens while the user reads it.
    std::function<void(const ShownBox&)> whileShown;

private:
    std::vector<ShownBox> m_boxes;
    int m_answer;
};

// Watches the waits of commands while it lives; its function returns true to cancel one.
class WaitWatch : public Interaction {
public:
    explicit WaitWatch(std::function<bool(unsigned elapsedMs, bool ended)> watch)
        : m_watch(std::move(watch)) {}
    bool Waiting(unsigned elapsedMs, bool ended) override { return m_watch(elapsedMs, ended); }

private:
    std::function<bool(unsigned, bool)> m_watch;
};

// Records what commands say on the status line while it lives.
class StatusLog : public Interaction {
public:
    std::vector<std::string> lines;
    void Status(const std::string& text) override { lines.push_back(text); }
};

} // namespace varnel::test
