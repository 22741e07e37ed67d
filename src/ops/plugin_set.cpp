#include "ops/plugin_set.h"

#include "app/settings.h"
#include "catalog/host_config.h"
#include "catalog/module_info.h"
#include "catalog/registration.h"
#include "lang/interaction.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "ops/archive_install.h"
#include "ops/descriptions.h"
#include "ops/history.h"
#include "ops/install.h"
#include "ops/install_copy.h"
#include "platform/archive.h"
#include "platform/codepage.h"
#include "platform/file_tree.h"
#include "platform/files.h"
#include "util/names.h"
#include "util/text.h"

#include <algorithm>
#include <array>
#include <map>
#include <set>

namespace varnel {

namespace {

// ---- What a plugin is registered with --------------------------------------------------------

struct Registered {
    std::string path; // as the host has it, expanded
    int position = 0; // of its first key in the section
    std::string detect;
    std::vector<std::pair<std::string, int>> extensions;
    std::string root;
};

// Every enabled registration of the section, by module (folded path).
std::map<std::string, Registered> ReadRegistrations(PluginKind kind) {
    std::map<std::string, Registered> found;
    const std::string_view section = SectionOfKind(kind);
    ReadSectionKeys(section);
    const std::vector<std::string> keys = KeyList();
    const bool numbered = kind == kLister || kind == kContent;
    int position = 0;
    for (const std::string& key : keys) {
        if (numbered && key.find('_') != std::string::npos)
            continue;
        const std::string path = ReadHostPath(section, key);
        if (path.empty())
            continue;
        auto [slot, added] = found.try_emplace(FoldAnsi(path));
        if (added) {
            slot->second.path = path;
            slot->second.position = ++position;
        }
        if (numbered && added)
            slot->second.detect = ReadHostValue(section, key + "_detect");
        else if (kind == kPacker)
            slot->second.extensions.emplace_back(
                key, IntFromText(TextBefore(ReadHostValue(section, key), ","), 0));
        else if (kind == kFileSystem && added)
            slot->second.root = key;
    }
    return found;
}

// The registrations the host keeps for disabled plugins, by module: "section;value;key;" keys.
std::map<std::string, Registered> ReadDisabledRegistrations(PluginKind kind) {
    std::map<std::string, Registered> found;
    ReadSectionKeys("DisabledPlugins");
    const std::vector<std::string> keys = KeyList();
    int position = 0;
    for (const std::string& disabledKey : keys) {
        const auto [section, value, key] = SplitDisabledKey(disabledKey);
        if (section != SectionOfKind(kind))
            continue;
        const std::string path = ExpandHostPath(TextAfter(value, ","));
        auto [slot, added] = found.try_emplace(FoldAnsi(path));
        if (added) {
            slot->second.path = path;
            slot->second.position = ++position;
        }
        if ((kind == kLister || kind == kContent) && added)
            slot->second.detect = ReadHostValue("DisabledPlugins", disabledKey);
        else if (kind == kPacker)
            slot->second.extensions.emplace_back(key, IntFromText(TextBefore(value, ","), 0));
        else if (kind == kFileSystem && added)
            slot->second.root = key;
    }
    return found;
}

// The part of path below folder, as UTF-8 ("" when it is not below it): either may be marked
// UTF-8 (a name outside the code page).
std::string BelowUtf8(std::string_view path, std::string_view folder) {
    std::string base = platform::HostTextToUtf8(folder);
    while (!base.empty() && base.back() == '\\')
        base.pop_back();
    base += '\\';
    const std::string full = platform::HostTextToUtf8(path);
    if (base.size() < 2 || full.size() <= base.size() || !EqualsNoCaseAnsi(full.substr(0, base.size()), base))
        return {};
    return full.substr(base.size());
}

} // namespace

std::string_view ImportActionWord(ImportAction action) {
    switch (action) {
    case ImportAction::Install:
        return "install";
    case ImportAction::Same:
        return "same";
    case ImportAction::Replace:
        return "replace";
    case ImportAction::Conflict:
        return "conflict";
    }
    return "install";
}

std::string ImportPlanText(const ImportItem& item) {
    std::string text = item.action == ImportAction::Install ? Message(Msg::PlanInstall)
                       : item.action == ImportAction::Same  ? Message(Msg::PlanSame)
                       : item.action == ImportAction::Replace
                           ? Message(Msg::PlanReplace)
                           : FormatPrintf(Message(Msg::PlanConflict), {item.holder});
    if (!item.loadable)
        text.append("; ").append(FormatPrintf(Message(Msg::PlanCannotLoad), {item.plugin.bits}));
    return text;
}

// ---- Export -----------------------------------------------------------------------------------

Result ExportPluginSet(const Context& context, const std::vector<int>& rows, std::string_view zipPath) {
    CommandRun run(context, CommandRun::OwnRecords{});
    std::vector<int> chosen = rows;
    if (chosen.empty())
        for (int row = 1; row <= context.table.Count(); ++row)
            chosen.push_back(row);
    std::array<std::map<std::string, Registered>, kPluginKindCount> enabled, disabled;
    for (int kind = 0; kind < kPluginKindCount; ++kind) {
        enabled[static_cast<size_t>(kind)] = ReadRegistrations(static_cast<PluginKind>(kind));
        disabled[static_cast<size_t>(kind)] = ReadDisabledRegistrations(static_cast<PluginKind>(kind));
    }
    PluginSet set;
    set.hostBits = context.host.HostBits;
    std::vector<platform::ZipMember> members;
    std::set<std::string> memberNames;
    // Within a kind, enabled plugins in the host's order, then the disabled ones.
    std::vector<std::pair<std::pair<int, int>, SetPlugin>> ordered;
    for (int row : chosen) {
        const PluginEntry& entry = context.table.Row(row);
        if (entry.Deleted || !platform::IsRegularFile(entry.FileName))
            continue; // nothing to take along
        const auto& registrations = (entry.Disabled ? disabled : enabled)[static_cast<size_t>(entry.Kind)];
        const auto registration = registrations.find(FoldAnsi(entry.FileName));
        if (registration == registrations.end())
            continue;
        SetPlugin plugin;
        plugin.kind = entry.Kind;
        plugin.name = entry.Name.empty() ? FileNamePart(entry.FileName) : entry.Name;
        plugin.enabled = !entry.Disabled;
        plugin.detect = registration->second.detect;
        plugin.extensions = registration->second.extensions;
        plugin.root = registration->second.root;
        plugin.description = ReadDescription(entry.FileName);
        plugin.bits = ModuleBits(ModuleLoadedByHost(entry.FileName, context.host.HostBits));
        // Where the files are relative to: the plugin folder of the kind, else the host's plugins
        // tree, else (a module elsewhere) the folder an install would copy it to.
        // The folder below that, in UTF-8 with its closing backslash ("" or "Foo\\"): the module's
        // path may be marked UTF-8, and so may its folder's names and its files' names.
        const std::string path8 = platform::HostTextToUtf8(entry.FileName);
        const std::string name8 = path8.substr(path8.rfind('\\') + 1);
        std::string folder8 = BelowUtf8(entry.FileName, PluginFolderOfKind(context.settings, entry.Kind));
        if (!folder8.empty()) {
            folder8.resize(folder8.size() - name8.size());
        } else if (const std::string inHost = BelowUtf8(entry.FileName, context.host.HostDir);
                   EqualsNoCaseAscii(TextBefore(inHost, "\\"), "plugins") &&
                   inHost.size() > name8.size() + 8) {
            plugin.commanderBased = true;
            folder8 = inHost.substr(0, inHost.size() - name8.size());
        } else {
            const std::string target8 =
                platform::HostTextToUtf8(CopyTargetFolder(context, entry.FileName, entry.Kind));
            folder8 = target8.substr(target8.rfind('\\') + 1) + "\\";
        }
        auto relativeOf = [&](const std::string& below) {
            return platform::Utf8ToHostText(folder8 + platform::HostTextToUtf8(below));
        };
        BelongingFiles files = FilesBelongingTo(entry.FileName);
        if (!files.refusal.empty()) {
            ShowAppMessage(files.refusal, kStyleError);
            return run.Stop(Outcome::Failed);
        }
        plugin.module = platform::Utf8ToHostText(folder8 + name8);
        for (const BelongingFile& file : files.files) {
            const std::string relative = relativeOf(file.relative);
            plugin.files.push_back(relative);
            const std::string member = SetMemberName(plugin, relative);
            if (memberNames.insert(FoldAnsi(member)).second)
                members.push_back({member, file.path, {}});
        }
        const Registered& found = registration->second;
        ordered.push_back({{entry.Kind * 2 + (entry.Disabled ? 1 : 0), found.position}, std::move(plugin)});
    }
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::array<int, kPluginKindCount> counts{};
    for (auto& [key, plugin] : ordered) {
        plugin.order = ++counts[static_cast<size_t>(plugin.kind)];
        set.plugins.push_back(std::move(plugin));
    }
    members.insert(members.begin(), {std::string(kManifestName), {}, ManifestJson(set)});
    if (!platform::WriteZipArchive(zipPath, members)) {
        ShowAppMessage(FormatPrintf(Message(Msg::SetNotWritten), {std::string(zipPath)}), kStyleError,
                       Outcome::Failed, Msg::SetNotWritten);
        return run.Stop(Outcome::Failed);
    }
    ShowAppMessage(
        FormatPrintf(Message(Msg::SetWritten), {std::string(zipPath), static_cast<int>(set.plugins.size())}),
        kStyleInformation);
    return run.Finish();
}

// ---- Import -------------------------------------------------------------------------------------

namespace {

// The folder a plugin's files are relative to on this host.
std::string BaseFolder(const Context& context, const SetPlugin& plugin) {
    return plugin.commanderBased ? context.host.HostDir : PluginFolderOfKind(context.settings, plugin.kind);
}

std::string ScratchPath(const std::string& scratch, const SetPlugin& plugin, const std::string& relative) {
    return JoinHostPath(JoinHostPath(scratch, SetFolderOf(plugin)), relative);
}

// Who holds a name or an extension of the plugin on this host now (a module other than target).
// registered: this host's Lister or Content registrations of the plugin's kind, read once per set.
std::string HolderOf(const SetPlugin& plugin, const std::string& target,
                     const std::map<std::string, Registered>& registered) {
    const std::string_view section = SectionOfKind(plugin.kind);
    auto other = [&](std::string_view key) {
        const std::string path = ReadHostPath(section, key);
        return !path.empty() && !EqualsNoCaseAnsi(path, target) ? path : std::string();
    };
    if (plugin.kind == kFileSystem)
        return other(plugin.root);
    if (plugin.kind == kPacker) {
        for (const auto& [extension, flags] : plugin.extensions)
            if (std::string holder = other(extension); !holder.empty())
                return holder;
        return {};
    }
    // A Lister or Content module of the same file name registered from elsewhere.
    for (const auto& [folded, each] : registered)
        if (!EqualsNoCaseAnsi(each.path, target) &&
            EqualsNoCaseAnsi(FileNamePart(each.path), FileNamePart(target)))
            return each.path;
    return {};
}

// Takes the module's registrations out of [DisabledPlugins], where the host keeps a disabled
// plugin's.
void DeleteDisabledRegistrations(const std::string& modulePath) {
    ReadSectionKeys("DisabledPlugins");
    const std::vector<std::string> keys = KeyList();
    for (const std::string& disabledKey : keys)
        if (EqualsNoCaseAnsi(ExpandHostPath(TextAfter(SplitDisabledKey(disabledKey).value, ",")), modulePath))
            DeleteHostKey("DisabledPlugins", disabledKey, false);
}

// Puts the imported plugins' keys of a Packer or FS section first, in the set's order, the
// others after them as they were.
bool MoveKeysFirst(PluginKind kind, const std::vector<const ImportItem*>& imported) {
    const std::string_view section = SectionOfKind(kind);
    ReadSectionKeys(section);
    const std::vector<std::string> keys = KeyList();
    std::vector<std::pair<std::string, std::string>> first, rest;
    std::set<std::string> importedKeys;
    for (const ImportItem* item : imported) {
        if (item->plugin.kind != kind || !item->plugin.enabled)
            continue;
        if (kind == kFileSystem)
            importedKeys.insert(FoldAnsi(item->plugin.root));
        for (const auto& [extension, flags] : item->plugin.extensions)
            importedKeys.insert(FoldAnsi(extension));
    }
    for (const ImportItem* item : imported) {
        if (item->plugin.kind != kind || !item->plugin.enabled)
            continue;
        for (const std::string& key : keys)
            if ((kind == kFileSystem && EqualsNoCaseAnsi(key, item->plugin.root)) ||
                std::any_of(item->plugin.extensions.begin(), item->plugin.extensions.end(),
                            [&](const auto& extension) { return EqualsNoCaseAnsi(key, extension.first); }))
                first.emplace_back(key, ReadHostValue(section, key));
    }
    for (const std::string& key : keys)
        if (!importedKeys.count(FoldAnsi(key)))
            rest.emplace_back(key, ReadHostValue(section, key));
    first.insert(first.end(), rest.begin(), rest.end());
    return first.empty() || ReplaceHostKeys(section, keys, first);
}

} // namespace

PluginSetImport::~PluginSetImport() {
    if (!m_scratch.empty())
        DeleteFolderTree(m_scratch);
}

std::unique_ptr<PluginSetImport> PluginSetImport::Open(const Context& context, std::string_view zipPath) {
    auto refuse = [&](const std::string& why) -> std::unique_ptr<PluginSetImport> {
        std::string text = FormatPrintf(Message(Msg::SetUnusable), {std::string(zipPath)});
        if (!why.empty())
            text.append("\r\r").append(why);
        ShowAppMessage(text, kStyleError, Outcome::Failed, Msg::SetUnusable);
        return nullptr;
    };
    std::unique_ptr<PluginSetImport> set(new PluginSetImport);
    set->m_zip = std::string(zipPath);
    // A folder of its own in the system's temporary folder: the host's folders stay untouched
    // until the import is applied.
    const std::string scratchFile = platform::MakeScratchFile();
    if (scratchFile.empty() || !platform::DeleteFileAt(scratchFile) || !platform::CreateFolder(scratchFile))
        return refuse({});
    set->m_scratch = scratchFile;
    const platform::ArchiveOutcome unpacked = platform::ExtractArchiveSafely(zipPath, set->m_scratch);
    switch (unpacked.result) {
    case platform::ArchiveResult::Extracted:
        break;
    case platform::ArchiveResult::Unsafe:
        return refuse(
            FormatPrintf(Message(Msg::ArchiveEntryOutside), {platform::Utf8ToHostText(unpacked.entry)}));
    case platform::ArchiveResult::Link:
        return refuse(FormatPrintf(Message(Msg::SetLink), {platform::Utf8ToHostText(unpacked.entry)}));
    case platform::ArchiveResult::TooLarge:
        return refuse(FormatPrintf(Message(Msg::SetTooLarge), {static_cast<int>(kMaxSetPlugins)}));
    default:
        return refuse({});
    }
    std::string json;
    if (platform::ReadWholeFile(JoinHostPath(set->m_scratch, kManifestName), json, kMaxManifestBytes) !=
        platform::ReadResult::Ok)
        return refuse(FormatPrintf(Message(Msg::SetFieldWrong), {std::string(kManifestName)}));
    std::string problem;
    std::optional<PluginSet> manifest = ParseManifest(json, &problem);
    if (!manifest)
        return refuse(problem);
    const HostContext& host = context.host;
    std::array<std::map<std::string, Registered>, kPluginKindCount> registrations;
    for (PluginKind kind : {kLister, kContent})
        registrations[static_cast<size_t>(kind)] = ReadRegistrations(kind);
    for (SetPlugin& plugin : manifest->plugins) {
        ImportItem item;
        const std::string base = BaseFolder(context, plugin);
        item.target = JoinHostPath(base, plugin.module);
        // Every file is in the set, a regular file, and goes below its folder here (links on the
        // way resolved on disk).
        bool same = true;
        for (const std::string& file : plugin.files) {
            const std::string from = ScratchPath(set->m_scratch, plugin, file);
            const std::string to = JoinHostPath(base, file);
            if (!platform::IsRegularFile(from) || platform::IsSymbolicLink(from))
                return refuse(FormatPrintf(Message(Msg::SetFileMissing), {SetMemberName(plugin, file)}));
            if (base.empty() || !platform::LiesInside(to, base) || platform::IsSymbolicLink(to))
                return refuse(FormatPrintf(Message(Msg::ArchiveEntryOutside), {to}));
            same = same && SameContents(from, to);
        }
        const std::string scratchModule = ScratchPath(set->m_scratch, plugin, plugin.module);
        item.loadable =
            BitsMatch(ModuleBits(ModuleLoadedByHost(scratchModule, host.HostBits)), host.HostBits);
        const bool registered = context.table.FindByFile(item.target) != 0;
        item.holder = HolderOf(plugin, item.target, registrations[static_cast<size_t>(plugin.kind)]);
        if (!item.holder.empty())
            item.action = ImportAction::Conflict;
        else if (registered && same)
            item.action = ImportAction::Same;
        else if (platform::FileExists(item.target) && !same)
            item.action = ImportAction::Replace;
        item.chosen = item.action != ImportAction::Same && item.loadable;
        item.plugin = std::move(plugin);
        set->m_items.push_back(std::move(item));
    }
    return set;
}

Result PluginSetImport::Apply(const Context& context, bool replaceOrder) {
    std::vector<const ImportItem*> chosen;
    for (const ImportItem& item : m_items)
        if (item.chosen && item.action != ImportAction::Same)
            chosen.push_back(&item);
    CommandRun run(context, FormatPrintf(Message(Msg::HistImportedSet),
                                         {static_cast<int>(chosen.size()), FileNamePart(m_zip)}));
    // Nothing to do is no failure: a script may import the same set again.
    if (chosen.empty()) {
        ShowAppMessage(Message(Msg::SetNothingToImport), kStyleInformation);
        return run.Finish();
    }
    // The questions first, each asked once for all plugins it concerns.
    std::string replaced, takenOver;
    for (const ImportItem* item : chosen) {
        if (item->action == ImportAction::Replace)
            replaced.append("\r").append(item->target);
        if (item->action == ImportAction::Conflict)
            takenOver.append("\r").append(FormatPrintf("%s: %s", {item->plugin.name, item->holder}));
    }
    if (!replaced.empty() &&
        ShowAppMessage(FormatPrintf(Message(Msg::SetReplaceQuestion), {replaced}), kStyleQuestion) != kIdOk)
        return run.Stop(Outcome::Refused);
    if (!takenOver.empty() && ShowAppMessage(FormatPrintf(Message(Msg::SetTakeOverQuestion), {takenOver}),
                                             kStyleReplaceQuestion) != kIdOk)
        return run.Stop(Outcome::Refused);
    for (const ImportItem* item : chosen)
        if (!item->loadable &&
            !AcceptBitness(run.Here(), ScratchPath(m_scratch, item->plugin, item->plugin.module)))
            return run.Stop(Outcome::Refused);

    // The files, each announced to the change before it is copied; the same file is left alone.
    std::vector<std::pair<std::string, std::string>> copies;
    for (const ImportItem* item : chosen) {
        const std::string base = BaseFolder(context, item->plugin);
        for (const std::string& file : item->plugin.files) {
            const std::string from = ScratchPath(m_scratch, item->plugin, file);
            const std::string to = JoinHostPath(base, file);
            if (!SameContents(from, to))
                copies.emplace_back(from, to);
        }
    }
    RecordedMove recorded(copies);
    if (!recorded.Ready())
        return run.Stop(Outcome::Failed);
    for (const auto& [from, to] : copies)
        if (!MakeFoldersInThisChange(FolderPart(to)) || !platform::CopyFileAtomically(from, to)) {
            ShowAppMessage(FormatPrintf(Message(Msg::FileNotWritten), {to}), kStyleError, Outcome::Failed,
                           Msg::FileNotWritten);
            return run.Stop(Outcome::Failed);
        }
    recorded.Done();
    for (const ImportItem* item : chosen)
        if (!item->plugin.description.empty() && ReadDescription(item->target) != item->plugin.description &&
            !WriteDescription(item->target, item->plugin.description)) {
            ShowAppMessage(FormatPrintf(Message(Msg::FileNotWritten), {FolderPart(item->target)}),
                           kStyleError, Outcome::Failed, Msg::FileNotWritten);
            return run.Stop(Outcome::Failed);
        }

    // The registrations, in the set's order within each kind.
    std::vector<const ImportItem*> inOrder = chosen;
    std::stable_sort(inOrder.begin(), inOrder.end(), [](const ImportItem* a, const ImportItem* b) {
        return std::pair(a->plugin.kind, a->plugin.order) < std::pair(b->plugin.kind, b->plugin.order);
    });
    return run.EditHost([&] {
        std::array<int, kPluginKindCount> placed{};
        for (const ImportItem* item : inOrder) {
            const SetPlugin& plugin = item->plugin;
            const std::string_view section = SectionOfKind(plugin.kind);
            const std::string& path = item->target;
            if (item->action == ImportAction::Conflict && (plugin.kind == kLister || plugin.kind == kContent))
                RemoveEntryByFile(section, item->holder, false);
            // A plugin this host has disabled already comes back as the set has it.
            for (int row = 1; row <= context.table.Count(); ++row)
                if (context.table.Row(row).Disabled &&
                    EqualsNoCaseAnsi(context.table.Row(row).FileName, path))
                    DeleteDisabledRegistrations(path);
            const int position = placed[static_cast<size_t>(plugin.kind)]++;
            switch (plugin.kind) {
            case kLister:
            case kContent:
                // Registered here already (another version): it keeps its place, unless the set's
                // order replaces this host's.
                if (IsRegistered(path, plugin.kind)) {
                    if (!replaceOrder)
                        break;
                    RemoveEntryByFile(section, path, false);
                }
                if (replaceOrder)
                    InsertNumberedEntry(section, position, path, plugin.detect);
                else
                    WriteNumberedEntry(section, CountNumberedKeys(plugin.kind), path, plugin.detect);
                break;
            case kPacker:
                for (const auto& [extension, flags] : plugin.extensions)
                    if (!WriteHostValue(section, extension, IntText(flags) + "," + path))
                        return Outcome::Failed;
                break;
            case kFileSystem:
                if (!WriteHostValue(section, plugin.root, path))
                    return Outcome::Failed;
                break;
            }
            if (!plugin.enabled)
                RemoveEntryByFile(section, path, true);
        }
        if (replaceOrder)
            for (PluginKind kind : {kPacker, kFileSystem})
                if (!MoveKeysFirst(kind, inOrder))
                    return Outcome::Failed;
        return Outcome::Done;
    });
}

} // namespace varnel
