#include "platform/system.h"

#include "platform/win32/wide.h"

#include <cstdio>
#include <windows.h>

namespace varnel::platform {

namespace {
SleepHandler& Handler() {
    static SleepHandler handler;
    return handler;
}
} // namespace

void SleepMs(unsigned milliseconds) {
    if (Handler())
        Handler()(milliseconds);
    else
        Sleep(milliseconds);
}

SleepHandler SetSleepHandler(SleepHandler handler) {
    SleepHandler previous = std::move(Handler());
    Handler() = std::move(handler);
    return previous;
}

void KeepLargeBuffersForReuse() {
    // The system's heap keeps freed blocks for reuse on its own.
}

int CompareForUser(std::string_view a, std::string_view b) {
    const std::wstring left = win32::WideFromUtf8(a);
    const std::wstring right = win32::WideFromUtf8(b);
    const int result =
        CompareStringEx(LOCALE_NAME_USER_DEFAULT, 0, left.data(), static_cast<int>(left.size()), right.data(),
                        static_cast<int>(right.size()), nullptr, nullptr, 0);
    return result == 0 ? left.compare(right) : result - CSTR_EQUAL;
}

std::string RunningSystemName() {
    // GetVersionEx answers what the program's manifest claims; the kernel's own function tells
    // the truth.
    using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    auto getVersion = ntdll ? reinterpret_cast<RtlGetVersionFunction>(
                                  reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
                            : nullptr;
    if (!getVersion || getVersion(&info) != 0)
        return "Windows";
    char text[64];
    std::snprintf(text, sizeof text, "Windows %lu.%lu.%lu", info.dwMajorVersion, info.dwMinorVersion,
                  info.dwBuildNumber);
    return text;
}

std::string DateText() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char text[16];
    std::snprintf(text, sizeof text, "%02u.%02u.%02u", now.wDay, now.wMonth, now.wYear % 100u);
    return text;
}

std::string TimeText() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char text[16];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u", now.wHour, now.wMinute, now.wSecond);
    return text;
}

std::string IsoDateTimeText() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u", now.wYear, now.wMonth, now.wDay,
                  now.wHour, now.wMinute, now.wSecond);
    return text;
}

bool PrefersSystemFileDialogs() {
    return true;
}

} // namespace varnel::platform
