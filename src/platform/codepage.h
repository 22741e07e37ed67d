#pragma once
// Conversions between the host's ANSI code page (Windows-1252), UTF-8 (Linux names and the
// process environment) and UTF-16LE (Unicode profile files).

#include <string>
#include <string_view>

namespace varnel::platform {

std::string AnsiToUtf8(std::string_view ansi);
// Characters without an ANSI form become '?', as the system's conversion does.
std::string Utf8ToAnsi(std::string_view utf8);

// Both fail (return false) on malformed input rather than guess.
bool Utf16LeToUtf8(std::string_view utf16le, std::string& out);
bool Utf8ToUtf16Le(std::string_view utf8, std::string& out);

} // namespace varnel::platform
