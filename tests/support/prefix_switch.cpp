#include "prefix_switch.h"

#include "platform/paths.h"
#include "platform/profile.h"

#include <cstdlib>

namespace varnel::test {

namespace {
void ForgetPrefix() {
    platform::ResetPathCache();
    platform::ResetProfileCache();
}
} // namespace

void PrefixSwitch::SwitchTo(const std::string& dir) {
    if (!m_active) {
        if (const char* old = std::getenv("WINEPREFIX"))
            m_saved = old;
        m_active = true;
    }
    setenv("WINEPREFIX", dir.c_str(), 1);
    ForgetPrefix();
}

void PrefixSwitch::Restore() {
    if (!m_active)
        return;
    if (m_saved)
        setenv("WINEPREFIX", m_saved->c_str(), 1);
    else
        unsetenv("WINEPREFIX");
    m_active = false;
    ForgetPrefix();
}

} // namespace varnel::test
