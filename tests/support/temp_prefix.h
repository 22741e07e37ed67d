#pragma once
// A throw-away Wine-like prefix for tests: <tmp>/dosdevices/c: -> ../drive_c, with WINEPREFIX
// pointing at it for the test's lifetime.

#include <string>
#include <string_view>

#include "prefix_switch.h"

namespace varnel::test {

class TempPrefix {
public:
    TempPrefix();
    ~TempPrefix();
    TempPrefix(const TempPrefix&) = delete;
    TempPrefix& operator=(const TempPrefix&) = delete;

    const std::string& Dir() const { return m_dir; }
    std::string DriveC() const { return m_dir + "/drive_c"; }

    // Maps another drive letter to a folder (created when missing).
    void MapDrive(char letter, const std::string& target);

    // Files addressed by machine paths below the prefix ("drive_c/TC/wincmd.ini").
    std::string Path(std::string_view relative) const;
    void Write(std::string_view relative, std::string_view bytes) const;
    std::string Read(std::string_view relative) const;
    bool Exists(std::string_view relative) const;

private:
    std::string m_dir;
    PrefixSwitch m_switch;
};

} // namespace varnel::test
