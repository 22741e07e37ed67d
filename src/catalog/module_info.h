#pragma once
// What the program learns from a plugin module's file: names and version texts.

#include <string>
#include <string_view>

namespace varnel {

// The fixed file version ("%d.%d.%d.%d") with no name, else the named string of the version
// resource's first translation; "" when there is no answer.
std::string ReadVersionText(std::string_view path, std::string_view name = {});

// The name shown for a module, by the ShowNames setting.
std::string PluginDisplayName(std::string_view path);

} // namespace varnel
