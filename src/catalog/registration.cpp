#include "catalog/registration.h"

#include "catalog/host_config.h"
#include "catalog/module_info.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "util/names.h"
#include "util/text.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace varnel {

namespace {

bool IsNumberedSection(std::string_view section) {
    return section == "ListerPlugins" || section == "ContentPlugins";
}

bool NamesModule(std::string_view section, const std::string& key, std::string_view modulePath) {
    return EqualsNoCaseAnsi(ReadHostPath(section, key), modulePath);
}

// The entries of a numbered section in file order: (value, detect string) of every key without "_".
std::vector<std::pair<std::string, std::string>> CollectEntries(std::string_view section,
                                                                const std::vector<std::string>& keys) {
    std::vector<std::pair<std::string, std::string>> entries;
    for (const std::string& key : keys) {
        if (key.find('_') != std::string::npos)
            continue;
        entries.emplace_back(ReadHostValue(section, key), ReadHostValue(section, key + "_detect"));
    }
    return entries;
}

// Every key of the section goes, and the entries come back numbered from 0 (each detect string
// under its number's "_detect" key), in one edit of the file.
void RewriteNumbered(std::string_view section, const std::vector<std::string>& keys,
                     const std::vector<std::pair<std::string, std::string>>& entries) {
    std::vector<std::pair<std::string, std::string>> written;
    for (size_t j = 0; j < entries.size(); ++j) {
        written.emplace_back(IntText(static_cast<int>(j)), entries[j].first);
        if (!entries[j].second.empty())
            written.emplace_back(IntText(static_cast<int>(j)) + "_detect", entries[j].second);
    }
    ReplaceHostKeys(section, keys, written);
}

void Renumber(std::string_view section) {
    ReadSectionKeys(section);
    const std::vector<std::string> keys = KeyList();
    RewriteNumbered(section, keys, CollectEntries(section, keys));
}

void ShowRegistrationError(int message, std::string_view modulePath) {
    ShowMessageBox(FormatPrintf(Message(message), {modulePath}), Message(Msg::AppTitle),
                   kStyleError | kMbTaskModal, Outcome::Failed, message);
}

} // namespace

void WriteNumberedEntry(std::string_view section, int number, std::string_view value,
                        std::string_view detect) {
    WriteHostValue(section, IntText(number), value);
    std::string detectKey = IntText(number) + "_detect";
    if (!detect.empty())
        WriteHostValue(section, detectKey, detect);
    else
        DeleteHostKey(section, detectKey, false);
}

void InsertNumberedEntry(std::string_view section, int position, std::string_view value,
                         std::string_view detect) {
    ReadSectionKeys(section);
    const std::vector<std::string> keys = KeyList();
    auto entries = CollectEntries(section, keys);
    position = std::clamp(position, 0, static_cast<int>(entries.size()));
    entries.insert(entries.begin() + position, {std::string(value), std::string(detect)});
    RewriteNumbered(section, keys, entries);
}

void RemoveEntryByFile(std::string_view section, std::string_view modulePath, bool disable) {
    ReadSectionKeys(section);
    const std::vector<std::string> keys = KeyList();
    for (const std::string& key : keys) {
        if (!NamesModule(section, key, modulePath))
            continue;
        DeleteHostKey(section, key, disable);
        DeleteHostKey(section, key + "_detect", false);
    }
    if (IsNumberedSection(section))
        Renumber(section);
}

void RenumberSection(std::string_view section) {
    Renumber(section);
}

void RemovePlugin(int row, bool disable) {
    const PluginEntry& entry = EntryAt(row);
    RemoveEntryByFile(SectionOfKind(entry.Kind), entry.FileName, disable);
}

void EnablePlugin(int row) {
    const std::string fileName = EntryAt(row).FileName;
    ReadSectionKeys(kDisabledSection);
    const std::vector<std::string> disabledKeys = KeyList(); // our own copy: inserts replace KeyList
    for (const std::string& disabledKey : disabledKeys) {
        std::string detect = ReadHostValue(kDisabledSection, disabledKey);
        auto [section, value, key] = SplitDisabledKey(disabledKey);
        std::string path = ExpandHostPath(TextAfter(value, ","));
        if (!EqualsNoCaseAnsi(path, fileName))
            continue;
        if (section == "PackerPlugins" || section == "FileSystemPlugins")
            WriteHostValue(section, key, value);
        else if (IsNumberedSection(section))
            InsertNumberedEntry(section, IntFromText(key, 0), value, detect);
        DeleteHostKey(kDisabledSection, disabledKey, false);
    }
}

RegisterResult RegisterPlugin(std::string_view modulePath, std::string_view extensionList,
                              bool reportDuplicate, std::string_view given) {
    // Text from outside (a file name, what the module answers) that would break the host's file.
    auto unusable = [&](std::string_view text) {
        ShowAppMessage(UnusableMessage(text), kStyleError, Outcome::Failed, Msg::UnusableText);
        return RegisterResult::Failed;
    };
    if (UnusableModulePath(modulePath))
        return unusable(modulePath);
    PluginKind kind = PluginKindOfFile(modulePath);
    // A plugin's extension on a file that is no module (a text, a cut-off download) is no plugin.
    if (kind == kNoPlugin || !IsModuleFile(modulePath)) {
        ShowRegistrationError(60, modulePath);
        return RegisterResult::Failed;
    }
    std::string_view section = SectionOfKind(kind);
    if (kind != kPacker && IsRegistered(modulePath, kind)) {
        if (!reportDuplicate)
            return RegisterResult::Registered;
        ShowRegistrationError(61, modulePath);
        return RegisterResult::Failed;
    }
    auto reportFault = [&](const char* entry) {
        ShowMessageBox(FormatPrintf(Message(Msg::PluginFunctionFailed), {modulePath, entry}),
                       Message(Msg::AppTitle), kStyleError | kMbTaskModal, Outcome::Failed,
                       Msg::PluginFunctionFailed);
        return RegisterResult::ProbeFault;
    };
    // The helper could not run at all (no Wine for the module's bitness, no helper, no answer in
    // time): that is not the plugin's fault, and only a person decides whether the default answer
    // will do; a script's --yes does not.
    auto unanswered = [&](QueryStatus status, const char* entry) {
        return status == QueryStatus::Unavailable &&
               ShowMessageBox(
                   FormatPrintf(Message(Msg::HelperUnanswered), {modulePath, entry, LastQueryProblem()}),
                   Message(Msg::AppTitle), kStyleGuessQuestion | kMbTaskModal) != kIdOk;
    };
    switch (kind) {
    case kLister:
    case kContent: {
        int number = CountNumberedKeys(kind);
        QueryStatus status = QueryStatus::Answered;
        std::string detect = !given.empty()    ? std::string(given)
                             : kind == kLister ? QueryListerDetectString(modulePath, &status)
                                               : QueryContentDetectString(modulePath, &status);
        if (status == QueryStatus::Cancelled ||
            unanswered(status, kind == kLister ? "ListGetDetectString" : "ContentGetDetectString"))
            return RegisterResult::Cancelled;
        // A module that crashed in the question (the user was told) is not registered as if it
        // had answered: an empty detect string is not what it would have said.
        if (status == QueryStatus::Fault)
            return RegisterResult::ProbeFault;
        if (UnusableAssociation(kind, detect))
            return unusable(detect);
        WriteNumberedEntry(section, number, modulePath, detect);
        break;
    }
    case kPacker: {
        QueryStatus status;
        int32_t flags = QueryPackerCaps(modulePath, &status);
        if (status == QueryStatus::Cancelled)
            return RegisterResult::Cancelled;
        if (status == QueryStatus::Fault)
            return reportFault("GetPackerCaps");
        if (unanswered(status, "GetPackerCaps"))
            return RegisterResult::Cancelled;
        std::string value = FormatPrintf("%d,%s", {flags, modulePath});
        std::vector<std::string_view> items;
        for (std::string_view rest = extensionList; !rest.empty();) {
            size_t comma = rest.find(',');
            std::string_view item = rest.substr(0, comma);
            rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
            if (!item.empty()) // ",," or a leading "," would make an empty key
                items.push_back(item);
        }
        // Extensions another packer has: giving them away is the user's call, asked once.
        std::string taken, owners;
        for (std::string_view item : items)
            if (const std::string owner = ReadHostPath(section, item);
                !owner.empty() && !EqualsNoCaseAnsi(ExpandHostPath(owner), ExpandHostPath(modulePath))) {
                taken.append(taken.empty() ? "" : ", ").append(item);
                if (owners.find(owner) == std::string::npos)
                    owners.append(owners.empty() ? "" : ", ").append(owner);
            }
        if (!taken.empty() &&
            ShowAppMessage(FormatPrintf(Message(Msg::PackerExtensionsTaken), {taken, owners}),
                           kStyleReplaceQuestion) != kIdOk)
            return RegisterResult::Cancelled;
        for (std::string_view item : items)
            WriteHostValue(section, item, value);
        break;
    }
    default: {
        QueryStatus status = QueryStatus::Answered;
        std::string name = !given.empty() ? std::string(given) : QueryFsRootName(modulePath, &status);
        if (status == QueryStatus::Cancelled)
            return RegisterResult::Cancelled;
        if (status == QueryStatus::Fault)
            return reportFault("FsGetDefRootName");
        if (unanswered(status, "FsGetDefRootName"))
            return RegisterResult::Cancelled;
        if (name.empty() || UnusableAssociation(kFileSystem, name))
            return unusable(name);
        // The name belongs to another plugin already: replacing its registration is the user's call.
        if (const std::string taken = ReadHostValue(section, name);
            !taken.empty() && !EqualsNoCaseAnsi(ExpandHostPath(taken), ExpandHostPath(modulePath)) &&
            ShowAppMessage(FormatPrintf(Message(Msg::FsNameTaken), {name, taken}), kStyleReplaceQuestion) !=
                kIdOk)
            return RegisterResult::Cancelled;
        WriteHostValue(section, name, modulePath);
        break;
    }
    }
    return RegisterResult::Registered;
}

std::string UnusableMessage(std::string_view text) {
    return FormatPrintf(Message(Msg::UnusableText), {VisibleControls(text)});
}

std::optional<std::string> UnusableModulePath(std::string_view path) {
    if (IsSafeProfileValue(path))
        return std::nullopt;
    return std::string(path);
}

std::optional<std::string> UnusableAssociation(PluginKind kind, std::string_view text) {
    auto breaksLines = [](std::string_view part) { return !IsSafeProfileValue(part); };
    auto badKey = [](std::string_view key) { return !IsSafeProfileKey(key); };
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    if (kind == kLister || kind == kContent) {
        if (breaksLines(text))
            return std::string(text);
        return std::nullopt;
    }
    if (kind == kFileSystem) {
        // A blank name would be no registration at all: the host shows plugins by their names.
        if (text.empty() || badKey(text) || blank(text.front()) || blank(text.back()))
            return std::string(text);
        return std::nullopt;
    }
    std::string_view rest = text;
    while (!rest.empty()) {
        size_t comma = rest.find(',');
        std::string_view item = rest.substr(0, comma);
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        while (!item.empty() && blank(item.front()))
            item.remove_prefix(1);
        if (badKey(item))
            return std::string(item);
    }
    return std::nullopt;
}

void SetAssociation(int row, std::string_view text) {
    const PluginEntry entry = EntryAt(row);
    std::string_view section = SectionOfKind(entry.Kind);
    if (entry.Kind == kFileSystem) {
        DeleteHostKey(section, entry.Association, false);
        WriteHostValue(section, text, entry.FileName);
    } else if (entry.Kind == kLister || entry.Kind == kContent) {
        std::string key = FormatPrintf("%d_detect", {entry.Index});
        if (text.empty())
            DeleteHostKey(section, key, false);
        else
            WriteHostValue(section, key, text);
    }
}

bool IsRegistered(std::string_view modulePath, PluginKind kind) {
    std::string_view section = SectionOfKind(kind);
    ReadSectionKeys(section);
    for (const std::string& key : KeyList())
        if (NamesModule(section, key, modulePath))
            return true;
    return false;
}

bool LookupInstalled(std::string_view modulePath, std::string* association) {
    LoadTable(false);
    int row = FindEntryByFile(modulePath);
    if (row == 0)
        return false;
    if (association)
        *association = EntryAt(row).Association;
    return true;
}

PackerAssociationList ReadPackerAssociations(std::string_view modulePath, bool queryDefaults) {
    PackerAssociationList list;
    bool queried = false;
    auto defaults = [&] {
        if (!queried)
            list.defaultFlags = QueryPackerCaps(modulePath);
        queried = true;
        return list.defaultFlags;
    };
    if (queryDefaults)
        defaults();
    ReadSectionKeys("PackerPlugins");
    for (const std::string& key : KeyList()) {
        std::string value = ExpandHostPath(ReadHostValue("PackerPlugins", key));
        std::string path = value;
        std::optional<int32_t> flags;
        if (size_t comma = value.find(','); comma != std::string::npos) {
            flags = IntFromText(value.substr(0, comma), 0);
            path = value.substr(comma + 1);
        }
        if (!EqualsNoCaseAnsi(path, modulePath))
            continue;
        // A value without flags: the module's own, which the host asks it for.
        list.pairs.push_back({key, flags ? *flags : defaults()});
        ++list.count;
    }
    return list;
}

void WritePackerAssociations(std::string_view modulePath, const PackerAssociationList& list) {
    ReadSectionKeys("PackerPlugins");
    const std::vector<std::string> keys = KeyList();
    for (const std::string& key : keys)
        if (NamesModule("PackerPlugins", key, modulePath))
            DeleteHostKey("PackerPlugins", key, false);
    for (int i = 0; i < list.count && static_cast<size_t>(i) < list.pairs.size(); ++i) {
        const auto& pair = list.pairs[static_cast<size_t>(i)];
        WriteHostValue("PackerPlugins", pair.extension, FormatPrintf("%d,%s", {pair.flags, modulePath}));
    }
}

void SetPackerFlags(std::string_view modulePath, int32_t flags) {
    PackerAssociationList list = ReadPackerAssociations(modulePath, false);
    for (auto& pair : list.pairs)
        pair.flags = flags;
    WritePackerAssociations(modulePath, list);
}

} // namespace varnel
