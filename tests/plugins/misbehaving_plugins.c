/* Plugins whose query entry points crash (CRASH) or never return (HANG), to prove that
 * inspection survives them. */
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
#ifdef CRASH
    volatile int* nowhere = 0;
    *nowhere = 42;
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
PLUGIN_EXPORT void PLUGIN_CALL FsGetDefRootName(char* name, int maxlen) {
    (void)name, (void)maxlen;
    Misbehave();
}
