#include "message_log.h"

namespace varnel::test {

MessageLog::MessageLog(int answer) : m_answer(answer) {
    m_previous = SetMessageBoxHook([this](const std::string& text, const std::string& title, int style) {
        m_boxes.push_back({text, title, style});
        if (whileShown)
            whileShown(m_boxes.back());
        return m_answer;
    });
}

MessageLog::~MessageLog() {
    SetMessageBoxHook(std::move(m_previous));
}

} // namespace varnel::test
