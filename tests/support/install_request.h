#pragma once
// An install of a module file as the tests ask for it: where it lies, whether to ask, restart,
// the extensions given, whether a known module is reported, whether its bitness was accepted.

#include "ops/install.h"

#include <string>

namespace varnel::test {

inline InstallRequest Install(std::string path, bool ask, bool restart, std::string extensions,
                              bool reportDuplicate, bool bitnessAccepted = false) {
    InstallRequest request;
    request.path = std::move(path);
    request.askConfirmation = ask;
    request.restartAfter = restart;
    request.extensions = std::move(extensions);
    request.reportDuplicate = reportDuplicate;
    request.bitnessAccepted = bitnessAccepted;
    return request;
}

} // namespace varnel::test
