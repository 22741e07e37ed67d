#include "catalog/module_info.h"

#include "catalog/module_facts_store.h"

#include "catalog/catalog_options.h"
#include "catalog/host_config.h"
#include "catalog/module_probe.h"
#include "catalog/pe_image.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/system.h"
#include "util/text.h"

#include <unordered_map>
#include <unordered_set>

namespace varnel {

namespace {

QueryStatus StatusOf(const ProbeAnswer& answer) {
    switch (answer.kind) {
    case ProbeAnswer::Exports:
    case ProbeAnswer::Number:
    case ProbeAnswer::Text:
        return QueryStatus::Answered;
    case ProbeAnswer::Fault:
        return QueryStatus::Fault;
    case ProbeAnswer::Unavailable:
        return QueryStatus::Unavailable;
    case ProbeAnswer::Cancelled:
        return QueryStatus::Cancelled;
    case ProbeAnswer::NotLoaded:
    case ProbeAnswer::NoEntry:
        break;
    }
    return QueryStatus::Default;
}

std::string& LastProblem() {
    static std::string problem;
    return problem;
}

void Report(QueryStatus* out, QueryStatus status) {
    if (out)
        *out = status;
}

QueryStatus Remember(const ProbeAnswer& answer) {
    LastProblem() = answer.kind == ProbeAnswer::Unavailable ? answer.problem : std::string();
    return StatusOf(answer);
}

std::string FileNameWithoutExtension(std::string_view path) {
    std::string file = FileNamePart(path);
    size_t dot = file.rfind('.');
    return dot == std::string::npos ? file : file.substr(0, dot);
}

std::string DetectString(std::string_view path, std::string_view question, std::string_view entry,
                         QueryStatus* status) {
    ProbeAnswer answer = AskProbe(question, ModuleLoadedByHost(path, Host().HostBits));
    Report(status, Remember(answer));
    if (answer.kind == ProbeAnswer::Fault) {
        ShowMessageBox(FormatPrintf(Message(Msg::PluginFunctionFailed), {path, entry}),
                       Message(Msg::AppTitle), kStyleError | kMbTaskModal, Outcome::Failed,
                       Msg::PluginFunctionFailed);
    }
    return answer.kind == ProbeAnswer::Text ? answer.text : std::string();
}

// ".wlx" and the other kind extensions, in any letter case; not ".dll" and not ".wlx64".
bool HasKindExtension(std::string_view path) {
    std::string extension = LowerAscii(ExtensionPart(path));
    for (std::string_view kindExtension : kKindExtensions)
        if (extension == kindExtension)
            return true;
    return false;
}

// What the list needs of a module's file (machine type, version resource), read once per file
// and read again only when the file changed: a load of thousands of unchanged modules then costs
// a look at each one's attributes, also at the next start of the program (the store file).
struct KnownFacts {
    ModuleFactsFile facts;
    bool loaded = false;  // the store was read
    bool changed = false; // since it was read or written
    // What this run looked at: the store keeps only that, so that modules of hosts long gone
    // (or of other prefixes) do not pile up in it.
    std::unordered_set<std::string> used;
};

KnownFacts& Known() {
    static KnownFacts known;
    static std::string loadedFrom;
    if (!known.loaded || loadedFrom != ModuleFactsStore()) {
        // Facts read before the store was named (the host program's own) stay with those stored.
        known.loaded = true;
        loadedFrom = ModuleFactsStore();
        std::string bytes;
        if (const std::string& store = ModuleFactsStore();
            !store.empty() &&
            platform::ReadWholeFile(store, bytes, kMaxStoredFactsBytes) == platform::ReadResult::Ok)
            if (std::optional<ModuleFactsFile> stored = DecodeModuleFacts(bytes))
                known.facts.modules.merge(stored->modules);
    }
    return known;
}

std::unordered_map<std::string, ModuleFacts>& FactsCache() {
    return Known().facts.modules;
}

const ModuleFacts* FactsOnDisk(const std::string& key);

// While a ModuleFactsScope lives: the modules whose facts were checked against the disk already.
thread_local std::unordered_map<std::string, bool>* g_checkedInScope = nullptr;

const ModuleFacts* FactsOf(std::string_view path) {
    std::unordered_map<std::string, ModuleFacts>& cache = FactsCache();
    std::string key(path);
    if (g_checkedInScope) {
        if (auto checked = g_checkedInScope->find(key); checked != g_checkedInScope->end()) {
            auto found = cache.find(key);
            return checked->second && found != cache.end() ? &found->second : nullptr;
        }
    }
    const ModuleFacts* facts = FactsOnDisk(key);
    if (g_checkedInScope)
        (*g_checkedInScope)[key] = facts != nullptr;
    return facts;
}

const ModuleFacts* FactsOnDisk(const std::string& key) {
    std::unordered_map<std::string, ModuleFacts>& cache = FactsCache();
    std::string_view path = key;
    std::optional<platform::FileStamp> stamp = platform::AttributeStampOf(path);
    if (!stamp || stamp->size == 0) { // missing, or a folder
        if (cache.erase(key) != 0)
            Known().changed = true;
        return nullptr;
    }
    Known().used.insert(key);
    if (auto found = cache.find(key); found != cache.end() && found->second.stamp == *stamp)
        return &found->second;
    if (cache.size() >= kMaxStoredEntries)
        cache.clear(); // a bound for the unlikely: never more than the modules of a few hosts
    Known().changed = true;
    ModuleFacts facts;
    facts.stamp = *stamp;
    if (std::unique_ptr<ByteSource> file = platform::OpenFileForReading(path)) {
        if (std::optional<PeImage> image = PeImage::Parse(*file)) {
            facts.machine = image->Machine();
            facts.versionInfo = image->VersionInfoBytes(*file);
        }
    }
    return &(cache[key] = std::move(facts));
}

std::string VersionInfoOf(std::string_view path) {
    const ModuleFacts* facts = FactsOf(path);
    return facts ? facts->versionInfo : std::string();
}

} // namespace

const std::string& LastQueryProblem() {
    return LastProblem();
}

bool IsModuleFile(std::string_view path) {
    switch (DetectModuleFormat(path)) {
    case ModuleFormat::NativeElf:
        return true;
    case ModuleFormat::WindowsPe: {
        std::unique_ptr<ByteSource> file = platform::OpenFileForReading(path);
        return file && PeImage::Parse(*file).has_value();
    }
    default:
        return false;
    }
}

PluginKind PluginKindOfFile(std::string_view path, QueryStatus* status) {
    Report(status, QueryStatus::Answered);
    if (!platform::FileExists(path))
        return kNoPlugin;
    std::string extension = LowerAscii(ExtensionPart(path));
    if (extension.size() == 6 && extension.ends_with("64"))
        extension.resize(4); // the 64-bit modules of each kind: ".wlx64", ".wcx64", ...
    for (size_t kind = 0; kind < kKindExtensions.size(); ++kind)
        if (extension == kKindExtensions[kind])
            return static_cast<PluginKind>(kind);
    if (extension != ".dll")
        return kNoPlugin;

    int exports = 0;
    switch (DetectModuleFormat(path)) {
    case ModuleFormat::WindowsPe: {
        // The export table answers without running anything of the module.
        std::unique_ptr<ByteSource> file = platform::OpenFileForReading(path);
        std::optional<PeImage> image = file ? PeImage::Parse(*file) : std::nullopt;
        if (!image) {
            Report(status, QueryStatus::Default);
            return kNoPlugin;
        }
        for (const std::string& name : image->ExportNames(*file)) {
            if (name == "FsInit")
                exports |= kExportsFsInit;
            else if (name == "ListLoad")
                exports |= kExportsListLoad;
            else if (name == "OpenArchive")
                exports |= kExportsOpenArchive;
            else if (name == "ContentGetValue")
                exports |= kExportsContentGetValue;
        }
        break;
    }
    case ModuleFormat::NativeElf: {
        ProbeAnswer answer = AskProbe("exports", path);
        Report(status, Remember(answer));
        if (answer.kind != ProbeAnswer::Exports)
            return kNoPlugin;
        exports = static_cast<int>(answer.number);
        break;
    }
    default:
        Report(status, QueryStatus::Default);
        return kNoPlugin;
    }
    if (exports & kExportsFsInit)
        return kFileSystem;
    if (exports & kExportsListLoad)
        return kLister;
    if (exports & kExportsOpenArchive)
        return kPacker;
    if (exports & kExportsContentGetValue)
        return kContent;
    return kNoPlugin;
}

int32_t QueryPackerCaps(std::string_view path, QueryStatus* status) {
    ProbeAnswer answer = AskProbe("packer-caps", ModuleLoadedByHost(path, Host().HostBits));
    Report(status, Remember(answer));
    return answer.kind == ProbeAnswer::Number ? static_cast<int32_t>(answer.number) : 0;
}

std::string QueryListerDetectString(std::string_view path, QueryStatus* status) {
    return DetectString(path, "lister-detect", "ListGetDetectString", status);
}

std::string QueryContentDetectString(std::string_view path, QueryStatus* status) {
    return DetectString(path, "content-detect", "ContentGetDetectString", status);
}

std::string QueryFsRootName(std::string_view path, QueryStatus* status) {
    ProbeAnswer answer = AskProbe("fs-root", ModuleLoadedByHost(path, Host().HostBits));
    Report(status, Remember(answer));
    if (answer.kind == ProbeAnswer::Text && !answer.text.empty())
        return answer.text;
    return FileNameWithoutExtension(path);
}

std::string ReadVersionText(std::string_view path, std::string_view name) {
    std::string info = VersionInfoOf(path);
    if (info.empty())
        return {};
    if (name.empty()) {
        std::optional<std::array<uint16_t, 4>> version = QueryFixedFileVersion(info);
        if (!version)
            return {};
        return FormatPrintf("%d.%d.%d.%d", {(*version)[0], (*version)[1], (*version)[2], (*version)[3]});
    }
    std::optional<uint32_t> translation = QueryFirstTranslation(info);
    if (!translation)
        return {};
    // Language into the high half, code page into the low half: "040904b0".
    uint32_t swapped = ((*translation & 0xFFFFu) << 16) | (*translation >> 16);
    std::string subBlock = FormatPrintf("\\StringFileInfo\\%.8x\\%s", {static_cast<int64_t>(swapped), name});
    std::optional<std::string> text = QueryVersionString(info, subBlock);
    return text ? platform::Utf8ToHostText(*text) : std::string();
}

std::string PluginDisplayName(std::string_view path) {
    int showNames = CatalogSettings().showNames;
    std::string name;
    if (showNames == 2)
        name = ReadVersionText(path, "FileDescription");
    if (name.size() >= 2)
        return name;
    if (showNames == 0)
        return FileNamePart(path);
    return FileNameWithoutExtension(path);
}

void ForgetModuleFacts() {
    Known().facts = {};
    Known().changed = true;
}

ModuleFactsScope::ModuleFactsScope() : m_previous(g_checkedInScope) {
    if (!m_previous) {
        m_checked = std::make_unique<std::unordered_map<std::string, bool>>();
        g_checkedInScope = m_checked.get();
    }
}

ModuleFactsScope::~ModuleFactsScope() {
    if (m_checked)
        g_checkedInScope = m_previous;
}

void SaveModuleFacts() {
    KnownFacts& known = Known();
    if (!known.changed || ModuleFactsStore().empty())
        return;
    ModuleFactsFile kept;
    for (const std::string& key : known.used)
        if (auto module = known.facts.modules.find(key); module != known.facts.modules.end())
            kept.modules.insert(*module);
    if (kept.modules.size() > kMaxStoredEntries)
        return;
    if (platform::WriteCacheFile(ModuleFactsStore(), EncodeModuleFacts(kept)))
        known.changed = false;
}

uint16_t ModuleMachine(std::string_view path) {
    const ModuleFacts* facts = FactsOf(path);
    return facts ? facts->machine : 0;
}

int ModuleBits(std::string_view path) {
    switch (ModuleMachine(path)) {
    case kMachineI386:
        return 32;
    case kMachineAmd64:
    case kMachineArm64:
        return 64;
    default:
        return 0;
    }
}

bool BitsMatch(int moduleBits, int hostBits) {
    return moduleBits == 0 || hostBits == 0 || moduleBits == hostBits;
}

std::string ModuleLoadedByHost(std::string_view registeredPath, int hostBits) {
    std::string path(registeredPath);
    if (hostBits != 64 || !HasKindExtension(path))
        return path;
    // A look at the twin's attributes: no open, no search of the folder.
    std::string twin = path + "64";
    return platform::IsRegularFile(twin) ? twin : path;
}

std::string RegistrationPathFor(std::string_view modulePath) {
    if (modulePath.size() < 2 || !modulePath.ends_with("64"))
        return std::string(modulePath);
    std::string twin(modulePath.substr(0, modulePath.size() - 2));
    return HasKindExtension(twin) && platform::FileExists(twin) ? twin : std::string(modulePath);
}

} // namespace varnel
