#include "platform/environment.h"

#include "platform/codepage.h"
#include "platform/paths.h"
#include "util/text.h"

#include <climits>
#include <cstdlib>
#include <unistd.h>

extern char** environ;

namespace varnel::platform {

namespace {
constexpr std::string_view kWineWindowsDir = "C:\\windows";
}

std::optional<std::string> EnvironmentValue(std::string_view name) {
    if (name.empty())
        return std::nullopt;
    // Exact spelling first, then any letter case, as Windows treats variable names.
    std::string exact(name);
    if (const char* value = std::getenv(exact.c_str()))
        return Utf8ToAnsi(value);
    for (char** entry = environ; entry && *entry; ++entry) {
        std::string_view text = *entry;
        size_t equals = text.find('=');
        if (equals == std::string_view::npos || equals == 0)
            continue;
        if (EqualsNoCaseAscii(text.substr(0, equals), name))
            return Utf8ToAnsi(text.substr(equals + 1));
    }
    if (EqualsNoCaseAscii(name, "windir") || EqualsNoCaseAscii(name, "SystemRoot"))
        return std::string(kWineWindowsDir);
    return std::nullopt;
}

std::string ExpandEnvironmentStrings(std::string_view text, size_t maxChars) {
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        size_t percent = text.find('%', i);
        if (percent == std::string_view::npos) {
            out.append(text.substr(i));
            break;
        }
        out.append(text.substr(i, percent - i));
        size_t close = text.find('%', percent + 1);
        if (close == std::string_view::npos) {
            out.append(text.substr(percent));
            break;
        }
        std::string_view name = text.substr(percent + 1, close - percent - 1);
        if (std::optional<std::string> value = EnvironmentValue(name)) {
            out.append(*value);
            i = close + 1;
        } else {
            // Not set: the "%" stays and the search goes on from the closing one, so
            // "%UNSET%%PATH%" still expands its second name.
            out.append(text.substr(percent, close - percent));
            i = close;
        }
        if (out.size() > maxChars)
            break;
    }
    if (out.size() > maxChars)
        out.resize(maxChars);
    return out;
}

std::string WindowsDirectory() {
    if (std::optional<std::string> windir = EnvironmentValue("windir"))
        return *windir;
    return std::string(kWineWindowsDir);
}

std::string OwnExecutablePath() {
    char buffer[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return {};
    return ToWindowsPath(std::string_view(buffer, static_cast<size_t>(n)));
}

} // namespace varnel::platform
