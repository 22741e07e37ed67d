#pragma once
// The main window's plugin list without the widgets: which table rows a tab shows, the row texts
// and icons, the sort order, the sort markers and the command states. The window only mirrors
// what this computes.

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/plugin_table.h"

namespace varnel {

constexpr int kPluginListColumns = 7;
constexpr int kIconDisabledOrMissing = 4;
inline constexpr std::string_view kProgramVersionText = "1.8.4";

struct HostContext;

struct PluginListRow {
    int tableRow = 0; // 0 for the placeholder row
    int icon = 0;
    std::string caption;
    std::array<std::string, kPluginListColumns - 1> subItems; // columns 1 to 6; empty for the placeholder
    bool placeholder = false;
    bool foreignBits = false; // the host cannot load the module
    const std::string& Text(int column) const {
        return column == 0 ? caption : subItems[static_cast<size_t>(column - 1)];
    }
};

struct PluginListOptions {
    int tab = 0;           // 0 all kinds, k: kind k - 1
    bool showTypes = true; // kind texts in front of names
    bool showVersions = false;
    bool showDescriptions = false;
};

// The rows of the loaded plugin table for a tab, in table order, and how many of them are
// disabled or missing.
std::vector<PluginListRow> BuildPluginListRows(const PluginTable& table, const HostContext& host,
                                               const PluginListOptions& options, int* disabledOrMissing);

// The caption prefix of a numbered (Lister or Content) row: kind text, then the position number
// in brackets, padded by how many plugins of the kind there are.
std::string NumberedPrefix(std::string_view kindText, int index, int countOfKind, bool disabled);

// The list's compare routine: byte order with a-z folded to A-Z; the placeholder equals every row.
int ComparePluginListRows(const PluginListRow& a, const PluginListRow& b, int column, bool ascending);
void SortPluginListRows(std::vector<PluginListRow>& rows, int column, bool ascending);

// Whether the host version text is one that has content plugins (6.50 and later), compared as
// numbers: major first, then minor.
bool HostVersionHasContentPlugins(std::string_view versionText);

// The short name of a kind: its message text up to the first ":".
std::string KindShortName(std::string_view kindMessage);

// The settings file of a plugin module: its extension replaced by ".ini".
std::string PluginIniOf(std::string_view moduleFile);

// What the selection allows (Part of the window's change handler).
struct SelectionState {
    bool selected = false; // a plugin row is selected
    bool single = false;   // exactly one row, and it stands for a plugin
    PluginKind kind = kNoPlugin;
    bool disabled = false;
    int tab = 0;
};
struct CommandStates {
    bool disableVisible = true, disableEnabled = false;
    bool enableVisible = false;
    bool removeEnabled = false;
    bool tweakVisible = false, tweakEnabled = false;
    bool renameVisible = true, renameEnabled = false;
    bool configureEnabled = false;
    bool orderEnabled = true;
    bool browseEnabled = false;
    // Why the commands are off, as message numbers (0 while they are on): those for any selected
    // plugin (disable, uninstall, browse), those for exactly one (rename, tweak, configure), Order.
    int selectionWhyNot = 0;
    int singleWhyNot = 0;
    int orderWhyNot = 0;
};
// The messages that say why a command is off.
enum WhyNotMessage {
    kWhyNoSelection = 102,
    kWhyNotSingle = 103,
    kWhyNoOrder = 104,
    kWhyNotInThisVersion = 105,
    kWhyNoHost = 106,
};
CommandStates CommandStatesFor(const SelectionState& selection);

} // namespace varnel
