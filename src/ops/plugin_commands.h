#pragma once
// Uninstall, disable, enable and rename: the main window's commands on the selected plugins,
// free of the window. Each takes the table rows of the selected list rows in list order (the
// first is the current row) and says whether the list must be filled again.

#include <vector>

namespace varnel {

bool UninstallSelected(const std::vector<int>& selectedRows);
bool DisableOrEnableSelected(const std::vector<int>& selectedRows);
bool RenameCurrent(const std::vector<int>& selectedRows);

} // namespace varnel
