#pragma once
// Where the test build put the sample plugins, and copying them into a prefix.

#include <string>
#include <string_view>

namespace varnel::test {

enum class ModuleBuild { Windows, Native, Windows32 };

// The machine path of a built sample plugin.
std::string SamplePluginFile(ModuleBuild build, std::string_view name);
bool HaveWindowsSamples();

// Copies a sample plugin to `prefixDir`/drive_c/`folder`/`asName` and returns its Windows path.
std::string InstallSample(const std::string& prefixDir, ModuleBuild build, std::string_view name,
                          std::string_view folder, std::string_view asName = {});

} // namespace varnel::test
