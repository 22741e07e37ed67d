#pragma once
// The only road to the host's wincmd.ini: values, key lists, writes and deletions, and the
// %COMMANDER_PATH% substitutions of stored paths.

#include <string>
#include <string_view>
#include <vector>

#include "platform/profile.h"

namespace varnel {

// Limits of the host configuration access (the formats in the file do not depend on them).
constexpr size_t kValueBufferChars = 5121;
constexpr size_t kMaxExpandedPath = 800;

inline constexpr std::string_view kCommanderPathVar = "%COMMANDER_PATH%";
inline constexpr std::string_view kDisabledSection = "DisabledPlugins";

struct HostContext {
    std::string HostExe;     // the host program
    std::string HostDir;     // what %COMMANDER_PATH% stands for
    std::string HostIniPath; // the wincmd.ini in use
    int HostBits = 0;        // 32 or 64 by the host program's file; 0 when it cannot be read
};

const HostContext& Host();

// Also reads the host program's bitness, which decides the modules it loads.
void SetHostPaths(std::string_view hostExePath, std::string_view iniPath);

std::string ReadHostValue(std::string_view section, std::string_view key);
std::string ReadHostPath(std::string_view section, std::string_view key);

// Both return false when the file could not be written; it is then unchanged.
bool WriteHostValue(std::string_view section, std::string_view key, std::string_view value);
bool DeleteHostKey(std::string_view section, std::string_view key, bool moveToDisabled);

// Takes the keys out of the section and writes the entries (values as WriteHostValue writes them)
// after its last remaining key, in one edit. False when the file could not be written.
bool ReplaceHostKeys(std::string_view section, const std::vector<std::string>& removeKeys,
                     const std::vector<std::pair<std::string, std::string>>& entries);

// Fills the shared key list with the section's key names, in file order.
void ReadSectionKeys(std::string_view section);
const std::vector<std::string>& KeyList();

std::string ExpandHostPath(std::string_view text);

// "" while the host configuration can be read (or is missing, to be made by the first write);
// else what the user is told: the file, and why it cannot be read. Nothing is written to it then.
std::string HostConfigProblem();

// All writes to the host configuration between its start and Commit land in the file as one
// replacement, so the file is always either as it was or as the whole command left it.
class HostConfigTransaction {
public:
    HostConfigTransaction();
    // A transaction on the host's file as it was when `since` was taken (when a dialog opened):
    // what another program changed meanwhile is kept, or refused as a conflict in the same section.
    explicit HostConfigTransaction(const platform::ProfileSnapshot& since);
    bool Commit() { return m_batch.Commit(); }
    // The last Commit failed because another program changed the same sections meanwhile.
    static bool Conflicted() { return platform::ProfileBatch::Conflicted(); }

private:
    platform::ProfileReadScope m_reads; // a command's many reads look at each file once
    platform::ProfileBatch m_batch;
};
// The host's file now, for a transaction started later.
platform::ProfileSnapshot HostConfigSnapshot();

std::string ContractWindowsDir(std::string_view path);

} // namespace varnel
