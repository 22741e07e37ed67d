#pragma once
// What the process functions of this folder share when they start children.

#include <map>
#include <string>
#include <vector>

namespace varnel::platform::detail {

// Our environment with the extra values replacing or adding names.
std::vector<std::string> ChildEnvironment(const std::map<std::string, std::string>& extra);

// The NULL-terminated pointer array execve wants, over strings that outlive it.
std::vector<char*> CStrings(std::vector<std::string>& strings);

} // namespace varnel::platform::detail
