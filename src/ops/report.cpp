#include "ops/report.h"

#include "app/settings.h"
#include "catalog/host_config.h"
#include "catalog/module_info.h"
#include "catalog/plugin_table.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "util/text.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace varnel {

namespace {

constexpr std::string_view kWindowsKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

std::string WindowsValue(std::string_view name) {
    return platform::ReadRegistryString(platform::RegistryRoot::LocalMachine, kWindowsKey, name).value_or("");
}

// The line format of a row: the pieces of the columns switched on, in column order.
std::string LineFormat(const Settings& s) {
    std::string format;
    if (s.ReportName)
        format += "%0:-40s ";
    if (s.ReportVersion)
        format += "%1:-12s ";
    if (s.ReportState)
        format += "%2:-9s ";
    if (s.ReportAssoc)
        format += "%3:s ";
    if (s.ReportFileName)
        format += "\"%4:s\"";
    return format;
}

// The rows in name order: keys "Name =row" compared as the user's language sorts, ignoring case,
// so that rows of one name follow their row numbers compared as text.
std::vector<int> SortedRows(const PluginTable& table) {
    std::vector<std::pair<std::string, int>> keys;
    for (int row = 1; row <= table.Count(); ++row) {
        std::string key = table.Row(row).Name + " =" + std::to_string(row);
        keys.emplace_back(FoldUtf8(platform::HostTextToUtf8(key)), row);
    }
    std::stable_sort(keys.begin(), keys.end(), [](const auto& a, const auto& b) {
        return platform::CompareForUser(a.first, b.first) < 0;
    });
    std::vector<int> rows;
    for (const auto& key : keys)
        rows.push_back(key.second);
    return rows;
}

} // namespace

std::string OsNameText() {
    std::string name = WindowsValue("ProductName");
    if (name.empty())
        name = "Windows NT";
    if (size_t at = name.find("Microsoft "); at != std::string::npos)
        name.erase(at, 10);
    std::string wine = platform::WineVersionText();
    if (!wine.empty())
        name += " (Wine " + wine + ")";
    return name + " on " + platform::RunningSystemName();
}

std::string OsVersionText() {
    const std::string version = WindowsValue("CurrentVersion");
    const int major = std::atoi(version.c_str());
    const size_t dot = version.find('.');
    const int minor = dot == std::string::npos ? 0 : std::atoi(version.c_str() + dot + 1);
    const int build = std::atoi(WindowsValue("CurrentBuildNumber").c_str()) & 0xFFFF;
    std::string text = FormatPrintf("%d.%02d.%d %s", {major, minor, build, WindowsValue("CSDVersion")});
    if (size_t twice = text.find("  "); twice != std::string::npos)
        text.erase(twice, 1);
    return text;
}

bool WriteReport(const Settings& s, const PluginTable& table, std::string_view programVersion,
                 std::string_view hostExe, std::string_view iniPath, std::string_view pluginBaseDir) {
    // Each line as its format and arguments, in host text.
    struct Line {
        std::string format;
        std::vector<std::string> args;
    };
    std::vector<Line> lines;
    lines.push_back({Message(Msg::ReportTitle),
                     {std::string(programVersion), platform::DateText(), platform::TimeText()}});
    lines.push_back(
        {Message(Msg::ReportHost),
         {ReadVersionText(hostExe, "ProductVersion"), std::string(hostExe), std::string(iniPath)}});
    lines.push_back({Message(Msg::ReportSystem), {OsNameText(), OsVersionText()}});
    lines.push_back({Message(Msg::ReportPluginBase), {std::string(pluginBaseDir)}});
    const std::string format = LineFormat(s);
    const std::vector<int> rows = SortedRows(table);
    constexpr PluginKind kGroups[] = {kLister, kPacker, kFileSystem, kContent};
    for (size_t group = 0; group < 4; ++group) {
        // The headings are written as the language file gives them, "%" and all.
        lines.push_back({"%s", {Message(Msg::ReportListerGroup + static_cast<int>(group))}});
        for (int row : rows) {
            const PluginEntry& entry = table.Row(row);
            if (entry.Kind == kGroups[group])
                lines.push_back({format,
                                 {entry.Name, ReadVersionText(entry.FileName), StateText(entry),
                                  entry.Association, entry.FileName}});
        }
    }
    auto marked = [](const std::string& text) { return platform::HasUtf8Mark(text); };
    const bool unicode = std::any_of(lines.begin(), lines.end(), [&](const Line& line) {
        return marked(line.format) || std::any_of(line.args.begin(), line.args.end(), marked);
    });
    std::string bytes = unicode ? std::string(platform::kUtf8Mark) : std::string();
    for (Line& line : lines) {
        if (unicode) {
            line.format = platform::HostTextToUtf8(line.format);
            for (std::string& arg : line.args)
                arg = platform::HostTextToUtf8(arg);
        }
        bytes += FormatIndexed(line.format, line.args, unicode);
        bytes += "\r\n";
    }
    return platform::ReplaceFileAtomically(s.ReportFile, bytes);
}

Result MakeReport(const Context& context, std::string_view programVersion) {
    CommandRun run(context, CommandRun::OwnRecords{});
    const Settings& s = context.settings;
    if (!WriteReport(s, context.table, programVersion, s.TCPath, s.IniPath,
                     ReadHostValue("Configuration", "PluginBaseDir"))) {
        ShowAppMessage(FormatPrintf(Message(Msg::ReportNotWritten), {s.ReportFile}), kStyleError,
                       Outcome::Failed, Msg::ReportNotWritten);
        return run.Stop(Outcome::Failed);
    }
    return run.Finish();
}

} // namespace varnel
