/* Packers that keep state between calls: GetPackerCaps answers how often it has been called in
 * this instance of the module, so a helper that answers a question with a module left over from
 * an earlier one answers more than 1. PINNED also keeps itself loaded after it is let go, as some
 * plugins do. */
#ifndef _WIN32
#define _GNU_SOURCE
#endif
#include "plugin_api.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

static int g_calls = 0;

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

PLUGIN_EXPORT void* PLUGIN_CALL OpenArchive(void* data) {
    (void)data;
    return 0;
}

PLUGIN_EXPORT int PLUGIN_CALL GetPackerCaps(void) {
#ifdef PINNED
    Pin();
#endif
    return ++g_calls;
}
