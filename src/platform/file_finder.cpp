// The host's find-first/next loop over FindFiles, and the existence test it makes.

#include "platform/files.h"

namespace varnel::platform {

bool FileFinder::First(std::string_view pattern) {
    m_entries = FindFiles(pattern);
    m_index = 0;
    return !m_entries.empty();
}

bool FileFinder::Next() {
    if (m_index + 1 >= m_entries.size())
        return false;
    ++m_index;
    return true;
}

bool FileExists(std::string_view path) {
    if (path.empty())
        return false;
    return !FindFiles(path).empty();
}

} // namespace varnel::platform
