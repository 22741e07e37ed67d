#include "temp_prefix.h"

#include "platform/paths.h"
#include "platform/profile.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace varnel::test {

TempPrefix::TempPrefix() {
    std::string pattern = (fs::temp_directory_path() / "varnel-prefix-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data()))
        throw std::runtime_error("mkdtemp failed");
    m_dir = buffer.data();
    fs::create_directories(m_dir + "/drive_c/windows");
    fs::create_directories(m_dir + "/dosdevices");
    fs::create_directory_symlink("../drive_c", m_dir + "/dosdevices/c:");
    fs::create_directory_symlink("/", m_dir + "/dosdevices/z:");
    m_switch.SwitchTo(m_dir);
}

TempPrefix::~TempPrefix() {
    m_switch.Restore();
    std::error_code ec;
    fs::permissions(m_dir, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(m_dir, ec);
}

void TempPrefix::MapDrive(char letter, const std::string& target) {
    fs::create_directories(target);
    std::string link = m_dir + "/dosdevices/" + static_cast<char>(std::tolower(letter)) + ":";
    std::error_code ec;
    fs::remove(link, ec);
    fs::create_directory_symlink(target, link);
    platform::ResetPathCache();
}

std::string TempPrefix::Path(std::string_view relative) const {
    return m_dir + "/" + std::string(relative);
}

void TempPrefix::Write(std::string_view relative, std::string_view bytes) const {
    fs::path path = Path(relative);
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string TempPrefix::Read(std::string_view relative) const {
    std::ifstream in(Path(relative), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool TempPrefix::Exists(std::string_view relative) const {
    return fs::exists(Path(relative));
}

} // namespace varnel::test
