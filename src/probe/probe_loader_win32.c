#include "probe_loader.h"

#include <string.h>
#include <windows.h>

typedef int(__stdcall* CapsStdcall)(void);
typedef int(__stdcall* TextStdcall)(char* buffer, int size);

static LONG WINAPI CrashExit(EXCEPTION_POINTERS* info) {
    (void)info;
    ExitProcess(3);
    return EXCEPTION_EXECUTE_HANDLER;
}

void ProbeInstallCrashExit(void) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(CrashExit);
}

void* ProbeLoad(const char* path) {
    return (void*)LoadLibraryA(path);
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

int ProbeFindWindow(const char* windowClass) {
    return FindWindowA(windowClass, NULL) != NULL;
}

int ProbeCloseWindow(const char* windowClass) {
    HWND window = FindWindowA(windowClass, NULL);
    DWORD_PTR result = 0;
    if (!window)
        return 0;
    return SendMessageTimeoutA(window, WM_CLOSE, 0, 0, SMTO_NORMAL, 10000, &result) ? 1 : 2;
}
