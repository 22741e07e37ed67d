#pragma once
// The boundary to the system's wide (UTF-16) functions: the program's host text (ANSI, or UTF-8
// behind the mark) and machine paths (UTF-8) become UTF-16 on the way in and come back on the way
// out, so no character is lost to the code page.

#include <string>
#include <string_view>

namespace varnel::platform::win32 {

std::wstring WideFromUtf8(std::string_view utf8);
std::string Utf8FromWide(std::wstring_view wide);

// Host text (a Windows path, a command line) as UTF-16, and back.
std::wstring Wide(std::string_view hostText);
std::string HostText(std::wstring_view wide);

// The Win32 file time as nanoseconds since 1601.
inline long long FileTimeNs(unsigned long low, unsigned long high) {
    return static_cast<long long>((static_cast<unsigned long long>(high) << 32) | low) * 100;
}

} // namespace varnel::platform::win32
