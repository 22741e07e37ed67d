// The health check's findings, read from the host's file and the disk, and their repairs.

#include "ops/health_check.h"

#include "app/settings.h"
#include "catalog/detect_string.h"
#include "catalog/host_config.h"
#include "catalog/module_info.h"
#include "catalog/plugin_table.h"
#include "catalog/registration.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "ops/history.h"
#include "ops/install.h"
#include "platform/codepage.h"
#include "platform/file_tree.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "util/text.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <set>

namespace varnel {

namespace {

using Kind = HealthFinding::Kind;

bool EndsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// A path as a key for comparisons: plain UTF-8 whatever form the host text had, case folded.
std::string PathKey(std::string_view path) {
    return FoldUtf8(platform::HostTextToUtf8(path));
}

// A path inside a folder, as host text: names outside the code page keep the marked form.
std::string PathInside(std::string_view folder, std::string_view relative) {
    return platform::Utf8ToHostText(platform::HostTextToUtf8(folder) + "\\" +
                                    platform::HostTextToUtf8(relative));
}

bool IsNumbered(PluginKind kind) {
    return kind == kLister || kind == kContent;
}

bool IsEntryKey(std::string_view key) {
    return !key.empty() && std::all_of(key.begin(), key.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool ModuleMissing(const Context& context, const std::string& path) {
    return !platform::FileExists(ModuleLoadedByHost(path, context.host.HostBits));
}

HealthFinding Finding(Kind kind, std::string text, int repair, bool safe) {
    HealthFinding finding;
    finding.kind = kind;
    finding.text = std::move(text);
    finding.repairable = kind != Kind::BadDetect;
    finding.repair = Message(repair);
    finding.safe = safe;
    return finding;
}

void CheckDetect(std::vector<HealthFinding>& findings, const std::string& module, const std::string& detect) {
    if (std::optional<DetectStringProblem> problem = CheckDetectString(detect))
        findings.push_back(
            Finding(Kind::BadDetect,
                    FormatPrintf(Message(Msg::CheckDetectUnparsable),
                                 {FileNamePart(module), static_cast<int>(problem->position) + 1, detect,
                                  Message(problem->message)}),
                    Msg::RepairRename, false));
}

// Lister and Content plugins: numbered keys and their detect strings.
void CheckNumbered(const Context& context, std::vector<HealthFinding>& findings, PluginKind kind,
                   std::set<std::string>& registered) {
    const std::string section(SectionOfKind(kind));
    ReadSectionKeys(section);
    const std::vector<std::string> keys = KeyList();
    std::set<std::string> entryKeys;
    std::map<std::string, std::string> firstKeyOf; // folded module -> its first key
    for (const std::string& key : keys)
        if (IsEntryKey(key))
            entryKeys.insert(key);
    for (const std::string& key : keys) {
        const size_t underscore = key.find('_');
        if (underscore != std::string::npos) {
            const std::string number = key.substr(0, underscore);
            if (EqualsNoCaseAscii(key.substr(underscore), "_detect") && IsEntryKey(number) &&
                entryKeys.count(number) == 0) {
                HealthFinding finding =
                    Finding(Kind::OrphanDetect,
                            FormatPrintf(Message(Msg::CheckKeyWithoutPlugin), {section, key, number}),
                            Msg::RepairRemoveKey, true);
                finding.section = section;
                finding.keys = {key};
                findings.push_back(std::move(finding));
            }
            continue;
        }
        if (!IsEntryKey(key))
            continue;
        const std::string path = ReadHostPath(section, key);
        registered.insert(PathKey(path));
        auto [first, isFirst] = firstKeyOf.emplace(PathKey(path), key);
        HealthFinding finding;
        if (!isFirst) {
            finding =
                Finding(Kind::Duplicate,
                        FormatPrintf(Message(Msg::CheckRegisteredTwice),
                                     {FileNamePart(path), std::string(kKindWords[kind]), first->second, key}),
                        Msg::RepairRemoveSecond, false);
        } else if (ModuleMissing(context, path)) {
            finding = Finding(Kind::MissingModule,
                              FormatPrintf(Message(Msg::CheckModuleMissing), {FileNamePart(path), path}),
                              Msg::RepairRemoveRegistration, true);
        } else {
            CheckDetect(findings, path, ReadHostValue(section, key + "_detect"));
            continue;
        }
        finding.section = section;
        finding.keys = {key};
        finding.path = path;
        findings.push_back(std::move(finding));
    }
}

void CheckPackers(const Context& context, std::vector<HealthFinding>& findings,
                  std::set<std::string>& registered) {
    const std::string section(SectionOfKind(kPacker));
    ReadSectionKeys(section);
    const std::vector<std::string> keys = KeyList();
    std::map<std::string, std::pair<std::string, std::vector<std::string>>> missing; // folded path
    for (const std::string& key : keys) {
        const std::string path = ReadHostPath(section, key);
        registered.insert(PathKey(path));
        if (ModuleMissing(context, path)) {
            auto& slot = missing[PathKey(path)];
            slot.first = path;
            slot.second.push_back(key);
        }
    }
    for (auto& [folded, slot] : missing) {
        std::string list;
        for (const std::string& key : slot.second)
            list += (list.empty() ? "" : ", ") + key;
        HealthFinding finding =
            Finding(Kind::DeadPackerExtensions,
                    FormatPrintf(Message(Msg::CheckPackerModuleMissing), {list, slot.first}),
                    Msg::RepairRemoveExtensions, true);
        finding.section = section;
        finding.keys = slot.second;
        finding.path = slot.first;
        findings.push_back(std::move(finding));
    }
}

void CheckFileSystems(const Context& context, std::vector<HealthFinding>& findings,
                      std::set<std::string>& registered) {
    const std::string section(SectionOfKind(kFileSystem));
    ReadSectionKeys(section);
    const std::vector<std::string> keys = KeyList();
    std::map<std::string, std::string> firstKeyOf;
    for (const std::string& key : keys) {
        const std::string path = ReadHostPath(section, key);
        registered.insert(PathKey(path));
        auto [first, isFirst] = firstKeyOf.emplace(PathKey(path), key);
        HealthFinding finding;
        if (!isFirst)
            finding = Finding(
                Kind::Duplicate,
                FormatPrintf(Message(Msg::CheckRegisteredTwice),
                             {FileNamePart(path), std::string(kKindWords[kFileSystem]), first->second, key}),
                Msg::RepairRemoveSecond, false);
        else if (ModuleMissing(context, path))
            finding =
                Finding(Kind::MissingModule, FormatPrintf(Message(Msg::CheckModuleMissing), {key, path}),
                        Msg::RepairRemoveRegistration, true);
        else
            continue;
        finding.section = section;
        finding.keys = {key};
        finding.path = path;
        findings.push_back(std::move(finding));
    }
}

void CheckDisabled(const Context& context, std::vector<HealthFinding>& findings,
                   std::set<std::string>& registered) {
    ReadSectionKeys(kDisabledSection);
    const std::vector<std::string> keys = KeyList();
    for (const std::string& disabledKey : keys) {
        auto [section, value, key] = SplitDisabledKey(disabledKey);
        const std::string path = ExpandHostPath(TextAfter(value, ","));
        registered.insert(PathKey(path));
        if (ModuleMissing(context, path)) {
            HealthFinding finding =
                Finding(Kind::DeadDisabled,
                        FormatPrintf(Message(Msg::CheckDisabledModuleMissing), {FileNamePart(path), path}),
                        Msg::RepairRemoveDisabled, true);
            finding.section = std::string(kDisabledSection);
            finding.keys = {disabledKey};
            finding.path = path;
            findings.push_back(std::move(finding));
        } else if (section == SectionOfKind(kLister) || section == SectionOfKind(kContent)) {
            CheckDetect(findings, path, ReadHostValue(kDisabledSection, disabledKey));
        }
    }
}

// Modules whose bitness the host cannot load (registered, present, not disabled), named by their
// full paths: two folders may hold modules of the same name.
void CheckBitness(const Context& context, std::vector<HealthFinding>& findings) {
    std::set<std::string> seen;
    for (int kind = 0; kind < kPluginKindCount; ++kind) {
        const std::string section(SectionOfKind(static_cast<PluginKind>(kind)));
        ReadSectionKeys(section);
        const std::vector<std::string> keys = KeyList();
        for (const std::string& key : keys) {
            if (IsNumbered(static_cast<PluginKind>(kind)) && !IsEntryKey(key))
                continue;
            const std::string path = ReadHostPath(section, key);
            const std::string loaded = ModuleLoadedByHost(path, context.host.HostBits);
            if (!seen.insert(section + "|" + PathKey(path)).second || !platform::FileExists(loaded))
                continue;
            const int bits = ModuleBits(loaded);
            if (bits == 0 || context.host.HostBits == 0 || BitsMatch(bits, context.host.HostBits))
                continue;
            HealthFinding finding =
                Finding(Kind::WrongBitness,
                        FormatPrintf(Message(Msg::CheckWrongBitness),
                                     {loaded, std::to_string(bits), std::to_string(context.host.HostBits)}),
                        Msg::RepairDisable, false);
            finding.section = section;
            finding.path = path;
            findings.push_back(std::move(finding));
        }
    }
}

std::vector<std::string> PluginFolders(const Context& context) {
    const Settings& s = context.settings;
    std::vector<std::string> folders;
    for (const std::string& folder : {s.PluginsLister, s.PluginsPacker, s.PluginsFS, s.PluginsContent}) {
        std::string expanded = ExpandHostPath(folder);
        while (!expanded.empty() && expanded.back() == '\\')
            expanded.pop_back();
        if (!expanded.empty() && std::none_of(folders.begin(), folders.end(), [&](const std::string& f) {
                return EqualsNoCaseAnsi(f, expanded);
            }))
            folders.push_back(expanded);
    }
    return folders;
}

bool IsModuleName(std::string_view name) {
    std::string lower = LowerAscii(name);
    for (std::string_view extension : kKindExtensions)
        if (EndsWith(lower, extension) || EndsWith(lower, std::string(extension) + "64"))
            return true;
    return false;
}

// The 32-bit name of a 64-bit module file ("x.wlx64" -> "x.wlx"), else the name itself.
std::string TwinBase(const std::string& path) {
    if (EndsWith(LowerAscii(path), "64"))
        return path.substr(0, path.size() - 2);
    return path;
}

void CheckPluginFolders(const Context& context, std::vector<HealthFinding>& findings,
                        const std::set<std::string>& registered) {
    std::set<std::string> registeredBases;
    for (const std::string& each : registered)
        registeredBases.insert(TwinBase(each));
    std::set<std::string> reported;
    for (const std::string& folder : PluginFolders(context)) {
        platform::TreeLimits limits;
        limits.maxDepth = 3;
        limits.maxBytes = UINT64_MAX;
        const platform::TreeListing listing = platform::ListTree(folder, limits, false);
        for (const platform::TreeEntry& entry : listing.entries) {
            if (entry.type != platform::TreeEntry::Type::File || !IsModuleName(entry.relative))
                continue;
            const std::string path = PathInside(folder, entry.relative);
            const std::string folded = PathKey(path);
            if (registeredBases.count(TwinBase(folded)) != 0 || !reported.insert(TwinBase(folded)).second)
                continue;
            // Offered under the name the host registers: the 32-bit one when both lie there.
            const std::string offered = platform::FileExists(TwinBase(path)) ? TwinBase(path) : path;
            HealthFinding finding =
                Finding(Kind::NotInstalled, FormatPrintf(Message(Msg::CheckUnregisteredModule), {offered}),
                        Msg::RepairInstall, false);
            finding.path = offered;
            findings.push_back(std::move(finding));
        }
    }
}

std::string InstallScratchFolder(const Context& context) {
    const std::string work = ExpandHostPath(context.settings.PluginsLister);
    const size_t slash = work.rfind('\\');
    if (context.settings.PluginsLister.empty() || slash == std::string::npos)
        return {};
    return work.substr(0, slash) + "\\Install.tmp";
}

} // namespace

std::vector<HealthFinding> CheckHostHealth(const Context& context) {
    std::vector<HealthFinding> findings;
    std::set<std::string> registered;
    CheckNumbered(context, findings, kLister, registered);
    CheckPackers(context, findings, registered);
    CheckFileSystems(context, findings, registered);
    CheckNumbered(context, findings, kContent, registered);
    CheckDisabled(context, findings, registered);
    CheckBitness(context, findings);
    if (const std::string scratch = InstallScratchFolder(context);
        !scratch.empty() && platform::DirectoryExists(scratch)) {
        HealthFinding finding =
            Finding(Kind::LeftoverInstallTmp, FormatPrintf(Message(Msg::CheckArchiveLeftover), {scratch}),
                    Msg::RepairDeleteFolder, false);
        finding.path = scratch;
        findings.push_back(std::move(finding));
    }
    CheckPluginFolders(context, findings, registered);
    return findings;
}

Result RepairFindings(const Context& context, const std::vector<HealthFinding>& picked) {
    std::vector<const HealthFinding*> chosen;
    for (const HealthFinding& finding : picked)
        if (finding.repairable)
            chosen.push_back(&finding);
    std::string what = chosen.size() == 1
                           ? chosen.front()->text
                           : FormatPrintf(Message(Msg::CheckProblems), {static_cast<int>(chosen.size())});
    CommandRun run(context, FormatPrintf(Message(Msg::HistRepaired), {what}));
    if (chosen.empty())
        return run.Finish();
    {
        HostConfigTransaction transaction;
        // Keys first, every numbered section renumbered once after its entries went; then the
        // disables, which find their modules by path and so do not mind the new numbers.
        std::set<std::string> renumber;
        for (const HealthFinding* finding : chosen) {
            for (const std::string& key : finding->keys) {
                DeleteHostKey(finding->section, key, false);
                if (IsEntryKey(key) && (finding->section == SectionOfKind(kLister) ||
                                        finding->section == SectionOfKind(kContent))) {
                    DeleteHostKey(finding->section, key + "_detect", false);
                    renumber.insert(finding->section);
                }
            }
        }
        for (const std::string& section : renumber)
            RenumberSection(section);
        // The list of disabled plugins is this program's: its last entry takes the header along.
        if (std::any_of(chosen.begin(), chosen.end(),
                        [](const HealthFinding* finding) { return finding->section == kDisabledSection; }))
            platform::ProfileRemoveEmptySection(context.host.HostIniPath, kDisabledSection);
        for (const HealthFinding* finding : chosen)
            if (finding->kind == Kind::WrongBitness)
                RemoveEntryByFile(finding->section, finding->path, true);
        if (!CommitOrReport(context.host, transaction))
            return run.Stop(Outcome::Failed);
    }
    for (const HealthFinding* finding : chosen) {
        if (finding->kind == Kind::LeftoverInstallTmp) {
            if (platform::InDryRun())
                platform::DryRunRemove(finding->path);
            else
                platform::RemoveTree(finding->path);
        } else if (finding->kind == Kind::NotInstalled) {
            InstallRequest install;
            install.path = finding->path;
            install.reportDuplicate = true;
            if (Result installed = InstallPlugin(run.Here(), install); !installed.Done())
                return run.Stop(installed.code);
        }
    }
    return run.Finish();
}

} // namespace varnel
