/* Runs a program and writes the most memory it held at once (resident KiB) to a file. The
 * program is started from this small process, so what it holds before its own image runs (the
 * pages a fork shares with a large test process) does not count.
 *
 *   peak-memory REPORT PROGRAM [ARGS...]   exits with the program's exit code */
#include <stdio.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 3)
        return 127;
    pid_t pid = fork();
    if (pid == 0) {
        execv(argv[2], argv + 2);
        _exit(127);
    }
    int status = 0;
    struct rusage usage;
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid)
        return 127;
    FILE* report = fopen(argv[1], "w");
    if (report) {
        fprintf(report, "%ld\n", usage.ru_maxrss);
        fclose(report);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}
