#pragma once
// Installing a plugin module file: registering it where it lies.

#include "ops/command.h"

#include <optional>
#include <string>
#include <string_view>

namespace varnel {

// What to install and how. A 64-bit module chosen beside its 32-bit twin is registered under the
// twin's name; a module the host cannot load is installed only after the user agreed (unless
// bitnessAccepted says they did).
struct InstallRequest {
    std::string path;             // the chosen module (Windows path)
    bool askConfirmation = false; // ask whether to install it at all
    bool restartAfter = false;    // restart the host afterwards, when the settings say so
    std::string extensions;       // a packer's extensions; asked for when empty
    bool reportDuplicate = false; // a module registered already is said to be so
    bool bitnessAccepted = false;
    std::string association;  // an FS name or detect string, registered instead of the module's
    std::optional<int> flags; // a packer's flags for every extension, instead of its own
};

// Installs the module as one change: copied into the plugin folder when it lies elsewhere (if the
// user wants), registered with its options. Done, or refused, failed, unanswered or cancelled
// with every file as it was.
Result InstallPlugin(const Context& context, const InstallRequest& request);

// After an install: restarts the host when asked to and the settings allow it, else says that a
// running host must be restarted to see what was installed.
void RestartOrOffer(const Context& context, bool restart, bool installed = true);

// The question whether to install the module, with lines of details (a description, a version)
// after its name and the registration it has already; true when the user agreed.
bool ConfirmInstall(const Context& context, std::string_view chosenPath, std::string_view details);

// True when the host loads the module (or its twin), else when the user agrees to install it anyway
// (Interaction::AcceptBitness).
bool AcceptBitness(const Context& context, std::string_view modulePath);

} // namespace varnel
