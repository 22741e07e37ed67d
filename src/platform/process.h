#pragma once
// Child processes of the machine itself (not the host's Windows view).

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace varnel::platform {

struct CapturedRun {
    bool started = false;
    bool exited = false; // ended by itself (not by a signal or by us)
    int exitCode = -1;
    bool timedOut = false; // killed because it ran too long
    std::string output;    // standard output
};

// Runs a program (argv[0] looked up on PATH when it has no "/"), with extra environment values,
// standard input empty and standard error discarded, and waits at most timeoutMs for it; a
// child still running then is killed. The output is capped at maxOutput bytes.
CapturedRun RunAndCapture(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                          unsigned timeoutMs, size_t maxOutput = 1 << 20);

// The full path of a program on PATH, or nullopt.
std::optional<std::string> FindOnPath(const std::string& program);

// The folder of this program's executable, as a machine path.
std::string OwnExecutableFolder();

} // namespace varnel::platform
