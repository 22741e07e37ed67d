#pragma once
// Records every message box shown while it lives and answers each with a scripted button.

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

private:
    std::vector<ShownBox> m_boxes;
    int m_answer;
    MessageBoxHook m_previous;
};

} // namespace varnel::test
