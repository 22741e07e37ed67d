#include "platform/process.h"

#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/wait_observer.h"
#include "platform/win32/wide.h"
#include "util/text.h"

#include <chrono>
#include <climits>
#include <cstdlib>
#include <cwchar>
#include <windows.h>

// After windows.h, which it needs.
#include <shellapi.h>

namespace varnel::platform {

using detail::CurrentWaitObserver;
using win32::Utf8FromWide;
using win32::Wide;
using win32::WideFromUtf8;

namespace {

// One argument quoted so that the C runtime's split gives it back unchanged.
std::wstring QuotedArgument(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos)
        return argument;
    std::wstring quoted = L"\"";
    size_t slashes = 0; // backslashes just written, which a quote after them must double
    for (wchar_t c : argument) {
        if (c == L'"')
            quoted.append(slashes + 1, L'\\');
        slashes = c == L'\\' ? slashes + 1 : 0;
        quoted.push_back(c);
    }
    quoted.append(slashes, L'\\');
    quoted.push_back(L'"');
    return quoted;
}

// This process's environment with the extra values replacing or adding names (compared without
// regard to letter case, as the system compares them), as a block for CreateProcessW.
std::wstring EnvironmentBlock(const std::map<std::string, std::string>& extra) {
    std::vector<std::wstring> entries;
    if (wchar_t* strings = GetEnvironmentStringsW()) {
        for (const wchar_t* p = strings; *p; p += std::wcslen(p) + 1)
            entries.emplace_back(p);
        FreeEnvironmentStringsW(strings);
    }
    for (const auto& [name, value] : extra) {
        const std::wstring wideName = WideFromUtf8(name);
        std::erase_if(entries, [&](const std::wstring& entry) {
            return entry.size() > wideName.size() && entry[wideName.size()] == L'=' &&
                   _wcsnicmp(entry.c_str(), wideName.c_str(), wideName.size()) == 0;
        });
        entries.push_back(wideName + L"=" + WideFromUtf8(value));
    }
    std::wstring block;
    for (const std::wstring& entry : entries)
        block.append(entry).push_back(L'\0');
    block.push_back(L'\0');
    return block;
}

HANDLE NullDevice(DWORD access) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return CreateFileW(L"NUL", access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                       nullptr);
}

unsigned ElapsedMs(std::chrono::steady_clock::time_point since) {
    return static_cast<unsigned>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - since)
            .count());
}

// Waits for a process the user may stop waiting for; true when it ended.
bool WaitObserved(HANDLE process) {
    const auto started = std::chrono::steady_clock::now();
    detail::WaitEndNotice endNotice;
    for (;;) {
        if (WaitForSingleObject(process, 20) == WAIT_OBJECT_0)
            return true;
        if (CurrentWaitObserver() && CurrentWaitObserver()(ElapsedMs(started), false))
            return false;
    }
}

// Starts a command line as the system would, with the program already located (so that a
// program in "C:\Program Files" is found the way the shell finds it).
bool Create(const std::string& program, std::string_view commandLine, ShowMode show, bool wait) {
    std::wstring line = Wide(commandLine);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(show);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(program.empty() ? nullptr : Wide(program).c_str(), line.data(), nullptr, nullptr,
                        FALSE, 0, nullptr, nullptr, &startup, &info))
        return false;
    CloseHandle(info.hThread);
    if (wait)
        WaitObserved(info.hProcess);
    CloseHandle(info.hProcess);
    return true;
}

bool Execute(const wchar_t* verb, std::string_view file, std::string_view parameters, ShowMode show,
             bool wait) {
    const std::wstring wideFile = Wide(file);
    const std::wstring wideParameters = Wide(parameters);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = verb;
    info.lpFile = wideFile.c_str();
    info.lpParameters = wideParameters.empty() ? nullptr : wideParameters.c_str();
    info.nShow = static_cast<int>(show);
    if (!ShellExecuteExW(&info))
        return false;
    if (info.hProcess) {
        if (wait)
            WaitObserved(info.hProcess);
        CloseHandle(info.hProcess);
    }
    return true;
}

} // namespace

std::optional<std::string> FindOnPath(const std::string& program) {
    const std::wstring wide = WideFromUtf8(program);
    if (wide.empty())
        return std::nullopt;
    if (wide.find_first_of(L"\\/:") != std::wstring::npos)
        return IsRegularMachineFile(program) ? std::optional<std::string>(program) : std::nullopt;
    wchar_t found[32768];
    const DWORD length = SearchPathW(nullptr, wide.c_str(), L".exe", 32768, found, nullptr);
    if (length == 0 || length >= 32768)
        return std::nullopt;
    return Utf8FromWide(std::wstring_view(found, length));
}

std::string OwnExecutableFolder() {
    std::wstring path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), 32768);
    path.resize(length < 32768 ? length : 0);
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::string(".") : Utf8FromWide(path.substr(0, slash));
}

// Starts argv (its program looked up on PATH) without a window, with the extra environment and
// the standard handles given (standard error goes nowhere); the process handle, or nullptr.
HANDLE StartWithHandles(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                        HANDLE input, HANDLE output) {
    std::optional<std::string> program = argv.empty() ? std::nullopt : FindOnPath(argv[0]);
    if (!program)
        return nullptr;
    std::wstring line = QuotedArgument(WideFromUtf8(*program));
    for (size_t i = 1; i < argv.size(); ++i)
        line.append(L" ").append(QuotedArgument(WideFromUtf8(argv[i])));
    std::wstring environment = EnvironmentBlock(env);
    HANDLE errors = NullDevice(GENERIC_WRITE);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = errors;
    PROCESS_INFORMATION info{};
    const BOOL created = CreateProcessW(WideFromUtf8(*program).c_str(), line.data(), nullptr, nullptr, TRUE,
                                        CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT, environment.data(),
                                        nullptr, &startup, &info);
    CloseHandle(errors);
    if (!created)
        return nullptr;
    CloseHandle(info.hThread);
    return info.hProcess;
}

CapturedRun RunAndCapture(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                          unsigned timeoutMs, size_t maxOutput) {
    CapturedRun result;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return result;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    HANDLE input = NullDevice(GENERIC_READ);
    PROCESS_INFORMATION info{};
    info.hProcess = StartWithHandles(argv, env, input, writeEnd);
    CloseHandle(writeEnd);
    CloseHandle(input);
    if (!info.hProcess) {
        CloseHandle(readEnd);
        return result;
    }
    result.started = true;
    detail::WaitEndNotice endNotice;

    // Reads until the child itself has ended, not until the pipe closes: a program the child
    // started may hold it open long after.
    const auto started = std::chrono::steady_clock::now();
    auto drain = [&] {
        DWORD available = 0;
        while (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
            char buffer[4096];
            DWORD got = 0;
            if (!ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) || got == 0)
                return;
            const size_t room = maxOutput - std::min(maxOutput, result.output.size());
            result.output.append(buffer, std::min<size_t>(room, got));
        }
    };
    for (;;) {
        drain();
        if (WaitForSingleObject(info.hProcess, 10) == WAIT_OBJECT_0) {
            drain();
            break;
        }
        if (detail::WaitMustEnd(started, timeoutMs, result)) {
            TerminateProcess(info.hProcess, 1);
            WaitForSingleObject(info.hProcess, 5000);
            CloseHandle(info.hProcess);
            CloseHandle(readEnd);
            return result;
        }
    }
    DWORD code = 0;
    if (GetExitCodeProcess(info.hProcess, &code)) {
        result.exited = true;
        result.exitCode = static_cast<int>(code);
    }
    CloseHandle(info.hProcess);
    CloseHandle(readEnd);
    return result;
}

struct ServingChild::State {
    std::map<std::string, std::string> extra;
    std::wstring environment; // what it was started with
    HANDLE process = nullptr;
    HANDLE input = nullptr;  // our end of its standard input
    HANDLE output = nullptr; // our end of its standard output
    bool ended = false;

    void End(bool kill) {
        if (!process || ended)
            return;
        if (kill)
            TerminateProcess(process, 1);
        WaitForSingleObject(process, 5000);
        ended = true;
    }
};

ServingChild::ServingChild(const std::vector<std::string>& argv,
                           const std::map<std::string, std::string>& env)
    : m_state(std::make_unique<State>()) {
    m_state->extra = env;
    m_state->environment = EnvironmentBlock(env);
    // Only the child's ends are inherited: a program started later must not hold our end of its
    // input, or the child would not see it end with this program.
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE childInput = nullptr, childOutput = nullptr;
    if (!CreatePipe(&childInput, &m_state->input, &inherit, 0))
        return;
    if (!CreatePipe(&m_state->output, &childOutput, &inherit, 0)) {
        CloseHandle(childInput);
        CloseHandle(m_state->input);
        m_state->input = nullptr;
        return;
    }
    SetHandleInformation(m_state->input, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(m_state->output, HANDLE_FLAG_INHERIT, 0);
    m_state->process = StartWithHandles(argv, env, childInput, childOutput);
    CloseHandle(childInput);
    CloseHandle(childOutput);
}

ServingChild::~ServingChild() {
    // It ends by itself, at once, when its input ends, even inside a module's code: nothing to
    // wait for.
    if (m_state->input)
        CloseHandle(m_state->input);
    if (m_state->process)
        CloseHandle(m_state->process);
    if (m_state->output)
        CloseHandle(m_state->output);
}

bool ServingChild::Started() const {
    return m_state->process != nullptr;
}

bool ServingChild::EnvironmentChanged() const {
    return EnvironmentBlock(m_state->extra) != m_state->environment;
}

bool ServingChild::Running() {
    if (!m_state->process || m_state->ended)
        return false;
    if (WaitForSingleObject(m_state->process, 0) == WAIT_OBJECT_0)
        m_state->ended = true;
    return !m_state->ended;
}

CapturedRun ServingChild::Ask(std::string_view request, std::string_view endLine, unsigned timeoutMs,
                              size_t maxOutput) {
    CapturedRun result;
    if (!Running())
        return result;
    result.started = true;
    detail::WaitEndNotice endNotice;
    const std::string line = std::string(request) + "\n";
    DWORD written = 0;
    // A child that ended meanwhile makes the write fail; the wait below then finds it ended.
    WriteFile(m_state->input, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    const auto started = std::chrono::steady_clock::now();
    auto drain = [&] {
        DWORD available = 0;
        while (PeekNamedPipe(m_state->output, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
            char buffer[4096];
            DWORD got = 0;
            if (!ReadFile(m_state->output, buffer, sizeof buffer, &got, nullptr) || got == 0)
                return;
            const size_t room = maxOutput - std::min(maxOutput, result.output.size());
            result.output.append(buffer, std::min<size_t>(room, got));
        }
    };
    for (;;) {
        drain();
        if (detail::HasAnswerEnd(result.output, endLine)) {
            result.exited = true;
            result.exitCode = 0;
            return result;
        }
        // An anonymous pipe cannot be waited on: the first moments are looked at closely, since
        // most answers come within a few milliseconds, and then every 10 ms.
        if (WaitForSingleObject(m_state->process, ElapsedMs(started) < 100 ? 1 : 10) == WAIT_OBJECT_0) {
            m_state->ended = true;
            drain();
            DWORD code = 0;
            if (GetExitCodeProcess(m_state->process, &code)) {
                result.exited = true;
                result.exitCode = static_cast<int>(code);
            }
            return result;
        }
        if (detail::WaitMustEnd(started, timeoutMs, result)) {
            m_state->End(true);
            return result;
        }
    }
}

std::string HelperFolder() {
    if (const wchar_t* dir = _wgetenv(L"VARNEL_PROBE_DIR"); dir && *dir)
        return Utf8FromWide(dir);
    return OwnExecutableFolder();
}

std::string WindowsHelperPath(Bitness bitness) {
    return HelperFolder() +
           (bitness == Bitness::Bits32 ? "\\tcvarnel-probe-w32.exe" : "\\tcvarnel-probe-w64.exe");
}

bool CanRunWindowsProgram(Bitness, std::string*) {
    // This build is a 64-bit program: the system runs 32-bit programs beside it.
    return true;
}

std::optional<HelperStart> WindowsHelperStart(Bitness bitness, std::string* whyNot) {
    const std::string helper = WindowsHelperPath(bitness);
    if (!IsRegularMachineFile(helper)) {
        if (whyNot)
            *whyNot = "the helper " + helper + " is missing";
        return std::nullopt;
    }
    return HelperStart{{helper}, {}};
}

CloseAnswer CloseFirstWindowOfClass(std::string_view className, unsigned timeoutMs) {
    HWND window = FindWindowW(Wide(className).c_str(), nullptr);
    if (!window)
        return CloseAnswer::NoWindow;
    DWORD_PTR answer = 0;
    return SendMessageTimeoutW(window, WM_CLOSE, 0, 0, SMTO_NORMAL, timeoutMs, &answer) ? CloseAnswer::Closed
                                                                                        : CloseAnswer::Busy;
}

bool StartProcess(std::string_view commandLine, ShowMode show, bool wait) {
    const LocatedProgram located = LocateProgram(commandLine);
    if (!located.found)
        return false;
    return Create(located.program, commandLine, show, wait);
}

std::string WineVersionText() {
    // Under Wine the Windows build still runs on Wine: ntdll says which one.
    using VersionFunction = const char*(CDECL*)();
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    auto version = ntdll ? reinterpret_cast<VersionFunction>(
                               reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_get_version")))
                         : nullptr;
    return version ? std::string(version()) : std::string();
}

bool ShellRun(std::string_view file, std::string_view parameters, ShowMode show, bool wait) {
    if (file.empty())
        return false;
    if (Execute(nullptr, file, parameters, show, wait))
        return true;
    // A document the shell cannot open (no program is associated with README.md) is shown as
    // text, as the Linux build shows it under Wine: Notepad.
    if (!parameters.empty() || !IsRegularFile(file))
        return false;
    return StartProcess("notepad.exe \"" + std::string(file) + "\"", show, wait);
}

bool ShellOpen(std::string_view target) {
    if (target.empty())
        return false;
    return Execute(L"open", target, {}, ShowMode::Shown, false);
}

} // namespace varnel::platform
