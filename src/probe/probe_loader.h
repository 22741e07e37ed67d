/* Loading a module and finding its entry points, for tcvarnel-probe. One implementation per
 * system: probe_loader_posix.c (dlopen) and probe_loader_win32.c (LoadLibraryA). */
#ifndef VARNEL_PROBE_LOADER_H
#define VARNEL_PROBE_LOADER_H

typedef int (*ProbeCapsFunction)(void);
typedef int (*ProbeTextFunction)(char* buffer, int size);

/* Prepares the process so that a crash inside a plugin ends it with exit code 3 and nothing
 * else (no dialog, no debugger). */
void ProbeInstallCrashExit(void);

/* Returns an opaque module handle, or 0 when the module cannot be loaded. On Windows a path that
 * begins with "@" is the module's path as UTF-16LE in hex digits (so any character arrives whole,
 * whatever code pages lie between the caller and this process). */
void* ProbeLoad(const char* path);
void* ProbeSymbol(void* module, const char* name);
void ProbeRelease(void* module);

/* Calls through the host's plugin calling convention. */
int ProbeCallCaps(void* function);
void ProbeCallText(void* function, char* buffer, int size);
/* PackSetDefaultParams(record) and ConfigurePacker(parent window, module instance). */
void ProbeCallDefaultParams(void* function, void* record);
void ProbeCallConfigure(void* function, void* module);

/* The file system plugin's calls: FsInit with callbacks that work (progress goes on, log lines are
 * passed over, a request for text is cancelled, a message request is shown as a message box), and
 * FsExecuteFile(window, remote name, verb); a window that is no window here becomes none. */
int ProbeCallFsInit(void* function, int number);
int ProbeCallFsExecute(void* function, long long window, char* remoteName, char* verb);

void ProbeSleep(unsigned milliseconds);

/* Whether the module is still in this process after ProbeRelease (it holds itself there): the
 * path as given to ProbeLoad. */
int ProbeStillLoaded(const char* path);

/* Whether two paths as given to ProbeLoad name one file (the same file reached by two names is
 * one module to the loader). 1 when either cannot be looked at. */
int ProbeSameFile(const char* a, const char* b);

/* run(argument) on a thread of its own; 0 when no thread could be started. ProbeThreadEnded tells
 * without waiting whether run has returned; ProbeJoinThread waits for that and lets the thread
 * go (the handle is gone then). */
void* ProbeStartThread(void (*run)(void*), void* argument);
int ProbeThreadEnded(void* thread);
void ProbeJoinThread(void* thread);

/* Serving questions one after another: the next line of standard input, without its end, into
 * `line` (at most size - 1 bytes). Input is read on a thread of its own that ends this process
 * as soon as the input ends, even while a module's code runs, so a helper never outlives its
 * caller's end of the pipe. Returns 0 after idleMs without a line, or when the line does not fit. */
int ProbeNextLine(char* line, int size, unsigned idleMs);

/* An argument as ANSI text: one that begins with "@" is UTF-16LE in hex digits (as for ProbeLoad).
 * Returns 0 when it does not fit `size` bytes or cannot be decoded. */
int ProbeAnsiArgument(const char* argument, char* out, int size);

/* 1 when this helper can load the module (its machine type is this process's), 0 when only the
 * helper of the other bitness can. */
int ProbeModuleFitsProcess(const char* path);
/* Runs the helper `program` that lies beside this one with the arguments, writing to this one's
 * standard output, and returns its exit code; -1 when it could not be started. */
int ProbeRunSibling(const char* program, const char* const* arguments, int count);

/* Windows of other programs: whether a top-level window of the class exists, and asking the first
 * one to close (WM_CLOSE, waiting until it was handled or 10 seconds passed).
 * ProbeCloseWindow answers 0 when there is no such window, 1 when it handled the message, 2 when
 * it did not answer in time. Systems without such windows answer 0. */
int ProbeFindWindow(const char* windowClass);
int ProbeCloseWindow(const char* windowClass, unsigned timeoutMs);

/* Starts the program `hexProgram` with the command line `hexCommandLine` exactly as given (both
 * UTF-16LE in hex digits; the program may be "-": then the system finds it from the command line);
 * with `wait`, returns after it ended.
 * `shell` opens a file (hex as above) with the program associated with it, with parameters.
 * Both call `started` once the program runs (before any wait) and answer 1 then, 0 when it could
 * not be started; systems without them answer 0. */
typedef void (*ProbeStartedFunction)(void);
int ProbeStart(const char* hexProgram, const char* hexCommandLine, int showMode, int wait,
               ProbeStartedFunction started);
int ProbeShell(const char* hexFile, const char* hexParameters, int showMode, int wait,
               ProbeStartedFunction started);

#endif
