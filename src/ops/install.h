#pragma once
// Installing a plugin module file: registering it where it lies.

#include <string>
#include <string_view>

namespace varnel {

void InstallPlugin(std::string_view modulePath, bool askConfirmation, bool restartAfter,
                   std::string_view presetExtensions, bool reportDuplicate);

// The packer flags dialog that follows a packer install when InstTweak is on. This build has no
// such dialog yet: the call returns at once and the capability flags just written stay.
void OpenPackerTweakDialog(std::string_view modulePath);

// Commits a command's writes to the host configuration; when they cannot be written, tells the
// user which file and returns false (the file is then unchanged).
class HostConfigTransaction;
bool CommitOrReport(HostConfigTransaction& transaction);

} // namespace varnel
