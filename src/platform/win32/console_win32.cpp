#include "platform/console.h"

#include "platform/codepage.h"
#include "platform/win32/wide.h"

#include <cstdio>
#include <windows.h>

// After windows.h, which it needs.
#include <shellapi.h>

namespace varnel::platform {

size_t TerminalColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info))
        return 0;
    return static_cast<size_t>(info.srWindow.Right - info.srWindow.Left + 1);
}

bool ErrorOutputIsTerminal() {
    DWORD mode;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

bool InputIsTerminal() {
    DWORD mode;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

std::optional<std::string> ReadInputLine() {
    // A console gives its characters as UTF-16, whatever its code page.
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    wchar_t buffer[512];
    DWORD read = 0;
    if (!ReadConsoleW(input, buffer, 511, &read, nullptr) || read == 0)
        return std::nullopt;
    std::wstring line(buffer, read);
    while (!line.empty() && (line.back() == L'\n' || line.back() == L'\r'))
        line.pop_back();
    return win32::Utf8FromWide(line);
}

bool DisplayAvailable() {
    return true;
}

void UseCallerConsole() {
    // Redirected output has its handles already; only a console has to be joined.
    if (GetStdHandle(STD_OUTPUT_HANDLE) == nullptr && AttachConsole(ATTACH_PARENT_PROCESS)) {
        std::freopen("CONOUT$", "w", stdout);
        std::freopen("CONOUT$", "w", stderr);
    }
}

bool WriteOutput(std::string_view utf8, bool toError) {
    std::FILE* stream = toError ? stderr : stdout;
    HANDLE handle = GetStdHandle(toError ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode;
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr)
        return false;
    if (!GetConsoleMode(handle, &mode)) {
        // A pipe or a file: the bytes in one write, with the line ends the C library's text mode
        // gives. Through the library, Wine checked for a console at every single byte it wrote.
        std::fflush(stream);
        std::string bytes;
        bytes.reserve(utf8.size() + utf8.size() / 32);
        for (char c : utf8) {
            if (c == '\n')
                bytes.push_back('\r');
            bytes.push_back(c);
        }
        DWORD written = 0;
        return bytes.empty() ||
               (WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                written == bytes.size());
    }
    // A console shows characters, not bytes in some code page: what the C library buffered goes
    // first, then the text as UTF-16.
    std::fflush(stream);
    const std::wstring wide = win32::WideFromUtf8(std::string(utf8));
    DWORD written = 0;
    return WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr) &&
           written == wide.size();
}

void ClearProgressLine(size_t length) {
    // The console takes no escape sequences here: the line is overwritten with blanks.
    std::string blanks(1, '\r');
    blanks.append(length, ' ').push_back('\r');
    WriteOutput(blanks, true);
}

namespace {
volatile LONG g_interrupted = 0;
BOOL WINAPI OnControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    InterlockedExchange(&g_interrupted, 1);
    return TRUE;
}
} // namespace

struct InterruptCatcher::Previous {};

InterruptCatcher::InterruptCatcher() : m_previous(nullptr) {
    InterlockedExchange(&g_interrupted, 0);
    SetConsoleCtrlHandler(OnControl, TRUE);
}

InterruptCatcher::~InterruptCatcher() {
    SetConsoleCtrlHandler(OnControl, FALSE);
}

bool InterruptCatcher::Interrupted() {
    return InterlockedCompareExchange(&g_interrupted, 0, 0) != 0;
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    // The narrow argv has been through the code page: the wide command line has not. The wide
    // arguments are taken in its place, but only those still in argv: Qt takes its own ("-style")
    // out of argv alone. Each narrow argument is its wide one in the code page, '?' for what it lacks.
    std::vector<std::string> arguments;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide)
        return arguments;
    int next = 1;
    for (int i = 1; i < count && next < argc; ++i) {
        const int length = WideCharToMultiByte(CP_ACP, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string narrow(static_cast<size_t>(length > 0 ? length - 1 : 0), '\0');
        WideCharToMultiByte(CP_ACP, 0, wide[i], -1, narrow.data(), length, nullptr, nullptr);
        if (narrow == argv[next]) {
            arguments.push_back(win32::Utf8FromWide(wide[i]));
            ++next;
        }
    }
    LocalFree(wide);
    // Whatever could not be matched (a caller that rewrote argv) comes as it is.
    for (; next < argc; ++next)
        arguments.push_back(AnsiToUtf8(argv[next]));
    return arguments;
}

std::string AbsoluteMachinePath(const std::string& machinePath) {
    const std::wstring wide = win32::WideFromUtf8(machinePath);
    const DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return machinePath;
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed)
        return machinePath;
    full.resize(length);
    return win32::Utf8FromWide(full);
}

} // namespace varnel::platform
