#include "probe_loader.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
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

void ProbeSleep(unsigned milliseconds) {
    Sleep(milliseconds);
}

int ProbeStillLoaded(const char* path) {
    WCHAR* wide;
    int loaded;
    if (path[0] != '@')
        return GetModuleHandleA(path) != NULL;
    wide = DecodeHexWide(path + 1);
    if (!wide)
        return 0;
    loaded = GetModuleHandleW(wide) != NULL;
    free(wide);
    return loaded;
}

/* The volume and index of the file the path names; 0 when it cannot be opened. */
static int FileIdentity(const char* path, BY_HANDLE_FILE_INFORMATION* info) {
    WCHAR* wide = path[0] == '@' ? DecodeHexWide(path + 1) : 0;
    HANDLE file;
    int known;
    if (path[0] == '@' && !wide)
        return 0;
    file = wide ? CreateFileW(wide, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, 0, NULL)
                : CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, 0, NULL);
    free(wide);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    known = GetFileInformationByHandle(file, info) != 0;
    CloseHandle(file);
    return known;
}

int ProbeSameFile(const char* a, const char* b) {
    BY_HANDLE_FILE_INFORMATION first, second;
    if (!FileIdentity(a, &first) || !FileIdentity(b, &second))
        return 1;
    return first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
}

struct ProbeThread {
    HANDLE handle;
    void (*run)(void*);
    void* argument;
};

static DWORD WINAPI RunThread(LPVOID thread) {
    struct ProbeThread* self = (struct ProbeThread*)thread;
    self->run(self->argument);
    return 0;
}

void* ProbeStartThread(void (*run)(void*), void* argument) {
    struct ProbeThread* thread = (struct ProbeThread*)calloc(1, sizeof *thread);
    if (!thread)
        return 0;
    thread->run = run;
    thread->argument = argument;
    thread->handle = CreateThread(NULL, 0, RunThread, thread, 0, NULL);
    if (!thread->handle) {
        free(thread);
        return 0;
    }
    return thread;
}

int ProbeThreadEnded(void* thread) {
    return WaitForSingleObject(((struct ProbeThread*)thread)->handle, 0) == WAIT_OBJECT_0;
}

void ProbeJoinThread(void* thread) {
    WaitForSingleObject(((struct ProbeThread*)thread)->handle, INFINITE);
    CloseHandle(((struct ProbeThread*)thread)->handle);
    free(thread);
}

/* One line handed from the input thread to the questions, as the helper's caller sends them: one
 * at a time, each after the answer to the one before. */
enum { kLineBytes = 1 << 18 };
static CRITICAL_SECTION g_lineLock;
static CONDITION_VARIABLE g_lineChanged = CONDITION_VARIABLE_INIT;
static char g_line[kLineBytes];
static int g_lineLength = -1; /* -1: no line waiting; kLineBytes: one too long */

static DWORD WINAPI ReadInput(LPVOID unused) {
    static char pending[kLineBytes];
    char buffer[4096];
    int length = 0;
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    (void)unused;
    for (;;) {
        DWORD got = 0, i;
        if (!ReadFile(input, buffer, sizeof buffer, &got, NULL) || got == 0)
            TerminateProcess(GetCurrentProcess(), 0); /* the caller is gone: no module's code runs on */
        for (i = 0; i < got; ++i) {
            if (buffer[i] != '\n') {
                if (length < kLineBytes)
                    pending[length] = buffer[i];
                length += length < kLineBytes;
                continue;
            }
            EnterCriticalSection(&g_lineLock);
            while (g_lineLength >= 0)
                SleepConditionVariableCS(&g_lineChanged, &g_lineLock, INFINITE);
            memcpy(g_line, pending, (size_t)(length < kLineBytes ? length : 0));
            g_lineLength = length;
            WakeAllConditionVariable(&g_lineChanged);
            LeaveCriticalSection(&g_lineLock);
            length = 0;
        }
    }
    return 0;
}

int ProbeNextLine(char* line, int size, unsigned idleMs) {
    static int started = 0;
    ULONGLONG deadline = GetTickCount64() + idleMs;
    int ok = 0;
    if (!started) {
        HANDLE reader;
        InitializeCriticalSection(&g_lineLock);
        reader = CreateThread(NULL, 0, ReadInput, NULL, 0, NULL);
        if (!reader)
            return 0;
        CloseHandle(reader);
        started = 1;
    }
    EnterCriticalSection(&g_lineLock);
    while (g_lineLength < 0) {
        ULONGLONG now = GetTickCount64();
        if (now >= deadline ||
            (!SleepConditionVariableCS(&g_lineChanged, &g_lineLock, (DWORD)(deadline - now)) &&
             GetLastError() == ERROR_TIMEOUT))
            break;
    }
    if (g_lineLength >= 0 && g_lineLength < size && g_lineLength < kLineBytes) {
        memcpy(line, g_line, (size_t)g_lineLength);
        line[g_lineLength] = '\0';
        ok = 1;
    }
    if (g_lineLength >= 0) {
        g_lineLength = -1;
        WakeAllConditionVariable(&g_lineChanged);
    }
    LeaveCriticalSection(&g_lineLock);
    return ok;
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

typedef int(__stdcall* ProgressStdcall)(int, char*, char*, int);
typedef void(__stdcall* LogStdcall)(int, int, char*);
typedef BOOL(__stdcall* RequestStdcall)(int, int, char*, char*, char*, int);
typedef int(__stdcall* FsInitStdcall)(int, ProgressStdcall, LogStdcall, RequestStdcall);
typedef int(__stdcall* FsExecuteStdcall)(HWND, char*, char*);

enum { kRequestMessageOk = 8, kRequestMessageYesNo = 9, kRequestMessageOkCancel = 10 };

static int __stdcall ProgressCallback(int number, char* source, char* target, int percent) {
    (void)number, (void)source, (void)target, (void)percent;
    return 0;
}

static void __stdcall LogCallback(int number, int type, char* text) {
    (void)number, (void)type, (void)text;
}

/* A settings dialog may ask something: messages are shown, text requests are cancelled (no
 * connection is being made here). */
static BOOL __stdcall RequestCallback(int number, int type, char* title, char* text, char* returned,
                                      int size) {
    const char* caption = title && title[0] ? title : "TC Varnel";
    (void)number, (void)returned, (void)size;
    switch (type) {
    case kRequestMessageOk:
        MessageBoxA(NULL, text ? text : "", caption, MB_OK);
        return TRUE;
    case kRequestMessageYesNo:
        return MessageBoxA(NULL, text ? text : "", caption, MB_YESNO) == IDYES;
    case kRequestMessageOkCancel:
        return MessageBoxA(NULL, text ? text : "", caption, MB_OKCANCEL) == IDOK;
    default:
        return FALSE;
    }
}

int ProbeCallFsInit(void* function, int number) {
    FsInitStdcall call;
    memcpy(&call, &function, sizeof call);
    return call(number, ProgressCallback, LogCallback, RequestCallback);
}

int ProbeCallFsExecute(void* function, long long window, char* remoteName, char* verb) {
    FsExecuteStdcall call;
    HWND parent = (HWND)(INT_PTR)window;
    memcpy(&call, &function, sizeof call);
    return call(parent && IsWindow(parent) ? parent : NULL, remoteName, verb);
}

int ProbeAnsiArgument(const char* argument, char* out, int size) {
    WCHAR* wide;
    int n;
    if (argument[0] != '@') {
        if (strlen(argument) >= (size_t)size)
            return 0;
        strcpy(out, argument);
        return 1;
    }
    wide = DecodeHexWide(argument + 1);
    if (!wide)
        return 0;
    n = WideCharToMultiByte(CP_ACP, 0, wide, -1, out, size, NULL, NULL);
    free(wide);
    return n > 0;
}

int ProbeModuleFitsProcess(const char* path) {
    WCHAR* wide = path[0] == '@' ? DecodeHexWide(path + 1) : 0;
    HANDLE file = wide ? CreateFileW(wide, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL)
                       : CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    unsigned char header[0x40], signature[6];
    DWORD got = 0, offset;
    int fits = 1; /* what cannot be read is left to the loader to refuse */
    free(wide);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    if (ReadFile(file, header, sizeof header, &got, NULL) && got == sizeof header && header[0] == 'M' &&
        header[1] == 'Z') {
        memcpy(&offset, header + 0x3C, 4);
        if (SetFilePointer(file, (LONG)offset, NULL, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
            ReadFile(file, signature, sizeof signature, &got, NULL) && got == sizeof signature &&
            memcmp(signature, "PE\0\0", 4) == 0) {
            const unsigned machine = (unsigned)signature[4] | (unsigned)signature[5] << 8;
            fits = sizeof(void*) == 8 ? machine != 0x14C : machine != 0x8664;
        }
    }
    CloseHandle(file);
    return fits;
}

int ProbeRunSibling(const char* program, const char* const* arguments, int count) {
    WCHAR self[MAX_PATH], line[4 * MAX_PATH + 512];
    WCHAR* slash;
    STARTUPINFOW startup;
    PROCESS_INFORMATION process;
    DWORD code = 0;
    int i;
    size_t used;
    if (!GetModuleFileNameW(NULL, self, MAX_PATH))
        return -1;
    slash = wcsrchr(self, L'\\');
    if (!slash)
        return -1;
    if (!MultiByteToWideChar(CP_ACP, 0, program, -1, slash + 1, (int)(MAX_PATH - (slash + 1 - self))))
        return -1;
    swprintf(line, sizeof line / sizeof line[0], L"\"%ls\"", self);
    for (i = 0; i < count; ++i) {
        /* The arguments are hex digits, numbers and ANSI paths, none of which holds a quote. */
        used = wcslen(line);
        if (used + 4 >= sizeof line / sizeof line[0])
            return -1;
        wcscat(line, L" \"");
        used += 2;
        if (!MultiByteToWideChar(CP_ACP, 0, arguments[i], -1, line + used,
                                 (int)(sizeof line / sizeof line[0] - used - 2)))
            return -1;
        wcscat(line, L"\"");
    }
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    fflush(stdout);
    if (!CreateProcessW(self, line, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process))
        return -1;
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return (int)code;
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
