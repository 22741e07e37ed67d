#include "probe_loader.h"

#include <dlfcn.h>
#include <signal.h>
#include <string.h>
#include <unistd.h>

static void CrashExit(int signal) {
    (void)signal;
    _exit(3);
}

void ProbeInstallCrashExit(void) {
    signal(SIGSEGV, CrashExit);
    signal(SIGBUS, CrashExit);
    signal(SIGILL, CrashExit);
    signal(SIGFPE, CrashExit);
    signal(SIGABRT, CrashExit);
}

void* ProbeLoad(const char* path) {
    return dlopen(path, RTLD_NOW | RTLD_LOCAL);
}

void* ProbeSymbol(void* module, const char* name) {
    return dlsym(module, name);
}

void ProbeRelease(void* module) {
    dlclose(module);
}

/* dlsym hands out object pointers; copying the bits is the portable way to a function pointer. */
int ProbeCallCaps(void* function) {
    ProbeCapsFunction call;
    memcpy(&call, &function, sizeof call);
    return call();
}

void ProbeCallText(void* function, char* buffer, int size) {
    ProbeTextFunction call;
    memcpy(&call, &function, sizeof call);
    call(buffer, size);
}

void ProbeCallDefaultParams(void* function, void* record) {
    void (*call)(void*);
    memcpy(&call, &function, sizeof call);
    call(record);
}

void ProbeCallConfigure(void* function, void* module) {
    void (*call)(void*, void*);
    memcpy(&call, &function, sizeof call);
    call(0, module);
}

int ProbeFindWindow(const char* windowClass) {
    (void)windowClass;
    return 0;
}

int ProbeCloseWindow(const char* windowClass, unsigned timeoutMs) {
    (void)timeoutMs;
    (void)windowClass;
    return 0;
}

int ProbeStart(const char* hexProgram, const char* hexCommandLine, int showMode, int wait,
               ProbeStartedFunction started) {
    (void)hexProgram;
    (void)started;
    (void)hexCommandLine;
    (void)showMode;
    (void)wait;
    return 0;
}

int ProbeShell(const char* hexFile, const char* hexParameters, int showMode, int wait,
               ProbeStartedFunction started) {
    (void)started;
    (void)hexFile;
    (void)hexParameters;
    (void)showMode;
    (void)wait;
    return 0;
}
