#pragma once
// Uninstall, disable, enable and rename: the main window's commands on the selected plugins,
// free of the window. Each takes the table rows of the selected list rows in list order (the
// first is the current row).

#include "catalog/registration.h"
#include "ops/command.h"

#include <string>

#include <vector>

namespace varnel {

Result UninstallSelected(const Context& context, const std::vector<int>& selectedRows);
// Disables the rows, or enables them when the first is disabled.
Result DisableOrEnableSelected(const Context& context, const std::vector<int>& selectedRows);
Result RenameCurrent(const Context& context, const std::vector<int>& selectedRows);
// A packer's extensions and flags as the user left them, as one change named with the label;
// since: the host's file when the dialog opened.
Result WritePackerFlags(const Context& context, const std::string& modulePath, const std::string& label,
                        const PackerAssociationList& list, const platform::ProfileSnapshot& since);

} // namespace varnel
