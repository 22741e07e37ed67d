/* Sample plugins for the tests, one source for all of them: each is built with a few of the
 * entry points switched on (WITH_... defines) and, as a Windows module, with its own version
 * resource. The entry points only do what inspection needs. */
#include "plugin_api.h"

#if defined(PACKER_CAPS) || defined(WITH_FS)
#include <stdio.h>
#include <string.h>

/* The default-parameters record the host hands packers and file system plugins, in words. */
static void DescribeDefaults(const void* record, const char* prefix, char* out, size_t size) {
    const unsigned char* bytes = (const unsigned char*)record;
    int recordSize;
    unsigned low, high;
    memcpy(&recordSize, bytes, 4);
    memcpy(&low, bytes + 4, 4);
    memcpy(&high, bytes + 8, 4);
    snprintf(out, size, "%ssize=%d version=%u.%u ini=%.260s", prefix, recordSize, high, low,
             (const char*)bytes + 12);
}
#endif

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
#ifdef DEFAULTS_CRASH
    /* A packer that dies on its default parameters, and still has a settings dialog. */
    volatile int* nowhere = 0;
    *nowhere = 42;
#endif
    DescribeDefaults(record, "", g_defaults, sizeof g_defaults);
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
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* The sample file system plugin's settings "dialog": it notes the calls it received, in order,
 * and what its callbacks answered, in the file VARNEL_SAMPLE_CONFIGURED names. */
typedef int(PLUGIN_CALL* ProgressProc)(int number, char* source, char* target, int percent);
typedef void(PLUGIN_CALL* LogProc)(int number, int type, char* text);
typedef int(PLUGIN_CALL* RequestProc)(int number, int type, char* title, char* text, char* returned,
                                      int size);
static char g_fsCalls[1024];

static void NoteCall(const char* line) {
    size_t used = strlen(g_fsCalls);
    snprintf(g_fsCalls + used, sizeof g_fsCalls - used, "%s\n", line);
}

PLUGIN_EXPORT int PLUGIN_CALL FsInit(int number, void* progress, void* log, void* request) {
    char line[200];
    int goOn = -1, given = -1;
    char returned[16] = "";
    ProgressProc progressProc;
    LogProc logProc;
    RequestProc requestProc;
    memcpy(&progressProc, &progress, sizeof progressProc);
    memcpy(&logProc, &log, sizeof logProc);
    memcpy(&requestProc, &request, sizeof requestProc);
    if (progressProc)
        goOn = progressProc(number, (char*)"a", (char*)"b", 50);
    if (logProc)
        logProc(number, 1, (char*)"connected");
    if (requestProc)
        given =
            requestProc(number, 1, (char*)"Sample FS", (char*)"User name:", returned, (int)sizeof returned);
    snprintf(line, sizeof line, "FsInit number=%d progress=%d request=%d", number, goOn, given);
    NoteCall(line);
    return 0;
}

PLUGIN_EXPORT void PLUGIN_CALL FsSetDefaultParams(void* record) {
    char line[400];
    DescribeDefaults(record, "FsSetDefaultParams ", line, sizeof line);
    NoteCall(line);
}

PLUGIN_EXPORT int PLUGIN_CALL FsExecuteFile(void* window, char* remoteName, char* verb) {
    const char* mark = getenv("VARNEL_SAMPLE_CONFIGURED");
    FILE* out = mark ? fopen(mark, "w") : NULL;
    char line[400];
    (void)window;
    snprintf(line, sizeof line, "FsExecuteFile remote=%s verb=%s", remoteName, verb);
    NoteCall(line);
    if (out) {
        fputs(g_fsCalls, out);
        fclose(out);
    }
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
