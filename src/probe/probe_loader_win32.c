#include "probe_loader.h"

#include <stdlib.h>
#include <string.h>
#include <windows.h>

/* after windows.h, which it builds on */
#include <shellapi.h>

typedef int(__stdcall* CapsStdcall)(void);
typedef int(__stdcall* TextStdcall)(char* buffer, int size);
typedef void(__stdcall* RecordStdcall)(void* record);
typedef void(__stdcall* ConfigureStdcall)(HWND parent, HINSTANCE instance);

static LONG WINAPI CrashExit(EXCEPTION_POINTERS* info) {
    (void)info;
    ExitProcess(3);
    return EXCEPTION_EXECUTE_HANDLER;
}

void ProbeInstallCrashExit(void) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(CrashExit);
}

static int HexNibble(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

/* UTF-16LE in hex digits -> a NUL-terminated wide string (caller frees); 0 on bad input. */
static WCHAR* DecodeHexWide(const char* hex) {
    size_t length = strlen(hex), i;
    WCHAR* text;
    if (length % 4 != 0)
        return 0;
    text = (WCHAR*)calloc(length / 4 + 1, sizeof(WCHAR));
    if (!text)
        return 0;
    for (i = 0; i < length; i += 4) {
        int d[4], k;
        for (k = 0; k < 4; ++k) {
            d[k] = HexNibble(hex[i + (size_t)k]);
            if (d[k] < 0) {
                free(text);
                return 0;
            }
        }
        text[i / 4] = (WCHAR)((d[0] << 4 | d[1]) | (d[2] << 4 | d[3]) << 8);
    }
    return text;
}

void* ProbeLoad(const char* path) {
    WCHAR* wide;
    HMODULE module;
    if (path[0] != '@')
        return (void*)LoadLibraryA(path);
    wide = DecodeHexWide(path + 1);
    if (!wide)
        return 0;
    module = LoadLibraryW(wide);
    free(wide);
    return (void*)module;
}

void* ProbeSymbol(void* module, const char* name) {
    FARPROC function = GetProcAddress((HMODULE)module, name);
    void* pointer;
    memcpy(&pointer, &function, sizeof pointer);
    return pointer;
}

void ProbeRelease(void* module) {
    FreeLibrary((HMODULE)module);
}

int ProbeCallCaps(void* function) {
    CapsStdcall call;
    memcpy(&call, &function, sizeof call);
    return call();
}

void ProbeCallText(void* function, char* buffer, int size) {
    TextStdcall call;
    memcpy(&call, &function, sizeof call);
    call(buffer, size);
}

void ProbeCallDefaultParams(void* function, void* record) {
    RecordStdcall call;
    memcpy(&call, &function, sizeof call);
    call(record);
}

void ProbeCallConfigure(void* function, void* module) {
    ConfigureStdcall call;
    memcpy(&call, &function, sizeof call);
    call(NULL, (HINSTANCE)module);
}

int ProbeFindWindow(const char* windowClass) {
    return FindWindowA(windowClass, NULL) != NULL;
}

int ProbeCloseWindow(const char* windowClass, unsigned timeoutMs) {
    HWND window = FindWindowA(windowClass, NULL);
    DWORD_PTR result = 0;
    if (!window)
        return 0;
    return SendMessageTimeoutA(window, WM_CLOSE, 0, 0, SMTO_NORMAL, timeoutMs, &result) ? 1 : 2;
}

static int WaitAndRelease(HANDLE process, int wait, ProbeStartedFunction started) {
    started();
    if (process) {
        if (wait)
            WaitForSingleObject(process, INFINITE);
        CloseHandle(process);
    }
    return 1;
}

int ProbeStart(const char* hexProgram, const char* hexCommandLine, int showMode, int wait,
               ProbeStartedFunction started) {
    STARTUPINFOW startup;
    PROCESS_INFORMATION info;
    WCHAR* commandLine = DecodeHexWide(hexCommandLine);
    /* Given the program, the system passes the command line on untouched (found from the command
     * line, Wine would put quotes around a program path with blanks). */
    WCHAR* program = strcmp(hexProgram, "-") == 0 ? NULL : DecodeHexWide(hexProgram);
    BOOL created;
    if (!commandLine || (!program && strcmp(hexProgram, "-") != 0)) {
        free(commandLine);
        free(program);
        return 0;
    }
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = (WORD)showMode;
    created = CreateProcessW(program, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &info);
    free(commandLine);
    free(program);
    if (!created)
        return 0;
    CloseHandle(info.hThread);
    return WaitAndRelease(info.hProcess, wait, started);
}

int ProbeShell(const char* hexFile, const char* hexParameters, int showMode, int wait,
               ProbeStartedFunction started) {
    SHELLEXECUTEINFOW execute;
    WCHAR* file = DecodeHexWide(hexFile);
    WCHAR* parameters = DecodeHexWide(hexParameters);
    BOOL done;
    if (!file || !parameters) {
        free(file);
        free(parameters);
        return 0;
    }
    ZeroMemory(&execute, sizeof execute);
    execute.cbSize = sizeof execute;
    execute.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    execute.lpFile = file;
    execute.lpParameters = parameters[0] ? parameters : NULL;
    execute.nShow = showMode;
    done = ShellExecuteExW(&execute);
    free(file);
    free(parameters);
    if (!done)
        return 0;
    return WaitAndRelease(execute.hProcess, wait, started);
}
