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

// Starts argv with the extra environment; without wait it is left to run on its own. Its output
// goes nowhere when it is not waited for or when quiet (so that nothing it leaves running, such as
// a wineserver, holds on to ours). False when the program could not be executed.
bool Spawn(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env, bool wait,
           bool quiet = false);

} // namespace varnel::platform::detail
