#include "ops/plugin_list.h"
#include "lang/messages.h"

#include "catalog/host_config.h"
#include "catalog/module_info.h"
#include "lang/language.h"
#include "ops/descriptions.h"
#include "util/text.h"

#include <algorithm>
#include <cctype>

namespace varnel {

std::string NumberedPrefix(std::string_view kindText, int index, int countOfKind, bool disabled) {
    const char* format;
    if (countOfKind > 100)
        format = disabled ? " %s[%3d] " : "%s[%3d] ";
    else if (countOfKind > 10)
        format = disabled ? " %s[%2d] " : "%s[%2d] ";
    else
        format = disabled ? " %s[%d] " : "%s[%d] ";
    return FormatPrintf(format, {kindText, index});
}

std::vector<PluginListRow> BuildPluginListRows(const PluginTable& table, const HostContext& host,
                                               const PluginListOptions& options, int* disabledOrMissing) {
    std::array<std::string, kPluginKindCount> kindTexts;
    if (options.showTypes)
        for (int k = 0; k < kPluginKindCount; ++k)
            kindTexts[static_cast<size_t>(k)] = Message(Msg::KindLister + k);
    std::array<int, kPluginKindCount> counts{};
    for (int i = 1; i <= table.Count(); ++i)
        ++counts[static_cast<size_t>(table.Row(i).Kind)];

    std::vector<PluginListRow> rows;
    int missing = 0;
    for (int i = 1; i <= table.Count(); ++i) {
        const PluginEntry& entry = table.Row(i);
        if (options.tab != 0 && options.tab != entry.Kind + 1)
            continue;
        PluginListRow row;
        row.tableRow = i;
        if (entry.Disabled || entry.Deleted) {
            row.icon = kIconDisabledOrMissing;
            ++missing;
        } else {
            row.icon = entry.Kind;
        }
        std::string prefix = kindTexts[static_cast<size_t>(entry.Kind)];
        if (entry.Kind == kLister || entry.Kind == kContent)
            prefix =
                NumberedPrefix(prefix, entry.Index, counts[static_cast<size_t>(entry.Kind)], entry.Disabled);
        row.caption = prefix + entry.Name;
        row.subItems[0] = options.showDescriptions ? ReadDescription(entry.FileName) : std::string();
        row.subItems[1] = options.showVersions ? entry.Version : std::string();
        row.subItems[2] = StateText(entry);
        row.subItems[3] = entry.Association;
        row.subItems[4] = entry.FileName;
        row.subItems[5] = BitsText(entry, host.HostBits);
        row.foreignBits = !BitsMatch(entry.Bits, host.HostBits);
        rows.push_back(std::move(row));
    }
    if (disabledOrMissing)
        *disabledOrMissing = missing;
    return rows;
}

int ComparePluginListRows(const PluginListRow& a, const PluginListRow& b, int column, bool ascending) {
    if (a.placeholder || b.placeholder)
        return 0;
    if (column < 0 || column >= kPluginListColumns)
        column = 0;
    const std::string& x = a.Text(column);
    const std::string& y = b.Text(column);
    auto fold = [](char c) {
        auto u = static_cast<unsigned char>(c);
        return u >= 'a' && u <= 'z' ? static_cast<unsigned char>(u - 32) : u;
    };
    int result = 0;
    size_t n = std::min(x.size(), y.size());
    for (size_t i = 0; i < n && result == 0; ++i) {
        unsigned char cx = fold(x[i]);
        unsigned char cy = fold(y[i]);
        if (cx != cy)
            result = cx < cy ? -1 : 1;
    }
    if (result == 0 && x.size() != y.size())
        result = x.size() < y.size() ? -1 : 1;
    return ascending ? result : -result;
}

void SortPluginListRows(std::vector<PluginListRow>& rows, int column, bool ascending) {
    std::stable_sort(rows.begin(), rows.end(), [&](const PluginListRow& a, const PluginListRow& b) {
        return ComparePluginListRows(a, b, column, ascending) < 0;
    });
}

bool HostVersionHasContentPlugins(std::string_view versionText) {
    size_t i = 0;
    auto number = [&](int& value, int& digits) {
        value = 0;
        digits = 0;
        while (i < versionText.size() && std::isdigit(static_cast<unsigned char>(versionText[i])) &&
               digits < 6) {
            value = value * 10 + (versionText[i] - '0');
            ++digits;
            ++i;
        }
    };
    int major = 0, majorDigits = 0, minor = 0, minorDigits = 0;
    number(major, majorDigits);
    if (majorDigits == 0)
        return false;
    if (i < versionText.size() && versionText[i] == '.') {
        ++i;
        number(minor, minorDigits);
    }
    // Host versions write two minor digits ("6.50"); one digit is tenths ("6.5").
    if (minorDigits == 1)
        minor *= 10;
    return major > 6 || (major == 6 && minor >= 50);
}

std::string KindShortName(std::string_view kindMessage) {
    return TextBefore(kindMessage, ":");
}

std::string PluginIniOf(std::string_view moduleFile) {
    std::string extension = ExtensionPart(moduleFile);
    std::string base(moduleFile.substr(0, moduleFile.size() - extension.size()));
    return base + ".ini";
}

CommandStates CommandStatesFor(const SelectionState& s) {
    CommandStates c;
    c.disableVisible = !(s.selected && s.disabled);
    c.disableEnabled = s.selected;
    c.enableVisible = s.selected && s.disabled;
    c.removeEnabled = s.selected;
    c.tweakVisible = s.selected && s.kind == kPacker;
    c.tweakEnabled = s.single && s.kind == kPacker;
    c.renameVisible = !c.tweakVisible;
    c.renameEnabled = s.single && (s.kind == kLister || s.kind == kFileSystem || s.kind == kContent);
    c.configureEnabled = s.single;
    c.orderEnabled = s.tab != 3;
    c.browseEnabled = s.selected;
    c.selectionWhyNot = s.selected ? 0 : kWhyNoSelection;
    c.singleWhyNot = !s.selected ? kWhyNoSelection : !s.single ? kWhyNotSingle : 0;
    c.orderWhyNot = c.orderEnabled ? 0 : kWhyNoOrder;
    return c;
}

} // namespace varnel
