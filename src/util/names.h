#pragma once
// Names that come from outside (archives, install descriptions, module files, the user) checked
// before they become paths or profile entries. Pure: no OS calls.

#include <optional>
#include <string>
#include <string_view>

namespace varnel {

// One plain file or folder name that means the same on every Windows file system and under
// Wine: not empty, not "." or "..", no separator, drive colon, wildcard or control character, no
// trailing dot or blank, and no reserved device name (CON, NUL, COM1 ... with any extension).
bool IsPlainName(std::string_view name);

// A relative path from an archive: "/" counts as "\", and every component must be a plain name.
// Returns the path with backslashes, or nullopt when it could lead anywhere else.
std::optional<std::string> ConfinedRelativePath(std::string_view path);

// A folder name from an install description: only the part after the last separator ("/" or
// "\") counts, and that must be a plain name; nullopt otherwise.
std::optional<std::string> ConfinedFolderName(std::string_view text);

// What a profile file can hold without its structure changing: no line break or NUL anywhere,
// and no "=" or leading "[" or ";" in a key (which would split it, start a section or a comment).
bool IsSafeProfileValue(std::string_view value);
bool IsSafeProfileKey(std::string_view key);

// A path that can stand quoted inside a command line in a .reg import, a desktop entry's Exec line
// or a button bar: no control character (a line break would end the entry and start another) and
// no double quote (it would end the quoted path).
bool IsSafeCommandPath(std::string_view path);

// The text with its control characters shown as escapes ("\n", "\x01"), for a message that
// names a text which holds them.
std::string VisibleControls(std::string_view text);

} // namespace varnel
