#include "app/program_folder.h"

#include "platform/environment.h"
#include "util/text.h"

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
    return FolderPart(platform::OwnExecutablePath());
}

void SetProgramFolder(std::string_view windowsFolder) {
    std::string folder(windowsFolder);
    if (!folder.empty() && folder.back() != '\\')
        folder.push_back('\\');
    Override() = folder;
}

} // namespace varnel
