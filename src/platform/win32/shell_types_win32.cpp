// Windows has no desktop entries: the file types registered in the user's classes are all the
// shell needs.

#include "platform/shell_types.h"

#include "util/text.h"

namespace varnel::platform {

std::string MimeTypeOfClass(const std::string& className) {
    return "application/x-" + ReplaceAll(LowerAscii(className), "_", "-");
}

bool RegisterDesktopFileTypes(const std::vector<ShellFileType>&, const std::string&, bool) {
    return true;
}

} // namespace varnel::platform
