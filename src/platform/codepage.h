#pragma once
// Conversions between the host's ANSI code page (Windows-1252), UTF-8 (Linux names and the
// process environment) and UTF-16LE (Unicode profile files).

#include <string>
#include <string_view>

namespace varnel::platform {

std::string AnsiToUtf8(std::string_view ansi);
// Characters without an ANSI form become '?', as the system's conversion does.
std::string Utf8ToAnsi(std::string_view utf8);

// The host's own way to keep text outside its code page in an ANSI file: the value is UTF-8 and
// begins with the UTF-8 byte-order mark. The program carries such values in this same form.
inline constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
bool HasUtf8Mark(std::string_view text);
// Host text (ANSI, or UTF-8 behind the mark) as plain UTF-8.
std::string HostTextToUtf8(std::string_view text);
// UTF-8 as host text: ANSI where every character has an ANSI form, else the marked UTF-8 form;
// never a '?' in place of a character.
std::string Utf8ToHostText(std::string_view utf8);

// Text in the DOS code page (437), as zip archives hold names that are not marked as UTF-8.
std::string DosTextToUtf8(std::string_view dos);

// Both fail (return false) on malformed input rather than guess.
bool Utf16LeToUtf8(std::string_view utf16le, std::string& out);
bool Utf8ToUtf16Le(std::string_view utf8, std::string& out);

} // namespace varnel::platform
