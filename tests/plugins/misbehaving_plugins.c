/* Plugins whose query entry points crash (CRASH), never return (HANG), or answer only after two
 * seconds (SLOW), to prove that inspection survives them and to hold a command in its middle.
 * SLOW holds it for as long as a test wants instead when VARNEL_TEST_HOLD names a file: it makes
 * the file, and answers once the test has removed it (or after a minute). */
#include "plugin_api.h"

#include <stdio.h>
#include <stdlib.h>

#ifndef CRASH
#ifdef _WIN32
#include <windows.h>
static void Wait(void) {
    Sleep(1000);
}
#else
#include <unistd.h>
static void Wait(void) {
    sleep(1);
}
#endif
#endif

#ifdef SLOW
static void Nap(void) {
#ifdef _WIN32
    Sleep(20);
#else
    usleep(20000);
#endif
}

static int Held(const char* marker) {
    FILE* file = fopen(marker, "rb");
    if (!file)
        return 0;
    fclose(file);
    return 1;
}

static void Hold(void) {
    const char* marker = getenv("VARNEL_TEST_HOLD");
    FILE* file = marker && *marker ? fopen(marker, "wb") : NULL;
    if (!file) {
        Wait();
        Wait();
        return;
    }
    fclose(file);
    for (int i = 0; i < 3000 && Held(marker); ++i)
        Nap();
}
#endif

static void Misbehave(void) {
#if defined(CRASH)
    volatile int* nowhere = 0;
    *nowhere = 42;
#elif defined(SLOW)
    Hold();
#else
    for (;;)
        Wait();
#endif
}

PLUGIN_EXPORT void* PLUGIN_CALL ListLoad(void* parent, char* file, int flags) {
    (void)parent, (void)file, (void)flags;
    return 0;
}
PLUGIN_EXPORT void PLUGIN_CALL ListGetDetectString(char* detect, int maxlen) {
    (void)detect, (void)maxlen;
    Misbehave();
#ifdef SLOW
    if (maxlen > 12) {
        const char* text = "EXT=\"SLOW\"";
        int i = 0;
        for (; text[i]; ++i)
            detect[i] = text[i];
        detect[i] = 0;
    }
#endif
}
PLUGIN_EXPORT void PLUGIN_CALL ContentGetDetectString(char* detect, int maxlen) {
    (void)detect, (void)maxlen;
    Misbehave();
}
PLUGIN_EXPORT int PLUGIN_CALL GetPackerCaps(void) {
    Misbehave();
    return 0;
}
PLUGIN_EXPORT void PLUGIN_CALL ConfigurePacker(void* parent, void* instance) {
    (void)parent, (void)instance;
    Misbehave();
}
PLUGIN_EXPORT int PLUGIN_CALL FsExecuteFile(void* window, char* remoteName, char* verb) {
    (void)window, (void)remoteName, (void)verb;
    Misbehave();
    return 0;
}
PLUGIN_EXPORT void PLUGIN_CALL FsGetDefRootName(char* name, int maxlen) {
    (void)name, (void)maxlen;
    Misbehave();
}
