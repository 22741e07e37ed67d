#pragma once
// Installing a module that lies outside every plugin folder (Downloads, a temporary folder): it is
// copied into the plugin folder of its kind first, with the files that belong to it, so that
// cleaning the download folder later does not take the plugin away.

#include "catalog/plugin_table.h"
#include "ops/command.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varnel {

// Whether both are regular files with the same bytes, compared a block at a time.
bool SameContents(const std::string& a, const std::string& b);

// The plugin folder of the kind from the settings, expanded, without a closing backslash.
std::string PluginFolderOfKind(const Settings& settings, PluginKind kind);

// Whether the module lies where plugins are kept already: inside a configured plugin folder, the
// host's own plugins tree (any depth), or a folder that holds another registered plugin.
bool LiesInPluginFolder(const Context& context, std::string_view modulePath);

// The folder a module of this kind is copied to: "<plugin folder of its kind>\<module name>".
std::string CopyTargetFolder(const Context& context, std::string_view modulePath, PluginKind kind);

// The files that belong to a module and go with it: the module first, its twin and the files
// beside it with the same base name (x.wlx, x.wlx64, x.ini, x.lng), and a "lang" or "language"
// folder's files. Each with its path relative to the module's folder; none, and the refusal to
// tell the user, when a link is among them or they are too large.
struct BelongingFile {
    std::string path;     // Windows path
    std::string relative; // below the module's folder, with backslashes
    uint64_t size = 0;    // as listed (0 for the module itself)
};
struct BelongingFiles {
    std::vector<BelongingFile> files;
    std::string refusal;
};
BelongingFiles FilesBelongingTo(std::string_view modulePath);

// For a module outside every plugin folder, asks whether to copy it in and does so: the module,
// its twin and the files beside it with the same base name (x.wlx, x.wlx64, x.ini, x.lng), and a
// "lang" or "language" folder. Each file is put in place in one step and recorded in the current
// change; a different file of the same name is replaced only when the user agrees. Returns the
// path to register (the copy, or the module where it lies), or nullopt when the user cancelled or
// the copy failed (the user was told).
std::optional<std::string> OfferCopyIntoPluginFolder(const Context& context, std::string_view modulePath,
                                                     PluginKind kind);

} // namespace varnel
