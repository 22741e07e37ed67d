// The manifest of a plugin set: written as JSON, and read back from a stranger's zip with every
// field checked.
#include "ops/plugin_set.h"

#include "catalog/registration.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "platform/codepage.h"
#include "util/names.h"
#include "util/text.h"

#include <array>
#include <nlohmann/json.hpp>
#include <set>

namespace varnel {

namespace {

using Json = nlohmann::ordered_json;

constexpr std::array<std::string_view, kPluginKindCount> kKindNames = {"lister", "packer", "fs", "content"};
constexpr std::string_view kCommanderName = "commander";

// Host text <-> the manifest's UTF-8, paths with "/" there and backslashes here.
std::string ToJsonText(std::string_view hostText) {
    return platform::HostTextToUtf8(hostText);
}
std::string JsonPath(std::string_view relative) {
    return ReplaceAll(ToJsonText(relative), "\\", "/");
}

std::optional<PluginKind> KindOfName(std::string_view name) {
    for (int kind = 0; kind < kPluginKindCount; ++kind)
        if (kKindNames[static_cast<size_t>(kind)] == name)
            return static_cast<PluginKind>(kind);
    return std::nullopt;
}

// A path's extension without the dot, folded ("WLX64" and "wlx64" alike).
std::string ExtensionOf(std::string_view path) {
    const std::string name = FileNamePart(path);
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : FoldAnsi(name.substr(dot + 1));
}

bool ModuleExtensionFits(PluginKind kind, std::string_view path) {
    const std::string want = FoldAnsi(kKindExtensions[static_cast<size_t>(kind)].substr(1));
    const std::string have = ExtensionOf(path);
    return have == want || have == want + "64";
}

// ---- The manifest ---------------------------------------------------------------------------

bool IsString(const Json& object, const char* key) {
    return object.contains(key) && object[key].is_string();
}

// A relative path of the manifest ("Foo/foo.wlx") as host text with backslashes, each component
// one plain name; nullopt when it is anything else.
std::optional<std::string> ManifestPath(const Json& value) {
    if (!value.is_string())
        return std::nullopt;
    const std::string utf8 = value.get<std::string>();
    if (utf8.empty() || utf8.find('\\') != std::string::npos)
        return std::nullopt;
    const std::string host = platform::Utf8ToHostText(utf8);
    return ConfinedRelativePath(ReplaceAll(host, "/", "\\"));
}

// Text of the manifest as host text: a string of at most `limit` bytes.
std::optional<std::string> ManifestText(const Json& object, const char* key, size_t limit = 4096) {
    if (!IsString(object, key))
        return std::nullopt;
    const std::string utf8 = object[key].get<std::string>();
    if (utf8.size() > limit)
        return std::nullopt;
    return platform::Utf8ToHostText(utf8);
}

} // namespace

std::string_view SetFolderOf(const SetPlugin& plugin) {
    return plugin.commanderBased ? kCommanderName : kKindNames[static_cast<size_t>(plugin.kind)];
}

std::string SetMemberName(const SetPlugin& plugin, std::string_view relative) {
    return std::string(SetFolderOf(plugin)) + "/" + JsonPath(relative);
}

std::string ManifestJson(const PluginSet& set) {
    Json plugins = Json::array();
    for (const SetPlugin& plugin : set.plugins) {
        Json files = Json::array();
        for (const std::string& file : plugin.files)
            files.push_back(JsonPath(file));
        Json extensions = Json::array();
        for (const auto& [extension, flags] : plugin.extensions)
            extensions.push_back({{"extension", ToJsonText(extension)}, {"flags", flags}});
        plugins.push_back({{"kind", kKindNames[static_cast<size_t>(plugin.kind)]},
                           {"name", ToJsonText(plugin.name)},
                           {"base", plugin.commanderBased ? kCommanderName : "kind"},
                           {"module", JsonPath(plugin.module)},
                           {"files", files},
                           {"detect", ToJsonText(plugin.detect)},
                           {"extensions", extensions},
                           {"root", ToJsonText(plugin.root)},
                           {"order", plugin.order},
                           {"enabled", plugin.enabled},
                           {"description", ToJsonText(plugin.description)},
                           {"bits", plugin.bits}});
    }
    Json manifest = {{"format", kPluginSetFormat},
                     {"version", kPluginSetVersion},
                     {"hostBits", set.hostBits},
                     {"plugins", plugins}};
    return manifest.dump(2) + "\n";
}

std::optional<PluginSet> ParseManifest(std::string_view json, std::string* problem) {
    auto refuse = [&](std::string why) -> std::optional<PluginSet> {
        if (problem)
            *problem = std::move(why);
        return std::nullopt;
    };
    if (json.size() > kMaxManifestBytes)
        return refuse(FormatPrintf(Message(Msg::SetTooLarge), {static_cast<int>(kMaxSetPlugins)}));
    const Json manifest = Json::parse(json.begin(), json.end(), nullptr, false);
    if (manifest.is_discarded() || !manifest.is_object())
        return refuse(FormatPrintf(Message(Msg::SetFieldWrong), {"manifest"}));
    if (!IsString(manifest, "format") || manifest["format"].get<std::string>() != kPluginSetFormat)
        return refuse(FormatPrintf(Message(Msg::SetFieldWrong), {"format"}));
    if (!manifest.contains("version") || !manifest["version"].is_number_integer())
        return refuse(FormatPrintf(Message(Msg::SetFieldWrong), {"version"}));
    if (manifest["version"].get<int64_t>() > kPluginSetVersion || manifest["version"].get<int64_t>() < 1)
        return refuse(
            FormatPrintf(Message(Msg::SetNewerVersion), {IntText(manifest["version"].get<int64_t>())}));
    if (!manifest.contains("plugins") || !manifest["plugins"].is_array())
        return refuse(FormatPrintf(Message(Msg::SetFieldWrong), {"plugins"}));
    const Json& plugins = manifest["plugins"];
    if (plugins.size() > kMaxSetPlugins)
        return refuse(FormatPrintf(Message(Msg::SetTooLarge), {static_cast<int>(kMaxSetPlugins)}));
    PluginSet set;
    if (manifest.contains("hostBits") && manifest["hostBits"].is_number_integer())
        set.hostBits = static_cast<int>(manifest["hostBits"].get<int64_t>());
    std::set<std::pair<PluginKind, std::string>> modules;
    for (size_t index = 0; index < plugins.size(); ++index) {
        const Json& each = plugins[index];
        const std::string where = "plugins[" + IntText(static_cast<int64_t>(index)) + "]";
        auto wrong = [&](const char* field) {
            return refuse(FormatPrintf(Message(Msg::SetFieldWrong), {where + "." + field}));
        };
        if (!each.is_object())
            return refuse(FormatPrintf(Message(Msg::SetFieldWrong), {where}));
        SetPlugin plugin;
        const std::optional<PluginKind> kind =
            IsString(each, "kind") ? KindOfName(each["kind"].get<std::string>()) : std::nullopt;
        if (!kind)
            return wrong("kind");
        plugin.kind = *kind;
        if (!IsString(each, "base") ||
            (each["base"] != "kind" && each["base"] != std::string(kCommanderName)))
            return wrong("base");
        plugin.commanderBased = each["base"] == std::string(kCommanderName);
        std::optional<std::string> name = ManifestText(each, "name");
        std::optional<std::string> detect = ManifestText(each, "detect");
        std::optional<std::string> root = ManifestText(each, "root");
        std::optional<std::string> description = ManifestText(each, "description");
        if (!name)
            return wrong("name");
        const bool detected = plugin.kind == kLister || plugin.kind == kContent;
        if (!detect || (detected && UnusableAssociation(plugin.kind, *detect)))
            return wrong("detect");
        if (!root ||
            (plugin.kind == kFileSystem && (root->empty() || UnusableAssociation(kFileSystem, *root))))
            return wrong("root");
        if (!description || description->find_first_of("\r\n") != std::string::npos)
            return wrong("description");
        plugin.name = *name;
        plugin.detect = plugin.kind == kLister || plugin.kind == kContent ? *detect : std::string();
        plugin.root = plugin.kind == kFileSystem ? *root : std::string();
        plugin.description = *description;
        if (!each.contains("order") || !each["order"].is_number_integer() ||
            each["order"].get<int64_t>() < 0 || each["order"].get<int64_t>() > 1000000)
            return wrong("order");
        plugin.order = static_cast<int>(each["order"].get<int64_t>());
        if (!each.contains("enabled") || !each["enabled"].is_boolean())
            return wrong("enabled");
        plugin.enabled = each["enabled"].get<bool>();
        if (!each.contains("bits") || !each["bits"].is_number_integer())
            return wrong("bits");
        plugin.bits = static_cast<int>(each["bits"].get<int64_t>());
        if (plugin.bits != 0 && plugin.bits != 32 && plugin.bits != 64)
            return wrong("bits");
        const std::optional<std::string> module =
            each.contains("module") ? ManifestPath(each["module"]) : std::nullopt;
        if (!module || !ModuleExtensionFits(plugin.kind, *module) || UnusableModulePath(*module))
            return wrong("module");
        // Files of the host's folder come only from its plugins tree: a set never writes the host
        // program, its configuration, or anything else there.
        if (plugin.commanderBased && (module->find('\\') == std::string::npos ||
                                      !EqualsNoCaseAscii(TextBefore(*module, "\\"), "plugins")))
            return wrong("module");
        plugin.module = *module;
        if (!each.contains("files") || !each["files"].is_array() || each["files"].empty() ||
            each["files"].size() > kMaxSetFilesPerPlugin)
            return wrong("files");
        std::set<std::string> seen;
        for (const Json& file : each["files"]) {
            const std::optional<std::string> path = ManifestPath(file);
            if (!path || !seen.insert(FoldAnsi(*path)).second)
                return wrong("files");
            if (plugin.commanderBased && !EqualsNoCaseAscii(TextBefore(*path, "\\"), "plugins"))
                return wrong("files");
            plugin.files.push_back(*path);
        }
        if (!seen.count(FoldAnsi(plugin.module)))
            return wrong("files");
        if (!each.contains("extensions") || !each["extensions"].is_array() ||
            each["extensions"].size() > 1000)
            return wrong("extensions");
        for (const Json& extension : each["extensions"]) {
            const std::optional<std::string> text =
                extension.is_object() ? ManifestText(extension, "extension", 64) : std::nullopt;
            if (!text || text->empty() || UnusableAssociation(kPacker, *text) ||
                text->find_first_of(",") != std::string::npos || !extension.contains("flags") ||
                !extension["flags"].is_number_integer() || extension["flags"].get<int64_t>() < 0 ||
                extension["flags"].get<int64_t>() > 0xFFFF)
                return wrong("extensions");
            if (plugin.kind == kPacker)
                plugin.extensions.emplace_back(*text, static_cast<int>(extension["flags"].get<int64_t>()));
        }
        if (plugin.kind == kPacker && plugin.extensions.empty())
            return wrong("extensions");
        if (!modules.emplace(plugin.kind, (plugin.commanderBased ? "c:" : "k:") + FoldAnsi(plugin.module))
                 .second)
            return wrong("module");
        set.plugins.push_back(std::move(plugin));
    }
    return set;
}

} // namespace varnel
