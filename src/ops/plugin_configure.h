#pragma once
// The Configure command: a packer's own settings dialog, the file-system plugins' outside
// configuration program, a Lister's or Content plugin's settings file.

#include "ops/command.h"

#include <cstdint>
#include <string_view>

namespace varnel {

// Runs the module's PackSetDefaultParams (with the host's pkplugin.ini) and ConfigurePacker in the
// helper of its bitness and waits until the plugin's dialog is closed. False when the module
// cannot be loaded or exports no ConfigurePacker; a fault inside the plugin is reported.
bool ConfigurePackerPlugin(const HostContext& host, std::string_view modulePath);

// Starts config.exe from the program's folder for the module; says so when it is missing.
void ConfigureFsPlugin(const HostContext& host, std::string_view modulePath, std::string_view configFolder,
                       int64_t listWindow);

// The whole command on a table row, by the row's kind.
Result ConfigureRow(const Context& context, int row, int64_t listWindow);

} // namespace varnel
