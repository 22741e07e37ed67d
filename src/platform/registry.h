#pragma once
// Registry strings. Under Wine the prefix's system.reg (HKEY_LOCAL_MACHINE) and user.reg
// (HKEY_CURRENT_USER) are read directly.

#include <optional>
#include <string>
#include <string_view>

namespace varnel::platform {

enum class RegistryRoot { LocalMachine, CurrentUser, ClassesRoot };

// A REG_SZ value; nullopt when the key or value is missing or of another type.
// An empty value name reads the key's default value.
std::optional<std::string> ReadRegistryString(RegistryRoot root, std::string_view key,
                                              std::string_view valueName);

} // namespace varnel::platform
