#include "platform/program_folder.h"

#include "platform/environment.h"
#include "platform/paths.h"
#include "util/text.h"

#include <cstdlib>

namespace varnel {

namespace {
std::string& Override() {
    static std::string folder;
    return folder;
}
} // namespace

std::string ProgramFolder() {
    if (!Override().empty())
        return Override();
    // A portable folder apart from the executable (a machine path), for tests and packagers.
    if (const char* folder = std::getenv("VARNEL_PROGRAM_FOLDER"); folder && *folder) {
        std::string windows = platform::ToWindowsPath(folder);
        return windows.back() == '\\' ? windows : windows + "\\";
    }
    return FolderPart(platform::OwnExecutablePath());
}

void SetProgramFolder(std::string_view windowsFolder) {
    std::string folder(windowsFolder);
    if (!folder.empty() && folder.back() != '\\')
        folder.push_back('\\');
    Override() = folder;
}

} // namespace varnel
