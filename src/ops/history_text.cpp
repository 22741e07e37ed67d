// How the history names what it keeps: the plugins in a record's description, the files of a
// record for a list, and which files a record may name at all.

#include "ops/history.h"

#include "app/settings.h"
#include "catalog/module_info.h"
#include "catalog/plugin_table.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "ops/history_store.h"
#include "ops/install_copy.h"
#include "platform/file_tree.h"
#include "util/names.h"
#include "util/text.h"

namespace varnel {

using namespace history_detail;

namespace history_detail {

bool IsRecordableFile(std::string_view path) {
    // A Windows path from a drive or a share, every component a plain name: no "..", no stream.
    const bool drive = path.size() > 3 && path[1] == ':' && path[2] == '\\';
    const bool share = path.starts_with("\\\\");
    if ((!drive && !share) || !ConfinedRelativePath(path.substr(drive ? 3 : 2)))
        return false;
    if (IsWatched(path) || EqualsNoCaseAscii(FileNamePart(path), "wincmd.ini"))
        return true;
    for (PluginKind kind : {kLister, kPacker, kFileSystem, kContent}) {
        const std::string folder = PluginFolderOfKind(AppSettings(), kind);
        if (!folder.empty() && !EqualsNoCaseAnsi(path, folder) && platform::LiesInside(path, folder))
            return true;
    }
    return false;
}

} // namespace history_detail

std::string SharedNameSuffix(const PluginTable& table, int row) {
    const PluginEntry& entry = table.Row(row);
    // Two plugins that go by one name are told apart by their file (its whole path when the file
    // names are the same too). Without the names loaded, a module's file name stands for its name.
    const std::string file = FileNamePart(entry.FileName);
    auto stem = [](const std::string& path) {
        const std::string name = FileNamePart(path);
        return name.substr(0, name.rfind('.'));
    };
    for (int other = 1; other <= table.Count(); ++other) {
        const PluginEntry& twin = table.Row(other);
        if (other == row || twin.FileName.empty())
            continue;
        const bool sameName = !entry.Name.empty() && !twin.Name.empty()
                                  ? EqualsNoCaseAnsi(entry.Name, twin.Name)
                                  : EqualsNoCaseAnsi(stem(entry.FileName), stem(twin.FileName));
        if (sameName)
            return " (" + (EqualsNoCaseAnsi(FileNamePart(twin.FileName), file) ? entry.FileName : file) + ")";
    }
    return {};
}

std::string PluginLabel(const PluginTable& table, int row) {
    const PluginEntry& entry = table.Row(row);
    const std::string label =
        !entry.Name.empty() ? entry.Name
                            : PluginDisplayName(entry.HostModule.empty() ? entry.FileName : entry.HostModule);
    return label + SharedNameSuffix(table, row);
}

std::string OrderChangeText(int kind) {
    return FormatPrintf(Message(Msg::HistOrder), {Message(Msg::ReportListerGroup + kind)});
}

std::string RecordFilesText(const HistoryRecord& record, size_t shown, std::string_view separator) {
    std::vector<const std::string*> paths;
    for (bool settings : {true, false})
        for (const HistoryFileChange& file : record.files)
            if (IsWatched(file.path) == settings)
                paths.push_back(&file.path);
    std::string text;
    for (size_t i = 0; i < paths.size() && i < shown; ++i)
        text.append(i == 0 ? "" : separator).append(*paths[i]);
    if (paths.size() > shown)
        text.append(separator).append("+").append(std::to_string(paths.size() - shown));
    return text;
}

} // namespace varnel
