/* Sample plugins for the tests, one source for all of them: each is built with a few of the
 * entry points switched on (WITH_... defines) and, as a Windows module, with its own version
 * resource. The entry points only do what inspection needs. */
#include "plugin_api.h"

#ifdef WITH_LISTER
PLUGIN_EXPORT void* PLUGIN_CALL ListLoad(void* parent, char* file, int flags) {
    (void)parent, (void)file, (void)flags;
    return 0;
}
#endif

#ifdef LISTER_DETECT
PLUGIN_EXPORT void PLUGIN_CALL ListGetDetectString(char* detect, int maxlen) {
    CopyText(detect, maxlen, LISTER_DETECT);
}
#endif

#ifdef WITH_PACKER
PLUGIN_EXPORT void* PLUGIN_CALL OpenArchive(void* data) {
    (void)data;
    return 0;
}
#endif

#ifdef PACKER_CAPS
PLUGIN_EXPORT int PLUGIN_CALL GetPackerCaps(void) {
    return PACKER_CAPS;
}

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* The settings dialog of the sample packer: it notes the default parameters it was given, and
 * that it was opened, in the file VARNEL_SAMPLE_CONFIGURED names. */
static char g_defaults[300];

PLUGIN_EXPORT void PLUGIN_CALL PackSetDefaultParams(void* record) {
    const unsigned char* bytes = (const unsigned char*)record;
    int size;
    unsigned low, high;
    memcpy(&size, bytes, 4);
    memcpy(&low, bytes + 4, 4);
    memcpy(&high, bytes + 8, 4);
    snprintf(g_defaults, sizeof g_defaults, "size=%d version=%u.%u ini=%.260s", size, high, low,
             (const char*)bytes + 12);
}

PLUGIN_EXPORT void PLUGIN_CALL ConfigurePacker(void* parent, void* instance) {
    const char* mark = getenv("VARNEL_SAMPLE_CONFIGURED");
    FILE* out = mark ? fopen(mark, "w") : NULL;
    (void)parent, (void)instance;
    if (out) {
        fprintf(out, "configured %s\n", g_defaults);
        fclose(out);
    }
}
#endif

#ifdef WITH_FS
PLUGIN_EXPORT int PLUGIN_CALL FsInit(int number, void* progress, void* log, void* request) {
    (void)number, (void)progress, (void)log, (void)request;
    return 0;
}
#endif

#ifdef FS_ROOT
PLUGIN_EXPORT void PLUGIN_CALL FsGetDefRootName(char* name, int maxlen) {
    CopyText(name, maxlen, FS_ROOT);
}
#endif

#ifdef WITH_CONTENT
PLUGIN_EXPORT int PLUGIN_CALL ContentGetValue(char* file, int field, int unit, void* value, int maxlen,
                                              int flags) {
    (void)file, (void)field, (void)unit, (void)value, (void)maxlen, (void)flags;
    return 0;
}
#endif

#ifdef CONTENT_DETECT
PLUGIN_EXPORT void PLUGIN_CALL ContentGetDetectString(char* detect, int maxlen) {
    CopyText(detect, maxlen, CONTENT_DETECT);
}
#endif

/* Something harmless, so a module of no kind still exports a function. */
PLUGIN_EXPORT int PLUGIN_CALL SampleVersion(void) {
    return 1;
}
