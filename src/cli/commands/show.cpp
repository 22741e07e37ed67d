// varnel show: one plugin in full, with the keys that name it and its version resource.

#include "cli/command_table.h"

#include "catalog/host_config.h"
#include "catalog/module_info.h"
#include "catalog/plugin_table.h"
#include "catalog/registration.h"
#include "cli/cli_plugins.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "ops/plugin_list.h"
#include "util/text.h"

#include <memory>

namespace varnel::cli {

namespace {

// The packer capability bits in words.
std::string FlagWords(int flags) {
    static const char* const kWords[] = {"new",         "modify",     "multiple",    "delete", "options",
                                         "memory-pack", "by-content", "search-text", "hide",   "encrypt"};
    std::string words;
    for (int bit = 0; bit < 10; ++bit)
        if (flags & (1 << bit))
            words += std::string(words.empty() ? "" : " ") + kWords[bit];
    return words;
}

// Every key of the host's file that names the module: "Section: key".
std::vector<std::string> KeysNaming(const PluginEntry& entry) {
    std::vector<std::string> keys;
    for (PluginKind kind = 0; kind < kPluginKindCount; ++kind) {
        const std::string_view section = SectionOfKind(kind);
        ReadSectionKeys(section);
        const std::vector<std::string> names = KeyList();
        for (const std::string& key : names) {
            std::string value = ReadHostValue(section, key);
            if (kind == kPacker)
                value = TextAfter(value, ",");
            if (!EqualsNoCaseAnsi(ExpandHostPath(value), entry.FileName))
                continue;
            keys.push_back(std::string(section) + ": " + key);
            if ((kind == kLister || kind == kContent) && !ReadHostValue(section, key + "_detect").empty())
                keys.push_back(std::string(section) + ": " + key + "_detect");
        }
    }
    ReadSectionKeys("DisabledPlugins");
    for (const std::string& key : KeyList()) {
        DisabledKey parts = SplitDisabledKey(key);
        std::string value = parts.section == "PackerPlugins" ? TextAfter(parts.value, ",") : parts.value;
        if (EqualsNoCaseAnsi(ExpandHostPath(value), entry.FileName))
            keys.push_back("DisabledPlugins: " + key);
    }
    return keys;
}

int ShowPlugin(Session& session, const std::string& plugin) {
    if (!RequireHost(session))
        return session.Exit();
    LoadWithDetails();
    std::optional<int> row = FindPlugin(plugin, session);
    if (!row)
        return session.Exit();
    const PluginEntry entry = EntryAt(*row);
    nlohmann::ordered_json object = PluginJson(*row);
    object["module32"] = Session::Terminal(ModuleLoadedByHost(entry.FileName, 32));
    object["module64"] = Session::Terminal(ModuleLoadedByHost(entry.FileName, 64));
    nlohmann::ordered_json version = nlohmann::ordered_json::object();
    for (const char* name :
         {"CompanyName", "FileDescription", "FileVersion", "ProductName", "ProductVersion", "LegalCopyright"})
        if (std::string text = ReadVersionText(entry.HostModule, name); !text.empty())
            version[name] = Session::Terminal(text);
    object["versionInfo"] = version;
    if (entry.Kind == kPacker && !entry.Disabled) {
        nlohmann::ordered_json flags = nlohmann::ordered_json::array();
        const PackerAssociationList list = ReadPackerAssociations(entry.FileName, false);
        for (int i = 0; i < list.count; ++i) {
            const auto& pair = list.pairs[static_cast<size_t>(i)];
            flags.push_back({{"extension", Session::Terminal(pair.extension)},
                             {"flags", pair.flags},
                             {"words", FlagWords(pair.flags)}});
        }
        object["packerFlags"] = flags;
    }
    nlohmann::ordered_json keys = nlohmann::ordered_json::array();
    for (const std::string& key : KeysNaming(entry))
        keys.push_back(Session::Terminal(key));
    object["keys"] = keys;
    if (session.Json()) {
        PrintJson(object);
        return session.Exit();
    }
    for (const auto& [field, value] : object.items()) {
        if (value.is_string())
            Print(field + ": " + value.get<std::string>());
        else if (value.is_object())
            for (const auto& [name, text] : value.items())
                Print(field + "." + name + ": " + text.get<std::string>());
        else if (field == "packerFlags")
            for (const auto& pair : value)
                Print("packerFlags." + pair["extension"].get<std::string>() + ": " +
                      std::to_string(pair["flags"].get<int>()) + " " + pair["words"].get<std::string>());
        else if (value.is_array())
            for (const auto& text : value)
                Print(field + ": " + text.get<std::string>());
        else
            Print(field + ": " +
                  value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace));
    }
    return session.Exit();
}

Runner Define(CLI::App& command, CommandLine&) {
    auto plugin = std::make_shared<std::string>();
    command.add_option("PLUGIN", *plugin, "Name, file name, path or kind:key")->required();
    return [plugin](Session& session) { return ShowPlugin(session, HostArgument(*plugin)); };
}

} // namespace

Command ShowCommand() {
    return {"show", "One plugin in full", "varnel show packer:zip", false, Define};
}

} // namespace varnel::cli
