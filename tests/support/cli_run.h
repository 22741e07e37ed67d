#pragma once
// The built varnel run as a script runs it, and listings of whole folders with content hashes,
// for tests that check what the program changed, and what it left alone, from the outside.

#include "temp_prefix.h"

#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

namespace varnel::test {

struct CliRun {
    int exit = -1;
    std::string out;
    std::string err;
    long peakKb = 0; // with CliOptions::measureMemory: the most it held at once (resident, KiB)
};

struct CliOptions {
    int interruptAfterMs = -1;   // Ctrl+C reaches it after that time
    long long maxFileBytes = -1; // no file it writes may grow past this (a disk that is full)
    std::string settings;        // its settings file: TC_varnel.ini in the prefix when empty
    std::string output;          // standard output goes to this file rather than to CliRun::out
    bool measureMemory = false;  // CliRun::peakKb is measured
};

// Runs varnel with the prefix and the settings file TC_varnel.ini in it, standard input closed.
CliRun Varnel(const TempPrefix& prefix, std::vector<std::string> args, const CliOptions& options = {});
// Starts it the same way and returns at once; the caller waits for (or kills) the process.
pid_t StartVarnel(const TempPrefix& prefix, std::vector<std::string> args, const CliOptions& options = {});

// Every entry below root (links listed with their target, never followed), except below leaveOut.
std::map<std::string, std::string> Digest(const std::string& root, const std::string& leaveOut = {});

} // namespace varnel::test
