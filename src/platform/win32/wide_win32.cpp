#include "platform/win32/wide.h"

#include "platform/codepage.h"

#include <windows.h>

namespace varnel::platform::win32 {

std::wstring WideFromUtf8(std::string_view utf8) {
    if (utf8.empty())
        return {};
    const int size = static_cast<int>(utf8.size());
    const int count = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring wide(static_cast<size_t>(count), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), count);
    return wide;
}

std::string Utf8FromWide(std::wstring_view wide) {
    if (wide.empty())
        return {};
    const int size = static_cast<int>(wide.size());
    const int count = WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(count), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), count, nullptr, nullptr);
    return utf8;
}

std::wstring Wide(std::string_view hostText) {
    return WideFromUtf8(HostTextToUtf8(hostText));
}

std::string HostText(std::wstring_view wide) {
    return Utf8ToHostText(Utf8FromWide(wide));
}

} // namespace varnel::platform::win32
