#pragma once
// Registry strings. Under Wine the prefix's system.reg (HKEY_LOCAL_MACHINE) and user.reg
// (HKEY_CURRENT_USER) are read directly.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace varnel::platform {

enum class RegistryRoot { LocalMachine, CurrentUser, ClassesRoot };

// A REG_SZ value; nullopt when the key or value is missing or of another type.
// An empty value name reads the key's default value.
std::optional<std::string> ReadRegistryString(RegistryRoot root, std::string_view key,
                                              std::string_view valueName);

// A value of a key as the prefix stores it: a string (UTF-8 here), expandable or not.
struct RegistryString {
    enum Kind { Text, Other };
    Kind kind = Text;
    bool expandable = false; // REG_EXPAND_SZ: %NAME% references are left for the reader
    std::string text;
};

// Every string value of a key, in the order the prefix keeps them (names and texts in UTF-8).
std::vector<std::pair<std::string, RegistryString>> ReadRegistryStrings(RegistryRoot root,
                                                                        std::string_view key);

// One string value to write: the key below its root, the value's name ("" for the default value).
struct RegistryWrite {
    RegistryRoot root;
    std::string key;
    std::string name;
    std::string text;
};

// Writes REG_SZ values, creating their keys. Under Wine the prefix's own registry editor does it,
// so a Wine that is running sees the values at once and the prefix's files stay Wine's. With wait
// the call returns once the editor ended; without, it returns at once. False when nothing could
// be started to write them.
bool WriteRegistryStrings(const std::vector<RegistryWrite>& writes, bool wait);

} // namespace varnel::platform
