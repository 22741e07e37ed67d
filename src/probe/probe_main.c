/* tcvarnel-probe: loads one plugin module in its own process, answers one question about it and
 * exits, so that a module's code never runs inside TC Varnel itself and a module that crashes
 * or hangs takes only this process with it.
 *
 *   tcvarnel-probe QUESTION MODULE
 *
 * QUESTION is one of
 *   exports         which of the kind-deciding entry points the module exports
 *   packer-caps     the result of GetPackerCaps()
 *   lister-detect   the text ListGetDetectString leaves in a 5121-character buffer
 *   content-detect  the text ContentGetDetectString leaves in a 5121-character buffer
 *   fs-root         the text FsGetDefRootName leaves in a 101-character buffer
 *
 *   tcvarnel-probe configure-packer MODULE HEXINI   hands the module its default parameters (the
 *                   host's pkplugin.ini, its ANSI bytes in hex) through PackSetDefaultParams when
 *                   it exports it (not when HEXINI is "-": a second try after that call crashed),
 *                   then calls ConfigurePacker and waits until it returns; before
 *                   each call the line "calling ENTRY" names it, and "number 1" ends a good run
 *
 *   tcvarnel-probe configure-fs MODULE HEXINI [WINDOW]   the file system plugin's own settings
 *                   dialog, as the host opens it: FsInit with working callbacks, its default
 *                   parameters (fsplugin.ini, in hex) through FsSetDefaultParams, then
 *                   FsExecuteFile(WINDOW, "\\", "properties"); "calling ENTRY" before each call,
 *                   "number N" (FsExecuteFile's result) at the end
 *
 *   config.exe MODULE FOLDER WINDOW   the same helper under the name config.exe: configures the
 *                   file system plugin with FOLDER's fsplugin.ini, in this helper when it can load
 *                   the module, else in the helper of the other bitness beside it
 *
 *   tcvarnel-probe serve IDLEMS   stays, and answers the module questions above one after another:
 *                   each line of standard input is "QUESTION MODULE" (or "configure-packer HEXINI
 *                   MODULE"); each answer is what a run of its own writes, then "done"; the
 *                   module is let go after that (a configured packer before it; after a detect
 *                   string's pause, during which questions about other files may go on). A
 *                   module that would not leave this process ends the helper, so no module's
 *                   state reaches the next question. Ends when its input ends (at once, even inside a
 * module's code) and after IDLEMS milliseconds without a question.
 *
 *   tcvarnel-probe find-window CLASS    whether a top-level window of the class exists
 *   tcvarnel-probe close-window CLASS [MS]  sends WM_CLOSE to the first one and waits for it to be
 *                                       handled (10 seconds, or MS milliseconds)
 *   tcvarnel-probe start SHOW WAIT HEXPROGRAM HEXLINE   starts the program with the command line,
 *                                       both UTF-16LE in hex digits, the line exactly as it is;
 *                                       WAIT 1 waits for the program to end
 *   tcvarnel-probe shell SHOW WAIT HEXFILE HEXPARAMS   opens a file with its associated program
 *
 * One answer line is written to standard output:
 *   noload             the module could not be loaded
 *   noentry            the entry point is missing
 *   exports N          bit 1 FsInit, 2 ListLoad, 4 OpenArchive, 8 ContentGetValue
 *   number N           a signed decimal number
 *   text HEX           the text up to its first NUL, each byte as two lowercase hex digits
 *   window / nowindow  find-window's answer
 *   closed / nowindow / busy   close-window's answer (busy: the window did not answer in time)
 *   started / failed   start's and shell's answer
 * A module question first writes the line "ready" once the helper itself runs, so that a helper
 * that never ran (a Wine that cannot start it) is told apart from a module that faulted; a
 * serving helper writes "ready pending" instead while modules before are still in their pause.
 * and the exit code is 0. Exit code 2 means the command line was wrong; any other ending
 * (exit code 3 from the crash handler, a signal, no answer line) means the entry point faulted.
 */
#include "probe_loader.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { kDetectBuffer = 5121, kRootBuffer = 101, kIniNameBytes = 260 };

/* The packer interface's default-parameters record: size, interface version low and high, and
 * the default settings file name. */
struct DefaultParams {
    int size;
    unsigned versionLow;
    unsigned versionHigh;
    char iniName[kIniNameBytes];
};

static int HexDigit(char c) {
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : -1;
}

/* Hands the module its default parameters: the settings file (ANSI bytes in hex) and the version
 * of the interface this helper speaks. */
static void SetDefaultParams(void* function, const char* entry, const char* hexIni, unsigned versionHigh,
                             unsigned versionLow) {
    struct DefaultParams record;
    size_t i, n = 0;
    memset(&record, 0, sizeof record);
    record.size = (int)sizeof record;
    record.versionLow = versionLow;
    record.versionHigh = versionHigh;
    for (i = 0; hexIni[i] && hexIni[i + 1] && n + 1 < sizeof record.iniName; i += 2) {
        int high = HexDigit(hexIni[i]), low = HexDigit(hexIni[i + 1]);
        if (high < 0 || low < 0)
            break;
        record.iniName[n++] = (char)(high * 16 + low);
    }
    printf("calling %s\n", entry);
    fflush(stdout);
    ProbeCallDefaultParams(function, &record);
}

static int ConfigurePacker(void* module, const char* hexIni) {
    void* defaults = ProbeSymbol(module, "PackSetDefaultParams");
    void* configure = ProbeSymbol(module, "ConfigurePacker");
    if (defaults && strcmp(hexIni, "-") != 0)
        SetDefaultParams(defaults, "PackSetDefaultParams", hexIni, 2, 10);
    if (!configure) {
        puts("noentry");
        return 0;
    }
    puts("calling ConfigurePacker");
    fflush(stdout);
    ProbeCallConfigure(configure, module);
    puts("number 1");
    return 0;
}

static int ConfigureFs(void* module, const char* hexIni, const char* window) {
    void* init = ProbeSymbol(module, "FsInit");
    void* defaults = ProbeSymbol(module, "FsSetDefaultParams");
    void* execute = ProbeSymbol(module, "FsExecuteFile");
    char root[] = "\\";
    char verb[] = "properties";
    int result;
    if (!execute) {
        puts("noentry");
        return 0;
    }
    if (init) {
        puts("calling FsInit");
        fflush(stdout);
        ProbeCallFsInit(init, 0);
    }
    if (defaults)
        SetDefaultParams(defaults, "FsSetDefaultParams", hexIni, 2, 0);
    puts("calling FsExecuteFile");
    fflush(stdout);
    result = ProbeCallFsExecute(execute, strtoll(window, NULL, 10), root, verb);
    printf("number %d\n", result);
    return 0;
}

/* Whether this helper was started as config.exe (the name the host's configuration uses). */
static int StartedAsConfig(const char* self) {
    const char* name = self;
    const char* p;
    char lower[16];
    size_t i;
    for (p = self; *p; ++p)
        if (*p == '/' || *p == '\\')
            name = p + 1;
    for (i = 0; name[i] && i + 1 < sizeof lower; ++i)
        lower[i] = (char)(name[i] >= 'A' && name[i] <= 'Z' ? name[i] + 32 : name[i]);
    lower[i] = '\0';
    return strcmp(lower, "config.exe") == 0 || strcmp(lower, "config") == 0;
}

/* config.exe MODULE FOLDER WINDOW */
static int ConfigMain(int argc, char** argv) {
    static const char hexDigits[] = "0123456789abcdef";
    char hexIni[2 * 300 + 1];
    char ini[300];
    char folder[300];
    size_t i, n;
    void* module;
    if (argc != 4 || !ProbeAnsiArgument(argv[2], folder, (int)sizeof folder)) {
        fputs("usage: config.exe MODULE FOLDER WINDOW\n", stderr);
        return 2;
    }
    n = (size_t)snprintf(ini, sizeof ini, "%s\\fsplugin.ini", folder);
    if (n >= sizeof ini)
        return 2;
    for (i = 0; i < n; ++i) {
        hexIni[2 * i] = hexDigits[(unsigned char)ini[i] >> 4];
        hexIni[2 * i + 1] = hexDigits[(unsigned char)ini[i] & 15];
    }
    hexIni[2 * n] = '\0';
    if (!ProbeModuleFitsProcess(argv[1])) {
        const char* arguments[4];
        int rc;
        arguments[0] = "configure-fs";
        arguments[1] = argv[1];
        arguments[2] = hexIni;
        arguments[3] = argv[3];
        rc = ProbeRunSibling(sizeof(void*) == 8 ? "tcvarnel-probe-w32.exe" : "tcvarnel-probe-w64.exe",
                             arguments, 4);
        if (rc < 0) {
            puts("unavailable");
            return 0;
        }
        return rc;
    }
    puts("ready");
    fflush(stdout);
    ProbeInstallCrashExit();
    module = ProbeLoad(argv[1]);
    if (!module) {
        puts("noload");
        return 0;
    }
    return ConfigureFs(module, hexIni, argv[3]);
}

static void PrintText(const char* text) {
    size_t i;
    fputs("text ", stdout);
    for (i = 0; text[i] != '\0'; ++i)
        printf("%02x", (unsigned)(unsigned char)text[i]);
    fputs("\n", stdout);
}

static int AnswerText(void* module, const char* entry, int size) {
    void* function = ProbeSymbol(module, entry);
    char* buffer;
    if (!function) {
        puts("noentry");
        return 0;
    }
    buffer = (char*)calloc((size_t)size + 1, 1);
    if (!buffer)
        return 4;
    fflush(stdout);
    ProbeCallText(function, buffer, size);
    buffer[size] = '\0'; /* a module that fills the whole buffer still gets a terminated text */
    PrintText(buffer);
    free(buffer);
    return 0;
}

static int IsModuleQuestion(const char* question) {
    return strcmp(question, "exports") == 0 || strcmp(question, "packer-caps") == 0 ||
           strcmp(question, "lister-detect") == 0 || strcmp(question, "content-detect") == 0 ||
           strcmp(question, "fs-root") == 0;
}

/* Answers one of the module questions (IsModuleQuestion) about a loaded module. */
static int AnswerQuestion(void* module, const char* question) {
    if (strcmp(question, "exports") == 0) {
        int mask = 0;
        if (ProbeSymbol(module, "FsInit"))
            mask |= 1;
        if (ProbeSymbol(module, "ListLoad"))
            mask |= 2;
        if (ProbeSymbol(module, "OpenArchive"))
            mask |= 4;
        if (ProbeSymbol(module, "ContentGetValue"))
            mask |= 8;
        printf("exports %d\n", mask);
    } else if (strcmp(question, "packer-caps") == 0) {
        void* function = ProbeSymbol(module, "GetPackerCaps");
        if (!function) {
            puts("noentry");
        } else {
            int caps;
            fflush(stdout);
            caps = ProbeCallCaps(function);
            printf("number %d\n", caps);
        }
    } else if (strcmp(question, "lister-detect") == 0) {
        return AnswerText(module, "ListGetDetectString", kDetectBuffer);
    } else if (strcmp(question, "content-detect") == 0) {
        return AnswerText(module, "ContentGetDetectString", kDetectBuffer);
    } else {
        return AnswerText(module, "FsGetDefRootName", kRootBuffer);
    }
    return 0;
}

/* After a detect string was asked, the module is given a moment before it is let go, as the host
 * gives it. */
enum { kDetectPauseMs = 50 };

static int PausesBeforeRelease(const char* question, void* module) {
    return (strcmp(question, "lister-detect") == 0 && ProbeSymbol(module, "ListGetDetectString")) ||
           (strcmp(question, "content-detect") == 0 && ProbeSymbol(module, "ContentGetDetectString"));
}

/* Modules let go after their pause, each on a thread of its own, while the next questions (about
 * other files) go on; `stayed` tells afterwards whether one would not leave the process. */
enum { kMaxReleases = 8 };
struct Release {
    void* thread;
    void* module;
    char* path;
    int stayed;
};
static struct Release g_releases[kMaxReleases];

static void ReleaseAfterPause(void* argument) {
    struct Release* release = (struct Release*)argument;
    ProbeSleep(kDetectPauseMs);
    ProbeRelease(release->module);
    release->stayed = ProbeStillLoaded(release->path);
}

static int ReleasePending(void) {
    int i;
    for (i = 0; i < kMaxReleases; ++i)
        if (g_releases[i].thread)
            return 1;
    return 0;
}

/* Waits for the releases under way that are over already or that are about the file `path` (all
 * of them when path is 0); 1 when one of their modules stayed in the process. */
static int FinishReleases(const char* path) {
    int i, stayed = 0;
    for (i = 0; i < kMaxReleases; ++i) {
        struct Release* release = &g_releases[i];
        if (!release->thread || (path && !ProbeThreadEnded(release->thread) &&
                                 strcmp(path, release->path) != 0 && !ProbeSameFile(path, release->path)))
            continue;
        ProbeJoinThread(release->thread);
        release->thread = 0;
        free(release->path);
        release->path = 0;
        stayed |= release->stayed;
    }
    return stayed;
}

/* Lets the module go: after the pause (on a thread, so the caller's next questions need not wait it
 * out) when the question was a detect string, else at once. 1 when it stays in the process. */
static int ReleaseModule(void* module, const char* path, int pause) {
    struct Release* release = 0;
    int i;
    for (i = 0; pause && i < kMaxReleases && !release; ++i)
        if (!g_releases[i].thread)
            release = &g_releases[i];
    if (pause && !release) { /* as many pauses under way as there may be: wait for them */
        if (FinishReleases(0)) {
            ProbeSleep(kDetectPauseMs);
            ProbeRelease(module);
            return 1;
        }
        release = &g_releases[0];
    }
    if (release) {
        release->module = module;
        release->path = (char*)malloc(strlen(path) + 1);
        if (release->path) {
            strcpy(release->path, path);
            release->thread = ProbeStartThread(ReleaseAfterPause, release);
            if (release->thread)
                return 0;
            free(release->path);
            release->path = 0;
        }
        ProbeSleep(kDetectPauseMs);
    }
    ProbeRelease(module);
    return ProbeStillLoaded(path);
}

/* tcvarnel-probe serve: one module question a line ("QUESTION MODULE"), each answered as a run
 * of its own would answer it, then "done". The module is let go after the answer is out, so the
 * caller goes on meanwhile; a module that stays in the process after that (its state would reach
 * the next question) ends this helper without a word. A question about another file may begin
 * while modules before are still in their pause; it says so ("ready pending"), so that a fault
 * then can be asked again of a fresh helper. Ends at the end of its input and after idleMs
 * without a question. */
static int Serve(unsigned idleMs) {
    static char line[1 << 18];
    ProbeInstallCrashExit();
    while (ProbeNextLine(line, (int)sizeof line, idleMs)) {
        char* path = strchr(line, ' ');
        char* argument = NULL;
        size_t length = strlen(line);
        void* module;
        if (length > 0 && line[length - 1] == '\r')
            line[length - 1] = '\0';
        if (!path || path[1] == '\0')
            return 2;
        *path++ = '\0';
        if (strcmp(line, "configure-packer") == 0) {
            /* its one argument (hex digits, or "-") comes before the module */
            argument = path;
            path = strchr(path, ' ');
            if (!path || path[1] == '\0')
                return 2;
            *path++ = '\0';
        } else if (!IsModuleQuestion(line)) {
            return 2;
        }
        /* The same file again, or a configuration, gets a module loaded afresh: the ones before
         * are let go first. */
        if (FinishReleases(argument ? 0 : path))
            return 0;
        puts(ReleasePending() ? "ready pending" : "ready");
        fflush(stdout);
        module = ProbeLoad(path);
        if (!module) {
            puts("noload");
            puts("done");
            fflush(stdout);
            continue;
        }
        if (argument) {
            ConfigurePacker(module, argument);
            fflush(stdout);
            ProbeRelease(module);
            puts("done");
            fflush(stdout);
            if (ProbeStillLoaded(path))
                return 0;
            continue;
        }
        if (AnswerQuestion(module, line) != 0)
            return 4;
        puts("done");
        fflush(stdout);
        if (ReleaseModule(module, path, PausesBeforeRelease(line, module)))
            return 0;
    }
    FinishReleases(0);
    return 0;
}

/* The answer goes out before any wait, so the caller learns at once that the program runs. */
static void AnswerStarted(void) {
    puts("started");
    fflush(stdout);
}

int main(int argc, char** argv) {
    const char* question;
    void* module;
    int rc = 0;
    if (argc >= 1 && StartedAsConfig(argv[0]))
        return ConfigMain(argc, argv);
    if (argc == 3 && strcmp(argv[1], "serve") == 0)
        return Serve((unsigned)strtoul(argv[2], 0, 10));
    if (argc >= 5 && (strcmp(argv[1], "start") == 0 || strcmp(argv[1], "shell") == 0)) {
        int show = atoi(argv[2]), wait = atoi(argv[3]), started;
        if (strcmp(argv[1], "start") == 0)
            started = argc == 6 && ProbeStart(argv[4], argv[5], show, wait, AnswerStarted);
        else
            started = argc == 6 && ProbeShell(argv[4], argv[5], show, wait, AnswerStarted);
        if (!started)
            puts("failed");
        return 0;
    }
    if (argc < 3 || argc > 5) {
        fputs("usage: tcvarnel-probe exports|packer-caps|lister-detect|content-detect|fs-root MODULE\n",
              stderr);
        return 2;
    }
    question = argv[1];
    if (strcmp(question, "find-window") == 0) {
        puts(ProbeFindWindow(argv[2]) ? "window" : "nowindow");
        return 0;
    }
    if (strcmp(question, "close-window") == 0) {
        int answer = ProbeCloseWindow(argv[2], argc == 4 ? (unsigned)strtoul(argv[3], 0, 10) : 10000u);
        puts(answer == 1 ? "closed" : answer == 2 ? "busy" : "nowindow");
        return 0;
    }
    if (argc != 3 && !(argc == 4 && strcmp(question, "configure-packer") == 0) &&
        !((argc == 4 || argc == 5) && strcmp(question, "configure-fs") == 0)) {
        fputs("tcvarnel-probe: a module question takes one module\n", stderr);
        return 2;
    }
    if (!IsModuleQuestion(question) && strcmp(question, "configure-packer") != 0 &&
        strcmp(question, "configure-fs") != 0) {
        fprintf(stderr, "tcvarnel-probe: unknown question %s\n", question);
        return 2;
    }
    puts("ready");
    fflush(stdout);
    ProbeInstallCrashExit();
    module = ProbeLoad(argv[2]);
    if (!module) {
        puts("noload");
        return 0;
    }
    if (strcmp(question, "configure-packer") == 0)
        rc = ConfigurePacker(module, argv[3]);
    else if (strcmp(question, "configure-fs") == 0)
        rc = ConfigureFs(module, argv[3], argc == 5 ? argv[4] : "0");
    else
        rc = AnswerQuestion(module, question);
    fflush(stdout);
    if (PausesBeforeRelease(question, module))
        ProbeSleep(kDetectPauseMs);
    ProbeRelease(module);
    return rc;
}
