// The host's ANSI code page on Windows: the system's own (GetACP), converted by the system.

#include "platform/codepage.h"

#include "util/text.h"

#include <windows.h>

namespace varnel::platform {

namespace {

std::wstring Wide(std::string_view text, UINT codePage) {
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    int count = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<size_t>(count), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), count);
    return wide;
}

std::string Narrow(const std::wstring& wide, UINT codePage) {
    if (wide.empty())
        return {};
    const int size = static_cast<int>(wide.size());
    // Without WC_NO_BEST_FIT_CHARS, "Ā" would quietly become "A"; a lost character must show as '?'.
    const DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    int count = WideCharToMultiByte(codePage, flags, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(count), '\0');
    WideCharToMultiByte(codePage, flags, wide.data(), size, narrow.data(), count, nullptr, nullptr);
    return narrow;
}

} // namespace

// Most names are plain ASCII, which reads the same in every form here.
std::string AnsiToUtf8(std::string_view ansi) {
    if (IsAscii(ansi))
        return std::string(ansi);
    return Narrow(Wide(ansi, GetACP()), CP_UTF8);
}

std::string DosTextToUtf8(std::string_view dos) {
    if (IsAscii(dos))
        return std::string(dos);
    return Narrow(Wide(dos, 437), CP_UTF8);
}

std::string Utf8ToAnsi(std::string_view utf8) {
    if (IsAscii(utf8))
        return std::string(utf8);
    // Broken UTF-8 becomes U+FFFD here, which has no ANSI form: '?', as on Linux.
    return Narrow(Wide(utf8, CP_UTF8), GetACP());
}

} // namespace varnel::platform
