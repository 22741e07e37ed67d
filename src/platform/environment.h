#pragma once
// The process environment and the system folders, in the host's terms.

#include <optional>
#include <string>
#include <string_view>

namespace varnel::platform {

// An environment variable (names compared without regard to letter case, as Windows does);
// windir and SystemRoot default to the Windows folder. nullopt when unset.
std::optional<std::string> EnvironmentValue(std::string_view name);

// Environment expansion with the rules of ExpandEnvironmentStringsA: %NAME% becomes the value,
// a name that is not set stays as written. The result is cut to maxChars characters.
std::string ExpandEnvironmentStrings(std::string_view text, size_t maxChars);

// The Windows folder ("C:\windows" under Wine).
std::string WindowsDirectory();

// This program's executable, as a Windows path.
std::string OwnExecutablePath();

// The user's folder for this program's caches, made when missing, as a Windows path: below
// $XDG_CACHE_HOME (or ~/.cache) on Linux, below %LOCALAPPDATA% on Windows; "" when there is none.
// Nothing there is the user's: it may be deleted at any time.
std::string UserCacheFolder();

} // namespace varnel::platform
