/* A stand-in for an external program the host-process commands start (the restarter, a browse
 * command): it appends its own command line to "started.log" beside itself and ends. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

int main(void) {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, path, MAX_PATH);
    char* slash;
    FILE* log;
    if (length == 0 || length >= MAX_PATH)
        return 1;
    slash = strrchr(path, '\\');
    if (!slash)
        return 1;
    strcpy(slash + 1, "started.log");
    log = fopen(path, "ab");
    if (!log)
        return 1;
    fprintf(log, "%s\n", GetCommandLineA());
    fclose(log);
    return 0;
}
