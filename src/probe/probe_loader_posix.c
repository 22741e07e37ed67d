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

static int ProgressCallback(int number, char* source, char* target, int percent) {
    (void)number, (void)source, (void)target, (void)percent;
    return 0;
}

static void LogCallback(int number, int type, char* text) {
    (void)number, (void)type, (void)text;
}

static int RequestCallback(int number, int type, char* title, char* text, char* returned, int size) {
    (void)number, (void)type, (void)title, (void)text, (void)returned, (void)size;
    return 0;
}

int ProbeCallFsInit(void* function, int number) {
    int (*call)(int, void*, void*, void*);
    int (*progress)(int, char*, char*, int) = ProgressCallback;
    void (*log)(int, int, char*) = LogCallback;
    int (*request)(int, int, char*, char*, char*, int) = RequestCallback;
    void *p, *l, *r;
    memcpy(&call, &function, sizeof call);
    memcpy(&p, &progress, sizeof p);
    memcpy(&l, &log, sizeof l);
    memcpy(&r, &request, sizeof r);
    return call(number, p, l, r);
}

int ProbeCallFsExecute(void* function, long long window, char* remoteName, char* verb) {
    int (*call)(void*, char*, char*);
    (void)window; /* no windows here */
    memcpy(&call, &function, sizeof call);
    return call(0, remoteName, verb);
}

int ProbeAnsiArgument(const char* argument, char* out, int size) {
    if (strlen(argument) >= (size_t)size)
        return 0;
    strcpy(out, argument);
    return 1;
}

int ProbeModuleFitsProcess(const char* path) {
    (void)path;
    return 1;
}

int ProbeRunSibling(const char* program, const char* const* arguments, int count) {
    (void)program, (void)arguments, (void)count;
    return -1;
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
