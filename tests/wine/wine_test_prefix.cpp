#include "wine_test_prefix.h"

#include "platform/paths.h"
#include "platform/process.h"
#include "platform/profile.h"

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace varnel::test {

WineTestPrefix::WineTestPrefix() {
    const char* dir = std::getenv("VARNEL_TEST_WINEPREFIX");
    if (!dir || !*dir || !fs::exists(std::string(dir) + "/system.reg") || !platform::FindOnPath("wine"))
        return;
    m_dir = dir;
    m_folder = "varnel-tests\\" + std::to_string(getpid());
    fs::create_directories(m_dir + "/drive_c/varnel-tests/" + std::to_string(getpid()));
    m_switch.SwitchTo(m_dir);
    m_ready = true;
}

WineTestPrefix::~WineTestPrefix() {
    if (!m_ready)
        return;
    std::error_code ec;
    fs::remove_all(m_dir + "/drive_c/varnel-tests/" + std::to_string(getpid()), ec);
    m_switch.Restore();
}

} // namespace varnel::test
