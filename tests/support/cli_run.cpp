#include "cli_run.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <poll.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace varnel::test {

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Argv(const TempPrefix& prefix, std::vector<std::string> args,
                              const CliOptions& options) {
    std::vector<std::string> argv = {VARNEL_CLI, "--prefix", prefix.Dir(), "--settings",
                                     options.settings.empty() ? prefix.Dir() + "/TC_varnel.ini"
                                                              : options.settings};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

// The arguments as execv takes them, made before fork: a test may run programs from several
// threads, and a child of a threaded process may only make async-signal-safe calls until it
// runs the program (another thread may have held the allocator's lock at the fork).
std::vector<char*> Raw(std::vector<std::string>& argv) {
    std::vector<char*> raw;
    for (std::string& arg : argv)
        raw.push_back(arg.data());
    raw.push_back(nullptr);
    return raw;
}

} // namespace

CliRun Varnel(const TempPrefix& prefix, std::vector<std::string> args, const CliOptions& limits) {
    std::vector<std::string> argv = Argv(prefix, std::move(args), limits);
    const std::string peakReport = prefix.Dir() + "/peak-memory.txt";
    if (limits.measureMemory)
        argv.insert(argv.begin(), {VARNEL_PEAK_MEMORY, peakReport});
    std::vector<char*> raw = Raw(argv);
    const rlimit limit{static_cast<rlim_t>(limits.maxFileBytes), static_cast<rlim_t>(limits.maxFileBytes)};
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0)
        return {};
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        if (!limits.output.empty()) {
            const int file = open(limits.output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(file, 1);
        }
        dup2(err[1], 2);
        int null = open("/dev/null", O_RDONLY);
        dup2(null, 0);
        close(out[0]);
        close(err[0]);
        if (limits.maxFileBytes >= 0) {
            signal(SIGXFSZ, SIG_IGN); // a write past the limit fails as on a full disk
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        execv(raw[0], raw.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    CliRun run;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int open = 2;
    int interruptAfterMs = limits.interruptAfterMs;
    const auto started = std::chrono::steady_clock::now();
    while (open > 0 && poll(fds, 2, interruptAfterMs >= 0 ? 50 : 120000) >= 0) {
        if (interruptAfterMs >= 0 &&
            std::chrono::steady_clock::now() - started > std::chrono::milliseconds(interruptAfterMs)) {
            kill(pid, SIGINT);
            interruptAfterMs = -1;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP)))
                continue;
            char buffer[65536];
            ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n <= 0) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            } else {
                (i == 0 ? run.out : run.err).append(buffer, static_cast<size_t>(n));
            }
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    run.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (limits.measureMemory) {
        std::ifstream(peakReport) >> run.peakKb;
        fs::remove(peakReport);
    }
    return run;
}

pid_t StartVarnel(const TempPrefix& prefix, std::vector<std::string> args, const CliOptions& options) {
    std::vector<std::string> argv = Argv(prefix, std::move(args), options);
    std::vector<char*> raw = Raw(argv);
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        execv(raw[0], raw.data());
        _exit(127);
    }
    return pid;
}

std::map<std::string, std::string> Digest(const std::string& root, const std::string& leaveOut) {
    std::map<std::string, std::string> digest;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        const std::string path = it->path().string();
        if (!leaveOut.empty() && path.starts_with(leaveOut)) {
            if (it->is_directory() && !it->is_symlink())
                it.disable_recursion_pending();
            continue;
        }
        const fs::file_status status = it->symlink_status();
        if (fs::is_symlink(status)) {
            digest[path] = "link " + fs::read_symlink(it->path()).string();
        } else if (fs::is_regular_file(status)) {
            std::ifstream in(path, std::ios::binary);
            std::ostringstream bytes;
            bytes << in.rdbuf();
            digest[path] = "file " + std::to_string(std::hash<std::string>{}(bytes.str()));
        } else {
            digest[path] = fs::is_directory(status) ? "folder" : "other";
        }
    }
    return digest;
}

} // namespace varnel::test
