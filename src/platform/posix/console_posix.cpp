#include "platform/console.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sys/ioctl.h>
#include <unistd.h>

namespace varnel::platform {

size_t TerminalColumns() {
    winsize size{};
    if (!isatty(STDOUT_FILENO) || ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0)
        return 0;
    return size.ws_col;
}

bool ErrorOutputIsTerminal() {
    return isatty(STDERR_FILENO) != 0;
}

namespace {
volatile std::sig_atomic_t g_interrupted = 0;
void OnInterrupt(int) {
    g_interrupted = 1;
}
} // namespace

struct InterruptCatcher::Previous {
    struct sigaction action {};
};

InterruptCatcher::InterruptCatcher() : m_previous(new Previous) {
    g_interrupted = 0;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &m_previous->action);
}

InterruptCatcher::~InterruptCatcher() {
    sigaction(SIGINT, &m_previous->action, nullptr);
    delete m_previous;
}

bool InterruptCatcher::Interrupted() {
    return g_interrupted != 0;
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

std::string AbsoluteMachinePath(const std::string& machinePath) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(machinePath, error);
    return error ? machinePath : absolute.lexically_normal().string();
}

bool DisplayAvailable() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        if (const char* value = std::getenv(name); value && *value)
            return true;
    return false;
}

void UseCallerConsole() {}

bool InputIsTerminal() {
    return isatty(STDIN_FILENO) != 0;
}

std::optional<std::string> ReadInputLine() {
    std::string line;
    for (int c; (c = std::fgetc(stdin)) != EOF;) {
        if (c == '\n')
            return line;
        line.push_back(static_cast<char>(c));
    }
    return line.empty() ? std::nullopt : std::optional<std::string>(line);
}

bool WriteOutput(std::string_view utf8, bool toError) {
    std::FILE* stream = toError ? stderr : stdout;
    return std::fwrite(utf8.data(), 1, utf8.size(), stream) == utf8.size();
}

void ClearProgressLine(size_t) {
    std::fputs("\r\033[K", stderr);
}

} // namespace varnel::platform
