#include "catalog/host_config.h"

#include "platform/codepage.h"

#include "catalog/catalog_options.h"
#include "catalog/module_info.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "platform/environment.h"
#include "platform/profile.h"
#include "util/text.h"

#include <algorithm>

namespace varnel {

namespace {

constexpr size_t kUnlimitedBuffer = static_cast<size_t>(-1) / 2;

HostContext& MutableHost() {
    static HostContext context;
    return context;
}

std::vector<std::string>& MutableKeyList() {
    static std::vector<std::string> keys;
    return keys;
}

// The first occurrence of the host folder, in any letter case, becomes %COMMANDER_PATH%. A drive
// root ("C:\") is never contracted.
std::string ContractHostDir(std::string_view value) {
    const std::string& dir = Host().HostDir;
    if (dir.size() <= 3)
        return std::string(value);
    return ReplaceFirstNoCase(value, dir, kCommanderPathVar);
}

} // namespace

CatalogOptions& CatalogSettings() {
    static CatalogOptions options;
    return options;
}

const HostContext& Host() {
    return MutableHost();
}

void SetHostPaths(std::string_view hostExePath, std::string_view iniPath) {
    size_t cut = hostExePath.find_last_of("\\:");
    std::string dir =
        cut == std::string_view::npos ? std::string() : std::string(hostExePath.substr(0, cut + 1));
    if (dir.size() >= 2 && dir.back() == '\\' && dir[dir.size() - 2] != ':' && dir[dir.size() - 2] != '\\')
        dir.pop_back();
    MutableHost().HostExe = std::string(hostExePath);
    MutableHost().HostDir = dir;
    MutableHost().HostIniPath = std::string(iniPath);
    MutableHost().HostBits = ModuleBits(hostExePath);
}

std::string ReadHostValue(std::string_view section, std::string_view key) {
    std::string value = platform::ProfileReadString(Host().HostIniPath, section, key, "", kValueBufferChars);
    // A packer's "flags,path" read from a Unicode file comes marked as a whole; the host marks the
    // path alone, after the flags, and so do the flags' readers here.
    if (platform::HasUtf8Mark(value)) {
        const std::string_view rest = std::string_view(value).substr(3);
        const size_t comma = rest.find(',');
        if (comma != std::string_view::npos && comma > 0 &&
            rest.substr(0, comma).find_first_not_of("-0123456789") == std::string_view::npos)
            value = std::string(rest.substr(0, comma + 1)) + std::string(value.substr(0, 3)) +
                    std::string(rest.substr(comma + 1));
    }
    return value;
}

std::string ReadHostPath(std::string_view section, std::string_view key) {
    std::string value = ReadHostValue(section, key);
    return ExpandHostPath(TextAfter(value, ","));
}

bool WriteHostValue(std::string_view section, std::string_view key, std::string_view value) {
    std::string stored = CatalogSettings().useCommanderPath ? ContractHostDir(value) : std::string(value);
    return platform::ProfileWriteString(Host().HostIniPath, section, key, std::string_view(stored));
}

bool ReplaceHostKeys(std::string_view section, const std::vector<std::string>& removeKeys,
                     const std::vector<std::pair<std::string, std::string>>& entries) {
    std::vector<std::pair<std::string, std::string>> stored;
    for (const auto& [key, value] : entries)
        stored.emplace_back(key, CatalogSettings().useCommanderPath ? ContractHostDir(value) : value);
    return platform::ProfileReplaceKeys(Host().HostIniPath, section, removeKeys, stored);
}

bool DeleteHostKey(std::string_view section, std::string_view key, bool moveToDisabled) {
    if (moveToDisabled) {
        std::string value = ReadHostValue(section, key);
        std::string detect = ReadHostValue(section, std::string(key) + "_detect");
        value = ContractHostDir(value);
        std::string disabledKey = FormatPrintf("%s;%s;%s;", {section, value, key});
        if (!WriteHostValue(kDisabledSection, disabledKey, detect))
            return false;
    }
    return platform::ProfileWriteString(Host().HostIniPath, section, key, std::nullopt);
}

void ReadSectionKeys(std::string_view section) {
    std::vector<std::string>& keys = MutableKeyList();
    keys.clear();
    size_t count = 0;
    // The buffer is as large as the names need, so every key of the section is read: a fixed
    // buffer (and a cap on the number of keys) would hide registrations, and renumbering would
    // then overwrite them.
    std::string buffer = platform::ProfileReadKeyNames(Host().HostIniPath, section, kUnlimitedBuffer, &count);
    std::string_view rest(buffer.data(), std::min(buffer.size(), count));
    while (!rest.empty()) {
        size_t nul = rest.find('\0');
        keys.emplace_back(rest.substr(0, nul));
        rest.remove_prefix(nul == std::string_view::npos ? rest.size() : nul + 1);
    }
}

const std::vector<std::string>& KeyList() {
    return MutableKeyList();
}

std::string ExpandHostPath(std::string_view text) {
    std::string replaced = ReplaceAllNoCase(text, kCommanderPathVar, Host().HostDir);
    return platform::ExpandEnvironmentStrings(replaced, kMaxExpandedPath);
}

HostConfigTransaction::HostConfigTransaction() : m_batch(Host().HostIniPath) {}

HostConfigTransaction::HostConfigTransaction(const platform::ProfileSnapshot& since)
    : m_batch(Host().HostIniPath, since) {}

platform::ProfileSnapshot HostConfigSnapshot() {
    return platform::ProfileSnapshot(Host().HostIniPath);
}

std::string ContractWindowsDir(std::string_view path) {
    std::string windows = platform::WindowsDirectory();
    if (windows.size() > 300)
        windows.resize(300);
    return ReplaceFirstNoCase(path, windows, "%windir%");
}

std::string HostConfigProblem() {
    const std::string& file = Host().HostIniPath;
    switch (platform::CheckProfileFile(file)) {
    case platform::ProfileAccess::Readable:
    case platform::ProfileAccess::Missing:
        return {};
    case platform::ProfileAccess::NotAFile:
        return FormatPrintf(Message(Msg::NotARegularFile), {file});
    case platform::ProfileAccess::TooLarge:
        return FormatPrintf(Message(Msg::FileTooLarge),
                            {file, static_cast<int>(platform::kMaxProfileBytes >> 20)});
    case platform::ProfileAccess::Unreadable:
        break;
    }
    return FormatPrintf(Message(Msg::FileUnreadable), {file});
}

} // namespace varnel
