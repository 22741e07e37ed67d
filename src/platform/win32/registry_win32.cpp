#include "platform/registry.h"

#include "platform/codepage.h"
#include "platform/win32/wide.h"
#include "util/names.h"

#include <windows.h>

// After windows.h, which it needs.
#include <shlobj.h>

namespace varnel::platform {

using win32::Utf8FromWide;
using win32::Wide;

namespace {

// Keys are named as the 64-bit view names them, as in the registry files Wine keeps:
// "Software\Wow6432Node\..." is the 32-bit programs' view, which the system opens as
// "Software\..." with KEY_WOW64_32KEY; everything else is opened in the 64-bit view.
struct ViewKey {
    std::wstring key;
    REGSAM view;
};
ViewKey InView(const std::wstring& key) {
    static const std::wstring kWow = L"Software\\Wow6432Node\\";
    if (key.size() > kWow.size() && _wcsnicmp(key.c_str(), kWow.c_str(), kWow.size()) == 0)
        return {L"Software\\" + key.substr(kWow.size()), KEY_WOW64_32KEY};
    return {key, KEY_WOW64_64KEY};
}

HKEY RootKey(RegistryRoot root) {
    switch (root) {
    case RegistryRoot::LocalMachine:
        return HKEY_LOCAL_MACHINE;
    case RegistryRoot::CurrentUser:
        return HKEY_CURRENT_USER;
    case RegistryRoot::ClassesRoot:
        break;
    }
    return HKEY_LOCAL_MACHINE; // classes are written to the user's own, and read as above
}

class OpenKey {
public:
    // HKEY_CLASSES_ROOT is the user's classes over the machine's; it is read as such, so the
    // user's own types show at once (Wine does not merge the two).
    OpenKey(RegistryRoot root, std::string_view key) {
        if (root != RegistryRoot::ClassesRoot) {
            Open(RootKey(root), Wide(key));
            return;
        }
        const std::wstring classes = L"Software\\Classes\\" + Wide(key);
        if (!Open(HKEY_CURRENT_USER, classes))
            Open(HKEY_LOCAL_MACHINE, classes);
    }
    ~OpenKey() {
        if (m_key)
            RegCloseKey(m_key);
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    HKEY Get() const { return m_key; }

private:
    bool Open(HKEY root, const std::wstring& key) {
        const ViewKey in = InView(key);
        if (RegOpenKeyExW(root, in.key.c_str(), 0, KEY_QUERY_VALUE | in.view, &m_key) == ERROR_SUCCESS)
            return true;
        m_key = nullptr;
        return false;
    }

    HKEY m_key = nullptr;
};

// A string value's text without its closing NUL (values written by others may lack one).
std::wstring StringData(const std::vector<BYTE>& data) {
    std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0')
        text.pop_back();
    return text;
}

} // namespace

std::optional<std::string> ReadRegistryString(RegistryRoot root, std::string_view key,
                                              std::string_view valueName) {
    OpenKey open(root, key);
    if (!open.Get())
        return std::nullopt;
    const std::wstring name = Wide(valueName);
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(open.Get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return std::nullopt;
    std::vector<BYTE> data(size + sizeof(wchar_t));
    if (RegQueryValueExW(open.Get(), name.c_str(), nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
        return std::nullopt;
    data.resize(size);
    return Utf8ToHostText(Utf8FromWide(StringData(data)));
}

std::vector<std::pair<std::string, RegistryString>> ReadRegistryStrings(RegistryRoot root,
                                                                        std::string_view key) {
    std::vector<std::pair<std::string, RegistryString>> values;
    OpenKey open(root, key);
    if (!open.Get())
        return values;
    DWORD count = 0, longestName = 0, longestData = 0;
    if (RegQueryInfoKeyW(open.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                         &longestName, &longestData, nullptr, nullptr) != ERROR_SUCCESS)
        return values;
    for (DWORD index = 0; index < count; ++index) {
        std::wstring name(longestName + 1, L'\0');
        DWORD nameLength = longestName + 1;
        std::vector<BYTE> data(longestData + sizeof(wchar_t));
        DWORD size = longestData;
        DWORD type = 0;
        if (RegEnumValueW(open.Get(), index, name.data(), &nameLength, nullptr, &type, data.data(), &size) !=
            ERROR_SUCCESS)
            continue;
        if (type != REG_SZ && type != REG_EXPAND_SZ)
            continue;
        name.resize(nameLength);
        data.resize(size);
        RegistryString value;
        value.expandable = type == REG_EXPAND_SZ;
        value.text = Utf8FromWide(StringData(data));
        values.emplace_back(Utf8FromWide(name), std::move(value));
    }
    return values;
}

bool WriteRegistryStrings(const std::vector<RegistryWrite>& writes, bool) {
    bool all = true;
    bool classes = false;
    for (const RegistryWrite& write : writes) {
        if (!IsSafeProfileValue(write.text)) {
            all = false;
            continue;
        }
        // The user's own classes need no administrator's rights, and the system merges them into
        // HKEY_CLASSES_ROOT.
        HKEY root = RootKey(write.root);
        std::string key = write.key;
        if (write.root == RegistryRoot::ClassesRoot) {
            root = HKEY_CURRENT_USER;
            key = "Software\\Classes\\" + key;
            classes = true;
        }
        HKEY handle = nullptr;
        const ViewKey in = InView(Wide(key));
        if (RegCreateKeyExW(root, in.key.c_str(), 0, nullptr, 0, KEY_SET_VALUE | in.view, nullptr, &handle,
                            nullptr) != ERROR_SUCCESS) {
            all = false;
            continue;
        }
        const std::wstring text = Wide(write.text);
        const DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
        all = RegSetValueExW(handle, Wide(write.name).c_str(), 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(text.c_str()), bytes) == ERROR_SUCCESS &&
              all;
        RegCloseKey(handle);
    }
    if (classes)
        SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    return all;
}

} // namespace varnel::platform
