#pragma once
// Starting and restarting the host, showing a plugin's folder in it, and editing its
// configuration file.

#include "ops/command.h"

#include <string>
#include <string_view>

namespace varnel {

// The host's command line: the executable, "/i=" for a configuration other than the Windows
// folder's wincmd.ini (full path for Run, short form for Restart), "/f=" for an FTP file.
std::string HostCommandLine(const Settings& settings, bool shortConfigurationPath);

// The short (8.3) form of a path; the path itself where there are no short names; "" when the
// file does not exist.
std::string ShortPathOf(std::string_view path);

// Starts the host (Run) and waits 500 ms; fails (said) when it cannot be started here.
Result RunHost(const Context& context);

// Restarts the host by RestartCmd: 0 closes the first host window, 1 every host window (giving
// up after a while when one will not close), anything else runs the external restarter; then
// waits RestartTime. Fails (said) when it gave up.
Result RestartHost(const Context& context);

// Starts BrowseCmd for the folder of a plugin module and waits 300 ms.
void BrowsePluginFolder(const Settings& settings, std::string_view moduleFile);

// Opens the host configuration file with the program associated with it (the desktop's, else
// Wine's Notepad); says so when nothing could open it.
void EditHostConfiguration(const Settings& settings);

// After an install that left the running host without its new plugin: says that the host must
// be restarted (the window's status bar offers its Restart link). What could not be started is
// said on the status line (Interaction::Status).
void OfferRestart();

// How long mode 1 keeps asking host windows to close before it gives up (30 s; tests shorten it).
void SetRestartGiveUpMs(unsigned milliseconds);
// How long mode 0 waits for a host to handle its close and end (5 minutes; tests shorten it).
void SetCloseGuardMs(unsigned milliseconds);

} // namespace varnel
