#pragma once
// Installing a plugin module file: registering it where it lies.

#include <string>
#include <string_view>

namespace varnel {

// A 64-bit module chosen beside its 32-bit twin is registered under the twin's name; a module the
// host cannot load is installed only after the user agreed (unless bitnessAccepted says they did).
// givenAssociation: an FS name or detect string the user gave, registered instead of the module's.
void InstallPlugin(std::string_view chosenPath, bool askConfirmation, bool restartAfter,
                   std::string_view presetExtensions, bool reportDuplicate, bool bitnessAccepted = false,
                   std::string_view givenAssociation = {});

// The question whether to install the module, with lines of details (a description, a version)
// after its name and the registration it has already; true when the user agreed.
bool ConfirmInstall(std::string_view chosenPath, std::string_view details);

// True when the host loads the module (or its twin), else when the user agrees to install it anyway
// (Interaction::AcceptBitness).
bool AcceptBitness(std::string_view modulePath);

// The packer flags dialog that follows a packer install when InstTweak is on; Cancel keeps the
// capability flags just written.
void OpenPackerTweakDialog(std::string_view modulePath);

// Commits a command's writes to the host configuration; when they cannot be written, tells the
// user which file and returns false (the file is then unchanged).
class HostConfigTransaction;
bool CommitOrReport(HostConfigTransaction& transaction);

} // namespace varnel
