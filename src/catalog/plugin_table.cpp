#include "catalog/plugin_table.h"

#include "catalog/catalog_options.h"
#include "catalog/host_config.h"
#include "catalog/module_info.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "util/text.h"

#include <unordered_map>
#include <unordered_set>

namespace varnel {

namespace {

// Presence and use are those of the module the host loads, which for a 64-bit host may be the
// registered module's 64-bit twin.
void InspectModule(PluginEntry& entry) {
    platform::FileState file = platform::InspectFile(entry.HostModule);
    entry.Deleted = !file.exists;
    // The write probe fails for a missing file too (the state then says deleted); an existing file
    // that is no regular file (a FIFO, a device) is no module a process holds.
    entry.Loaded = file.cannotOpenForWriting && (!file.exists || file.regular);
}

void ProbeFile(PluginEntry& entry) {
    entry.HostModule = ModuleLoadedByHost(entry.FileName, Host().HostBits);
    InspectModule(entry);
}

// Lister and Content passes: number keys only, in file order, each with its detect string.
void LoadNumberedSection(PluginKind kind) {
    std::string_view section = SectionOfKind(kind);
    ReadSectionKeys(section);
    const std::vector<std::string> keys = KeyList();
    for (const std::string& key : keys) {
        if (key.find('_') != std::string::npos)
            continue;
        int number = IntFromText(key, -1);
        if (number < 0)
            continue;
        if (!AddEntry())
            return;
        PluginEntry& row = EntryAt(Table().Count());
        row.Kind = kind;
        row.Index = number;
        row.FileName = ReadHostPath(section, key);
        row.Association = ReadHostValue(section, key + "_detect");
    }
}

} // namespace

std::string_view SectionOfKind(PluginKind kind) {
    if (kind < 0 || kind >= kPluginKindCount)
        return {};
    return kKindSections[static_cast<size_t>(kind)];
}

DisabledKey SplitDisabledKey(std::string_view rest) {
    auto nextField = [&rest] {
        size_t semicolon = rest.find(';');
        std::string field(rest.substr(0, semicolon));
        rest = semicolon == std::string_view::npos ? std::string_view() : rest.substr(semicolon + 1);
        return field;
    };
    DisabledKey fields;
    fields.section = nextField();
    fields.value = nextField();
    fields.key = nextField();
    return fields;
}

void PluginTable::Clear() {
    m_rows.clear();
    m_count = 0;
}

bool PluginTable::Add() {
    m_rows.emplace_back();
    ++m_count;
    return true;
}

PluginTable& Table() {
    static PluginTable table;
    return table;
}

void ClearTable() {
    Table().Clear();
}
bool AddEntry() {
    return Table().Add();
}
PluginEntry& EntryAt(int row) {
    return Table().Row(row);
}

int PluginTable::FindByFile(std::string_view file) const {
    for (int row = 1; row <= m_count; ++row)
        if (EqualsNoCaseAnsi(Row(row).FileName, file))
            return row;
    return 0;
}

int FindEntryByFile(std::string_view file) {
    return Table().FindByFile(file);
}

int CountOfKind(PluginKind kind) {
    const PluginTable& table = Table();
    int count = 0;
    for (int row = 1; row <= table.Count(); ++row)
        if (table.Row(row).Kind == kind)
            ++count;
    return count;
}

int CountNumberedKeys(PluginKind kind) {
    ReadSectionKeys(SectionOfKind(kind));
    int count = 0;
    for (const std::string& key : KeyList())
        if (key.find('_') == std::string::npos)
            ++count;
    return count;
}

std::string StateText(int row) {
    return StateText(EntryAt(row));
}

std::string StateText(const PluginEntry& entry) {
    if (entry.Disabled)
        return Message(kStateDisabled);
    if (entry.Deleted)
        return Message(kStateDeleted);
    if (entry.Loaded)
        return Message(kStateLoaded);
    return Message(kStateIdle);
}

std::string BitsText(int row) {
    return BitsText(EntryAt(row), Host().HostBits);
}

std::string BitsText(const PluginEntry& entry, int hostBits) {
    if (entry.Bits == 0)
        return {};
    std::string bits = std::to_string(entry.Bits);
    if (BitsMatch(entry.Bits, hostBits))
        return FormatPrintf(Message(Msg::Bits), {bits});
    return FormatPrintf(Message(Msg::BitsWrongForHost), {bits, std::to_string(hostBits)});
}

void RefreshEntryFlags(int row) {
    PluginEntry& entry = EntryAt(row);
    if (entry.HostModule.empty())
        entry.HostModule = ModuleLoadedByHost(entry.FileName, Host().HostBits);
    InspectModule(entry);
}

void LoadTable(bool withDetails, const std::atomic<bool>* stop) {
    ClearTable();
    // One scan of the running processes serves every row of this load; each profile file is
    // checked against the disk once, and each path is resolved once.
    platform::InUseScan scan;
    platform::ProfileReadScope reads;
    platform::PathLookupScope lookups;
    ModuleFactsScope facts;

    // Packers: one row per module, however many extensions it serves. The rows by module file
    // (folded) keep the merge from comparing every key with every row.
    std::unordered_map<std::string, int> packerRows;
    ReadSectionKeys(SectionOfKind(kPacker));
    const std::vector<std::string> packerKeys = KeyList();
    for (const std::string& key : packerKeys) {
        std::string path = ReadHostPath(SectionOfKind(kPacker), key);
        auto [known, added] = packerRows.try_emplace(FoldAnsi(path), Table().Count() + 1);
        if (!added) {
            EntryAt(known->second).Association += " " + key;
            continue;
        }
        AddEntry();
        PluginEntry& entry = EntryAt(Table().Count());
        entry.Kind = kPacker;
        entry.FileName = path;
        entry.Association = key;
    }

    LoadNumberedSection(kLister);
    LoadNumberedSection(kContent);

    ReadSectionKeys(SectionOfKind(kFileSystem));
    const std::vector<std::string> fsKeys = KeyList();
    for (const std::string& key : fsKeys) {
        if (!AddEntry())
            break;
        PluginEntry& entry = EntryAt(Table().Count());
        entry.Kind = kFileSystem;
        entry.FileName = ReadHostPath(SectionOfKind(kFileSystem), key);
        entry.Association = key;
    }

    LoadDisabledEntries();

    if (!withDetails)
        return;
    const int showVersions = CatalogSettings().showVersions;
    for (int row = 1; row <= Table().Count(); ++row) {
        PluginEntry& entry = EntryAt(row);
        ProbeFile(entry);
        if (stop && stop->load(std::memory_order_relaxed)) {
            entry.Name = FileNamePart(entry.HostModule);
            continue;
        }
        entry.Name = PluginDisplayName(entry.HostModule);
        entry.Bits = ModuleBits(entry.HostModule);
        if (showVersions == 1)
            entry.Version = ReadVersionText(entry.HostModule);
        else if (showVersions == 2)
            entry.Version = ReadVersionText(entry.HostModule, "ProductVersion");
        else
            entry.Version.clear();
    }
}

void LoadDisabledEntries() {
    ReadSectionKeys(kDisabledSection);
    const std::vector<std::string> keys = KeyList();
    std::unordered_set<std::string> listed; // the rows' module files, folded
    for (int row = 1; row <= Table().Count(); ++row)
        listed.insert(FoldAnsi(EntryAt(row).FileName));
    for (const std::string& disabledKey : keys) {
        auto [section, value, key] = SplitDisabledKey(disabledKey);
        std::string path = ExpandHostPath(TextAfter(value, ","));
        if (!listed.insert(FoldAnsi(path)).second)
            continue;
        AddEntry();
        PluginEntry& entry = EntryAt(Table().Count());
        entry.FileName = path;
        entry.Kind = kLister;
        for (int kind = 0; kind < kPluginKindCount; ++kind)
            if (section == kKindSections[static_cast<size_t>(kind)])
                entry.Kind = static_cast<PluginKind>(kind);
        if (entry.Kind == kLister || entry.Kind == kContent)
            entry.Index = IntFromText(key, 0);
        ProbeFile(entry);
        entry.Disabled = true;
    }
}

} // namespace varnel
