#include "platform/environment.h"

#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "util/text.h"

#include <climits>
#include <cstdlib>
#include <functional>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace varnel::platform {

namespace {
std::string ExpandWith(std::string_view text, size_t maxChars,
                       const std::function<std::optional<std::string>(std::string_view)>& lookup) {
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
        if (std::optional<std::string> value = lookup(name)) {
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

constexpr std::string_view kWineWindowsDir = "C:\\windows";

std::string Fold(std::string_view name) {
    std::string folded(name);
    for (char& c : folded)
        c = LowerAsciiChar(c);
    return folded;
}

// The environment a Windows program of the prefix starts with, built the way Wine builds it
// from the prefix's registry: the system's variables, the system folders, the user's variables
// and the logon session's (APPDATA, USERPROFILE, ...). Values are host text.
class WindowsEnvironment {
public:
    std::optional<std::string> Find(std::string_view name) const {
        auto found = m_values.find(Fold(name));
        if (found == m_values.end())
            return std::nullopt;
        return found->second;
    }

    static const WindowsEnvironment& Current() {
        static WindowsEnvironment cached;
        static std::string cachedKey;
        std::string key = StampKey();
        if (key != cachedKey) {
            cached = Build();
            cachedKey = key;
        }
        return cached;
    }

private:
    // What the environment depends on: the prefix and its two registry files as they are now.
    static std::string StampKey() {
        std::string key = PrefixDir();
        for (const char* file : {"/system.reg", "/user.reg"}) {
            struct stat st {};
            if (stat((PrefixDir() + file).c_str(), &st) == 0)
                key.append(1, '|')
                    .append(std::to_string(st.st_ino))
                    .append(1, ':')
                    .append(std::to_string(st.st_size))
                    .append(1, ':')
                    .append(std::to_string(st.st_mtim.tv_sec))
                    .append(1, '.')
                    .append(std::to_string(st.st_mtim.tv_nsec));
        }
        return key;
    }

    void Set(std::string_view name, std::string value) { m_values[Fold(name)] = std::move(value); }

    void SetFromKey(RegistryRoot root, std::string_view key) {
        for (const auto& [name, value] : ReadRegistryStrings(root, key)) {
            std::string text = Utf8ToHostText(value.text);
            if (value.expandable)
                text = Expand(text);
            Set(Utf8ToHostText(name), std::move(text));
        }
    }

    void SetFromValue(std::string_view name, RegistryRoot root, std::string_view key,
                      std::string_view valueName) {
        for (const auto& [found, value] : ReadRegistryStrings(root, key)) {
            if (EqualsNoCaseAscii(found, valueName)) {
                Set(name, Expand(Utf8ToHostText(value.text)));
                return;
            }
        }
    }

    std::string Expand(std::string_view text) const {
        return ExpandWith(text, 32767, [this](std::string_view name) { return Find(name); });
    }

    static WindowsEnvironment Build() {
        WindowsEnvironment env;
        const RegistryRoot machine = RegistryRoot::LocalMachine;
        env.Set("SystemDrive", "C:");
        env.Set("SystemRoot", std::string(kWineWindowsDir));
        env.SetFromValue("SystemRoot", machine, "Software\\Microsoft\\Windows NT\\CurrentVersion",
                         "SystemRoot");
        env.Set("windir", *env.Find("SystemRoot"));
        env.SetFromKey(machine, "System\\CurrentControlSet\\Control\\Session Manager\\Environment");
        const char* versionKey = "Software\\Microsoft\\Windows\\CurrentVersion";
        env.SetFromValue("ProgramFiles", machine, versionKey, "ProgramFilesDir");
        env.SetFromValue("ProgramW6432", machine, versionKey, "ProgramFilesDir");
        env.SetFromValue("ProgramFiles(x86)", machine, versionKey, "ProgramFilesDir (x86)");
        env.SetFromValue("CommonProgramFiles", machine, versionKey, "CommonFilesDir");
        env.SetFromValue("CommonProgramW6432", machine, versionKey, "CommonFilesDir");
        env.SetFromValue("CommonProgramFiles(x86)", machine, versionKey, "CommonFilesDir (x86)");
        const char* profiles = "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
        env.SetFromValue("ProgramData", machine, profiles, "ProgramData");
        env.SetFromValue("ALLUSERSPROFILE", machine, profiles, "ProgramData");
        env.SetFromValue("PUBLIC", machine, profiles, "Public");
        env.SetFromKey(RegistryRoot::CurrentUser, "Environment");
        env.SetFromKey(RegistryRoot::CurrentUser, "Volatile Environment");
        return env;
    }

    std::map<std::string, std::string> m_values;
};

} // namespace

std::optional<std::string> EnvironmentValue(std::string_view name) {
    if (name.empty())
        return std::nullopt;
    // The host hands its folder to the programs it starts; that is the one variable taken from
    // this process's own environment. Everything else is the prefix's Windows environment: the
    // machine's variables (HOME, PATH, ...) have no meaning in a Windows path.
    if (EqualsNoCaseAscii(name, "COMMANDER_PATH")) {
        if (const char* value = std::getenv("COMMANDER_PATH"); value && *value)
            return Utf8ToHostText(value);
    }
    if (std::optional<std::string> value = WindowsEnvironment::Current().Find(name))
        return value;
    if (EqualsNoCaseAscii(name, "windir") || EqualsNoCaseAscii(name, "SystemRoot"))
        return std::string(kWineWindowsDir);
    return std::nullopt;
}

std::string ExpandEnvironmentStrings(std::string_view text, size_t maxChars) {
    return ExpandWith(text, maxChars, EnvironmentValue);
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

std::string UserCacheFolder() {
    std::string base;
    if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache && cache[0] == '/')
        base = cache;
    else if (const char* home = std::getenv("HOME"); home && home[0] == '/')
        base = std::string(home) + "/.cache";
    if (base.empty())
        return {};
    const std::string folder = base + "/tcvarnel";
    struct stat st;
    if (stat(folder.c_str(), &st) != 0 && (mkdir(base.c_str(), 0700), mkdir(folder.c_str(), 0700)) != 0)
        return {};
    return ToWindowsPath(folder);
}

} // namespace varnel::platform
