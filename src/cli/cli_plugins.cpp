#include "cli/cli_plugins.h"

#include "catalog/host_config.h"
#include "catalog/module_info.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "ops/descriptions.h"
#include "platform/codepage.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "util/text.h"

#include <algorithm>
#include <cstdio>

namespace varnel::cli {

namespace {

constexpr std::array<std::string_view, kPluginKindCount> kWords = {"lister", "packer", "fs", "content"};

// The key of a disabled packer or FS plugin, as its [DisabledPlugins] entry keeps it.
std::string DisabledKeyOf(const PluginEntry& entry) {
    ReadSectionKeys("DisabledPlugins");
    for (const std::string& disabledKey : KeyList()) {
        DisabledKey parts = SplitDisabledKey(disabledKey);
        std::string value = parts.value;
        if (entry.Kind == kPacker)
            value = TextAfter(value, ",");
        if (parts.section == SectionOfKind(entry.Kind) &&
            EqualsNoCaseAnsi(ExpandHostPath(value), entry.FileName))
            return parts.key;
    }
    return {};
}

// The name list and show give a plugin, read from its module.
std::string DisplayNameOf(int row) {
    const PluginEntry& entry = EntryAt(row);
    return PluginDisplayName(entry.HostModule.empty() ? ModuleLoadedByHost(entry.FileName, Host().HostBits)
                                                      : entry.HostModule);
}

size_t CodePoints(std::string_view utf8) {
    return static_cast<size_t>(std::count_if(
        utf8.begin(), utf8.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// The first `count` code points, with "…" in place of the rest when it had to cut.
std::string Cut(const std::string& utf8, size_t count) {
    if (CodePoints(utf8) <= count)
        return utf8;
    if (count == 0)
        return {};
    std::string out;
    size_t taken = 0;
    for (char c : utf8) {
        const bool starts = (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        if (starts && ++taken == count)
            break;
        out.push_back(c);
    }
    return out + "\xE2\x80\xA6";
}

} // namespace

std::string PathArgument(const std::string& argument) {
    if (argument.size() >= 2 && argument[1] == ':')
        return WithBackslashes(platform::Utf8ToHostText(argument));
    return platform::ToWindowsPath(platform::AbsoluteMachinePath(argument));
}

std::string KindWord(PluginKind kind) {
    return kind >= 0 && kind < kPluginKindCount ? std::string(kWords[static_cast<size_t>(kind)])
                                                : std::string();
}

std::optional<PluginKind> KindFromWord(std::string_view word) {
    for (size_t k = 0; k < kWords.size(); ++k)
        if (EqualsNoCaseAscii(word, kWords[k]))
            return static_cast<PluginKind>(k);
    return std::nullopt;
}

std::string PluginKey(int row) {
    const PluginEntry& entry = EntryAt(row);
    // A disabled Lister or Content plugin keeps the number it had, which an active one has now:
    // it is named by its place among the disabled ones of its kind instead, -1, -2, ...
    if (entry.Disabled && (entry.Kind == kLister || entry.Kind == kContent)) {
        int place = 0;
        for (int other = 1; other <= row; ++other)
            place += EntryAt(other).Kind == entry.Kind && EntryAt(other).Disabled ? 1 : 0;
        return std::string("-").append(std::to_string(place));
    }
    if (entry.Kind == kLister || entry.Kind == kContent)
        return std::to_string(entry.Index);
    if (entry.Disabled)
        return DisabledKeyOf(entry);
    if (entry.Kind == kPacker)
        return TextBefore(entry.Association + " ", " ");
    return entry.Association;
}

std::string StateWord(int row) {
    const PluginEntry& entry = EntryAt(row);
    return entry.Disabled ? "disabled" : entry.Deleted ? "deleted" : entry.Loaded ? "loaded" : "idle";
}

std::optional<int> FindPlugin(const std::string& name, Session& session) {
    std::vector<int> found;
    auto take = [&](int row) {
        if (std::find(found.begin(), found.end(), row) == found.end())
            found.push_back(row);
    };
    // The argument as typed: host text marks a text outside the code page as a whole, so its
    // parts (the kind before a key, the slashes of a path) are found in the UTF-8 form.
    const std::string typed = platform::HostTextToUtf8(name);
    // "kind:key"
    if (size_t colon = typed.find(':'); colon != std::string::npos && colon > 1) {
        if (std::optional<PluginKind> kind = KindFromWord(typed.substr(0, colon))) {
            const std::string key = platform::Utf8ToHostText(typed.substr(colon + 1));
            for (int row = 1; row <= Table().Count(); ++row) {
                const PluginEntry& entry = EntryAt(row);
                if (entry.Kind != *kind)
                    continue;
                bool matches = EqualsNoCaseAnsi(PluginKey(row), key);
                if (*kind == kPacker && !entry.Disabled)
                    for (std::string_view rest = entry.Association; !rest.empty() && !matches;) {
                        size_t blank = rest.find(' ');
                        matches = EqualsNoCaseAnsi(rest.substr(0, blank), key);
                        rest = blank == std::string_view::npos ? std::string_view() : rest.substr(blank + 1);
                    }
                if (matches)
                    take(row);
            }
        }
    }
    // A display name, a file name, a full path (Windows, or of this machine).
    const std::string windows =
        typed.starts_with("/") || (typed.size() >= 2 && typed[1] == ':') ? PathArgument(typed) : name;
    if (found.empty())
        for (int row = 1; row <= Table().Count(); ++row) {
            const PluginEntry& entry = EntryAt(row);
            if (EqualsNoCaseAnsi(entry.Name, name) || EqualsNoCaseAnsi(FileNamePart(entry.FileName), name) ||
                EqualsNoCaseAnsi(entry.FileName, windows) || EqualsNoCaseAnsi(entry.HostModule, windows))
                take(row);
        }
    // The editing commands load the table without names, which list and show print: the name a
    // script copied from there is read from the modules now.
    if (found.empty())
        for (int row = 1; row <= Table().Count(); ++row)
            if (EntryAt(row).Name.empty() && EqualsNoCaseAnsi(DisplayNameOf(row), name))
                take(row);
    if (found.size() == 1)
        return found.front();
    if (found.empty()) {
        session.Fail(kExitFailed, FormatPrintf(Message(Msg::NoPluginCalled), {name}), Msg::NoPluginCalled);
        return std::nullopt;
    }
    std::string text = FormatPrintf(Message(Msg::NameAmbiguous), {name});
    for (int row : found)
        text += "\r  " + KindWord(EntryAt(row).Kind) + ":" + PluginKey(row) + "  " +
                (EntryAt(row).Name.empty() ? DisplayNameOf(row) : EntryAt(row).Name) + "  " +
                EntryAt(row).FileName;
    session.Fail(kExitUsage, text, Msg::NameAmbiguous);
    return std::nullopt;
}

nlohmann::ordered_json PluginJson(int row) {
    const PluginEntry& entry = EntryAt(row);
    auto text = [](std::string_view host) { return Session::Terminal(host); };
    nlohmann::ordered_json object;
    object["kind"] = KindWord(entry.Kind);
    object["key"] = text(PluginKey(row));
    object["name"] = text(entry.Name);
    object["version"] = text(entry.Version);
    object["state"] = StateWord(row);
    object["bits"] = entry.Bits == 0 ? nlohmann::ordered_json() : nlohmann::ordered_json(entry.Bits);
    object["registration"] = text(entry.Association);
    object["file"] = text(entry.FileName);
    object["hostModule"] = text(entry.HostModule);
    object["description"] = text(ReadDescription(entry.FileName));
    object["disabled"] = entry.Disabled;
    object["missing"] = entry.Deleted;
    return object;
}

std::vector<std::string> FitTable(const std::vector<std::vector<std::string>>& rows, size_t width) {
    if (rows.empty())
        return {};
    const size_t columns = rows.front().size();
    std::vector<size_t> widths(columns, 0);
    for (const auto& row : rows)
        for (size_t c = 0; c < columns; ++c)
            widths[c] = std::max(widths[c], CodePoints(row[c]));
    auto total = [&] {
        size_t sum = 2 * (columns - 1);
        for (size_t w : widths)
            sum += w;
        return sum;
    };
    // The widest column gives up a character at a time, down to 8.
    while (width > 0 && total() > width) {
        auto widest = std::max_element(widths.begin(), widths.end());
        if (*widest <= 8)
            break;
        --*widest;
    }
    std::vector<std::string> lines;
    for (const auto& row : rows) {
        std::string line;
        for (size_t c = 0; c < columns; ++c) {
            std::string cell = Cut(row[c], widths[c]);
            line += cell;
            if (c + 1 < columns)
                line += std::string(widths[c] - CodePoints(cell) + 2, ' ');
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

size_t TerminalWidth() {
    return platform::TerminalColumns();
}

namespace {
bool g_printed = false;
}

bool Printed() {
    return g_printed;
}

void NotePrinted() {
    g_printed = true;
}

void Print(const std::string& utf8) {
    g_printed = true;
    platform::WriteOutput(utf8 + "\n");
}

namespace {
std::optional<nlohmann::ordered_json> g_held;
}

void PrintJson(const nlohmann::ordered_json& value) {
    // A dry run's object waits for what the run would have written, which is added to it.
    if (platform::InDryRun() && value.is_object()) {
        g_printed = true;
        g_held = value;
        return;
    }
    PrintJsonNow(value);
}

void PrintJsonNow(const nlohmann::ordered_json& value) {
    Print(value.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace));
}

std::optional<nlohmann::ordered_json> TakeHeldJson() {
    std::optional<nlohmann::ordered_json> held = std::move(g_held);
    g_held.reset();
    return held;
}

} // namespace varnel::cli
