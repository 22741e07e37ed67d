#include "platform/environment.h"

#include "platform/win32/wide.h"
#include "util/text.h"

#include <windows.h>
// Our function has the system's name; the system's is called by its wide name.
#undef ExpandEnvironmentStrings

namespace varnel::platform {

using win32::HostText;
using win32::Wide;

std::optional<std::string> EnvironmentValue(std::string_view name) {
    if (name.empty())
        return std::nullopt;
    const std::wstring wideName = Wide(name);
    const DWORD needed = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    if (needed == 0) {
        if (EqualsNoCaseAscii(name, "windir") || EqualsNoCaseAscii(name, "SystemRoot"))
            return WindowsDirectory();
        return std::nullopt;
    }
    std::wstring value(needed, L'\0');
    const DWORD length = GetEnvironmentVariableW(wideName.c_str(), value.data(), needed);
    value.resize(length < needed ? length : 0);
    return HostText(value);
}

std::string ExpandEnvironmentStrings(std::string_view text, size_t maxChars) {
    const std::wstring wide = Wide(text);
    const DWORD needed = ::ExpandEnvironmentStringsW(wide.c_str(), nullptr, 0);
    std::string expanded(text);
    if (needed > 0) {
        std::wstring out(needed, L'\0');
        const DWORD length = ::ExpandEnvironmentStringsW(wide.c_str(), out.data(), needed);
        if (length > 0 && length <= needed) {
            out.resize(length - 1); // the count includes the closing NUL
            expanded = HostText(out);
        }
    }
    if (expanded.size() > maxChars)
        expanded.resize(maxChars);
    return expanded;
}

std::string WindowsDirectory() {
    wchar_t buffer[MAX_PATH + 1];
    const UINT length = GetWindowsDirectoryW(buffer, MAX_PATH + 1);
    return length > 0 && length <= MAX_PATH ? HostText(std::wstring_view(buffer, length)) : "C:\\Windows";
}

std::string OwnExecutablePath() {
    std::wstring buffer(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), 32768);
    buffer.resize(length < 32768 ? length : 0);
    return HostText(buffer);
}

std::string UserCacheFolder() {
    const std::optional<std::string> local = EnvironmentValue("LOCALAPPDATA");
    if (!local || local->empty())
        return {};
    const std::string folder = JoinPath(*local, "TC Varnel");
    const std::wstring wide = win32::Wide(folder);
    if (!CreateDirectoryW(wide.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return {};
    return folder;
}

} // namespace varnel::platform
