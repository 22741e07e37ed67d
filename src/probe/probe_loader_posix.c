#include "probe_loader.h"

#include <dlfcn.h>
#include <errno.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

static void CrashExit(int signal) {
    (void)signal;
    _exit(3);
}

void ProbeInstallCrashExit(void) {
    signal(SIGSEGV, CrashExit);
    signal(SIGBUS, CrashExit);
    signal(SIGILL, CrashExit);
    signal(SIGFPE, CrashExit);
    signal(SIGABRT, CrashExit);
}

void* ProbeLoad(const char* path) {
    return dlopen(path, RTLD_NOW | RTLD_LOCAL);
}

void* ProbeSymbol(void* module, const char* name) {
    return dlsym(module, name);
}

void ProbeRelease(void* module) {
    dlclose(module);
}

void ProbeSleep(unsigned milliseconds) {
    struct timespec rest = {(time_t)(milliseconds / 1000), (long)(milliseconds % 1000) * 1000000L};
    while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {
    }
}

int ProbeStillLoaded(const char* path) {
    void* module = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    if (!module)
        return 0;
    dlclose(module);
    return 1;
}

int ProbeSameFile(const char* a, const char* b) {
    struct stat first, second;
    if (stat(a, &first) != 0 || stat(b, &second) != 0)
        return 1;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

struct ProbeThread {
    pthread_t id;
    void (*run)(void*);
    void* argument;
    int ended;
};

static void* RunThread(void* thread) {
    struct ProbeThread* self = (struct ProbeThread*)thread;
    self->run(self->argument);
    __atomic_store_n(&self->ended, 1, __ATOMIC_RELEASE);
    return 0;
}

void* ProbeStartThread(void (*run)(void*), void* argument) {
    struct ProbeThread* thread = (struct ProbeThread*)calloc(1, sizeof *thread);
    if (!thread)
        return 0;
    thread->run = run;
    thread->argument = argument;
    if (pthread_create(&thread->id, 0, RunThread, thread) != 0) {
        free(thread);
        return 0;
    }
    return thread;
}

int ProbeThreadEnded(void* thread) {
    return __atomic_load_n(&((struct ProbeThread*)thread)->ended, __ATOMIC_ACQUIRE);
}

void ProbeJoinThread(void* thread) {
    pthread_join(((struct ProbeThread*)thread)->id, 0);
    free(thread);
}

/* One line handed from the input thread to the questions, as the helper's caller sends them: one
 * at a time, each after the answer to the one before. */
enum { kLineBytes = 1 << 18 };
static pthread_mutex_t g_lineLock = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t g_lineChanged;
static char g_line[kLineBytes];
static int g_lineLength = -1; /* -1: no line waiting; kLineBytes: one too long */

static void* ReadInput(void* unused) {
    char buffer[4096];
    char pending[kLineBytes];
    int length = 0;
    (void)unused;
    for (;;) {
        ssize_t got = read(0, buffer, sizeof buffer), i;
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            _exit(0); /* the caller is gone */
        for (i = 0; i < got; ++i) {
            if (buffer[i] != '\n') {
                if (length < kLineBytes)
                    pending[length] = buffer[i];
                length += length < kLineBytes;
                continue;
            }
            pthread_mutex_lock(&g_lineLock);
            while (g_lineLength >= 0)
                pthread_cond_wait(&g_lineChanged, &g_lineLock);
            memcpy(g_line, pending, (size_t)(length < kLineBytes ? length : 0));
            g_lineLength = length;
            pthread_cond_broadcast(&g_lineChanged);
            pthread_mutex_unlock(&g_lineLock);
            length = 0;
        }
    }
    return 0;
}

int ProbeNextLine(char* line, int size, unsigned idleMs) {
    static int started = 0;
    struct timespec deadline;
    int ok = 0;
    if (!started) {
        pthread_condattr_t attributes;
        pthread_t reader;
        pthread_condattr_init(&attributes);
        pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
        pthread_cond_init(&g_lineChanged, &attributes);
        if (pthread_create(&reader, 0, ReadInput, 0) != 0)
            return 0;
        pthread_detach(reader);
        started = 1;
    }
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += idleMs / 1000;
    deadline.tv_nsec += (long)(idleMs % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    pthread_mutex_lock(&g_lineLock);
    while (g_lineLength < 0)
        if (pthread_cond_timedwait(&g_lineChanged, &g_lineLock, &deadline) == ETIMEDOUT)
            break;
    if (g_lineLength >= 0 && g_lineLength < size && g_lineLength < kLineBytes) {
        memcpy(line, g_line, (size_t)g_lineLength);
        line[g_lineLength] = '\0';
        ok = 1;
    }
    if (g_lineLength >= 0) {
        g_lineLength = -1;
        pthread_cond_broadcast(&g_lineChanged);
    }
    pthread_mutex_unlock(&g_lineLock);
    return ok;
}

/* dlsym hands out object pointers; copying the bits is the portable way to a function pointer. */
int ProbeCallCaps(void* function) {
    ProbeCapsFunction call;
    memcpy(&call, &function, sizeof call);
    return call();
}

void ProbeCallText(void* function, char* buffer, int size) {
    ProbeTextFunction call;
    memcpy(&call, &function, sizeof call);
    call(buffer, size);
}

void ProbeCallDefaultParams(void* function, void* record) {
    void (*call)(void*);
    memcpy(&call, &function, sizeof call);
    call(record);
}

void ProbeCallConfigure(void* function, void* module) {
    void (*call)(void*, void*);
    memcpy(&call, &function, sizeof call);
    call(0, module);
}

static int ProgressCallback(int number, char* source, char* target, int percent) {
    (void)number, (void)source, (void)target, (void)percent;
    return 0;
}

static void LogCallback(int number, int type, char* text) {
    (void)number, (void)type, (void)text;
}

static int RequestCallback(int number, int type, char* title, char* text, char* returned, int size) {
    (void)number, (void)type, (void)title, (void)text, (void)returned, (void)size;
    return 0;
}

int ProbeCallFsInit(void* function, int number) {
    int (*call)(int, void*, void*, void*);
    int (*progress)(int, char*, char*, int) = ProgressCallback;
    void (*log)(int, int, char*) = LogCallback;
    int (*request)(int, int, char*, char*, char*, int) = RequestCallback;
    void *p, *l, *r;
    memcpy(&call, &function, sizeof call);
    memcpy(&p, &progress, sizeof p);
    memcpy(&l, &log, sizeof l);
    memcpy(&r, &request, sizeof r);
    return call(number, p, l, r);
}

int ProbeCallFsExecute(void* function, long long window, char* remoteName, char* verb) {
    int (*call)(void*, char*, char*);
    (void)window; /* no windows here */
    memcpy(&call, &function, sizeof call);
    return call(0, remoteName, verb);
}

int ProbeAnsiArgument(const char* argument, char* out, int size) {
    if (strlen(argument) >= (size_t)size)
        return 0;
    strcpy(out, argument);
    return 1;
}

int ProbeModuleFitsProcess(const char* path) {
    (void)path;
    return 1;
}

int ProbeRunSibling(const char* program, const char* const* arguments, int count) {
    (void)program, (void)arguments, (void)count;
    return -1;
}

int ProbeFindWindow(const char* windowClass) {
    (void)windowClass;
    return 0;
}

int ProbeCloseWindow(const char* windowClass, unsigned timeoutMs) {
    (void)timeoutMs;
    (void)windowClass;
    return 0;
}

int ProbeStart(const char* hexProgram, const char* hexCommandLine, int showMode, int wait,
               ProbeStartedFunction started) {
    (void)hexProgram;
    (void)started;
    (void)hexCommandLine;
    (void)showMode;
    (void)wait;
    return 0;
}

int ProbeShell(const char* hexFile, const char* hexParameters, int showMode, int wait,
               ProbeStartedFunction started) {
    (void)started;
    (void)hexFile;
    (void)hexParameters;
    (void)showMode;
    (void)wait;
    return 0;
}
