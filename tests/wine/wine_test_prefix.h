#pragma once
// The Wine prefix the Wine tests share (made by setup_prefix.sh before they run). Each test gets
// its own folder inside it and WINEPREFIX pointing at it.

#include <string>
#include <string_view>

#include "prefix_switch.h"

namespace varnel::test {

class WineTestPrefix {
public:
    WineTestPrefix();
    ~WineTestPrefix();
    WineTestPrefix(const WineTestPrefix&) = delete;
    WineTestPrefix& operator=(const WineTestPrefix&) = delete;

    // False when Wine or the prefix is missing; the test then skips.
    bool Ready() const { return m_ready; }
    const std::string& Dir() const { return m_dir; }
    // The test's own folder below C:\, e.g. "varnel-tests\1234".
    const std::string& Folder() const { return m_folder; }

private:
    bool m_ready = false;
    std::string m_dir;
    std::string m_folder;
    PrefixSwitch m_switch;
};

} // namespace varnel::test
