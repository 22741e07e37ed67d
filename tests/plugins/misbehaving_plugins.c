/* Plugins whose query entry points crash (CRASH), never return (HANG), or answer only after two
 * seconds (SLOW), to prove that inspection survives them and to hold a command in its middle. */
#include "plugin_api.h"

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

static void Misbehave(void) {
#if defined(CRASH)
    volatile int* nowhere = 0;
    *nowhere = 42;
#elif defined(SLOW)
    Wait();
    Wait();
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
