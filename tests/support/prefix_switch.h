#pragma once
// Points WINEPREFIX at a folder for as long as it lives, and forgets what the program had learned
// about the previous prefix, both when switching and when switching back.

#include <optional>
#include <string>

namespace varnel::test {

class PrefixSwitch {
public:
    PrefixSwitch() = default;
    ~PrefixSwitch() { Restore(); }
    PrefixSwitch(const PrefixSwitch&) = delete;
    PrefixSwitch& operator=(const PrefixSwitch&) = delete;

    void SwitchTo(const std::string& dir);
    void Restore();

private:
    bool m_active = false;
    std::optional<std::string> m_saved;
};

} // namespace varnel::test
