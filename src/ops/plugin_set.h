#pragma once
// Plugin sets: chosen plugins of one host, with their files and registrations, in one zip that
// another host (another machine, the other build) imports as one change. The zip holds
// "manifest.json" and each plugin's files below the name of the folder they are relative to:
// "lister/", "packer/", "fs/", "content/" (the plugin folder of that kind) or "commander/" (the
// host's folder, for files in its plugins tree).

#include "catalog/plugin_table.h"
#include "ops/command.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace varnel {

inline constexpr std::string_view kPluginSetFormat = "TC Varnel plugin set";
inline constexpr int kPluginSetVersion = 1;
inline constexpr std::string_view kManifestName = "manifest.json";
// More is no one's plugin collection; a manifest beyond it is refused before anything else.
inline constexpr size_t kMaxSetPlugins = 2000;
inline constexpr size_t kMaxSetFilesPerPlugin = 2000;
inline constexpr size_t kMaxManifestBytes = 8u << 20;

struct SetPlugin {
    PluginKind kind = kLister;
    std::string name;               // host text, as the list shows it
    bool commanderBased = false;    // files relative to the host's folder, else to the kind's folder
    std::string module;             // relative path, backslashes, host text
    std::vector<std::string> files; // relative paths, the module first
    std::string detect;             // Lister, Content
    std::vector<std::pair<std::string, int>> extensions; // Packer: extension and flags
    std::string root;                                    // FS
    int order = 0;                                       // 1, 2, ... within its kind in the exporting host
    bool enabled = true;
    std::string description;
    int bits = 0; // the module's, 0 when unknown
};

struct PluginSet {
    int hostBits = 0;
    std::vector<SetPlugin> plugins;
};

// The manifest as JSON (UTF-8), the same plugins giving the same text.
std::string ManifestJson(const PluginSet& set);
// The manifest read and checked: the format and version, every field there with its type, kinds
// and names writable, every path one plain name per component (a "commander" path inside the host's
// plugins tree), the module among the files with its kind's extension, and the counts within the
// limits. nullopt, with the reason in host text, when any of that fails.
std::optional<PluginSet> ParseManifest(std::string_view json, std::string* problem);

// The zip folder of a plugin's files: "lister", "packer", "fs", "content" or "commander".
std::string_view SetFolderOf(const SetPlugin& plugin);
// The zip member name of a plugin's file ("lister/Foo/foo.wlx").
std::string SetMemberName(const SetPlugin& plugin, std::string_view relative);

// Writes the rows' plugins to the zip (a Windows path; replaced in one step). Nothing of the host
// changes, so nothing is recorded. An empty list of rows means every plugin.
Result ExportPluginSet(const Context& context, const std::vector<int>& rows, std::string_view zipPath);

// What importing one plugin of a set does on this host.
enum class ImportAction {
    Install,  // not here yet
    Same,     // here already with the same files and registration: skipped
    Replace,  // here with other files (another version): replaced after asking
    Conflict, // its name or an extension belongs to another module here: taken over after asking
};
struct ImportItem {
    SetPlugin plugin;
    ImportAction action = ImportAction::Install;
    std::string target;   // the module's Windows path on this host
    std::string holder;   // Conflict: the module that has the name or extension now
    bool loadable = true; // the host can load the module (by its bitness)
    bool chosen = true;   // the window's check box; the tool takes every item
};

// A set unpacked into a scratch folder and planned against this host. The scratch folder goes
// with it.
class PluginSetImport {
public:
    // Unpacks the zip (with the archive install's confinement, limits and link checks), reads and
    // checks the manifest, checks that every file it names is in the zip, and plans each plugin.
    // nullptr when the set cannot be imported: the user was told why (failed).
    static std::unique_ptr<PluginSetImport> Open(const Context& context, std::string_view zipPath);
    ~PluginSetImport();
    PluginSetImport(const PluginSetImport&) = delete;
    PluginSetImport& operator=(const PluginSetImport&) = delete;

    std::vector<ImportItem>& Items() { return m_items; }
    const std::vector<ImportItem>& Items() const { return m_items; }
    const std::string& ZipPath() const { return m_zip; }

    // Imports the chosen items as one change: asks once before replacing other versions and once
    // before taking over names or extensions, copies the files into place, registers each plugin
    // after the ones of its kind this host has (replaceOrder: before them, in the set's order),
    // disables those the set has disabled, and writes their descriptions. Everything or nothing.
    Result Apply(const Context& context, bool replaceOrder);

private:
    PluginSetImport() = default;
    std::string m_zip;
    std::string m_scratch; // Windows path of the unpacked set
    std::vector<ImportItem> m_items;
};

// What importing the item does, in the user's words ("new", "takes over from ...").
std::string ImportPlanText(const ImportItem& item);

// The word for an action in the tool's JSON ("install", "same", "replace", "conflict").
std::string_view ImportActionWord(ImportAction action);

} // namespace varnel
