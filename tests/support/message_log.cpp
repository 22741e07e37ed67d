#include "message_log.h"

namespace varnel::test {

int MessageLog::Show(const Notice& notice) {
    m_boxes.push_back({notice.text, notice.title, notice.style});
    if (whileShown)
        whileShown(m_boxes.back());
    return m_answer;
}

} // namespace varnel::test
