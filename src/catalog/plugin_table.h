#pragma once
// The plugin table: one row per plugin module, rebuilt from the host configuration.

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace varnel {

// 0 Lister, 1 Packer, 2 FS, 3 Content; -1 means "no plugin" and never enters the table.
using PluginKind = int8_t;
constexpr PluginKind kNoPlugin = -1;
constexpr PluginKind kLister = 0;
constexpr PluginKind kPacker = 1;
constexpr PluginKind kFileSystem = 2;
constexpr PluginKind kContent = 3;
constexpr int kPluginKindCount = 4;

inline constexpr std::array<std::string_view, kPluginKindCount> kKindSections = {
    "ListerPlugins", "PackerPlugins", "FileSystemPlugins", "ContentPlugins"};
inline constexpr std::array<std::string_view, kPluginKindCount> kKindWords = {"Lister", "Packer", "FS",
                                                                              "Content"};
inline constexpr std::array<std::string_view, kPluginKindCount> kKindExtensions = {".wlx", ".wcx", ".wfx",
                                                                                   ".wdx"};

std::string_view SectionOfKind(PluginKind kind);

// A [DisabledPlugins] key "section;value;key;" split into its fields; a missing ";" lets a field
// run to the end of the text.
struct DisabledKey {
    std::string section;
    std::string value;
    std::string key;
};
DisabledKey SplitDisabledKey(std::string_view disabledKey);

struct PluginEntry {
    std::string FileName;   // as registered
    std::string HostModule; // the module the host loads for it (see ModuleLoadedByHost)
    std::string Name;
    std::string Version;
    std::string Association;
    int32_t Index = 0;
    int Bits = 0; // of HostModule: 32, 64, or 0 when unknown
    PluginKind Kind = kPacker;
    bool Loaded = false;
    bool Deleted = false;
    bool Disabled = false;
};

// Rows are numbered 1 to Count.
class PluginTable {
public:
    int Count() const { return m_count; }
    PluginEntry& Row(int row) { return m_rows[static_cast<size_t>(row - 1)]; }
    const PluginEntry& Row(int row) const { return m_rows[static_cast<size_t>(row - 1)]; }
    // The row registered with the module file (A-Z folded); 0 when none is.
    int FindByFile(std::string_view file) const;

    void Clear();
    // Appends a fresh row. Every registration gets one: the table has no fixed capacity.
    bool Add();

private:
    std::vector<PluginEntry> m_rows;
    int m_count = 0;
};

PluginTable& Table();

void ClearTable();
bool AddEntry();
PluginEntry& EntryAt(int row);
int FindEntryByFile(std::string_view file);
int CountOfKind(PluginKind kind);
int CountNumberedKeys(PluginKind kind);
std::string StateText(int row);
std::string StateText(const PluginEntry& entry);
// The module's bitness ("32-bit"), and when the host cannot load it, that too; "" when unknown.
std::string BitsText(int row);
std::string BitsText(const PluginEntry& entry, int hostBits);
// Looks again whether the row's module is there and held by a process. Which module that is (the
// registered one or its 64-bit twin) was decided when the table was loaded.
void RefreshEntryFlags(int row);
// Reads every registration into the table; with details, also each module's name, version and
// state. Setting `stop` (from another thread) ends the reading of details early: the remaining
// rows then carry their file names and states only.
void LoadTable(bool withDetails, const std::atomic<bool>* stop = nullptr);
void LoadDisabledEntries();

// The state words (messages 20 to 24). The language layer replaces them when it loads a file.
enum StateMessage {
    kStateIdle = 20,
    kStateLoaded = 21,
    kStateRunning = 22,
    kStateDisabled = 23,
    kStateDeleted = 24
};
void SetStateWord(int message, std::string_view text);
const std::string& StateWord(int message);

} // namespace varnel
