/* Loading a module and finding its entry points, for tcvarnel-probe. One implementation per
 * system: probe_loader_posix.c (dlopen) and probe_loader_win32.c (LoadLibraryA). */
#ifndef VARNEL_PROBE_LOADER_H
#define VARNEL_PROBE_LOADER_H

typedef int (*ProbeCapsFunction)(void);
typedef int (*ProbeTextFunction)(char* buffer, int size);

/* Prepares the process so that a crash inside a plugin ends it with exit code 3 and nothing
 * else (no dialog, no debugger). */
void ProbeInstallCrashExit(void);

/* Returns an opaque module handle, or 0 when the module cannot be loaded. */
void* ProbeLoad(const char* path);
void* ProbeSymbol(void* module, const char* name);
void ProbeRelease(void* module);

/* Calls through the host's plugin calling convention. */
int ProbeCallCaps(void* function);
void ProbeCallText(void* function, char* buffer, int size);

#endif
