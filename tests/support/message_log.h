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

class MessageLog {
public:
    explicit MessageLog(int answer = kIdOk);
    ~MessageLog();
    MessageLog(const MessageLog&) = delete;
    MessageLog& operator=(const MessageLog&) = delete;

    const std::vector<ShownBox>& Boxes() const { return m_boxes; }
    void SetAnswer(int answer) { m_answer = answer; }
    // Runs while a box is shown, before it is answered: what happens while the user reads it.
    std::function<void(const ShownBox&)> whileShown;

private:
    std::vector<ShownBox> m_boxes;
    int m_answer;
    MessageBoxHook m_previous;
};

} // namespace varnel::test
