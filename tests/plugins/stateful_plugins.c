/* Plugins that keep state between calls: GetPackerCaps answers how often it has been called in
 * this instance of the module, so a helper that answers a question with a module left over from
 * an earlier one answers more than 1; with LISTER, ListGetDetectString answers the same count as
 * EXT="N" instead. PINNED also keeps itself loaded after it is let go, as some plugins do; FALLS
 * crashes as it is let go (after making the file VARNEL_TEST_FELL names). TIMED is a Lister that writes, when
 * it is let go, how many milliseconds passed since its detect string was asked, to the file
 * VARNEL_TEST_RELEASE_LOG names. */
#ifndef _WIN32
#define _GNU_SOURCE
#endif
#include "plugin_api.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#ifndef TIMED
static int g_calls = 0;
#endif

#ifdef TIMED
#include <stdio.h>
#include <stdlib.h>
#ifdef _WIN32
static unsigned long long Now(void) {
    return GetTickCount64();
}
#else
#include <time.h>
static unsigned long long Now(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (unsigned long long)now.tv_sec * 1000u + (unsigned long long)now.tv_nsec / 1000000u;
}
#endif
static unsigned long long g_asked = 0;

static void Released(void) {
    const char* log = getenv("VARNEL_TEST_RELEASE_LOG");
    FILE* file = log && *log && g_asked ? fopen(log, "a") : NULL;
    if (file) {
        fprintf(file, "%llu\n", Now() - g_asked);
        fclose(file);
    }
}

#ifdef _WIN32
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance, (void)reserved;
    if (reason == DLL_PROCESS_DETACH)
        Released();
    return TRUE;
}
#else
__attribute__((destructor)) static void Unloaded(void) {
    Released();
}
#endif

PLUGIN_EXPORT void* PLUGIN_CALL ListLoad(void* parent, char* file, int flags) {
    (void)parent, (void)file, (void)flags;
    return 0;
}

PLUGIN_EXPORT void PLUGIN_CALL ListGetDetectString(char* detect, int maxlen) {
    g_asked = Now();
    CopyText(detect, maxlen, "EXT=\"TIMED\"");
}
#endif

#ifdef PINNED
static void Pin(void) {
#ifdef _WIN32
    HMODULE self = 0;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       (LPCSTR)(void*)&g_calls, &self);
#else
    Dl_info info;
    if (dladdr((void*)&g_calls, &info) && info.dli_fname)
        dlopen(info.dli_fname, RTLD_NOW | RTLD_NODELETE | RTLD_NOLOAD);
#endif
}
#endif

#ifndef TIMED
#ifdef FALLS
#include <stdio.h>
#include <stdlib.h>

/* Makes the file VARNEL_TEST_FELL names, then crashes. */
static void Fall(void) {
    const char* mark = getenv("VARNEL_TEST_FELL");
    FILE* file = mark && *mark ? fopen(mark, "wb") : NULL;
    if (file)
        fclose(file);
    volatile int* nowhere = 0;
    *nowhere = 42;
}
#ifdef _WIN32
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance, (void)reserved;
    if (reason == DLL_PROCESS_DETACH)
        Fall();
    return TRUE;
}
#else
__attribute__((destructor)) static void Unloaded(void) {
    Fall();
}
#endif
#endif

static int Counted(void) {
#ifdef PINNED
    Pin();
#endif
    return ++g_calls;
}

#if defined(LISTER)
#include <stdio.h>

PLUGIN_EXPORT void* PLUGIN_CALL ListLoad(void* parent, char* file, int flags) {
    (void)parent, (void)file, (void)flags;
    return 0;
}

PLUGIN_EXPORT void PLUGIN_CALL ListGetDetectString(char* detect, int maxlen) {
    char text[32];
    snprintf(text, sizeof text, "EXT=\"%d\"", Counted());
    CopyText(detect, maxlen, text);
}
#else
PLUGIN_EXPORT void* PLUGIN_CALL OpenArchive(void* data) {
    (void)data;
    return 0;
}

PLUGIN_EXPORT int PLUGIN_CALL GetPackerCaps(void) {
    return Counted();
}
#endif
#endif
