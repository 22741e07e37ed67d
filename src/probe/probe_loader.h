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

/* Windows of other programs: whether a top-level window of the class exists, and asking the first
 * one to close (WM_CLOSE, waiting until it was handled or 10 seconds passed).
 * ProbeCloseWindow answers 0 when there is no such window, 1 when it handled the message, 2 when
 * it did not answer in time. Systems without such windows answer 0. */
int ProbeFindWindow(const char* windowClass);
int ProbeCloseWindow(const char* windowClass);

#endif
