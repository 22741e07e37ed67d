#include "platform/process.h"

#include "platform/posix/child_process.h"
#include "platform/wait_observer.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace varnel::platform {

namespace detail {

std::vector<std::string> ChildEnvironment(const std::map<std::string, std::string>& extra) {
    std::vector<std::string> strings;
    for (char** e = environ; e && *e; ++e) {
        std::string entry = *e;
        if (extra.count(entry.substr(0, entry.find('='))) == 0)
            strings.push_back(entry);
    }
    for (const auto& [name, value] : extra)
        strings.push_back(name + "=" + value);
    return strings;
}

std::vector<char*> CStrings(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (std::string& s : strings)
        pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

} // namespace detail

std::optional<std::string> FindOnPath(const std::string& program) {
    if (program.find('/') != std::string::npos)
        return access(program.c_str(), X_OK) == 0 ? std::optional<std::string>(program) : std::nullopt;
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        // An empty entry means the current folder.
        std::string dir = end > start ? dirs.substr(start, end - start) : std::string(1, '.');
        std::string candidate = dir + "/" + program;
        struct stat st;
        if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return std::nullopt;
}

std::string OwnExecutableFolder() {
    char buffer[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return ".";
    std::string path(buffer, static_cast<size_t>(n));
    size_t slash = path.rfind('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

CapturedRun RunAndCapture(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                          unsigned timeoutMs, size_t maxOutput) {
    CapturedRun result;
    if (argv.empty())
        return result;
    std::optional<std::string> program = FindOnPath(argv[0]);
    if (!program)
        return result;

    std::vector<std::string> envStrings = detail::ChildEnvironment(env);
    std::vector<char*> envp = detail::CStrings(envStrings);
    std::vector<std::string> args = argv;
    std::vector<char*> argp = detail::CStrings(args);

    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0)
        return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int rc = posix_spawn(&pid, program->c_str(), &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (rc != 0) {
        close(pipeFds[0]);
        return result;
    }
    result.started = true;
    detail::WaitEndNotice endNotice;

    // Reads until the child itself has ended. The end of the output is not waited for: a daemon
    // the child started (Wine's server) may hold the pipe open long after.
    const auto started = std::chrono::steady_clock::now();
    auto drain = [&](int waitMs) {
        pollfd pfd{pipeFds[0], POLLIN, 0};
        while (poll(&pfd, 1, waitMs) > 0) {
            char buffer[4096];
            ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
            if (n <= 0)
                return false;
            size_t room = maxOutput - std::min(maxOutput, result.output.size());
            result.output.append(buffer, std::min(room, static_cast<size_t>(n)));
            waitMs = 0;
        }
        return true;
    };
    int status = 0;
    bool outputOpen = true;
    for (;;) {
        if (outputOpen)
            outputOpen = drain(10);
        else
            usleep(5000);
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            if (outputOpen)
                drain(0);
            break;
        }
        if (detail::WaitMustEnd(started, timeoutMs, result)) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            close(pipeFds[0]);
            return result;
        }
    }
    close(pipeFds[0]);
    if (WIFEXITED(status)) {
        result.exited = true;
        result.exitCode = WEXITSTATUS(status);
    }
    return result;
}

struct ServingChild::State {
    std::map<std::string, std::string> extra;
    std::vector<std::string> environment; // what it was started with
    pid_t pid = -1;
    int input = -1;  // our end of its standard input
    int output = -1; // our end of its standard output
    bool ended = false;

    void Reap(bool kill) {
        if (pid < 0 || ended)
            return;
        if (kill)
            ::kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        ended = true;
    }
};

namespace {

// Writes all of the bytes to a pipe whose reader may be gone: that is an error here, not the
// end of this program by SIGPIPE.
bool WriteAllToPipe(int fd, std::string_view bytes) {
    sigset_t pipeSignal, previous;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    bool ok = true;
    while (!bytes.empty()) {
        const ssize_t n = write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    if (!ok && errno == EPIPE) {
        const timespec now{0, 0};
        sigtimedwait(&pipeSignal, nullptr, &now); // the signal this write raised, if it is pending
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return ok;
}

} // namespace

ServingChild::ServingChild(const std::vector<std::string>& argv,
                           const std::map<std::string, std::string>& env)
    : m_state(std::make_unique<State>()) {
    std::optional<std::string> program = argv.empty() ? std::nullopt : FindOnPath(argv[0]);
    if (!program)
        return;
    m_state->extra = env;
    m_state->environment = detail::ChildEnvironment(env);
    std::vector<std::string> envStrings = m_state->environment;
    std::vector<char*> envp = detail::CStrings(envStrings);
    std::vector<std::string> args = argv;
    std::vector<char*> argp = detail::CStrings(args);
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0)
        return;
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(in[0]);
        close(in[1]);
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, program->c_str(), &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    if (rc != 0) {
        close(in[1]);
        close(out[0]);
        return;
    }
    m_state->pid = pid;
    m_state->input = in[1];
    m_state->output = out[0];
}

ServingChild::~ServingChild() {
    // It ends by itself, at once, when its input ends, even inside a module's code: nothing to
    // wait for but its exit status, which a thread of its own collects.
    if (m_state->input >= 0)
        close(m_state->input);
    if (Running())
        std::thread([pid = m_state->pid] { waitpid(pid, nullptr, 0); }).detach();
    if (m_state->output >= 0)
        close(m_state->output);
}

bool ServingChild::Started() const {
    return m_state->pid > 0;
}

bool ServingChild::EnvironmentChanged() const {
    return detail::ChildEnvironment(m_state->extra) != m_state->environment;
}

bool ServingChild::Running() {
    if (m_state->pid <= 0 || m_state->ended)
        return false;
    int status = 0;
    if (waitpid(m_state->pid, &status, WNOHANG) == m_state->pid)
        m_state->ended = true;
    return !m_state->ended;
}

CapturedRun ServingChild::Ask(std::string_view request, std::string_view endLine, unsigned timeoutMs,
                              size_t maxOutput) {
    CapturedRun result;
    if (!Running())
        return result;
    result.started = true;
    detail::WaitEndNotice endNotice;
    const bool sent = WriteAllToPipe(m_state->input, std::string(request) + "\n");
    const auto started = std::chrono::steady_clock::now();
    auto drain = [&](int waitMs) {
        pollfd pfd{m_state->output, POLLIN, 0};
        while (poll(&pfd, 1, waitMs) > 0) {
            char buffer[4096];
            const ssize_t n = read(m_state->output, buffer, sizeof buffer);
            if (n <= 0)
                return;
            const size_t room = maxOutput - std::min(maxOutput, result.output.size());
            result.output.append(buffer, std::min(room, static_cast<size_t>(n)));
            if (detail::HasAnswerEnd(result.output, endLine))
                return;
            waitMs = 0;
        }
    };
    for (;;) {
        if (sent)
            drain(10);
        else
            usleep(5000);
        if (detail::HasAnswerEnd(result.output, endLine)) {
            result.exited = true;
            result.exitCode = 0;
            return result;
        }
        int status = 0;
        if (waitpid(m_state->pid, &status, WNOHANG) == m_state->pid) {
            m_state->ended = true;
            drain(0);
            if (WIFEXITED(status)) {
                result.exited = true;
                result.exitCode = WEXITSTATUS(status);
            }
            return result;
        }
        if (detail::WaitMustEnd(started, timeoutMs, result)) {
            m_state->Reap(true);
            return result;
        }
    }
}

} // namespace varnel::platform
