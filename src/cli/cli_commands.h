#pragma once
// The commands of varnel. Each runs the same code as its counterpart in the window, with the
// window's checks, messages and atomic writes, and returns the exit code.

#include "cli/cli_session.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace varnel::cli {

// The host and its configuration exist (else exit code 4, with the reason). With
// configurationMayBeNew, a host that has not made its wincmd.ini yet (never started) will do: the
// first write makes it, as the host itself would.
bool RequireHost(Session& session, bool configurationMayBeNew = false);

// The plugin table with details, versions included whatever the window shows; on a terminal a
// long load shows its progress, and Ctrl+C ends it early (the rest keep their file names).
void LoadWithDetails();

struct ListRequest {
    std::string kind;  // empty: every kind
    bool all = false;  // disabled plugins too
    bool keys = false; // only "kind:key" per line (for completion)
};
int ListPlugins(Session& session, const ListRequest& request);
int ShowPlugin(Session& session, const std::string& plugin);

struct InstallRequest {
    std::vector<std::string> files;
    std::optional<std::string> extensions; // a packer's extensions
    std::optional<std::string> name;       // an FS plugin's root name
    std::optional<std::string> detect;     // a Lister or Content plugin's detect string
    std::optional<int> flags;              // a packer's flags
    bool restart = false;
};
int InstallPlugins(Session& session, const InstallRequest& request);

int UninstallPlugins(Session& session, const std::vector<std::string>& plugins);
int SetPluginsEnabled(Session& session, const std::vector<std::string>& plugins, bool enable);
int RenamePlugin(Session& session, const std::string& plugin, const std::string& newText);
int OrderPlugins(Session& session, const std::string& kind, const std::vector<std::string>& plugins);
int TweakPacker(Session& session, const std::string& packer, const std::vector<std::string>& edits);
int WritePluginReport(Session& session, const std::string& columns, const std::string& file);
int HostCommand(Session& session, const std::string& action, std::optional<int> mode);
int ShowHistory(Session& session);
// The health check; with fix the safe repairs run, and the findings numbered in `repairs` too.
int CheckHealth(Session& session, bool fix, const std::vector<int>& repairs);
// Undoes the last `count` changes, or with `to` every change down to that record ("undo to here").
int UndoChanges(Session& session, int count, std::optional<uint64_t> to);

// Where each of the located paths came from.
struct ConfigOrigins {
    std::string prefix, host, ini, settings, language;
};
int ShowConfig(Session& session, const ConfigOrigins& origins);

} // namespace varnel::cli
