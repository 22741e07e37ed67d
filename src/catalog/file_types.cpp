#include "catalog/file_types.h"

#include "platform/environment.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/shell_types.h"
#include "util/names.h"
#include "util/text.h"

#include <vector>

namespace varnel {

namespace {

struct PluginFileType {
    const char* extension;
    const char* className;
    const char* description;
    int iconIndex;
    const char* picture;
};

constexpr PluginFileType kFileTypes[] = {
    {".wfx", "TC_plugin_wfx", "Total Commander FS plugin", 0, "fs"},
    {".wlx", "TC_plugin_wlx", "Total Commander Lister plugin", 1, "lister"},
    {".wcx", "TC_plugin_wcx", "Total Commander Packer plugin", 2, "packer"},
    {".wdx", "TC_plugin_wdx", "Total Commander Content plugin", 7, "content"},
};

constexpr std::string_view kIconModuleName = "tcvarnel-icons.dll";

std::string ReadClassesString(const std::string& key) {
    return platform::ReadRegistryString(platform::RegistryRoot::ClassesRoot, key, "").value_or("");
}

} // namespace

std::string ProgramIconFile() {
    std::string program = platform::OwnExecutablePath();
    std::string module = FolderPart(program).append(kIconModuleName);
    return platform::FileExists(module) ? module : program;
}

bool RegisterPluginFileTypesFor(bool enabled, std::string_view program, std::string_view iconFile,
                                bool wait) {
    // A path that would break the entries it goes into is written nowhere.
    if (!enabled || !IsSafeCommandPath(program) || !IsSafeCommandPath(iconFile))
        return false;
    std::vector<platform::ShellFileType> desktopTypes;
    for (const PluginFileType& type : kFileTypes)
        desktopTypes.push_back({type.extension, type.className, type.description, type.picture});
    platform::RegisterDesktopFileTypes(desktopTypes, platform::ToHostPath(program), wait);

    const std::string className = ReadClassesString(".wdx");
    const std::string command = ReadClassesString(className + "\\shell\\open\\command");
    if (command.find(program) != std::string::npos)
        return false;
    using platform::RegistryRoot;
    std::vector<platform::RegistryWrite> writes;
    for (const PluginFileType& type : kFileTypes) {
        const std::string name = type.className;
        writes.push_back({RegistryRoot::ClassesRoot, type.extension, "", name});
        writes.push_back({RegistryRoot::ClassesRoot, name, "", type.description});
        writes.push_back({RegistryRoot::ClassesRoot, name + "\\DefaultIcon", "",
                          FormatPrintf("\"%s\",%d", {iconFile, type.iconIndex})});
        writes.push_back({RegistryRoot::ClassesRoot, name + "\\shell\\open\\command", "",
                          FormatPrintf("\"%s\" \"%%1\"", {program})});
    }
    return platform::WriteRegistryStrings(writes, wait);
}

std::optional<std::string> UnusableProgramPath() {
    const std::string program = platform::OwnExecutablePath();
    if (IsSafeCommandPath(program) && IsSafeCommandPath(ProgramIconFile()))
        return std::nullopt;
    return VisibleControls(program);
}

void RegisterPluginFileTypes(bool enabled) {
    RegisterPluginFileTypesFor(enabled, platform::OwnExecutablePath(), ProgramIconFile(), false);
}

} // namespace varnel
