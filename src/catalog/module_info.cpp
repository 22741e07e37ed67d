#include "catalog/module_info.h"

#include "app/settings.h"
#include "util/text.h"

namespace varnel {

std::string ReadVersionText(std::string_view /*path*/, std::string_view /*name*/) {
    // Version resources are not read yet: every module answers as one without version
    // information, so names fall back to file names and the Version column stays empty.
    return {};
}

std::string PluginDisplayName(std::string_view path) {
    int showNames = AppSettings().ShowNames;
    std::string name;
    if (showNames == 2)
        name = ReadVersionText(path, "FileDescription");
    if (name.size() >= 2)
        return name;
    std::string file = FileNamePart(path);
    if (showNames == 0)
        return file;
    size_t dot = file.rfind('.');
    return dot == std::string::npos ? file : file.substr(0, dot);
}

} // namespace varnel
