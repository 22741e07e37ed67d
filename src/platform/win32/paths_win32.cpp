// On Windows the host's paths are the machine's own: no prefix, no drive map. A machine path is
// the same path in UTF-8 (the form file dialogs, the command line and Qt hand over).

#include "platform/paths.h"

#include "platform/codepage.h"
#include "util/text.h"

namespace varnel::platform {

std::string PrefixDir() {
    return {};
}

std::optional<std::string> PrefixProblem() {
    return std::nullopt;
}

std::string ToHostPath(std::string_view windowsPath) {
    return HostTextToUtf8(windowsPath);
}

PathLookupScope::PathLookupScope() = default;

PathLookupScope::~PathLookupScope() = default;

// Every path from outside (dialogs, drops, arguments) comes through here: Windows takes "/" as
// well as "\\", the host and this program's path functions only "\\".
std::string ToWindowsPath(std::string_view hostPath) {
    return WithBackslashes(Utf8ToHostText(hostPath));
}

void SelectPrefix(const std::string&) {}

void ResetPathCache() {}

} // namespace varnel::platform
